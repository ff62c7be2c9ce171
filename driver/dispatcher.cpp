// The clause dispatcher: looks at the first letter of a clause's keyword and hands the clause to
// its translator. {escape '\'} is reduced here (its delimiters become blanks), and a call clause
// is prepared here (call form, OUTPUT arguments, the name buffer) before the call parser runs.
#include <algorithm>
#include <cstring>

#include "driver/memory.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/translators.h"
#include "driver/work_buffer.h"

namespace {

constexpr size_t kNameBufferBytes = 512;  // 256 wide characters

// True when the OUTPUT rewrite from the keyword at logical position keywordAt cannot change the
// text: no "OUTPUT" starts at or after it, found by looking only at the text left of what the
// memo already knows ("select \"{call p}\" , \"{call p}\"" looks at each clause's text once).
bool outputFree(CallMemo* memo, const uint16_t* keyword, uint32_t keywordAt) {
  if (memo->outputAt != UINT32_MAX && keywordAt <= memo->outputAt) return false;
  for (uint32_t at = keywordAt; at < memo->outputFreeFrom; ++at) {
    if (bcuStartsWithNoCase(keyword + (at - keywordAt), "OUTPUT")) {
      memo->outputAt = at;
      return false;
    }
  }
  memo->outputFreeFrom = std::min(memo->outputFreeFrom, keywordAt);
  return true;
}

// The memo stands for the text as it is now: the parser read it, unchanged since.
bool memoCurrent(const ConversionContext* ctx) {
  const CallMemo* memo = &ctx->callMemo;
  return !ctx->reference && !bcuTraceOn() && memo->valid && memo->edits == ctx->work->edits &&
         memo->generation == ctx->work->generation;
}

void repeatOutcome(ConversionContext* ctx) {
  ctx->markerCount = ctx->parsedMarkerCount = ctx->callMemo.markerCount;
  ctx->valueCount = ctx->parsedValueCount = ctx->callMemo.valueCount;
}

// A call clause of a text the parser has read, unchanged since, and whose OUTPUT rewrite would
// change nothing: the parser would find the same thing again. "select \"{call p}\" ,
// \"{call p}\"" has a call opening in every quoted name, and the parser, which reads the names as
// names, finds none in the statement each time.
bool repeatsLastCall(ConversionContext* ctx, const uint16_t* keyword, uint32_t keywordAt) {
  if (!memoCurrent(ctx)) return false;
  if (ctx->rewriteOutputArgs == 1 && !outputFree(&ctx->callMemo, keyword, keywordAt)) return false;
  repeatOutcome(ctx);
  return true;
}

// What rewriteInsideNames saw of the OUTPUT rewrite, in logical positions.
struct RewriteCheck {
  const CallNameSpans* names;
  const uint16_t* base;  // the keyword, at logical position baseAt
  uint32_t baseAt;
  bool insideNames = true;   // every rewrite lay strictly inside one kept name
  bool literalEdge = false;  // a rewrite blanked a character that can end a literal
  uint32_t lastAt = 0;       // the last position written
};

void noteRewrite(void* cookie, const uint16_t* from, const uint16_t* to, bool literalEdge) {
  auto* c = static_cast<RewriteCheck*>(cookie);
  c->literalEdge |= literalEdge;
  const uint32_t fromAt = c->baseAt + uint32_t(from - c->base);
  const uint32_t toAt = c->baseAt + uint32_t(to - c->base);
  c->lastAt = std::max(c->lastAt, toAt);
  if (!c->names->holds(fromAt, toAt)) c->insideNames = false;
}

enum class InPlace { kRepeated, kRewritten };

// A call clause of a text the parser read and found no opening in, unchanged since, with an
// OUTPUT argument after its keyword: the rewrite runs in place on the text right of the gap,
// which holds the keyword and everything after it. When it wrote only inside quoted names the
// parser read as whole tokens ("select \"{call p(a OUTPUT)}\" ,\"{call p(a OUTPUT)}\""), the parser
// would again find no opening, and the outcome is repeated (kRepeated). Otherwise the rewrite is
// done and the caller parses the statement (kRewritten). The search stops where the memo knows
// that no "OUTPUT" starts, so side-by-side clauses each read their own text.
InPlace rewriteInsideNames(ConversionContext* ctx, uint16_t* keyword, uint32_t keywordAt,
                           uint32_t closingAt) {
  WorkBuffer* wb = ctx->work;
  CallMemo* memo = &ctx->callMemo;
  const uint32_t freeFrom = std::max(memo->outputFreeFrom, keywordAt);
  const uint16_t* terminator = wb->data + wb->rightEnd;
  const uint16_t* limit = freeFrom >= wbLength(wb) ? terminator : keyword + (freeFrom - keywordAt);
  // The search of the previous in-place rewrite started right of this keyword and found nothing
  // left to rewrite after it: a search that reaches its start outside a literal stops there.
  const uint16_t* stopAt = memo->searchedFrom != UINT32_MAX && memo->searchedFrom > keywordAt &&
                                   memo->searchedFrom < freeFrom
                               ? keyword + (memo->searchedFrom - keywordAt)
                               : nullptr;
  RewriteCheck check{&ctx->callNames, keyword, keywordAt};
  const uint16_t* searchStart = nullptr;
  const bool changed =
      bcuReplaceOutputParamsBefore(keyword, limit, stopAt, noteRewrite, &check, &searchStart);
  const uint32_t searchedFrom =
      searchStart == nullptr ? UINT32_MAX : keywordAt + uint32_t(searchStart - keyword);
  if (!changed) {
    // The OUTPUT seen was in a literal, or no '(' came before it: nothing changed.
    if (searchedFrom != UINT32_MAX) memo->searchedFrom = searchedFrom;
    repeatOutcome(ctx);
    return InPlace::kRepeated;
  }
  // A rewrite past the clause's closing may have blanked a '}' the clause search keeps.
  if (check.lastAt >= closingAt) {
    wbNoteWideEdit(wb);
  } else {
    wbNoteEdit(wb);
  }
  if (!check.insideNames) return InPlace::kRewritten;
  memo->edits = wb->edits;
  memo->generation = wb->generation;
  // The rewrite wrote only blanks and '?', so it made no OUTPUT: outputFreeFrom still holds. When
  // it blanked nothing that ends a literal ("(x' OUTPUT" loses a quote), the search from
  // searchStart on, which rewrote every match it found, would find none now. OUTPUTs it skipped
  // as literals may be left, so outputAt is taken to stand at the keyword: the next clause to the
  // left runs its search, which stops at searchStart.
  memo->searchedFrom = check.literalEdge ? UINT32_MAX : searchedFrom;
  memo->outputAt = keywordAt;
  repeatOutcome(ctx);
  return InPlace::kRepeated;
}

// {call p(?)} and {?=call f(?)}: the call parser works on the whole statement, so the buffer is
// flattened; keyword points at "CALL" in the right part, closing at the clause's closing.
Status convertCall(ConversionContext* ctx, uint16_t* keyword, const uint16_t* closing) {
  if (!bcuStartsWithNoCase(keyword, "CALL")) return kOk;
  if (ctx->callForm != kCallFormReturn) ctx->callForm = kCallFormPlain;

  WorkBuffer* wb = ctx->work;
  const uint32_t keywordAt = uint32_t(keyword - wb->data) - wb->gapEnd + wb->gapStart;
  if (repeatsLastCall(ctx, keyword, keywordAt)) return kOk;
  // "{call p(?, ?)}" alone in the statement, written without the parser: not while tracing (the
  // trace shows the parser's allocations) nor in the reference translation, which the tests
  // compare this shortcut with, nor when the procedure is to be described.
  if (!ctx->reference && !bcuTraceOn() && !bcoDescribing(ctx->link) && wb->gapStart == 0 &&
      bcoTranslatePlainCall(ctx, wb->data + wb->gapEnd)) {
    ctx->callNames.complete = false;
    ctx->callMemo =
        CallMemo{true,         wb->edits,  wb->generation, ctx->markerCount, ctx->valueCount,
                 wbLength(wb), UINT32_MAX, UINT32_MAX};
    return kOk;
  }
  bool outputDone = false;
  if (ctx->rewriteOutputArgs == 1 && memoCurrent(ctx) && ctx->callNames.complete) {
    const uint32_t closingAt = uint32_t(closing - wb->data) - wb->gapEnd + wb->gapStart;
    if (rewriteInsideNames(ctx, keyword, keywordAt, closingAt) == InPlace::kRepeated) return kOk;
    outputDone = true;
  }
  ctx->callMemo.valid = false;
  ctx->callNames.complete = false;
  uint16_t* statement = wbFlatten(wb);
  if (ctx->rewriteOutputArgs == 1 && !outputDone) {
    bcuReplaceOutputParams(statement + keywordAt, bcoTraceAddress(ctx, keywordAt));
  }

  RawPtr<uint16_t> name(static_cast<uint16_t*>(rawAlloc(kNameBufferBytes)));
  if (!name) {
    wbAdoptFlat(wb);
    return bcoFail(ctx, kReasonNoMemory);
  }
  name.get()[0] = 0;
  int32_t listCount = 0;
  CallArgument* list = nullptr;
  Status status = bcoParseCallClause(ctx, statement, name.get(), &ctx->markerCount,
                                     &ctx->valueCount, &listCount, &list);
  bool kept = false;
  if (status == kOk) {
    ctx->parsedMarkerCount = ctx->markerCount;
    ctx->parsedValueCount = ctx->valueCount;
    // No name: the parser saw no call opening ("select 1 -- {call p}") and left the statement
    // as it was; there is nothing to describe.
    if (bcoDescribing(ctx->link) && name.get()[0] != 0) {
      status = bcoDescribeProcedure(ctx, name.get(), wb->data, listCount, list);
    } else {
      kept = true;  // the block, if any, is the parser's: a second parse would write it again
    }
    bcoFreeCallArgs(&ctx->scratch, list, listCount);
  }
  wbAdoptFlat(wb);
  if (kept && !ctx->reference && !bcuTraceOn()) {
    ctx->callMemo =
        CallMemo{true,         wb->edits,  wb->generation, ctx->markerCount, ctx->valueCount,
                 wbLength(wb), UINT32_MAX, UINT32_MAX};
  } else {
    ctx->callNames.complete = false;
  }
  return status;
}

// {oj ...}: the outer-join translator rewrites every outer-join clause of the statement, which it
// finds by itself. Openings it reads as part of a name, string or comment ("select \"{oj t}\" ,
// \"{oj t}\"") still reach it one by one; once a call found no clause, a call on the same text,
// unchanged since, would find none again and is skipped without flattening the buffer.
Status convertOuterJoin(ConversionContext* ctx) {
  WorkBuffer* wb = ctx->work;
  if (!ctx->reference && !bcuTraceOn() && ctx->ojNoClause && ctx->ojNoClauseEdits == wb->edits &&
      ctx->ojNoClauseGeneration == wb->generation) {
    return kOk;
  }
  const Status status = bcoTranslateOuterJoin(ctx, wbFlatten(wb));
  wbAdoptFlat(wb);
  ctx->ojNoClauseEdits = wb->edits;
  ctx->ojNoClauseGeneration = wb->generation;
  return status;
}

}  // namespace

