// Test helpers: UTF-16 buffers built from u"..." literals by copying, and back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

/// A terminated uint16_t buffer holding text, with `slack` more zeroed units of room.
inline std::vector<uint16_t> Buffer(std::u16string_view text, size_t slack = 64) {
  std::vector<uint16_t> buf(text.size() + 1 + slack, 0);
  for (size_t i = 0; i < text.size(); ++i) buf[i] = static_cast<uint16_t>(text[i]);
  return buf;
}

/// The text of a terminated buffer, up to its terminator.
inline std::u16string Text(const uint16_t* p) {
  std::u16string s;
  while (*p != 0) s.push_back(static_cast<char16_t>(*p++));
  return s;
}

/// ASCII/UTF-16 text as UTF-8 for readable failure messages.
inline std::string Utf8(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace testutil
