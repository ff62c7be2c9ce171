// Statements shaped to make a translator rescan what it has already seen: clause openings hidden
// in quoted names, long forms side by side, deeply nested clauses and subqueries, outer joins in
// parentheses side by side. A middle tier
// translates what clients send, so none of these may cost more than linear time in the
// statement: BM_Adversarial/<shape>/<units> reports "per_unit", which must stay flat from 16k to
// 256k units.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_common.h"

namespace {

// Repeats unit until the statement holds about `units` code units, after prefix.
Text repeated(std::string_view prefix, std::string_view unit, size_t units) {
  Text t;
  append(&t, prefix);
  while (t.size() + unit.size() <= units) append(&t, unit);
  t.push_back(0);
  return t;
}

// The same with `suffix` after the last unit, within the `units`.
Text repeatedThen(std::string_view prefix, std::string_view unit, std::string_view suffix,
                  size_t units) {
  Text t = repeated(prefix, unit, units - suffix.size());
  t.pop_back();
  append(&t, suffix);
  t.push_back(0);
  return t;
}

// `open` nested `depth` times around `inner`, each closed by `close`, as deep as `units` allows.
Text nested(std::string_view prefix, std::string_view open, std::string_view inner,
            std::string_view close, size_t units) {
  const size_t depth = (units - prefix.size() - inner.size()) / (open.size() + close.size());
  Text t;
  append(&t, prefix);
  for (size_t i = 0; i < depth; ++i) append(&t, open);
  append(&t, inner);
  for (size_t i = 0; i < depth; ++i) append(&t, close);
  t.push_back(0);
  return t;
}

struct Shape {
  const char* name;
  Text (*make)(size_t units);
};

constexpr Shape kShapes[] = {
    // Openings inside double-quoted names: the clause search finds them, the call parser and
    // the outer-join scanner read the name as one token.
    {"call_in_quotes", [](size_t n) { return repeated("select ", "\"{call p}\" ,", n); }},
    {"oj_in_quotes", [](size_t n) { return repeated("select ", "\"{oj t}\" ,", n); }},
    // Subqueries nested in one another, each with an outer-join clause: one pass each.
    {"oj_nested_subqueries",
     [](size_t n) {
       return nested("", "SELECT * FROM {oj a LEFT OUTER JOIN b ON a.x = b.x} WHERE a.k IN (",
                     "SELECT 1 FROM dual", ")", n);
     }},
    // Long forms side by side: each brings a brace pass and a search for its "*)--".
    {"long_forms",
     [](size_t n) {
       return repeated("select ", "--(*vendor(Microsoft),product(ODBC) fn UCASE(x) *)-- ,", n);
     }},
    // Scalar functions nested in one another: each outer clause spans all inner ones.
    {"nested_functions", [](size_t n) { return nested("select ", "{fn UCASE(", "x", ")}", n); }},
    // The same with a function whose clause is replaced by its native text: each clause reads
    // and copies its argument, which holds all inner ones. Still quadratic (about a minute at
    // 256k units): one gap cannot edit both ends of the argument cheaply.
    {"nested_rebuilt_functions",
     [](size_t n) { return nested("select ", "{fn HOUR(", "x", ")}", n); }},
    // Quoted call openings with an OUTPUT argument: the OUTPUT rewrite may change the text, so
    // every clause has the statement read by the call parser again.
    {"call_output_in_quotes",
     [](size_t n) { return repeated("select ", "\"{call p(a OUTPUT)}\" ,", n); }},
    // OUTPUT arguments side by side: each rewrite blanks back to the '(' and searches again
    // from there.
    {"output_arguments", [](size_t n) { return repeatedThen("{call p(", "a OUTPUT ", ")}", n); }},
    // Long forms with one brace clause the translators leave alone at the end: every long form's
    // brace pass reads the rest of the statement.
    {"long_forms_then_brace",
     [](size_t n) {
       return repeatedThen("select ", "--(*vendor(Microsoft),product(ODBC) fn UCASE(x) *)-- ,",
                           "{xyz}", n);
     }},
    // Parenthesised clauses side by side in one table list: only the first is taken at depth 0,
    // so each needs a pass of its own, and each pass's WHERE holds all earlier conditions. At
    // 256k units the blanks before the WHERE, one more per pass, pass the scanner's limit: 59.
    {"oj_parenthesised_side_by_side",
     [](size_t n) {
       return repeatedThen("select * from ", "({oj a LEFT OUTER JOIN b ON a.x = b.y}), ", "t", n);
     }},
};

// Translates the statement once per iteration, whatever the result, as long as it is the same
// every time.
void BM_Adversarial(benchmark::State& state, const Shape& shape) {
  const size_t units = size_t(state.range(0));
  const Text statement = shape.make(units);
  // The statements above may double in length (long forms lose their prefixes, functions gain
  // native names); a generous buffer keeps "no room" out of the measurement.
  const uint32_t capacity = uint32_t(4 * statement.size() + 1024);
  Text buffer(capacity);
  std::memcpy(buffer.data(), statement.data(), statement.size() * sizeof(uint16_t));
  const Translation first = translate(buffer.data(), capacity);
  if (first.reason == 65536) {
    state.SkipWithError("the buffer is too small for the result");
    return;
  }
  for (auto _ : state) {
    std::memcpy(buffer.data(), statement.data(), statement.size() * sizeof(uint16_t));
    benchmark::DoNotOptimize(translate(buffer.data(), capacity));
    benchmark::ClobberMemory();
  }
  using benchmark::Counter;
  const double n = double(statement.size() - 1);
  state.counters["per_unit"] = Counter(n, Counter::kIsIterationInvariantRate | Counter::kInvert);
  state.counters["result"] = first.result;
}

const bool kRegistered = [] {
  for (const Shape& shape : kShapes) {
    benchmark::RegisterBenchmark((std::string("BM_Adversarial/") + shape.name).c_str(),
                                 BM_Adversarial, shape)
        ->Arg(16 << 10)
        ->Arg(64 << 10)
        ->Arg(256 << 10)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
