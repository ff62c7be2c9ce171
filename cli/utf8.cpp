// UTF-8 and UTF-16 conversions of the tvrnsql command, through ICU. Each conversion sizes its
// result in advance (a UTF-8 byte gives at most one UTF-16 unit, a UTF-16 unit at most three
// bytes), so one call to the converter suffices.
#include "cli/utf8.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>

namespace {

constexpr UChar32 kReplacement = 0xFFFD;

// Byte offset of the first ill-formed sequence, by ICU's own decoder.
size_t firstBadByte(std::string_view text) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = int32_t(text.size());
  int32_t i = 0;
  while (i < length) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) return size_t(start);
  }
  return text.size();
}

}  // namespace

bool utf8ToUtf16(std::string_view text, std::u16string& out, std::string& problem) {
  if (text.size() > INT32_MAX) {
    problem = "is longer than 2 GiB";
    return false;
  }
  out.resize(text.size());
  UErrorCode icu = U_ZERO_ERROR;
  int32_t written = 0;
  u_strFromUTF8(out.data(), int32_t(out.size()), &written, text.data(), int32_t(text.size()), &icu);
  if (U_FAILURE(icu)) {
    problem = "is not valid UTF-8 at byte offset " + std::to_string(firstBadByte(text));
    return false;
  }
  out.resize(size_t(written));
  return true;
}

std::u16string utf8ToUtf16Lossy(std::string_view text) {
  if (text.size() > INT32_MAX) text = text.substr(0, INT32_MAX);
  std::u16string out(text.size(), u'\0');
  UErrorCode icu = U_ZERO_ERROR;
  int32_t written = 0;
  u_strFromUTF8WithSub(out.data(), int32_t(out.size()), &written, text.data(), int32_t(text.size()),
                       kReplacement, nullptr, &icu);
  out.resize(U_FAILURE(icu) ? 0 : size_t(written));
  return out;
}

// In chunks, so that no length passed to ICU exceeds its 32-bit range; a chunk never ends
// between the two halves of a surrogate pair.
std::string utf16ToUtf8(std::u16string_view text) {
  constexpr size_t kChunk = size_t{1} << 20;
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    size_t n = std::min(text.size(), kChunk);
    if (n < text.size() && U16_IS_LEAD(text[n - 1])) --n;
    const size_t start = out.size();
    out.resize(start + n * 3);
    UErrorCode icu = U_ZERO_ERROR;
    int32_t written = 0;
    u_strToUTF8WithSub(out.data() + start, int32_t(n * 3), &written, text.data(), int32_t(n),
                       kReplacement, nullptr, &icu);
    out.resize(U_FAILURE(icu) ? start : start + size_t(written));
    text.remove_prefix(n);
  }
  return out;
}
