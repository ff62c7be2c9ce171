// A call clause in the shape applications send it, alone in its statement:
// "{call pkg.proc(?, ?)}" or "{?=call f(?)}", markers only. Its anonymous block and counts are
// those the call parser would produce ("BEGIN pkg.proc(:1,:2); END;", "BEGIN :1 := f(:2); END;"),
// written here without the scanner and the grammar, whose buffers cost more than the clause.
#include <cstring>

#include "driver/scratch.h"
#include "driver/text.h"
#include "driver/translators.h"

namespace {

bool isLetter(uint16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isNameUnit(uint16_t c) {
  return isLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '#' || c == '$';
}
const uint16_t* skipBlanks(const uint16_t* p) {
  while (*p == ' ') ++p;
  return p;
}

// After one name part ("pkg"), or null. BEGIN and END are their own tokens, not names.
const uint16_t* namePart(const uint16_t* p) {
  if (!isLetter(*p)) return nullptr;
  const uint16_t* q = p;
  while (isNameUnit(*q)) ++q;
  const size_t n = size_t(q - p);
  if ((n == 5 && bcuStartsWithNoCase(p, "BEGIN")) || (n == 3 && bcuStartsWithNoCase(p, "END")))
    return nullptr;
  return q;
}

// Appends ASCII text.
uint16_t* put(uint16_t* out, const char* text) {
  while (*text != 0) *out++ = uint16_t(*text++);
  return out;
}
uint16_t* putMarker(uint16_t* out, uint32_t number) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = char('0' + number % 10);
    number /= 10;
  } while (number != 0);
  *out++ = ':';
  while (n > 0) *out++ = uint16_t(digits[--n]);
  return out;
}

}  // namespace

bool bcoTranslatePlainCall(ConversionContext* ctx, const uint16_t* clause) {
  // The opening: "{call " or "{?=call " ("{? = call "), the clause at the statement's start.
  const uint16_t* p = clause;
  if (*p++ != '{') return false;
  const bool returnForm = *p == '?';
  if (returnForm) {
    p = skipBlanks(p + 1);
    if (*p++ != '=') return false;
    p = skipBlanks(p);
  }
  if (!bcuStartsWithNoCase(p, "CALL") || p[4] != ' ') return false;
  // The name: one to three parts joined by dots.
  const uint16_t* name = skipBlanks(p + 4);
  const uint16_t* nameEnd = namePart(name);
  for (int parts = 1; nameEnd != nullptr && *nameEnd == '.' && parts < 3; ++parts) {
    nameEnd = namePart(nameEnd + 1);
  }
  if (nameEnd == nullptr || nameEnd - name > 128) return false;
  // The list: none, "()", or markers between commas.
  p = skipBlanks(nameEnd);
  uint32_t markers = 0;
  if (*p == '(') {
    p = skipBlanks(p + 1);
    if (*p != ')') {
      for (;;) {
        if (*p != '?') return false;
        ++markers;
        p = skipBlanks(p + 1);
        if (*p == ')') break;
        if (*p != ',') return false;
        p = skipBlanks(p + 1);
      }
    }
    p = skipBlanks(p + 1);
  }
  if (*p != '}' || *skipBlanks(p + 1) != 0 || markers > 4096) return false;

  // "BEGIN " [":1 := "] name ["(" ":2" "," ... ")"] "; END;"
  const uint32_t first = returnForm ? 2 : 1;
  const uint64_t units =
      6 + (returnForm ? 7 : 0) + uint64_t(nameEnd - name) + 2 + 7 * markers + 6 + 1;
  uint32_t bytes = 0;
  auto* block =
      static_cast<uint16_t*>(bcoObtain(&ctx->scratch,
                                       {uint32_t(units * sizeof(uint16_t)), Fill::kZeroed,
                                        uint32_t(units * sizeof(uint16_t)), Fill::kUninitialised},
                                       &bytes));
  if (block == nullptr) return false;  // the parser then tries, and reports what it finds
  uint16_t* out = put(block, "BEGIN ");
  if (returnForm) out = put(putMarker(out, 1), " := ");
  std::memcpy(out, name, size_t(nameEnd - name) * sizeof(uint16_t));
  out += nameEnd - name;
  if (markers != 0) {
    *out++ = '(';
    for (uint32_t i = 0; i < markers; ++i) {
      if (i != 0) *out++ = ',';
      out = putMarker(out, first + i);
    }
    *out++ = ')';
  }
  out = put(out, "; END;");
  *out = 0;

  bcoRelease(&ctx->scratch, ctx->rewrittenText);
  ctx->rewrittenText = block;
  ctx->rewrittenCapacity = int32_t(bytes / sizeof(uint16_t));
  const uint16_t values = uint16_t(markers + (returnForm ? 1 : 0));
  ctx->markerCount = ctx->parsedMarkerCount = values;
  ctx->valueCount = ctx->parsedValueCount = values;
  return true;
}
