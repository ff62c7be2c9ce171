// A number's text for the scanners (automaton.h).
#include "scanner/automaton.h"

#include <cstring>

bool copyNumberText(const uint16_t* text, uint32_t length, uint16_t* out, uint32_t capacity,
                    uint32_t* outLength) {
  if (length < capacity) {
    std::memcpy(out, text, length * sizeof(uint16_t));
    out[length] = 0;
    *outLength = length;
    return false;
  }
  // "-", 40 blanks, "5" becomes "-5".
  uint32_t kept = 0;
  bool truncated = false;
  for (uint32_t i = 0; i < length; ++i) {
    const uint16_t c = text[i];
    if (c == ' ' || c == '\t') continue;
    if (kept == capacity - 1) {
      truncated = true;
      break;
    }
    out[kept++] = c;
  }
  out[kept] = 0;
  *outLength = kept;
  return truncated;
}
