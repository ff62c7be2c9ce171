// Benchmarks of the translate entry point (ODBCSqlToTVRNSqlEx) on statements built here: long
// plain text, many markers, many {escape} clauses, many timestamp literals
// and mixed scalar functions (the shared corpus is in corpus_bench.cpp). bench_common.h says
// how they count.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.h"

namespace {

// Ordinary SQL for the plain statement: literals (one with a doubled quote), a quoted
// identifier, a block comment, numbers; no brace, "--(*", "?", ":" or line comment, so the
// translation changes nothing.
constexpr std::string_view kPlainPieces[] = {
    " o.total > 100.50 AND",
    " c.name = 'O''Brien' OR",
    " \"Order Date\" >= '2024-01-31' AND",
    " /* keep the plan */ o.status IN ('open', 'held') AND",
    " UPPER(c.city) <> 'SAINT-ETIENNE' OR",
    " o.id BETWEEN 1000 AND 2000 AND",
};

Text plainStatement(size_t units) {
  Text t;
  append(&t, "SELECT o.id, o.total, c.name FROM orders o, customers c WHERE o.cust = c.id AND");
  for (size_t i = 0;; ++i) {
    const std::string_view piece = kPlainPieces[i % std::size(kPlainPieces)];
    if (t.size() + piece.size() > units) break;
    append(&t, piece);
  }
  t.resize(units, 'x');  // pads the last word; length is exactly `units`
  t.push_back(0);
  return t;
}

Text markerStatement(int markers) {
  Text t;
  append(&t, "SELECT id, name FROM orders WHERE ");
  for (int i = 0; i < markers; ++i) {
    append(&t, i == 0 ? "(qty = ? AND note <> 'n/a')" : " OR (qty = ? AND note <> 'n/a')");
  }
  t.push_back(0);
  return t;
}

Text escapeStatement(int clauses) {
  Text t;
  append(&t, "SELECT id FROM items WHERE ");
  for (int i = 0; i < clauses; ++i) {
    if (i != 0) append(&t, " OR ");
    append(&t, "name LIKE 'ab\\_%' {escape '\\'}");
  }
  t.push_back(0);
  return t;
}

// K timestamp literals in the VALUES list of an INSERT; each becomes a TO_DATE call 30 units
// longer.
Text timestampStatement(int literals) {
  Text t;
  append(&t, "INSERT INTO events (a) VALUES (");
  for (int i = 0; i < literals; ++i) {
    append(&t, i == 0 ? "{ts '2001-02-03 12:30:00'}" : ", {ts '2001-02-03 12:30:00'}");
  }
  append(&t, ")");
  t.push_back(0);
  return t;
}

// K scalar-function clauses, mixed: translated in place (UCASE, LEFT) and rebuilt (HOUR,
// CONVERT), which changes the statement's length at each clause.
Text functionStatement(int clauses) {
  static constexpr std::string_view kFunctions[] = {"{fn UCASE(name)}", "{fn LEFT(code,3)}",
                                                    "{fn HOUR(created)}",
                                                    "{fn CONVERT(total, SQL_INTEGER)}"};
  Text t;
  append(&t, "SELECT ");
  for (int i = 0; i < clauses; ++i) {
    if (i != 0) append(&t, ", ");
    append(&t, kFunctions[size_t(i) % std::size(kFunctions)]);
  }
  append(&t, " FROM orders");
  t.push_back(0);
  return t;
}

void BM_CopyBaseline(benchmark::State& state) {
  const Text statement = plainStatement(size_t(state.range(0)));
  Text buffer(statement.size());
  for (auto _ : state) {
    std::memcpy(buffer.data(), statement.data(), statement.size() * sizeof(uint16_t));
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  setCounters(state, double(statement.size() - 1), 0);
}

void BM_TranslatePlain(benchmark::State& state) {
  const Text statement = plainStatement(size_t(state.range(0)));
  // Nothing in it is translated: check that the text comes back unchanged.
  Text buffer = statement;
  if (translate(buffer.data(), uint32_t(buffer.size())).result != 1 || buffer != statement) {
    state.SkipWithError("the plain statement changed");
    return;
  }
  runLarge(state, statement, 0, 0);
}

void BM_TranslateMarkers(benchmark::State& state) {
  const int markers = int(state.range(0));
  runLarge(state, markerStatement(markers), markers, markers);
}

void BM_TranslateEscapes(benchmark::State& state) {
  const int clauses = int(state.range(0));
  runLarge(state, escapeStatement(clauses), clauses, 0);
}

void BM_TranslateTimestamps(benchmark::State& state) {
  const int clauses = int(state.range(0));
  runLarge(state, timestampStatement(clauses), clauses, 0, 40 * size_t(clauses));
}

void BM_TranslateFunctions(benchmark::State& state) {
  const int clauses = int(state.range(0));
  runLarge(state, functionStatement(clauses), clauses, 0, 40 * size_t(clauses));
}

}  // namespace

BENCHMARK(BM_CopyBaseline)->Arg(65536)->Arg(1048576);
BENCHMARK(BM_TranslatePlain)->Arg(65536)->Arg(1048576);
BENCHMARK(BM_TranslateMarkers)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000);
BENCHMARK(BM_TranslateEscapes)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000);
BENCHMARK(BM_TranslateTimestamps)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000);
BENCHMARK(BM_TranslateFunctions)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000);
