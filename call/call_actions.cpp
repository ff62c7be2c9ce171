// The call-clause actions: while the grammar parses "{call p(?, 'x', f(?))}" they build the
// block "BEGIN p(:1,'x',f(:2)); END;", the procedure name "p", one list entry per argument,
// return value and resultset group, and the counts of markers and values. Texts are bounded by
// their buffers (argText 4096, nestedText 2048, the joined name 512 characters, terminator
// included; the called procedure's name by the caller's 256-character buffer); a longer one
// stops the parse with reason 59. The block and the group pool grow.
#include "call/call_actions.h"

#include <cstring>
#include <span>

#include "call/call_argument.h"
#include "driver/scratch.h"
#include "driver/trace.h"

namespace {

using Text = std::span<const uint16_t>;

constexpr uint32_t kGrowthReserve = 256;
constexpr uint64_t kMaxTextCapacity = uint64_t(1) << 30;
constexpr uint32_t kCalledNameMax = 255;  // the dispatcher's name buffer holds 256 characters

constexpr uint16_t kBegin[] = {'B', 'E', 'G', 'I', 'N', ' '};
constexpr uint16_t kEnd[] = {';', ' ', 'E', 'N', 'D', ';'};
constexpr uint16_t kAssign[] = {' ', ':', '=', ' '};
constexpr uint16_t kComma[] = {','};
constexpr uint16_t kOpen[] = {'('};
constexpr uint16_t kClose[] = {')'};
constexpr uint16_t kColon[] = {':'};
constexpr uint16_t kDot[] = {'.'};

bool stop(ScannerState* s, uint32_t reason) {
  if (s->call.failure == 0) s->call.failure = reason;
  return false;
}

// A bounded text: buffer, length and capacity (terminator included).
bool put(ScannerState* s, uint16_t* buffer, uint32_t& length, uint32_t capacity, Text text) {
  if (uint64_t(length) + text.size() >= capacity) return stop(s, kReasonMalformed);
  std::memcpy(buffer + length, text.data(), text.size_bytes());
  length += uint32_t(text.size());
  buffer[length] = 0;
  return true;
}

// ":7", or "=:7" for the return value.
Text markerText(uint16_t (&out)[16], bool returnValue, int32_t number) {
  char digits[12];
  int n = 0;
  uint32_t v = uint32_t(number);
  do {
    digits[n++] = char('0' + v % 10);
    v /= 10;
  } while (v != 0);
  size_t len = 0;
  if (returnValue) out[len++] = '=';
  out[len++] = ':';
  while (n > 0) out[len++] = uint16_t(digits[--n]);
  return {out, len};
}

Text tokenText(const ScannerState* s) { return {s->tokenText, s->tokenLength}; }

// The last number's text, which the argument needs whole.
bool numberText(ScannerState* s, Text& text) {
  if (s->numberTruncated != 0) return stop(s, kReasonMalformed);
  text = {s->numberText, s->numberLength};
  return true;
}

bool appendBlock(ScannerState* s, Text text) {
  CallWork& w = s->call;
  const uint64_t length = uint64_t(w.blockLength) + text.size();
  if (length + kGrowthReserve > w.blockCapacity) {
    if (length >= kMaxTextCapacity ||
        bcoGrowText(s->pool, uint32_t(length), &w.blockText, &w.blockCapacity) != kOk) {
      return stop(s, kReasonNoMemory);
    }
  }
  std::memcpy(w.blockText + w.blockLength, text.data(), text.size_bytes());
  w.blockLength = uint32_t(length);
  w.blockText[length] = 0;
  return true;
}

bool setArg(ScannerState* s, Text text) {
  s->call.argLength = 0;
  return put(s, s->call.argText, s->call.argLength, kArgTextCapacity, text);
}
bool appendArg(ScannerState* s, Text text) {
  return put(s, s->call.argText, s->call.argLength, kArgTextCapacity, text);
}
bool appendNested(ScannerState* s, Text text) {
  return put(s, s->call.nestedText, s->call.nestedLength, kNestedTextCapacity, text);
}
bool appendJoined(ScannerState* s, Text text) {
  return put(s, s->call.joinedName, s->call.joinedLength, kProcNameCapacity, text);
}

// A copy of text with its terminator, for a list entry.
uint16_t* copyText(ScannerState* s, Text text) {
  auto* copy =
      static_cast<uint16_t*>(bcoObtain(s->pool, uint32_t((text.size() + 1) * sizeof(uint16_t)),
                                       Fill::kUninitialised, Fill::kUninitialised));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size_bytes());
  copy[text.size()] = 0;
  return copy;
}

