// Keyword lookup for the clause scanner: every name it matches is looked up here by its
// upper-cased text, with a binary search over the words in ascending order.
#include "scanner/keywords.h"

const KeywordEntry* findKeyword(const uint16_t* text, size_t length) {
  if (length == 0 || length > kKeywordMaxLength) return nullptr;
  char upper[kKeywordMaxLength];
  for (size_t i = 0; i < length; ++i) {
    const uint16_t c = text[i];
    if (c >= 0x80) return nullptr;  // no keyword holds such a character
    upper[i] = (c >= 'a' && c <= 'z') ? char(c - 32) : char(c);
  }
  const std::string_view key(upper, length);
  size_t low = 0;
  size_t high = kKeywordCount;
  while (low < high) {
    const size_t mid = (low + high) / 2;
    const KeywordEntry& entry = kKeywords[kKeywordsByWord[mid]];
    if (entry.word == key) return &entry;
    if (entry.word < key) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return nullptr;
}
