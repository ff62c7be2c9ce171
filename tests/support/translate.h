// Test helpers: run one statement through both translate entry points and collect what they hand
// back, with sentinels in every output so that an output left unwritten shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/utf16.h"
#include "tvrnsql.h"

namespace testutil {

inline constexpr uint16_t kUnwritten16 = 0xBEEF;
inline constexpr uint32_t kUnwritten32 = 0xBEEFBEEF;

struct Translation {
  int32_t result = -1;
  std::u16string text;
  uint16_t markers = kUnwritten16;
  uint16_t refCursors = kUnwritten16;
  uint32_t reason = kUnwritten32;    // Ex only
  uint32_t required = kUnwritten32;  // Ex only
};

/// ODBCSqlToTVRNSql on text in a buffer with `slack` more units of room.
inline Translation Translate(std::u16string_view text, size_t slack = 64) {
  std::vector<uint16_t> buf = Buffer(text, slack);
  Translation t;
  t.result = ODBCSqlToTVRNSql(nullptr, buf.data(), &t.markers, nullptr, &t.refCursors, nullptr,
                              nullptr, nullptr, 8, 0, 0, 0, nullptr);
  t.text = Text(buf.data());
  return t;
}

/// ODBCSqlToTVRNSqlEx on buf (its capacity is buf.size() unless given).
inline Translation TranslateEx(std::vector<uint16_t>& buf, uint32_t capacity) {
  Translation t;
  uint16_t* positions = nullptr;
  t.result =
      ODBCSqlToTVRNSqlEx(nullptr, buf.data(), &t.markers, nullptr, &t.refCursors, &positions,
                         nullptr, nullptr, 8, 0, 0, 0, nullptr, capacity, &t.required, &t.reason, nullptr);
  t.text = Text(buf.data());
  return t;
}
inline Translation TranslateEx(std::u16string_view text, size_t slack = 64) {
  std::vector<uint16_t> buf = Buffer(text, slack);
  return TranslateEx(buf, uint32_t(buf.size()));
}

/// n blanks.
inline std::u16string Blanks(size_t n) { return std::u16string(n, u' '); }

}  // namespace testutil
