// Date, time and timestamp literals: "{d '2001-02-03'}" becomes
// " TO_DATE('2001-02-03','YYYY-MM-DD') ", "{t '12:30:00'}" and "{ts '...'}" likewise with their
// formats. Only the literal's length is checked; the server judges its value. The clause is
// replaced in the working buffer, so the statement becomes shorter or longer.
#include <array>
#include <span>

#include "driver/memory.h"
#include "driver/trace.h"
#include "driver/translators.h"
#include "driver/work_buffer.h"
#include "scanner/scanner_buffers.h"
#include "scanner/scanner_state.h"

namespace {

constexpr uint32_t kTimestampLength = 21;  // quote, "YYYY-MM-DD HH:MI:SS", quote

struct LiteralRule {
  int kind;
  uint32_t shortest, longest;  // accepted literal lengths, quotes included
  const char* format;          // appended after the literal
};
// kind | lengths | format suffix
constexpr std::array<LiteralRule, 3> kLiteralRules = {{
    {1, 12, 12, ",'YYYY-MM-DD')"},             // date, and '' (below)
    {2, 10, 10, ",'HH24:MI:SS')"},             // time
    {3, 21, 31, ",'YYYY-MM-DD HH24:MI:SS')"},  // timestamp, cut to 21
}};

const LiteralRule* ruleFor(int kind, const uint16_t* literal, uint32_t length) {
  for (const LiteralRule& rule : kLiteralRules) {
    if (rule.kind != kind) continue;
    if (length >= rule.shortest && length <= rule.longest) return &rule;
    // The empty date literal '' is accepted as well.
    if (kind == 1 && length == 2 && literal[0] == '\'' && literal[1] == '\'') return &rule;
    return nullptr;
  }
  return nullptr;
}

bool isBlank(uint16_t c) { return c == ' '; }
bool isLetter(uint16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isLiteralChar(uint16_t c) {
  return (c >= '0' && c <= '9') || c == '-' || c == ':' || c == '.' || c == ' ';
}

// The literal in the shape applications send it, "{ts '2001-02-03 12:30:00'}": a keyword of
// letters, blanks, a quoted text of digits, '-', ':', '.' and blanks, then blanks up to the
// closing. The scanner would read the keyword as a name and the quoted text as a string token,
// and these are all the translator reads, so the string is taken from the text without it.
// Returns the opening quote and its length with the quotes, or null for any other shape.
const uint16_t* plainLiteral(const uint16_t* keyword, const uint16_t* closing, uint32_t* length) {
  const uint16_t* p = keyword;
  if (!isLetter(*p)) return nullptr;
  while (p < closing && isLetter(*p)) ++p;
  if (p == closing || !isBlank(*p)) return nullptr;
  while (p < closing && isBlank(*p)) ++p;
  if (p == closing || *p != '\'') return nullptr;
  const uint16_t* quote = p++;
  while (p < closing && isLiteralChar(*p)) ++p;
  if (p == closing || *p != '\'') return nullptr;
  *length = uint32_t(++p - quote);
  while (p < closing && isBlank(*p)) ++p;
  return p == closing ? quote : nullptr;
}

// The clause [opening, end) replaced by " TO_DATE(" literal format " ", after the statement's
// trailing blanks were trimmed (also when the literal is then rejected).
[[nodiscard]] Status replaceLiteral(ConversionContext* ctx, int kind, const uint16_t* literal,
                                    uint32_t length, uint16_t* opening, uint16_t* end) {
  wbTrimTail(ctx->work, end);
  const LiteralRule* rule = ruleFor(kind, literal, length);
  if (rule == nullptr) return bcoFail(ctx, kReasonMalformed);
  // "'2001-02-03 12:30:00.123'" keeps its date and time: fractional seconds are dropped.
  const bool cut = kind == 3 && length > kTimestampLength;
  if (cut) length = kTimestampLength;

  uint16_t text[9 + kTokenTextCapacity + 32];
  size_t n = 0;
  for (const char* p = " TO_DATE("; *p != 0; ++p) text[n++] = uint16_t(*p);
  for (uint32_t i = 0; i < length; ++i) text[n++] = literal[i];
  if (cut) text[n - 1] = '\'';
  for (const char* p = rule->format; *p != 0; ++p) text[n++] = uint16_t(*p);
  text[n++] = ' ';
  uint16_t* moved = nullptr;
  if (wbReplace(ctx->work, opening, end, std::span<const uint16_t>(text, n), &moved) != kOk) {
    return bcoFail(ctx, kReasonNoMemory);
  }
  return kOk;
}

}  // namespace

Status bcoConvertDateTime(ConversionContext* ctx, int kind, uint16_t* opening,
                          uint16_t* keywordStart, uint16_t* closing, uint16_t* end) {
  // Not while tracing (the trace shows the scanner's allocations) nor in the reference
  // translation, which the tests compare this shortcut with.
  uint32_t length = 0;
  if (!bcuTraceOn() && !ctx->reference) {
    if (const uint16_t* literal = plainLiteral(keywordStart, closing, &length)) {
      return replaceLiteral(ctx, kind, literal, length, opening, end);
    }
  }

  ScannerBuffers scan;
  if (Status s = scan.open(ctx, keywordStart, keywordStart); s != kOk) return s;
  ScannerState* state = scan.state;

  nextToken(state);  // the keyword word, whatever it is: "{delete '...'}" reads as a date
  state->lastToken = nextToken(state);
  if (state->lastToken != T_STRING) return bcoFail(ctx, kReasonMalformed);
  state->literalLength = int32_t(state->tokenLength);
  return replaceLiteral(ctx, kind, state->tokenText, uint32_t(state->literalLength), opening, end);
}
