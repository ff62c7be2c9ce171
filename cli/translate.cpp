// Buffer handling around the two entry points. The library writes into caller buffers of a
// stated capacity and, when the result does not fit, reports the capacity it needs instead of
// writing; the command then calls once more with exactly that room.
#include "cli/translate.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tvrnsql.h"

namespace {

// A terminated copy of the statement with room for `capacity` units in all.
std::vector<uint16_t> terminatedCopy(std::u16string_view text, size_t capacity) {
  std::vector<uint16_t> buffer(std::max(capacity, text.size() + 1), 0);
  std::copy(text.begin(), text.end(), buffer.begin());
  return buffer;
}

// The text up to the terminator, never past the end of the buffer.
std::u16string textOf(const std::vector<uint16_t>& buffer) {
  const auto end = std::find(buffer.begin(), buffer.end(), uint16_t{0});
  return std::u16string(buffer.begin(), end);
}

uint32_t initialCapacity(size_t length) {
  const uint64_t wanted = uint64_t(length) * 2 + 256;
  return uint32_t(std::min<uint64_t>(wanted, UINT32_MAX));
}

struct Attempt {
  int32_t result;
  uint32_t required;
  uint32_t reason;
  uint16_t markerCount;
  TVRNSqlCallInfo call;
};

Attempt translateOnce(std::vector<uint16_t>& buffer, uint16_t serverVersion) {
  Attempt a{0, 0, 0, 0, {}};
  uint16_t refCursorCount = 0;
  uint16_t* argTypes = nullptr;
  uint16_t* refCursorPositions = nullptr;
  uint8_t* attr32 = nullptr;
  uint8_t* attr213 = nullptr;
  a.result = ODBCSqlToTVRNSqlEx(nullptr, buffer.data(), &a.markerCount, &argTypes, &refCursorCount,
                                &refCursorPositions, &attr32, &attr213, serverVersion, 0, 0, 0,
                                nullptr, uint32_t(buffer.size()), &a.required, &a.reason, &a.call);
  // Without description none of these is handed out; released anyway should that change.
  std::free(argTypes);
  std::free(refCursorPositions);
  std::free(attr32);
  std::free(attr213);
  return a;
}

}  // namespace

Translation translateStatement(std::u16string_view statement, uint16_t serverVersion) {
  Translation t;
  std::vector<uint16_t> buffer = terminatedCopy(statement, initialCapacity(statement.size()));
  Attempt a = translateOnce(buffer, serverVersion);
  if (a.result == 0 && a.reason == TVRNSQL_REASON_NO_ROOM && a.required > buffer.size()) {
    buffer = terminatedCopy(statement, a.required);
    a = translateOnce(buffer, serverVersion);
  }
  t.ok = a.result == 1;
  t.reason = a.reason;
  t.markerCount = a.markerCount;
  t.call = a.call;
  if (t.ok) t.output = textOf(buffer);
  return t;
}

Derivation deriveSelect(std::u16string_view statement, uint16_t mode) {
  Derivation d;
  const std::vector<uint16_t> source = terminatedCopy(statement, statement.size() + 1);
  const uint32_t tableCapacity = uint32_t(std::min<uint64_t>(statement.size() + 1, UINT32_MAX));
  std::vector<uint16_t> table(tableCapacity, 0);
  std::vector<uint16_t> select(initialCapacity(statement.size()), 0);

  uint32_t required = 0;
  auto attempt = [&] {
    return ParseSQLStrEx(source.data(), select.data(), uint32_t(select.size()), table.data(),
                         tableCapacity, mode, &required);
  };
  int32_t result = attempt();
  if (result == 0 && required > select.size()) {
    select.assign(required, 0);
    result = attempt();
  }
  d.ok = result == 1;
  if (d.ok) {
    d.select = textOf(select);
    d.table = textOf(table);
  }
  return d;
}
