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

// A call clause of a text the parser has read, unchanged since, and whose OUTPUT rewrite would
// change nothing: the parser would find the same thing again. "select \"{call p}\" ,
// \"{call p}\"" has a call opening in every quoted name, and the parser, which reads the names as
// names, finds none in the statement each time.
bool repeatsLastCall(ConversionContext* ctx, const uint16_t* keyword, uint32_t keywordAt) {
  CallMemo* memo = &ctx->callMemo;
  const WorkBuffer* wb = ctx->work;
  if (ctx->reference || bcuTraceOn() || !memo->valid || memo->edits != wb->edits ||
      memo->generation != wb->generation) {
    return false;
  }
  if (ctx->rewriteOutputArgs == 1 && !outputFree(memo, keyword, keywordAt)) return false;
  ctx->markerCount = ctx->parsedMarkerCount = memo->markerCount;
  ctx->valueCount = ctx->parsedValueCount = memo->valueCount;
  return true;
}

// {call p(?)} and {?=call f(?)}: the call parser works on the whole statement, so the buffer is
// flattened; keyword points at "CALL" in the right part.
Status convertCall(ConversionContext* ctx, uint16_t* keyword) {
  if (!bcuStartsWithNoCase(keyword, "CALL")) return kOk;
  if (ctx->callForm != kCallFormReturn) ctx->callForm = kCallFormPlain;

  WorkBuffer* wb = ctx->work;
  const uint32_t keywordAt = uint32_t(keyword - wb->data) - wb->gapEnd + wb->gapStart;
  if (repeatsLastCall(ctx, keyword, keywordAt)) return kOk;
  ctx->callMemo.valid = false;
  uint16_t* statement = wbFlatten(wb);
  if (ctx->rewriteOutputArgs == 1) {
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
    bcoFreeCallArgs(list, listCount);
  }
  wbAdoptFlat(wb);
  if (kept && !ctx->reference && !bcuTraceOn()) {
    ctx->callMemo =
        CallMemo{true,         wb->edits, wb->generation, ctx->markerCount, ctx->valueCount,
                 wbLength(wb), UINT32_MAX};
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
      return convertCall(ctx, keyword);
    }
    case 'C':
      return convertCall(ctx, keyword);
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
