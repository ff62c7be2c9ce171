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
#include <cstdint>
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
  std::vector<uint16_t> select;  // on success
  std::vector<uint16_t> table;   // on success
};

bool startsWithSelect(const std::vector<uint16_t>& text) {
  static constexpr char kSelect[] = "SELECT ";
  if (text.size() < sizeof kSelect - 1) return false;
  for (size_t i = 0; i + 1 < sizeof kSelect; ++i) {
    if (text[i] != uint16_t(kSelect[i])) return false;
  }
  return true;
}

// The checks of a successful derivation, either form.
void checkSuccess(fuzzin::GuardedBuffer& select, fuzzin::GuardedBuffer& table, Derivation* d) {
  d->select = select.text();
  d->table = table.text();
  FUZZ_CHECK(startsWithSelect(d->select));
}

Derivation runEx(const std::vector<uint16_t>& source, uint16_t mode, uint32_t selectCapacity,
                 uint32_t tableCapacity) {
  fuzzin::GuardedBuffer input(source, source.size());
  fuzzin::GuardedBuffer select({}, selectCapacity);
  fuzzin::GuardedBuffer table({}, tableCapacity);
  Derivation d;
  d.result = ParseSQLStrEx(input.data(), select.data(), selectCapacity, table.data(), tableCapacity,
                           mode, &d.required);
  input.checkGuards();
  select.checkGuards();
  table.checkGuards();
  FUZZ_CHECK(d.result == 0 || d.result == 1);
  FUZZ_CHECK(input.unchanged());
  if (mode != 2 && mode != 4) {
    FUZZ_CHECK(d.result == 0 && select.unchanged() && table.unchanged());
    FUZZ_CHECK(d.required == kNotStored);
  }
  if (d.result == 1) {
    checkSuccess(select, table, &d);
    FUZZ_CHECK(d.required == d.select.size() + 1);
  }
  return d;
}

Derivation runLegacy(const std::vector<uint16_t>& source, uint16_t mode, uint32_t selectCapacity,
                     uint32_t tableCapacity) {
  fuzzin::GuardedBuffer input(source, source.size());
  fuzzin::GuardedBuffer select({}, selectCapacity);
  fuzzin::GuardedBuffer table({}, tableCapacity);
  Derivation d;
  d.result = ParseSQLStr(input.data(), select.data(), table.data(), mode);
  input.checkGuards();
  select.checkGuards();
  table.checkGuards();
  FUZZ_CHECK(d.result == 0 || d.result == 1);
  FUZZ_CHECK(input.unchanged());
  if (mode != 2 && mode != 4) FUZZ_CHECK(d.result == 0 && select.unchanged() && table.unchanged());
  if (d.result == 1) checkSuccess(select, table, &d);
  return d;
}

// Two runs of the same derivation: when both succeed they agree, and a run with at least the
// room that a successful one used succeeds too.
void checkAgree(const Derivation& a, uint32_t aSelectRoom, uint32_t aTableRoom,
                const Derivation& b) {
  if (a.result == 1 && b.result == 1) {
    FUZZ_CHECK(a.select == b.select && a.table == b.table);
  }
  if (b.result == 1 && b.select.size() < aSelectRoom && b.table.size() < aTableRoom) {
    FUZZ_CHECK(a.result == 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint16_t mode = fuzzin::headerNibble(data, size, 0);
  const uint32_t selectCapacity = fuzzin::headerByte(data, size, 1);
  const uint32_t tableCapacity = fuzzin::headerByte(data, size, 2);
  const size_t skip = size < kHeaderBytes ? size : kHeaderBytes;
  std::vector<uint16_t> source = fuzzin::decodeStatement(data + skip, size - skip);
  const size_t n = source.size();
  source.push_back(0);
  const uint32_t fullTable = uint32_t(n + 1);

  const Derivation first = runEx(source, mode, selectCapacity, tableCapacity);

  // The reference run has all the room the header promises for a source of n units, or, for a
  // long source, the room the first run asked for.
  uint32_t referenceSelect = 0;
  if (n <= kLegacyMaxUnits) {
    referenceSelect = uint32_t(TVRNSQL_SELECT_CAPACITY(n));
  } else if (first.required != kNotStored && first.required <= kMaxSelectUnits) {
    referenceSelect = first.required > selectCapacity ? first.required : selectCapacity;
  }
  if (referenceSelect == 0) return 0;
  const Derivation reference = runEx(source, mode, referenceSelect, fullTable);
  checkAgree(first, selectCapacity, tableCapacity, reference);
  if (first.result == 1) FUZZ_CHECK(reference.result == 1);
  if (reference.result == 1 && first.required != kNotStored) {
    FUZZ_CHECK(first.required == reference.required);
  }

  if (n <= kLegacyMaxUnits) {
    const Derivation legacy = runLegacy(source, mode, referenceSelect, fullTable);
    FUZZ_CHECK(legacy.result == reference.result);
    checkAgree(legacy, referenceSelect, fullTable, reference);
  }
  return 0;
}
