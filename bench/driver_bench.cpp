// Benchmarks of the translate entry point (ODBCSqlToTVRNSqlEx) on statements built here: long
// plain text, many markers, many {escape} clauses, many timestamp literals, many scalar functions,
// and a mix of short statements as applications send them. bench_common.h says how they count.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
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

// Short statements as applications send them, all in one array: a SELECT, UPDATE, DELETE or
// INSERT of about 80 characters with one to four markers, none to two LIKE clauses with
// {escape '\'}, and now and then a literal or a comment.
struct ShortSet {
  Text units;                     // the statements, each terminated
  std::vector<uint32_t> offsets;  // start of each statement, then the end of the last
  std::vector<uint16_t> markers;  // markers of each statement
  uint64_t clauses = 0;           // markers and escape clauses of all statements
};

constexpr std::string_view kTables[] = {"orders", "clients", "items", "stock", "events"};
constexpr std::string_view kColumns[] = {"id",    "name",  "total", "state",
                                         "owner", "price", "qty",   "day"};

ShortSet makeShortSet(size_t count) {
  std::mt19937 rng(20240131);
  auto pick = [&rng](auto& list) { return std::string(list[rng() % std::size(list)]); };
  ShortSet set;
  for (size_t s = 0; s < count; ++s) {
    const int markers = 1 + int(rng() % 4);
    const int kind = int(rng() % 4);   // 0 SELECT, 1 UPDATE, 2 DELETE, 3 INSERT
    const uint32_t draw = rng() % 10;  // none to two LIKE clauses, fewer more often
    const int escapes = kind == 3 ? 0 : draw < 5 ? 0 : draw < 8 ? 1 : 2;
    const bool literal = rng() % 3 == 0;
    const int comment = int(rng() % 6);  // 0 block comment, 1 line comment at the end
    const std::string table = pick(kTables);

    std::string sql = comment == 0 ? "/* app */ " : "";
    std::vector<std::string> conditions;
    int left = markers;
    if (kind == 3) {
      std::string columns, values;
      for (int i = 0; i < markers; ++i) {
        columns += (i ? ", " : "") + pick(kColumns);
        values += i ? ", ?" : "?";
      }
      if (literal) {
        columns += ", note";
        values += ", 'n/a'";
      }
      sql += "INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")";
    } else {
      if (kind == 0) sql += "SELECT " + pick(kColumns) + " FROM " + table;
      if (kind == 1) {
        sql += "UPDATE " + table + " SET " + pick(kColumns) + " = ?";
        --left;  // the first marker is in the SET list
      }
      if (kind == 2) sql += "DELETE FROM " + table;
      for (int i = 0; i < left; ++i) conditions.push_back(pick(kColumns) + " = ?");
      for (int i = 0; i < escapes; ++i) conditions.push_back("code LIKE 'a\\_%' {escape '\\'}");
      if (literal) conditions.push_back("state <> 'done'");
      for (size_t i = 0; i < conditions.size(); ++i) {
        sql += (i ? " AND " : " WHERE ") + conditions[i];
      }
    }
    if (comment == 1) sql += " -- by id";
    set.offsets.push_back(uint32_t(set.units.size()));
    append(&set.units, sql);
    set.units.push_back(0);
    set.markers.push_back(uint16_t(markers));
    set.clauses += uint64_t(markers + escapes);
  }
  set.offsets.push_back(uint32_t(set.units.size()));
  return set;
}

void BM_TranslateShort(benchmark::State& state) {
  constexpr size_t kStatements = 10000;
  constexpr uint32_t kCapacity = 512;
  static const ShortSet set = makeShortSet(kStatements);
  Text buffer(kCapacity);
  for (size_t i = 0; i < kStatements; ++i) {
    const uint32_t begin = set.offsets[i], end = set.offsets[i + 1];
    std::memcpy(buffer.data(), set.units.data() + begin, (end - begin) * sizeof(uint16_t));
    const Translation t = translate(buffer.data(), kCapacity);
    if (t.result != 1 || t.markers != set.markers[i]) {
      state.SkipWithError("a short statement does not translate as expected");
      return;
    }
  }
  // One statement per iteration, so the reported time is the time per statement.
  size_t i = 0;
  for (auto _ : state) {
    const uint32_t begin = set.offsets[i], end = set.offsets[i + 1];
    std::memcpy(buffer.data(), set.units.data() + begin, (end - begin) * sizeof(uint16_t));
    benchmark::DoNotOptimize(translate(buffer.data(), kCapacity));
    if (++i == kStatements) i = 0;
  }
  const double chars = double(set.units.size() - kStatements) / kStatements;
  setCounters(state, chars, double(set.clauses) / kStatements);
  state.counters["avg_len"] = chars;
}

}  // namespace

BENCHMARK(BM_CopyBaseline)->Arg(65536)->Arg(1048576);
BENCHMARK(BM_TranslatePlain)->Arg(65536)->Arg(1048576);
BENCHMARK(BM_TranslateMarkers)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000);
BENCHMARK(BM_TranslateEscapes)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000);
BENCHMARK(BM_TranslateTimestamps)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000);
BENCHMARK(BM_TranslateFunctions)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000);
BENCHMARK(BM_TranslateShort);

// A long-running host has freed large blocks before, and glibc has raised its trim threshold
// after the first of them; a fresh benchmark process has not, and would hand the heap back to the
// system after every translation whose memory passes 128 KB and fault it in again on the next
// (about 40 page faults per call with 2000 call arguments, most of the time on a virtual machine).
// One large block freed at the start puts the process in the host's steady state, so that the
// figures are the translation's own.
int main(int argc, char** argv) {
  void* volatile block = std::malloc(size_t(4) << 20);  // volatile: the pair is not optimised away
  std::free(block);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
