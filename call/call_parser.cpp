// The call-clause driver: for "{call p(?)}" somewhere in a statement it finds the clause's
// opening with the clause scanner, parses from there to the end of the statement with the call
// grammar, and hands back the anonymous block (as the context's rewrittenText), the procedure
// name, the marker and value counts and the argument list.
#include <algorithm>
#include <cstring>

#include "call/call_actions.h"
#include "call/call_argument.h"
#include "driver/memory.h"
#include "driver/scratch.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/translators.h"

namespace {

// Obtains a buffer of `units` elements into `buffer`: traced zero-filled (the documented
// allocation), untraced as `fill` says. False without memory.
template <typename T>
bool obtain(ScratchPool* pool, T*& buffer, uint32_t units, Fill fill) {
  buffer = static_cast<T*>(bcoObtain(pool, uint32_t(units * sizeof(T)), Fill::kZeroed, fill));
  return buffer != nullptr;
}

template <typename T>
void release(ScratchPool* pool, T*& buffer) {
  bcoRelease(pool, buffer);
  buffer = nullptr;
}

// The scanner state with its token buffers and the call parser's work buffers, released on every
// exit; the argument list too, unless it was handed to the caller.
struct CallScope {
  ScannerState* s = nullptr;
  ~CallScope() {
    if (s == nullptr) return;
    CallWork& w = s->call;
    ScratchPool* pool = s->pool;
    release(pool, s->tokenText);
    release(pool, s->prevTokenText);
    release(pool, w.procName);
    release(pool, w.groupPool);
    release(pool, w.argText);
    release(pool, w.blockText);
    release(pool, w.nestedText);
    if (w.args != nullptr) bcoFreeCallArgs(pool, w.args, w.argCount);  // not handed out: a failure
    w.args = nullptr;
    destroyScanner(s);
  }
};

// The statement loses its trailing blanks (not tabs) in place; a blank first character stays.
// Returns the new length.
size_t trimTrailingBlanks(uint16_t* statement) {
  size_t last = bcuLength(statement);
  if (last == 0) return 0;
  --last;
  while (last > 0 && statement[last] == ' ') --last;
  statement[last + 1] = 0;
  return last + 1;
}

// The buffers, in the order the trace shows them. Untraced, the texts are not zero-filled (each
// is written before it is read; their first characters are emptied here), and the block starts
// with room for a statement of `length` characters, which it is about as long as, instead of
// growing to it.
bool obtainBuffers(ScannerState* s, size_t length) {
  CallWork& w = s->call;
  ScratchPool* pool = s->pool;
  constexpr Fill kText = Fill::kUninitialised;
  const uint64_t blockUnits = std::max<uint64_t>(kBlockTextStart, length + 512);
  if (blockUnits > UINT32_MAX / sizeof(uint16_t)) return false;
  uint32_t blockBytes = 0;
  // The token texts hold what the scanner's buffers hold.
  const ScratchRequest token{kTokenTextCapacity * sizeof(uint16_t), Fill::kZeroed,
                             scannerRoom(s) * uint32_t(sizeof(uint16_t)), kText};
  s->tokenText = static_cast<uint16_t*>(bcoObtain(pool, token));
  s->prevTokenText =
      s->tokenText == nullptr ? nullptr : static_cast<uint16_t*>(bcoObtain(pool, token));
  if (s->prevTokenText == nullptr || !obtain(pool, w.procName, kProcNameCapacity, kText) ||
      !obtain(pool, w.groupPool, kGroupPoolStart, kText) ||
      !obtain(pool, w.argText, kArgTextCapacity, kText) ||
      !obtain(pool, w.args, uint32_t(kArgListStep), Fill::kZeroed)) {
    return false;
  }
  w.blockText = static_cast<uint16_t*>(
      bcoObtain(pool,
                {kBlockTextStart * sizeof(uint16_t), Fill::kUninitialised,
                 uint32_t(blockUnits * sizeof(uint16_t)), Fill::kUninitialised},
                &blockBytes));
  if (w.blockText == nullptr || !obtain(pool, w.nestedText, kNestedTextCapacity, kText)) {
    return false;
  }
  w.blockCapacity = blockBytes / sizeof(uint16_t);
  for (uint16_t* text : {s->tokenText, s->prevTokenText, w.procName, w.groupPool, w.argText,
                         w.blockText, w.nestedText}) {
    text[0] = 0;
  }
  w.groupCapacity = kGroupPoolStart;
  w.argCapacity = kArgListStep;
  return true;
}

// Finds where the clause starts: the first "{call" (or its long form) or BEGIN, or the last
// "{?=call" before it, all as tokens, so that an opening inside a literal or a line comment does
// not count. Null when there is none; kTokenOverflow when a token too long for the scanner stands
// in the way.
// With names given, the quoted names read as whole tokens are listed (CallNameSpans): those
// without an inner quote whose characters no earlier read-ahead reached. readBefore is where the
// scanner had read to before the token: a failed long opening ("--(*vendor(\"x\" ...") reads on
// through a name, and what it reads there decides where it stops.
void noteQuotedName(ScannerState* s, const uint16_t* statement, const uint16_t* readBefore,
                    CallNameSpans* names) {
  const uint16_t* end = afterToken(s);
  const uint16_t* start = end - s->matchLength;
  if (start < statement || end - start < 2 || *start != '"' || end[-1] != '"' ||
      readBefore > start + 1) {
    return;
  }
  for (const uint16_t* p = start + 1; p < end - 1; ++p) {
    if (*p == '"') return;  // "a""b": blanking one of the pair would end the name there
  }
  if (!names->push(uint32_t(start - statement), uint32_t(end - statement))) names->complete = false;
}

int32_t prescan(ScannerState* s, const uint16_t* statement, CallNameSpans* names) {
  s->prescan = 1;
  restartAt(s, statement);
  int32_t token;
  do {
    const uint16_t* readBefore = s->inputPos;
    token = nextToken(s);
    if (names != nullptr && token == T_NAME && names->complete)
      noteQuotedName(s, statement, readBefore, names);
  } while (token != 0 && token != T_CALL && token != T_BEGIN && token != kTokenOverflow);
  s->prescan = 0;
  return token;
}

// The context's rewrittenText becomes the block's text; its buffer is kept when large enough, and
// is otherwise replaced by one that keeps the text (bcoKeepText: untraced, the block itself).
[[nodiscard]] bool keepBlock(ConversionContext* ctx, CallWork& w) {
  if (ctx->rewrittenText == nullptr || uint32_t(ctx->rewrittenCapacity) <= w.blockLength) {
    // Also when there is none: the trace shows the release.
    if (ctx->rewrittenText == nullptr) MEMFree(nullptr);
    bcoRelease(&ctx->scratch, ctx->rewrittenText);
    uint32_t kept = 0;
    ctx->rewrittenText =
        bcoKeepText(&ctx->scratch, &w.blockText, w.blockCapacity, w.blockLength, &kept);
    ctx->rewrittenCapacity = int32_t(kept);
    return ctx->rewrittenText != nullptr;
  }
  std::memcpy(ctx->rewrittenText, w.blockText, (w.blockLength + 1) * sizeof(uint16_t));
  return true;
}

}  // namespace