// Counts the entry just written into the list; when the list is then full it grows. Traced it
// gains 8 entries at a time, the documented allocations; untraced it doubles, so that 2000
// arguments do not copy the list 250 times.
bool countEntry(ScannerState* s) {
  CallWork& w = s->call;
  ++w.argCount;
  if (w.argCount < w.argCapacity) return true;
  const uint64_t traced = (uint64_t(w.argCapacity) + kArgListStep) * sizeof(CallArgument);
  const uint64_t doubled = 2 * uint64_t(w.argCapacity) * sizeof(CallArgument);
  if (doubled > UINT32_MAX) return stop(s, kReasonNoMemory);
  uint32_t obtained = 0;
  auto* grown = static_cast<CallArgument*>(bcoObtain(
      s->pool, {uint32_t(traced), Fill::kUninitialised, uint32_t(doubled), Fill::kUninitialised},
      &obtained));
  if (grown == nullptr) return stop(s, kReasonNoMemory);
  std::memcpy(grown, w.args, size_t(w.argCount) * sizeof(CallArgument));
  bcoRelease(s->pool, w.args);
  w.args = grown;
  w.argCapacity = int32_t(obtained / sizeof(CallArgument));
  return true;
}

// The next marker number as argText, counted.
bool takeMarker(ScannerState* s, bool returnValue) {
  uint16_t buffer[16];
  if (!setArg(s, markerText(buffer, returnValue, s->call.nextMarker))) return false;
  ++s->call.markersSeen;
  ++s->call.nextMarker;
  return true;
}

// "2" as the C library's atoi reads it, kept in 16 bits: blanks, a sign, digits.
int16_t groupNumberOf(Text text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + (text[i] - '0');
  if (negative) value = 0u - value;
  return int16_t(uint16_t(value));
}

// A group item: the pool's items so far, this item and its terminator, then the final extra
// terminator; the write position moves onto that extra terminator.
bool poolItem(ScannerState* s, uint32_t at) {
  CallWork& w = s->call;
  const uint64_t used = uint64_t(at) + w.argLength + 1;
  if (used + kGrowthReserve > w.groupCapacity) {
    if (used >= kMaxTextCapacity ||
        bcoGrowText(s->pool, uint32_t(used), &w.groupPool, &w.groupCapacity) != kOk) {
      return stop(s, kReasonNoMemory);
    }
  }
  std::memcpy(w.groupPool + at, w.argText, w.argLength * sizeof(uint16_t));
  w.groupPool[at + w.argLength] = 0;
  w.groupPool[used] = 0;
  w.groupWritePos = uint32_t(used);
  CallArgument& group = w.args[w.argFilling];
  group.textLength = uint16_t(group.textLength + w.argLength);
  ++group.itemCount;
  ++w.valuesSeen;
  return appendBlock(s, {w.argText, w.argLength});
}

}  // namespace

