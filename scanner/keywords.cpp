// Keyword lookup for the clause scanner: every name it matches is looked up here by its
// upper-cased text, in a hash table of the words built at compile time.
#include "scanner/keywords.h"

#include <algorithm>

const KeywordEntry* findKeyword(const uint16_t* text, size_t length) {
  if (length == 0 || length > kKeywordMaxLength) return nullptr;
  char upper[kKeywordMaxLength];
  for (size_t i = 0; i < length; ++i) {
    const uint16_t c = text[i];
    if (c >= 0x80) return nullptr;  // no keyword holds such a character
    upper[i] = (c >= 'a' && c <= 'z') ? char(c - 32) : char(c);
  }
  for (uint32_t h = keywordHash(upper, length);; h = (h + 1) & 255) {
    const uint8_t slot = kKeywordSlots[h];
    if (slot == 0) return nullptr;
    const KeywordEntry& entry = kKeywords[slot - 1];
    if (entry.word.size() == length && std::equal(upper, upper + length, entry.word.data()))
      return &entry;
  }
}
