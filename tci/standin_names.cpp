// Name parts as the stand-in's describe and connect read them: "sales.Open_Orders" is the two
// parts SALES and OPEN_ORDERS, "SALES"."MixedCase" the parts SALES and MixedCase, and a dot in
// quotes ("A.B") belongs to its part.
#include "tci/standin_names.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <climits>

#include "tci/standin.h"

namespace standin {
namespace {

// Appends text[begin, end) upper-cased, checking that it is UTF-8 (`upper` false: as it is).
[[nodiscard]] bool appendPart(const char* text, int32_t begin, int32_t end, bool upper,
                              std::string* out) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  int32_t i = begin;
  while (i < end) {
    int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, end, c);
    if (c < 0) return false;
    if (!upper) {
      out->append(text + start, size_t(i - start));
      continue;
    }
    uint8_t encoded[U8_MAX_LENGTH];
    int32_t n = 0;
    U8_APPEND_UNSAFE(encoded, n, u_toupper(c));
    out->append(reinterpret_cast<const char*>(encoded), size_t(n));
  }
  return true;
}

}  // namespace

int32_t splitName(const char* text, size_t length, size_t maxParts, std::vector<std::string>* parts,
                  const char** why) {
  parts->clear();
  if (text == nullptr || length == 0) {
    *why = "the name is empty";
    return TCI_STANDIN_BAD_ARGUMENT;
  }
  if (length > INT32_MAX / 2) {
    *why = "the name is too long";
    return TCI_STANDIN_BAD_ARGUMENT;
  }
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\0') {
      *why = "the name holds a terminator within its length";
      return TCI_STANDIN_BAD_ARGUMENT;
    }
  }
  const auto end = int32_t(length);
  int32_t i = 0;
  for (;;) {
    if (parts->size() == maxParts) {
      *why = maxParts == 1 ? "the name has more than one part" : "the name has too many parts";
      return TCI_STANDIN_BAD_ARGUMENT;
    }
    std::string part;
    if (text[i] == '"') {
      // "a""b" -> a"b: a doubled quote is a quote, a single one ends the part.
      int32_t from = ++i;
      for (;;) {
        if (i == end) {
          *why = "a quoted part has no closing quote";
          return TCI_STANDIN_BAD_ARGUMENT;
        }
        if (text[i] != '"') {
          ++i;
          continue;
        }
        if (!appendPart(text, from, i, false, &part)) {
          *why = "the name is not UTF-8";
          return TCI_STANDIN_BAD_TEXT;
        }
        if (i + 1 < end && text[i + 1] == '"') {
          part += '"';
          from = i += 2;
          continue;
        }
        ++i;
        break;
      }
      if (i < end && text[i] != '.') {
        *why = "a quoted part is followed by more than a dot";
        return TCI_STANDIN_BAD_ARGUMENT;
      }
    } else {
      int32_t from = i;
      while (i < end && text[i] != '.' && text[i] != '"') ++i;
      if (i < end && text[i] == '"') {
        *why = "a double quote inside a part that is not quoted";
        return TCI_STANDIN_BAD_ARGUMENT;
      }
      if (!appendPart(text, from, i, true, &part)) {
        *why = "the name is not UTF-8";
        return TCI_STANDIN_BAD_TEXT;
      }
    }
    if (part.empty()) {
      *why = "the name has an empty part";
      return TCI_STANDIN_BAD_ARGUMENT;
    }
    parts->push_back(std::move(part));
    if (i == end) return TCI_STANDIN_OK;
    ++i;  // the dot
    if (i == end) {
      *why = "the name has an empty part";
      return TCI_STANDIN_BAD_ARGUMENT;
    }
  }
}

}  // namespace standin
