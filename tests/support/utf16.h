// Test helpers: UTF-16 buffers built from u"..." literals by copying, and back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace testutil {

/// A terminated uint16_t buffer holding text, with `slack` more zeroed units of room.
inline std::vector<uint16_t> Buffer(std::u16string_view text, size_t slack = 64) {
  std::vector<uint16_t> buf(text.begin(), text.end());
  buf.resize(text.size() + 1 + slack, 0);
  return buf;
}

/// The text of a terminated buffer, up to its terminator.
inline std::u16string Text(const uint16_t* p) {
  std::u16string s;
  while (*p != 0) s.push_back(static_cast<char16_t>(*p++));
  return s;
}

/// The text with every unit outside ASCII written as \uXXXX, for readable failure messages.
inline std::string Printable(std::u16string_view s) {
  std::string out;
  char escaped[8];
  for (char16_t c : s) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else {
      std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(c));
      out += escaped;
    }
  }
  return out;
}

}  // namespace testutil