Status bcoGrowText(ScratchPool* pool, uint32_t used, uint16_t** buffer, uint32_t* capacity) {
  const uint64_t old = *capacity;
  const uint64_t wanted = uint64_t(used) + kGrowthReserve;
  const uint64_t grown = 2 * old < wanted ? old + wanted : 2 * old;
  if (grown > kMaxTextCapacity) return kFail;
  // Written before it is read: the old contents, then what the caller appends.
  auto* bigger = static_cast<uint16_t*>(bcoObtain(pool, uint32_t(grown * sizeof(uint16_t)),
                                                  Fill::kUninitialised, Fill::kUninitialised));
  if (bigger == nullptr) return kFail;
  if (*buffer != nullptr) std::memcpy(bigger, *buffer, old * sizeof(uint16_t));
  bcoRelease(pool, *buffer);
  *buffer = bigger;
  *capacity = uint32_t(grown);
  return kOk;
}

bool beginBlock(ScannerState* s) {
  s->call.blockLength = 0;
  return appendBlock(s, kBegin);
}

// {?=call f(?)}: the return value is the first marker and the first list entry, "=:1"; the
// block assigns to it: "BEGIN :1 := ".
bool beginReturnCall(ScannerState* s) {
  CallWork& w = s->call;
  uint16_t buffer[16];
  const Text marker = markerText(buffer, true, w.nextMarker);
  uint16_t* text = copyText(s, marker);
  if (text == nullptr) return stop(s, kReasonNoMemory);
  w.args[w.argCount] = CallArgument{0, 0, text, uint16_t(marker.size()), 0, 0};
  ++w.argCount;
  ++w.valuesSeen;
  ++w.markersSeen;
  ++w.nextMarker;
  w.blockLength = 0;
  return appendBlock(s, kBegin) && appendBlock(s, marker.subspan(1)) && appendBlock(s, kAssign);
}

bool endBlock(ScannerState* s) { return appendBlock(s, kEnd); }

bool openArgList(ScannerState* s) { return appendBlock(s, kOpen); }

bool closeArgList(ScannerState* s) {
  CallWork& w = s->call;
  for (int32_t i = 0; i < w.argCount; ++i) {
    if (w.args[i].groupNumber != 0) w.args[i].isGroup = uint16_t(w.groupsSeen);
  }
  return appendBlock(s, kClose);
}

bool appendComma(ScannerState* s) { return appendBlock(s, kComma); }

bool addArgument(ScannerState* s) {
  CallWork& w = s->call;
  const Text arg{w.argText, w.argLength};
  uint16_t* text = copyText(s, arg);
  if (text == nullptr) return stop(s, kReasonNoMemory);
  w.args[w.argCount] = CallArgument{0, 0, text, uint16_t(arg.size()), 0, w.isLiteral};
  ++w.valuesSeen;
  return countEntry(s) && appendBlock(s, arg);
}

bool markerArgument(ScannerState* s) {
  s->call.isLiteral = 0;
  return takeMarker(s, false);
}

bool numberArgument(ScannerState* s) {
  Text number;
  s->call.isLiteral = 1;
  return numberText(s, number) && setArg(s, number);
}

bool tokenArgument(ScannerState* s) {
  s->call.isLiteral = 1;
  return setArg(s, tokenText(s));
}

// "x-1": the scanner reads "-1" as a signed number after the name.
bool appendNumberArgument(ScannerState* s) {
  Text number;
  s->call.isLiteral = 1;
  return numberText(s, number) && appendArg(s, number);
}

// ":3" and ":a" are the caller's own markers: counted, not renumbered.
bool colonNumberArgument(ScannerState* s) {
  Text number;
  s->call.isLiteral = 0;
  if (!numberText(s, number) || !setArg(s, kColon) || !appendArg(s, number)) return false;
  ++s->call.markersSeen;
  return true;
}

bool colonNameArgument(ScannerState* s) {
  s->call.isLiteral = 0;
  if (!setArg(s, kColon) || !appendArg(s, tokenText(s))) return false;
  ++s->call.markersSeen;
  return true;
}

