// Benchmark of a described call: {call bench_pkg.six(?, ?, ?, ?)} names a packaged procedure
// with six arguments, two of them REF CURSORs the call leaves out; the translation describes it
// through the stand-in server (an in-memory catalog) and inserts their markers. The session's
// handles are reused across calls, as a provider's are. Arg: the server version (8 describes,
// 7 queries the dictionary).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "bench_common.h"
#include "tci/standin.h"

namespace {

constexpr char kCatalog[] = R"(
INSERT INTO ALL_OBJECTS (OWNER, OBJECT_NAME, OBJECT_TYPE, OBJECT_ID) VALUES
  ('APP', 'BENCH_PKG', 'PACKAGE', 1);
INSERT INTO ALL_PROCEDURES (OWNER, OBJECT_NAME, PROCEDURE_NAME, OBJECT_ID, SUBPROGRAM_ID) VALUES
  ('APP', 'BENCH_PKG', 'FIRST', 1, 1), ('APP', 'BENCH_PKG', 'SIX', 1, 2);
INSERT INTO ALL_ARGUMENTS (OWNER, OBJECT_ID, PACKAGE_NAME, OBJECT_NAME, ARGUMENT_NAME, POSITION,
                           DATA_LEVEL, DATA_TYPE, TYPE_CODE, ATTR32, ATTR213, IN_OUT) VALUES
  ('APP', 1, 'BENCH_PKG', 'FIRST', 'P_ID', 1, 0, 'NUMBER', 2, 0, 0, 'IN'),
  ('APP', 1, 'BENCH_PKG', 'SIX', 'P_CUSTOMER', 1, 0, 'NUMBER', 2, 0, 0, 'IN'),
  ('APP', 1, 'BENCH_PKG', 'SIX', 'P_REGION', 2, 0, 'VARCHAR2', 1, 0, 0, 'IN'),
  ('APP', 1, 'BENCH_PKG', 'SIX', 'P_ORDERS', 3, 0, 'REF CURSOR', 102, 1, 0, 'OUT'),
  ('APP', 1, 'BENCH_PKG', 'SIX', 'P_FROM', 4, 0, 'DATE', 12, 0, 0, 'IN'),
  ('APP', 1, 'BENCH_PKG', 'SIX', 'P_TO', 5, 0, 'DATE', 12, 0, 0, 'IN'),
  ('APP', 1, 'BENCH_PKG', 'SIX', 'P_LINES', 6, 0, 'REF CURSOR', 102, 1, 0, 'OUT');
)";

constexpr char16_t kCall[] = u"{call bench_pkg.six(?, ?, ?, ?)}";
constexpr char16_t kSchema[] = u"APP";

struct Outcome {
  int32_t result = 0;
  uint16_t markers = 0, refCursors = 0;
};

Outcome describeOnce(void** handles, uint16_t version, Text& buffer) {
  Outcome o;
  uint16_t *types = nullptr, *positions = nullptr;
  uint8_t *attr32 = nullptr, *attr213 = nullptr;
  uint32_t required = 0, reason = 0;
  const uint16_t* schema = reinterpret_cast<const uint16_t*>(kSchema);
  o.result = ODBCSqlToTVRNSqlEx(handles, buffer.data(), &o.markers, &types, &o.refCursors,
                                &positions, &attr32, &attr213, version, 1, 0, 0, schema,
                                uint32_t(buffer.size()), &required, &reason, nullptr);
  std::free(types);
  std::free(positions);
  std::free(attr32);
  std::free(attr213);
  return o;
}

void BM_DescribeCall(benchmark::State& state) {
  void* handles[3] = {nullptr, nullptr, nullptr};
  if (TCIStandinConnectSql(kCatalog, "APP", handles) != TCI_STANDIN_OK) {
    state.SkipWithError("the catalog does not open");
    return;
  }
  const uint16_t version = uint16_t(state.range(0));
  Text statement(std::begin(kCall), std::end(kCall));
  Text buffer(256);
  std::copy(statement.begin(), statement.end(), buffer.begin());
  const Outcome check = describeOnce(handles, version, buffer);
  if (check.result != 1 || check.refCursors != 2) {
    state.SkipWithError("the call is not described as expected");
  } else {
    for (auto _ : state) {
      std::copy(statement.begin(), statement.end(), buffer.begin());
      benchmark::DoNotOptimize(describeOnce(handles, version, buffer));
    }
  }
  TCIStandinDisconnect(handles);
}

}  // namespace

BENCHMARK(BM_DescribeCall)->Arg(8)->Arg(7)->Unit(benchmark::kMicrosecond);
