// Benchmarks of call clauses through the translate entry point: one {call p(...)} clause with A
// arguments that mix markers, literals and function calls, rewritten into an anonymous block.
// The time per argument ("per_clause") should not grow with A.
#include <benchmark/benchmark.h>

#include <string_view>

#include "bench_common.h"

namespace {

// Arguments in turn: a marker, a string, a number, a function call with its own parentheses.
constexpr std::string_view kArguments[] = {"?", "'abc'", "12.5", "SUBSTR(code, 1, 3)"};

Text callStatement(int arguments) {
  Text t;
  append(&t, "{call sales.book_order(");
  for (int i = 0; i < arguments; ++i) {
    if (i != 0) append(&t, ", ");
    append(&t, kArguments[size_t(i) % std::size(kArguments)]);
  }
  append(&t, ")}");
  t.push_back(0);
  return t;
}

void BM_TranslateCall(benchmark::State& state) {
  const int arguments = int(state.range(0));
  const int markers = (arguments + 3) / 4;
  runLarge(state, callStatement(arguments), arguments, markers, 16 * size_t(arguments));
}

}  // namespace

BENCHMARK(BM_TranslateCall)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Arg(8000);
