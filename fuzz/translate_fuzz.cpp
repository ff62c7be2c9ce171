// Fuzz target of the translate entry points: the capacity-aware ODBCSqlToTVRNSqlEx and the
// legacy ODBCSqlToTVRNSql run on the same random statement and server version, and must agree.
//
// Input: five header bytes, then the statement bytes (decoded as fuzz_input.h describes).
//   [0]    server version: the low four bits ('7' is 7, '8' is 8)
//   [1]    describe mode: the low two bits are describe options 1 and 2; when either is set the
//          call is described against the sample catalog of the stand-in server (one session,
//          connected as its user, shared by every run)
//   [2..3] kept
//   [4]    shortfall r: the low four bits; when r > 0 the Ex form also runs on a buffer r units
//          short of the room the result needs, which must fail and leave the buffer unchanged
//
// Checked on every run: the result is 0 or 1; the result is terminated within the capacity;
// nothing past the capacity is written (guard units) or, under AddressSanitizer, read; the
// required capacity is the result's length plus one; a call given less room fails and writes
// nothing; the reason matches the result; without describing, the argument outputs are not
// written (with it they are released); the legacy form, on a buffer of exactly the needed room,
// gives the same result, text and marker count as the Ex form.
#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <iterator>
#include <vector>

#include "examples/sample_catalog.h"
#include "fuzz_input.h"
#include "tci/standin.h"
#include "tvrnsql.h"

