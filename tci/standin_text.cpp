// The text conversions of the stand-in server library: names travel to the server in UTF-8 and
// come back as UTF-8, while a translation works in UTF-16. ICU does the converting; these two
// functions only map sizes and outcomes onto the interface's conventions (capacities in bytes,
// counts returned, the caller terminates).
#include <unicode/ustring.h>

#include <climits>

#include "tci/standin.h"

namespace {

constexpr size_t kMaxIcuLength = INT32_MAX;

void put(int32_t* status, int32_t value) {
  if (status != nullptr) *status = value;
}

}  // namespace

// Invalid UTF-16 (an unpaired surrogate) or too small a capacity gives TCI_STANDIN_BAD_TEXT and
// 0 bytes: a cut-off name must not reach the server as if it were whole.
extern "C" size_t lxgucs2utf(uint8_t* out, size_t capacity, const uint16_t* text, size_t length,
                             int32_t* status) {
  put(status, TCI_STANDIN_BAD_ARGUMENT);
  if ((out == nullptr && capacity > 0) || (text == nullptr && length > 0)) return 0;
  if (length > kMaxIcuLength) return 0;
  if (capacity > kMaxIcuLength) capacity = kMaxIcuLength;

  UErrorCode icu = U_ZERO_ERROR;
  int32_t written = 0;
  u_strToUTF8(reinterpret_cast<char*>(out), int32_t(capacity), &written,
              reinterpret_cast<const UChar*>(text), int32_t(length), &icu);
  // U_STRING_NOT_TERMINATED_WARNING (the text filled the capacity exactly) is success here.
  if (U_FAILURE(icu)) {
    put(status, TCI_STANDIN_BAD_TEXT);
    return 0;
  }
  put(status, TCI_STANDIN_OK);
  return size_t(written);
}

// The capacity is in bytes, two per UTF-16 code unit; a character beyond the BMP takes two.
extern "C" size_t lxgutf2ucs(uint16_t* out, size_t capacity, const uint8_t* text, size_t length,
                             int32_t* status) {
  put(status, TCI_STANDIN_BAD_ARGUMENT);
  if ((out == nullptr && capacity > 1) || (text == nullptr && length > 0)) return 0;
  if (length > kMaxIcuLength) return 0;
  size_t units = capacity / sizeof(uint16_t);
  if (units > kMaxIcuLength) units = kMaxIcuLength;

  UErrorCode icu = U_ZERO_ERROR;
  int32_t written = 0;
  u_strFromUTF8(reinterpret_cast<UChar*>(out), int32_t(units), &written,
                reinterpret_cast<const char*>(text), int32_t(length), &icu);
  if (U_FAILURE(icu)) {
    put(status, TCI_STANDIN_BAD_TEXT);
    return 0;
  }
  put(status, TCI_STANDIN_OK);
  return size_t(written);
}
