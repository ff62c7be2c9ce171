// Differential fuzz target: the real translation and the reference translation (the same steps
// executed the plainest way, driver/reference.h) run on the same statement and must agree on
// everything a caller sees: text, result, reason, required room, counts and argument arrays.
// A crash finder cannot see a wrong result; this target can.
//
// Input: four header bytes, then the body.
//   [0]  server version: the low four bits ('7' is 7, '8' is 8)
//   [1]  describe mode: the low two bits are describe options 1 and 2; when either is set the
//        call is described against the sample catalog of the stand-in server
//   [2]  body kind: an odd value makes the body the choices of the statement generator the
//        generated-statement test uses (nested rebuilding clauses, date literals in functions,
//        calls, outer joins, long forms), an even one makes it the statement's text itself
//        (decoded as fuzz_input.h describes)
//   [3]  padding of a generated statement, in units of 64
#include <cstdint>
#include <cstdio>
#include <string>

#include "examples/sample_catalog.h"
#include "fuzz_input.h"
#include "tci/standin.h"
#include "tests/support/differential.h"

namespace {

constexpr size_t kHeaderBytes = 4;

void** sampleSession() {
  static void* handles[3] = {nullptr, nullptr, nullptr};
  static const bool connected = TCIStandinConnectSql(kSampleCatalog, "CLERK", handles) == 0;
  FUZZ_CHECK(connected);
  return handles;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  differential::Options options;
  options.version = fuzzin::headerByte(data, size, 0) & 0x0F;
  const uint8_t describe = fuzzin::headerByte(data, size, 1);
  options.describe[0] = describe & 1;
  options.describe[1] = (describe >> 1) & 1;
  static const uint16_t kSchema[] = {'C', 'L', 'E', 'R', 'K', 0};
  if (options.describe[0] != 0 || options.describe[1] != 0) {
    options.handles = sampleSession();
    options.schema = kSchema;
  }

  std::u16string statement;
  if ((fuzzin::headerByte(data, size, 2) & 1) != 0) {
    const size_t body = std::min(size, kHeaderBytes);
    differential::ByteChoices choices(data + body, size - body);
    differential::Generator generator(choices);
    statement = generator.statement(size_t(fuzzin::headerByte(data, size, 3)) * 64);
  } else {
    const std::vector<uint16_t> units = fuzzin::decodeStatement(data, size, kHeaderBytes);
    statement.assign(units.begin(), units.end() - 1);
  }

  const differential::Outcome real = differential::translate(false, statement, options);
  const differential::Outcome reference = differential::translate(true, statement, options);
  if (!(real == reference)) {
    std::fprintf(stderr, "real:      %s\nreference: %s\n", differential::describe(real).c_str(),
                 differential::describe(reference).c_str());
  }
  FUZZ_CHECK(real == reference);
  return 0;
}
