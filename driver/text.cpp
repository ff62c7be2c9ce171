// Wide-text routines shared by the translators. Every routine stays inside the terminated text it
// is given: comparisons stop at the first difference, and a terminator always differs from the
// (non-empty) ASCII needles.
#include "driver/text.h"

#include <string_view>

#include "driver/trace.h"
#include "driver/unit_scan.h"

size_t bcuLength(const uint16_t* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

bool bcuStartsWithNoCase(const uint16_t* p, const char* needle) {
  for (; *needle != 0; ++p, ++needle) {
    if (bcuUpper(*p) != bcuUpper(static_cast<unsigned char>(*needle))) return false;
  }
  return true;
}

namespace {

// The literal-skipping search. Bounded, it only finds matches that start before limit (a
// position of the same text) and gives up at stopAt when it stands there outside a literal.
template <bool kBounded>
const uint16_t* findSkipLiteral(const uint16_t* p, const char* needle, const uint16_t* limit,
                                const uint16_t* stopAt) {
  if (*p == 0) return nullptr;
  if (*needle == 0) return p;
  const uint16_t firstUpper = bcuUpper(static_cast<unsigned char>(*needle));
  for (;;) {
    if (kBounded && (p >= limit || p == stopAt)) return nullptr;
    if (bcuUpper(*p) == firstUpper && bcuStartsWithNoCase(p, needle)) return p;
    if (*p == '\'') {
      // A literal runs to the next quote, or to a "*/" that closes a comment around it.
      do {
        ++p;
        if (*p == 0) return nullptr;
      } while (*p != '\'' && !(*p == '*' && p[1] == '/'));
    }
    ++p;
    if (*p == 0) return nullptr;
  }
}

}  // namespace

const uint16_t* bcuFindSkipLiteral(const uint16_t* p, const char* needle) {
  return findSkipLiteral<false>(p, needle, nullptr, nullptr);
}

const uint16_t* bcuFstristr_SkipLiteral(const uint16_t* haystack, const char* needle) {
  bcuTrace("bcuFstristr_SkipLiteral", 0u);
  return bcuFindSkipLiteral(haystack, needle);
}

void bcuTrimBlanksW(uint16_t* text, int64_t length) {
  bcuTrace("bcuTrimBlanksW", 0u);
  for (int64_t i = length - 1; i >= 0 && text[i] == ' '; --i) text[i] = 0;
}

uint16_t* bcuFillW(uint16_t* dest, uint16_t c, size_t count) {
  for (size_t i = 0; i < count; ++i) dest[i] = c;
  return dest;
}

int bcuNamesEqual(const uint16_t* a, const uint16_t* b) {
  const bool exact = *a == '"' || *b == '"';
  if (*a == '"') ++a;
  if (*b == '"') ++b;
  for (;; ++a, ++b) {
    const bool endA = *a == 0 || *a == '"';
    const bool endB = *b == 0 || *b == '"';
    if (endA || endB) return endA && endB ? 1 : 0;
    if (exact ? *a != *b : bcuUpper(*a) != bcuUpper(*b)) return 0;
  }
}

uint32_t bcuNumCharClauses(const uint16_t* text, const char* needle) {
  bcuTrace("bcuNumCharClauses", text);
  size_t step = 0;
  while (needle[step] != 0) ++step;
  if (step == 0) return 0;
  uint32_t count = 0;
  for (const uint16_t* m = bcuFstristr_SkipLiteral(text, needle); m != nullptr;
       m = bcuFstristr_SkipLiteral(m + step, needle)) {
    ++count;
  }
  return count;
}

uint32_t bcuNumEscapeClauses(const uint16_t* text) {
  bcuTrace("bcuNumEscapeClauses", text);
  uint32_t count = 0;
  for (const uint16_t* m = bcuFstristr_SkipLiteral(text, "--(*"); m != nullptr;
       m = bcuFstristr_SkipLiteral(m + 4, "--(*")) {
    ++count;
  }
  for (const uint16_t* m = bcuFstristr_SkipLiteral(text, "{"); m != nullptr;
       m = bcuFstristr_SkipLiteral(m + 1, "{")) {
    ++count;
  }
  return count;
}

void bcuRemoveControlChars(std::span<uint16_t> text, const void* tracedAddress) {
  bcuTrace("bcuRemoveControlChars", tracedAddress != nullptr ? tracedAddress : text.data());
  if (!bcuHasControlUnit(text)) return;
  bool inLiteral = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint16_t c = text[i];
    if (c == '\'') {
      inLiteral = !inLiteral;
    } else if (!inLiteral && c >= 1 && c <= 31) {
      text[i] = ' ';
      // "a\r\nb": the carriage return becomes a blank and the line feed stays.
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
  }
}

namespace {

bool replaceOutputParams(uint16_t* callText, const void* tracedAddress, bool plain,
                         const uint16_t* limit, const uint16_t* stopAt, OutputRewriteNote note,
                         void* cookie, const uint16_t** searchStart) {
  bcuTrace("bcuReplaceOutputParams", tracedAddress != nullptr ? tracedAddress : callText);
  uint16_t* open = callText;
  while (open != limit && *open != 0 && *open != '(') ++open;
  if (open == limit || *open == 0) return false;
  if (searchStart != nullptr) *searchStart = open;
  bool changed = false;
  // "(x OUTPUT, y)" becomes "(?        , y)": blank from the keyword's end back to the delimiter.
  // The previous rewrite left "?" and blanks up to its keyword's end; when no delimiter stands
  // between that end and this keyword ("(x OUTPUT OUTPUT"), the walk would cross them again only
  // to stop at the same delimiter, so it stops there at once. The search after a rewrite goes on
  // after the keyword: the "?" and blanks before it hold no match and no quote.
  uint16_t* lastQuestion = nullptr;  // the "?" the previous rewrite wrote
  uint16_t* lastEnd = nullptr;       // the last character that rewrite blanked
  auto find = [&](const uint16_t* from) {
    return limit == nullptr ? bcuFstristr_SkipLiteral(from, "OUTPUT")
                            : findSkipLiteral<true>(from, "OUTPUT", limit, stopAt);
  };
  const uint16_t* m = find(open);
  while (m != nullptr) {
    uint16_t* q = const_cast<uint16_t*>(m) + 5;
    uint16_t* const end = q;
    bool literalEdge = false;  // a quote, '*' or '/' blanked: the search's literals may change
    for (;;) {
      if (!plain && q == lastEnd) {
        q = lastQuestion;
        break;
      }
      if (note != nullptr) literalEdge |= *q == '\'' || *q == '*' || *q == '/';
      *q = ' ';
      if (q[-1] == ',' || q[-1] == '(') break;
      --q;
    }
    *q = '?';
    changed = true;
    if (note != nullptr) note(cookie, q, end, literalEdge);
    lastQuestion = q;
    lastEnd = end;
    m = find(plain ? q : end + 1);
  }
  return changed;
}

}  // namespace

bool bcuReplaceOutputParams(uint16_t* callText, const void* tracedAddress, bool plain) {
  return replaceOutputParams(callText, tracedAddress, plain, nullptr, nullptr, nullptr, nullptr,
                             nullptr);
}

bool bcuReplaceOutputParamsBefore(uint16_t* callText, const uint16_t* limit, const uint16_t* stopAt,
                                  OutputRewriteNote note, void* cookie,
                                  const uint16_t** searchStart) {
  return replaceOutputParams(callText, nullptr, false, limit, stopAt, note, cookie, searchStart);
}

uint16_t* bcuVerifyVendorFindType(uint16_t* text) {
  bcuTrace("bcuVerifyVendorFindType", 0u);
  static constexpr std::string_view kPrefixTokens[] = {"vendor",  "(", "Microsoft", ")", ",",
                                                        "product", "(", "ODBC",      ")"};
  const uint16_t* p = text;
  for (std::string_view token : kPrefixTokens) {
    p = bcuSkipSpace(p);
    // Compared up to the first difference, so never past the terminator.
    for (size_t i = 0; i < token.size(); ++i) {
      if (bcuUpper(p[i]) != bcuUpper(static_cast<unsigned char>(token[i]))) return nullptr;
    }
    p += token.size();
  }
  return const_cast<uint16_t*>(bcuSkipSpace(p));
}
