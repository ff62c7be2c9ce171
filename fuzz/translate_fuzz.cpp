// Fuzz target of the translate entry points: the capacity-aware ODBCSqlToTVRNSqlEx and the
// legacy ODBCSqlToTVRNSql run on the same random statement and options, and must agree.
//
// Input: five header bytes, then the statement bytes (decoded as fuzz_input.h describes).
//   [0]    server version: the low four bits ('7' is 7, '8' is 8)
//   [1..3] describe options 1 to 3: the low four bits each (1 is the rewrite option); held at 0
//          while kDescribe is false, since no server answers describe calls here
//   [4]    shortfall r: the low four bits; when r > 0 the Ex form also runs on a buffer r units
//          short of the room the result needs, which must fail and leave the buffer unchanged
//
// Checked on every run: the result is 0 or 1; the result is terminated within the capacity;
// nothing past the capacity is written (guard units) or, under AddressSanitizer, read; the
// required capacity is the result's length plus one; the reason matches the result; with the
// describe options 0 the argument outputs are not written; the legacy form, on a buffer of
// exactly the needed room, gives the same result, text and marker count as the Ex form.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_input.h"
#include "tvrnsql.h"

namespace {

constexpr size_t kHeaderBytes = 5;
constexpr bool kDescribe = false;

struct Options {
  uint16_t serverVersion = 0;
  uint32_t describe[3] = {0, 0, 0};
  uint32_t shortfall = 0;
  bool describing() const { return describe[0] != 0 || describe[1] != 0 || describe[2] != 0; }
};

// The output slots of one call, preset to values the library never writes, so that untouched
// slots can be told apart.
struct Outputs {
  static inline uint16_t sentinelTypes[1];
  static inline uint8_t sentinelBytes[1];
  static constexpr uint16_t kSentinelCount = 0xA5A5;

  uint16_t markerCount = kSentinelCount;
  uint16_t refCursorCount = kSentinelCount;
  uint16_t* argTypes = sentinelTypes;
  uint16_t* refCursorPositions = sentinelTypes;
  uint8_t* attr32 = sentinelBytes;
  uint8_t* attr213 = sentinelBytes;