namespace {

constexpr size_t kHeaderBytes = 5;
constexpr uint16_t kUnwritten = 0xA5A5;  // a value the library never writes to an output

// The describe options of a run and the session that answers them.
struct Server {
  uint32_t options[2] = {0, 0};
  void** handles = nullptr;
  bool describing() const { return options[0] != 0 || options[1] != 0; }
};

// One stand-in session over the sample catalog for the whole fuzzing process.
void** sampleSession() {
  static void* handles[3] = {nullptr, nullptr, nullptr};
  static const bool connected = TCIStandinConnectSql(kSampleCatalog, "CLERK", handles) == 0;
  FUZZ_CHECK(connected);
  return handles;
}

struct Run {
  int32_t result = -1;
  uint32_t required = 0, reason = 0xFFFFFFFF;
  uint16_t markerCount = kUnwritten;
  std::vector<uint16_t> text;  // the result, when it fitted
};

// One call on a buffer of `capacity` units that starts with the statement (terminator included,
// cut when the capacity is smaller): the legacy form, or the Ex form with its own checks.
Run translate(const std::vector<uint16_t>& statement, uint16_t version, const Server& server,
              uint32_t capacity, bool legacy) {
  // Without describe options the library must write none of the argument outputs.
  static uint16_t types[1];
  static uint8_t bytes[1];
  uint16_t refCursorCount = kUnwritten, *argTypes = types, *positions = types;
  uint8_t *attr32 = bytes, *attr213 = bytes;
  fuzzin::GuardedBuffer buffer(statement, capacity);
  Run run;
  static const uint16_t kSchema[] = {'C', 'L', 'E', 'R', 'K', 0};
  const uint32_t o1 = server.options[0], o2 = server.options[1];
  const uint16_t* schema = server.describing() ? kSchema : nullptr;
  run.result = legacy ? ODBCSqlToTVRNSql(server.handles, buffer.data(), &run.markerCount,
                                         &argTypes, &refCursorCount, &positions, &attr32, &attr213,
                                         version, o1, o2, 0, schema)
                      : ODBCSqlToTVRNSqlEx(server.handles, buffer.data(), &run.markerCount,
                                           &argTypes, &refCursorCount, &positions, &attr32,
                                           &attr213, version, o1, o2, 0, schema, capacity,
                                           &run.required, &run.reason, nullptr);
  buffer.checkGuards();
  FUZZ_CHECK(run.result == 0 || run.result == 1);
  if (server.describing()) {
    // Handed out on success (possibly null), never after a failure.
    for (void* array : {static_cast<void*>(argTypes), static_cast<void*>(attr32),
                        static_cast<void*>(attr213)}) {
      FUZZ_CHECK(run.result == 1 || array == types || array == bytes);
      if (array != types && array != bytes) std::free(array);
    }
    if (positions != types) std::free(positions);
  } else {
    FUZZ_CHECK(argTypes == types && positions == types && attr32 == bytes && attr213 == bytes);
    FUZZ_CHECK(refCursorCount == 0 || refCursorCount == kUnwritten);
  }
  if (legacy) {
    run.text = buffer.text();
    return run;
  }
  if (capacity < statement.size() || run.required > capacity) {
    // The statement's terminator is not within the capacity (reason MALFORMED), or the result
    // does not fit: the call fails and writes nothing.
    FUZZ_CHECK(run.result == 0 && buffer.unchanged());
    FUZZ_CHECK(capacity >= statement.size() || run.reason == TVRNSQL_REASON_MALFORMED);
  } else {
    run.text = buffer.text();
    FUZZ_CHECK(run.text.size() + 1 == run.required);
  }
  // 0 on success only; without a server the only reasons are the library's own. A described
  // object that is neither callable nor a synonym fails with 0 too, and the stand-in's statuses
  // are 9001 and up.
  constexpr uint32_t kReasons[] = {0, TVRNSQL_REASON_MALFORMED, TVRNSQL_REASON_NO_MEMORY,
                                   TVRNSQL_REASON_UNSUPPORTED, TVRNSQL_REASON_NO_ROOM};
  const bool known =
      std::find(std::begin(kReasons), std::end(kReasons), run.reason) != std::end(kReasons);
  FUZZ_CHECK(server.describing() ? (run.result == 0 || run.reason == 0) &&
                                       (known || (run.reason >= 9001 && run.reason < 9100))
                                 : (run.result == 1) == (run.reason == 0) && known);
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint16_t version = fuzzin::headerByte(data, size, 0) & 0x0F;
  const uint32_t shortfall = fuzzin::headerByte(data, size, 4) & 0x0F;
  const std::vector<uint16_t> statement = fuzzin::decodeStatement(data, size, kHeaderBytes);
  const uint32_t inputUnits = uint32_t(statement.size());
  Server server;
  const uint8_t describe = fuzzin::headerByte(data, size, 1);
  server.options[0] = describe & 1;
  server.options[1] = (describe >> 1) & 1;
  if (server.describing()) server.handles = sampleSession();

  // The Ex form on a buffer that just holds the statement learns the room the result needs; when
  // that is more, a second run gets exactly that room.
  Run ex = translate(statement, version, server, inputUnits, false);
  const uint32_t required = ex.required;
  if (required > inputUnits) {
    ex = translate(statement, version, server, required, false);
    FUZZ_CHECK(ex.required == required);
  }
  FUZZ_CHECK(ex.reason != TVRNSQL_REASON_NO_ROOM);

  // The legacy form on a buffer of exactly the room needed agrees with it.
  const Run legacy = translate(statement, version, server, std::max(required, inputUnits), true);
  FUZZ_CHECK(legacy.result == ex.result && legacy.text == ex.text);
  FUZZ_CHECK(legacy.markerCount == ex.markerCount);

  // A buffer short of the room: the statement does not fit (checked in translate) or the result
  // does not: the same required room, and the reason of the full run (NO_ROOM on success).
  if (shortfall != 0 && required > shortfall) {
    const uint32_t capacity = required - shortfall;
    const Run cut = translate(statement, version, server, capacity, false);
    FUZZ_CHECK(capacity < inputUnits ||
               (cut.required == required &&
                cut.reason == (ex.result == 1 ? TVRNSQL_REASON_NO_ROOM : ex.reason)));
  }
  return 0;
}
