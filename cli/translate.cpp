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
  Translation outputs;
};

template <typename T>
std::vector<T> take(T* array, size_t count) {
  std::vector<T> values;
  if (array != nullptr) values.assign(array, array + count);
  std::free(array);
  return values;
}

Attempt translateOnce(std::vector<uint16_t>& buffer, const TranslateSettings& settings) {
  Attempt a{0, 0, 0, {}};
  uint16_t refCursorCount = 0;
  uint16_t* argTypes = nullptr;
  uint16_t* refCursorPositions = nullptr;
  uint8_t* attr32 = nullptr;
  uint8_t* attr213 = nullptr;
  std::vector<uint16_t> schema(settings.defaultSchema.begin(), settings.defaultSchema.end());
  schema.push_back(0);
  Translation& t = a.outputs;
  a.result = ODBCSqlToTVRNSqlEx(settings.handles, buffer.data(), &t.markerCount, &argTypes,
                                &refCursorCount, &refCursorPositions, &attr32, &attr213,
                                settings.serverVersion, settings.describeOptions[0],
                                settings.describeOptions[1], settings.describeOptions[2],
                                settings.defaultSchema.empty() ? nullptr : schema.data(),
                                uint32_t(buffer.size()), &a.required, &a.reason, &t.call);
  // The arrays belong to the caller; the positions array's leading refCursorCount entries count.
  const size_t described = a.result == 1 ? t.call.argumentCount : 0;
  t.argTypes = take(argTypes, described);
  t.attr32 = take(attr32, described);
  t.attr213 = take(attr213, described);
  t.refCursorPositions = take(refCursorPositions, a.result == 1 ? refCursorCount : 0);
  t.described = settings.describeOptions[0] != 0 || settings.describeOptions[1] != 0 ||
                settings.describeOptions[2] != 0;
  return a;
}

}  // namespace

Translation translateStatement(std::u16string_view statement, const TranslateSettings& settings) {
  std::vector<uint16_t> buffer = terminatedCopy(statement, initialCapacity(statement.size()));
  Attempt a = translateOnce(buffer, settings);
  if (a.result == 0 && a.reason == TVRNSQL_REASON_NO_ROOM && a.required > buffer.size()) {
    buffer = terminatedCopy(statement, a.required);
    a = translateOnce(buffer, settings);
  }
  Translation t = std::move(a.outputs);
  t.ok = a.result == 1;
  t.reason = a.reason;
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
  // A SELECT of 2^32 - 1 units or more cannot be had (the library reports that room as the
  // largest count it can); trying would only fill gigabytes with zeros.
  if (result == 0 && required > select.size() && required != UINT32_MAX) {
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