Status bcoParseCallClause(ConversionContext* ctx, uint16_t* statement, uint16_t* nameBuffer,
                          uint16_t* markerCount, uint16_t* valueCount, int32_t* listCount,
                          CallArgument** list) {
  CallScope scope;
  uint32_t reason = 0;
  bool parsed = false;
  // Room for the statement, or the full room in the reference translation (see ScannerBuffers).
  scope.s = createScanner(&ctx->scratch,
                          ctx->reference ? kMatchCapacity : bcoScannerRoom(bcuLength(statement)));
  ScannerState* s = scope.s;
  if (s == nullptr) {
    reason = kReasonNoMemory;
  } else {
    s->call.link = ctx->link;
    s->textStart = statement;
    const size_t length = trimTrailingBlanks(statement);
    if (!obtainBuffers(s, length)) {
      reason = kReasonNoMemory;
    } else {
      s->call.nextMarker = 1;
      // The quoted names are listed for the dispatcher's memo (see CallNameSpans); complete
      // stays set only when the search finds no opening.
      CallNameSpans* names = ctx->reference || bcuTraceOn() ? nullptr : &ctx->callNames;
      if (names != nullptr) {
        names->clear();
        names->complete = true;
      }
      const int32_t found = prescan(s, statement, names);
      if (names != nullptr && (found != 0 || s->clauseStart != nullptr)) names->complete = false;
      if (found == kTokenOverflow) {
        reason = kReasonMalformed;
      } else if (s->clauseStart != nullptr) {
        // Without an opening the scanner can see ("-- {call p}": the clause is in a line
        // comment), the statement stays as it is.
        restartAt(s, s->clauseStart);
        parsed = true;
        if (bcoCallParser(s) != 0)
          reason = s->call.failure != 0 ? s->call.failure : kReasonMalformed;
      }
    }
  }

  // The outputs are written whatever happened; the dispatcher reads them only after a success.
  CallWork* w = s == nullptr ? nullptr : &s->call;
  if (w != nullptr && w->procName != nullptr) {
    std::memcpy(nameBuffer, w->procName, (w->procNameLength + 1) * sizeof(uint16_t));
  } else {
    nameBuffer[0] = 0;
  }
  *markerCount = w == nullptr ? 0 : uint16_t(w->markersSeen);
  *valueCount = w == nullptr ? 0 : uint16_t(w->valuesSeen);
  *listCount = w == nullptr ? 0 : w->argCount;
  *list = nullptr;
  if (parsed && !keepBlock(ctx, *w) && reason == 0) reason = kReasonNoMemory;
  if (reason != 0) return bcoFail(ctx, reason);
  if (w != nullptr) {
    *list = w->args;
    s->call.args = nullptr;  // the caller's now
  }
  return kOk;
}

uint16_t bcoFreeCallArgs(ScratchPool* pool, CallArgument* list, int32_t count) {
  if (list == nullptr) return 0;
  for (int32_t i = 0; i < count; ++i) bcoRelease(pool, list[i].text);
  bcoRelease(pool, list);
  return 0;
}