// "g (?, h(1))" after its "(": the rest of the call is copied from the text through the matching
// ")", giving "g(:2, h(1))" when the first describe option is 1 (each "?" takes the next number)
// and "g(?, h(1))" otherwise. The name is already in nestedText; the blanks before "(" are not
// copied. A "(" or "?" inside a string literal is part of that literal's token and not counted.
bool functionCallArgument(ScannerState* s) {
  CallWork& w = s->call;
  const bool numberMarkers = w.link != nullptr && w.link->describeOptions[0] == 1;
  const uint16_t* copyFrom = afterToken(s) - 1;  // the "("
  restartAt(s, copyFrom + 1);
  bool converted = false;
  int32_t depth = 0;
  for (;;) {
    const int32_t token = nextToken(s);
    if (token <= 0) return stop(s, kReasonMalformed);  // the text ended before the ")"
    if (token == T_LPAREN) {
      ++depth;
    } else if (token == T_RPAREN) {
      if (depth == 0) break;
      --depth;
    } else if (token == T_QMARK && numberMarkers) {
      const uint16_t* mark = afterToken(s) - 1;
      uint16_t buffer[16];
      if (!appendNested(s, {copyFrom, size_t(mark - copyFrom)}) ||
          !appendNested(s, markerText(buffer, false, w.nextMarker))) {
        return false;
      }
      ++w.markersSeen;
      ++w.nextMarker;
      copyFrom = mark + 1;
      converted = true;
    }
  }
  const uint16_t* close = afterToken(s);  // just after the ")"
  if (!appendNested(s, {copyFrom, size_t(close - copyFrom)})) return false;
  if (!setArg(s, {w.nestedText, w.nestedLength})) return false;
  w.isLiteral = converted ? 0 : 1;
  w.nestedLength = 0;
  w.nestedText[0] = 0;
  restartAt(s, close);
  return true;
}

bool openGroup(ScannerState* s) {
  CallWork& w = s->call;
  w.args[w.argCount] = CallArgument{};
  w.argFilling = w.argCount;
  ++w.groupsSeen;
  w.inGroup = 1;
  return countEntry(s);
}

bool setGroupNumber(ScannerState* s) {
  Text number;
  if (!numberText(s, number)) return false;
  s->call.args[s->call.argFilling].groupNumber = groupNumberOf(number);
  return true;
}

bool firstGroupItem(ScannerState* s) { return poolItem(s, 0); }

bool nextGroupItem(ScannerState* s) { return poolItem(s, s->call.groupWritePos); }

bool closeGroupItems(ScannerState* s) {
  CallWork& w = s->call;
  uint16_t* text = copyText(s, {w.groupPool, w.groupWritePos});
  if (text == nullptr) return stop(s, kReasonNoMemory);
  w.args[w.argFilling].text = text;
  return true;
}

bool closeGroup(ScannerState* s) {
  s->call.inGroup = 0;
  return true;
}

bool singleName(ScannerState* s) {
  s->call.joinedLength = 0;
  return appendJoined(s, tokenText(s));
}

bool nameWithDot(ScannerState* s) {
  s->call.joinedLength = 0;
  return appendJoined(s, tokenText(s)) && appendJoined(s, kDot);
}

bool appendName(ScannerState* s) { return appendJoined(s, tokenText(s)); }

bool appendDotName(ScannerState* s) { return appendJoined(s, kDot) && appendJoined(s, tokenText(s)); }

// The first name reduced is the called procedure's; a later one names a function called in an
// argument ({call s.p(t.f(1))} calls s.p) and waits in nestedText for its parenthesis.
bool procNameDone(ScannerState* s) {
  CallWork& w = s->call;
  const Text joined{w.joinedName, w.joinedLength};
  if (w.procNameSeen != 0) {
    w.nestedLength = 0;
    return appendNested(s, joined);
  }
  if (joined.size() > kCalledNameMax) return stop(s, kReasonMalformed);
  w.procNameLength = 0;
  if (!put(s, w.procName, w.procNameLength, kProcNameCapacity, joined)) return false;
  w.procNameSeen = 1;
  return appendBlock(s, joined);
}