  bool argumentsUntouched() const {
    return argTypes == sentinelTypes && attr32 == sentinelBytes && attr213 == sentinelBytes;
  }
  // Frees what the call handed over (the caller owns it).
  ~Outputs() {
    if (argTypes != sentinelTypes) std::free(argTypes);
    if (refCursorPositions != sentinelTypes) std::free(refCursorPositions);
    if (attr32 != sentinelBytes) std::free(attr32);
    if (attr213 != sentinelBytes) std::free(attr213);
  }
};

struct ExRun {
  int32_t result = -1;
  uint32_t required = 0;
  uint32_t reason = 0xFFFFFFFF;
  uint16_t markerCount = 0;
  bool unchanged = false;      // the buffer holds what it held before the call
  std::vector<uint16_t> text;  // the result, when it fitted
};

bool knownFailure(uint32_t reason) {
  return reason == TVRNSQL_REASON_MALFORMED || reason == TVRNSQL_REASON_NO_MEMORY ||
         reason == TVRNSQL_REASON_UNSUPPORTED;
}

// The checks every call makes, whatever the form.
void checkOutputs(const Options& options, int32_t result, const Outputs& out) {
  FUZZ_CHECK(result == 0 || result == 1);
  if (!options.describing()) {
    FUZZ_CHECK(out.argumentsUntouched());
    FUZZ_CHECK(out.refCursorCount == 0 || out.refCursorCount == Outputs::kSentinelCount);
  }
}

// ODBCSqlToTVRNSqlEx on a buffer of `capacity` units that starts with the statement (terminator
// included, cut when the capacity is smaller).
ExRun runEx(const Options& options, const std::vector<uint16_t>& statement, uint32_t capacity) {
  fuzzin::GuardedBuffer buffer(statement, capacity);
  Outputs out;
  ExRun run;
  run.result =
      ODBCSqlToTVRNSqlEx(nullptr, buffer.data(), &out.markerCount, &out.argTypes,
                         &out.refCursorCount, &out.refCursorPositions, &out.attr32, &out.attr213,
                         options.serverVersion, options.describe[0], options.describe[1],
                         options.describe[2], nullptr, capacity, &run.required, &run.reason);
  buffer.checkGuards();
  checkOutputs(options, run.result, out);
  run.unchanged = buffer.unchanged();
  run.markerCount = out.markerCount;
  if (capacity < statement.size()) {
    // The statement's terminator is not within the capacity.
    FUZZ_CHECK(run.result == 0 && run.reason == TVRNSQL_REASON_MALFORMED && run.unchanged);
    return run;
  }
  FUZZ_CHECK(run.required >= 1);
  if (run.required <= capacity) {
    run.text = buffer.text();
    FUZZ_CHECK(run.text.size() + 1 == run.required);
  }
  if (run.result == 1) {
    FUZZ_CHECK(run.reason == 0);
  } else if (!options.describing()) {
    // Without a server the only reasons are the library's own.
    FUZZ_CHECK(knownFailure(run.reason) || run.reason == TVRNSQL_REASON_NO_ROOM);
  }
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Options options;
  options.serverVersion = fuzzin::headerNibble(data, size, 0);
  for (size_t i = 0; i < 3; ++i) {
    options.describe[i] = kDescribe ? fuzzin::headerNibble(data, size, 1 + i) : 0;
  }
  options.shortfall = fuzzin::headerNibble(data, size, 4);
  const size_t skip = size < kHeaderBytes ? size : kHeaderBytes;
  std::vector<uint16_t> statement = fuzzin::decodeStatement(data + skip, size - skip);
  const uint32_t inputUnits = uint32_t(statement.size()) + 1;
  statement.push_back(0);

  // The Ex form on a buffer that just holds the statement learns the room the result needs; when
  // that is more, the buffer must be unchanged, and a second run gets exactly that room.
  ExRun ex = runEx(options, statement, inputUnits);
  const uint32_t required = ex.required;
  if (required > inputUnits) {
    FUZZ_CHECK(ex.result == 0 && ex.unchanged);
    ex = runEx(options, statement, required);
    FUZZ_CHECK(ex.required == required);
  }
  FUZZ_CHECK(ex.reason != TVRNSQL_REASON_NO_ROOM);
  FUZZ_CHECK(ex.result == 1 || knownFailure(ex.reason) || options.describing());
  FUZZ_CHECK(ex.text.size() + 1 == required);

  // The legacy form on a buffer of exactly the room needed agrees with it.
  {
    const uint32_t capacity = required > inputUnits ? required : inputUnits;
    fuzzin::GuardedBuffer buffer(statement, capacity);
    Outputs out;
    const int32_t result = ODBCSqlToTVRNSql(
        nullptr, buffer.data(), &out.markerCount, &out.argTypes, &out.refCursorCount,
        &out.refCursorPositions, &out.attr32, &out.attr213, options.serverVersion,
        options.describe[0], options.describe[1], options.describe[2], nullptr);
    buffer.checkGuards();
    checkOutputs(options, result, out);
    FUZZ_CHECK(result == ex.result);
    FUZZ_CHECK(buffer.text() == ex.text);
    FUZZ_CHECK(out.markerCount == ex.markerCount);
  }

  // A buffer short of the room: the statement does not fit (no terminator within the capacity,
  // reason MALFORMED) or the result does not (the reason of the full run, NO_ROOM on success).
  // Either way the call fails and leaves the buffer as it was.
  if (options.shortfall != 0 && required > options.shortfall) {
    const uint32_t capacity = required - options.shortfall;
    const ExRun shortRun = runEx(options, statement, capacity);
    FUZZ_CHECK(shortRun.result == 0 && shortRun.unchanged);
    if (capacity < inputUnits) {
      FUZZ_CHECK(shortRun.reason == TVRNSQL_REASON_MALFORMED);
    } else {
      FUZZ_CHECK(shortRun.required == required);
      FUZZ_CHECK(shortRun.reason == (ex.result == 1 ? TVRNSQL_REASON_NO_ROOM : ex.reason));
    }
  }
  return 0;
}
