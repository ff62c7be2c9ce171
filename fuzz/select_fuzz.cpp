// Fuzz target of the SELECT derivation: ParseSQLStrEx with capacities taken from the input, and
// for short statements ParseSQLStr on buffers of TVRNSQL_SELECT_CAPACITY(n) units, which must
// agree with ParseSQLStrEx given the same room.
//
// Input: three header bytes, then the source statement (decoded as fuzz_input.h describes).
//   [0] mode: the low four bits ('2' UPDATE, '4' INSERT; any other mode must write nothing)
//   [1] capacity of the SELECT buffer in code units, the byte's value (0 to 255)
//   [2] capacity of the table-name buffer, the byte's value
//
// Checked on every run: the result is 0 or 1; nothing past either capacity is written (guard
// units) or, under AddressSanitizer, read; the source is not changed; on success both outputs
// are terminated within their capacities, the SELECT text starts with "SELECT " and the stored
// required room is its length plus one; a run given the room a previous run asked for gives the
// same answer.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "tvrnsql.h"

namespace {

constexpr size_t kHeaderBytes = 3;
constexpr size_t kLegacyMaxUnits = 200;         // ParseSQLStr runs only up to this source length
constexpr uint32_t kMaxSelectUnits = 1u << 22;  // larger requests are not followed
constexpr uint32_t kNotStored = 0xFFFFFFFF;

struct Derivation {
  int32_t result = -1;
  uint32_t required = kNotStored;
  std::vector<uint16_t> select, table;  // on success
};

// One derivation, by ParseSQLStrEx or, when `legacy`, by ParseSQLStr on buffers of the same room.
Derivation derive(const std::vector<uint16_t>& source, uint16_t mode, uint32_t selectCapacity,
                  uint32_t tableCapacity, bool legacy) {
  fuzzin::GuardedBuffer input(source, source.size()), select({}, selectCapacity),
      table({}, tableCapacity);
  Derivation d;
  d.result = legacy ? ParseSQLStr(input.data(), select.data(), table.data(), mode)
                    : ParseSQLStrEx(input.data(), select.data(), selectCapacity, table.data(),
                                    tableCapacity, mode, &d.required);
  for (fuzzin::GuardedBuffer* b : {&input, &select, &table}) b->checkGuards();
  FUZZ_CHECK(d.result == 0 || d.result == 1);
  FUZZ_CHECK(input.unchanged());
  FUZZ_CHECK(
      mode == 2 || mode == 4 ||
      (d.result == 0 && select.unchanged() && table.unchanged() && d.required == kNotStored));
  if (d.result == 1) {
    d.select = select.text();
    d.table = table.text();
    FUZZ_CHECK(std::u16string(d.select.begin(), d.select.end()).starts_with(u"SELECT "));
    FUZZ_CHECK(legacy || d.required == d.select.size() + 1);
  }
  return d;
}

// Two runs of the same derivation: when both succeed they agree, and a run with at least the
// room that a successful one used succeeds too.
void checkAgree(const Derivation& a, uint32_t aSelectRoom, uint32_t aTableRoom,
                const Derivation& b) {
  if (a.result == 1 && b.result == 1) FUZZ_CHECK(a.select == b.select && a.table == b.table);
  FUZZ_CHECK(a.result == 1 || b.result == 0 || b.select.size() >= aSelectRoom ||
             b.table.size() >= aTableRoom);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint16_t mode = fuzzin::headerByte(data, size, 0) & 0x0F;
  const uint32_t selectCapacity = fuzzin::headerByte(data, size, 1);
  const uint32_t tableCapacity = fuzzin::headerByte(data, size, 2);
  const std::vector<uint16_t> source = fuzzin::decodeStatement(data, size, kHeaderBytes);
  const size_t n = source.size() - 1;  // without the terminator
  const uint32_t fullTable = uint32_t(source.size());

  const Derivation first = derive(source, mode, selectCapacity, tableCapacity, false);

  // The reference run has all the room the header promises for a source of n units, or, for a
  // long source, the room the first run asked for.
  const uint32_t referenceSelect = n <= kLegacyMaxUnits ? uint32_t(TVRNSQL_SELECT_CAPACITY(n))
                                   : first.required <= kMaxSelectUnits
                                       ? std::max(first.required, selectCapacity)
                                       : 0;
  if (referenceSelect == 0) return 0;
  const Derivation reference = derive(source, mode, referenceSelect, fullTable, false);
  checkAgree(first, selectCapacity, tableCapacity, reference);
  FUZZ_CHECK(first.result == 0 || reference.result == 1);
  FUZZ_CHECK(reference.result == 0 || first.required == kNotStored ||
             first.required == reference.required);

  if (n <= kLegacyMaxUnits) {
    const Derivation legacy = derive(source, mode, referenceSelect, fullTable, true);
    FUZZ_CHECK(legacy.result == reference.result);
    checkAgree(legacy, referenceSelect, fullTable, reference);
  }
  return 0;
}