bool CallNameSpans::holds(uint32_t from, uint32_t to) const {
  // The last name starting at or before from: names are disjoint and in statement order.
  const uint32_t* pairs = items.items;
  uint32_t lo = 0, hi = items.size / 2;
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (pairs[2 * mid] <= from) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return false;
  const uint32_t start = pairs[2 * (lo - 1)], end = pairs[2 * (lo - 1) + 1];
  return start < from && from <= to && uint64_t(to) + 1 < end;
}

bool bcoKeywordIsInert(const uint16_t* keyword) {
  switch (bcuUpper(*keyword)) {
    case '?':  // sets the call form whatever follows
    case 'D':
    case 'T':
      return false;
    case 'C':
      return !bcuStartsWithNoCase(keyword, "CALL");
    case 'E':
      return !bcuStartsWithNoCase(keyword, "ESCAPE");
    case 'F':
      // "{fn\tUCASE(x)}" is not a function clause: the keyword must be followed by a blank.
      return bcuUpper(keyword[1]) != 'N' || keyword[2] != ' ';
    case 'O':
      return bcuUpper(keyword[1]) != 'J' || keyword[2] != ' ';
    default:
      return true;  // "{resultset 1, a}", "{xyz}"
  }
}

Status bcoConvertStrings(ConversionContext* ctx, const ClausePositions& clause) {
  bcuTrace("bcoConvertStrings", ctx);
  uint16_t* keyword = clause.keywordStart;
  if (bcoKeywordIsInert(keyword)) return kOk;
  switch (bcuUpper(*keyword)) {
    case '?': {
      // {?=call f(?)}: the character after "?" and its white space is taken to be "=".
      ctx->callForm = kCallFormReturn;
      keyword = bcuSkipSpace(keyword + 1);
      keyword = bcuSkipSpace(keyword + 1);
      return convertCall(ctx, keyword, clause.closing);
    }
    case 'C':
      return convertCall(ctx, keyword, clause.closing);
    case 'D':
      return bcoConvertDateTime(ctx, 1, clause.opening, keyword, clause.closing, clause.end);
    case 'T':
      return bcoConvertDateTime(ctx, bcuUpper(keyword[1]) == 'S' ? 3 : 2, clause.opening, keyword,
                                clause.closing, clause.end);
    case 'E':
      // {escape '\'} keeps "escape '\'" in place; the delimiters around it become blanks.
      bcuFillW(clause.opening, ' ', size_t(keyword - clause.opening));
      bcuFillW(clause.closing, ' ', size_t(clause.end - clause.closing));
      wbNoteEdit(ctx->work);
      ctx->bracelessEdits = ctx->work->edits;  // blanks only
      return kOk;
    case 'F':
      return bcoConvertScalarFunction(ctx, clause.opening, clause.opening,
                                      bcuSkipSpace(keyword + 2), clause.closing, clause.end);
    case 'O':
      return convertOuterJoin(ctx);
    default:
      return kOk;
  }
}
