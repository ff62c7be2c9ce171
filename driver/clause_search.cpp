// Finds the escape clauses of a statement and hands each to the dispatcher: long forms
// ("--(*vendor(Microsoft),product(ODBC) fn ... *)--") from the last to the first, each after the
// brace clauses from it to the end; then every brace clause, from the last opening brace to the
// first, so that nested clauses are translated from the inside out.
//
// The openings a pass can still reach are found by one literal-skipping scan when the pass starts:
// text left of the current clause never changes, so the scan's matches there stay valid (a
// translator that rewrites the whole statement raises the buffer's generation, and the search
// scans again). The first '}' after an opening is kept on a stack of the '}' right of the gap,
// updated with each rewritten clause. So brace clauses cost in proportion to their own length,
// not to the statement's. The long-form loop remembers where the text after the current long
// form has no brace and no "*)--" (SuffixFacts), so that side-by-side long forms do not each
// scan the rest of the statement. The trace shows the searches of the literal algorithm, one line
// per search.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "driver/pos_list.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/translators.h"
#include "driver/unit_scan.h"
#include "driver/work_buffer.h"

namespace {

// One "bcuFstristr_SkipLiteral" trace line per search of the algorithm that rescans from the
// start: `found` matches before the bound and the one that ends the search.
void traceSearches(uint32_t found) {
  if (!bcuTraceOn()) return;
  for (uint32_t i = 0; i <= found; ++i) bcuTraceLine(kTraceBit, "bcuFstristr_SkipLiteral", 0u);
}

// The matches of a needle without letters or quotes that does not start with '*' or '/' ("{",
// "--(*"), found as bcuFindSkipLiteral finds them but eight characters at a time: its first
// character or a quote outside literals; a quote, or a '*' that may start a "*/", inside them.
// After a match the search goes on `step` characters further.
[[nodiscard]] bool collectPlainMatches(const uint16_t* text, uint32_t length, uint32_t start,
                                       std::u16string_view needle, uint32_t step, PosList* out) {
  const std::span<const uint16_t> all(text, length);
  const uint16_t outside[] = {uint16_t(needle[0]), '\'', 0};
  static constexpr uint16_t kInside[] = {'\'', '*', 0};
  for (size_t i = start;;) {
    i = bcuFindAnyUnit(all, i, outside);
    if (i == length || text[i] == 0) return true;
    if (text[i] == needle[0]) {
      if (length - i >= needle.size() &&
          std::equal(needle.begin() + 1, needle.end(), text + i + 1)) {
        if (!out->push(uint32_t(i))) return false;
        i += step;
      } else {
        ++i;
      }
      continue;
    }
    // A literal runs to the next quote, or to a "*/" that closes a comment around it; the search
    // goes on after its quote, or at the '/'.
    for (++i;; ++i) {
      i = bcuFindAnyUnit(all, i, kInside);
      if (i == length || text[i] == 0) return true;
      if (text[i] == '\'' || (i + 1 < length && text[i + 1] == '/')) break;
    }
    ++i;
  }
}

// Logical positions of every match of needle from start on, as the literal algorithm finds them
// when it searches again from one needle length past each match.
[[nodiscard]] bool collectMatches(const uint16_t* text, uint32_t length, uint32_t start,
                                  const char* needle, uint32_t step, PosList* out) {
  out->clear();
  // Literals only hide matches, so a needle absent from the raw text has no match at all.
  if (start >= length || !bcuHasSequence({text + start, length - start}, needle)) return true;
  if (std::strcmp(needle, "{") == 0) return collectPlainMatches(text, length, start, u"{", 1, out);
  if (std::strcmp(needle, "--(*") == 0) {
    return collectPlainMatches(text, length, start, u"--(*", step, out);
  }
  for (const uint16_t* m = bcuFindSkipLiteral(text + start, needle); m != nullptr;
       m = bcuFindSkipLiteral(m + step, needle)) {
    if (!out->push(uint32_t(m - text))) return false;
  }
  return true;
}

// The '}' right of the gap, as distances from the end of storage, nearest to the gap on top.
struct CloseStack {
  PosList fromEnd;

  // Records the '}' of the right-part range [from, to), which lies left of every recorded one:
  // found from the left eight characters at a time, then turned round so that the leftmost is
  // on top.
  [[nodiscard]] bool pushRange(const WorkBuffer* wb, const uint16_t* from, const uint16_t* to) {
    static constexpr uint16_t kClose[] = {'}'};
    const std::span<const uint16_t> range(from, size_t(to - from));
    const uint32_t first = fromEnd.size;
    for (size_t i = 0; (i = bcuFindAnyUnit(range, i, kClose)) < range.size(); ++i) {
      if (!fromEnd.push(wbFromEnd(wb, from + i))) return false;
    }
    std::reverse(fromEnd.items + first, fromEnd.items + fromEnd.size);
    return true;
  }
  // Forgets the '}' left of `to` (a clause about to be looked at again).
  void popBefore(const WorkBuffer* wb, const uint16_t* to) {
    const uint32_t limit = wbFromEnd(wb, to);
    while (fromEnd.size != 0 && fromEnd.back() > limit) fromEnd.pop();
  }
  uint16_t* first(const WorkBuffer* wb) const {
    return fromEnd.size == 0 ? nullptr : wbAtFromEnd(wb, fromEnd.back());
  }
};

// Moves the gap leftward to pos, recording the '}' of the text that crosses it.
[[nodiscard]] bool moveGapLeft(WorkBuffer* wb, uint32_t pos, CloseStack* closes) {
  const uint32_t oldGapEnd = wb->gapEnd;
  wbMoveGap(wb, pos);
  return closes->pushRange(wb, wb->data + wb->gapEnd, wb->data + oldGapEnd);
}

}  // namespace

Status bcuReplaceShorthandExt(ConversionContext* ctx, uint32_t start) {
  WorkBuffer* wb = ctx->work;
  const uint16_t* text = wbFlatten(wb);
  bcuTrace("bcuReplaceShorthandExt", bcoTraceAddress(ctx, start));

  PosList openings;
  CloseStack closes;
  if (!collectMatches(text, wbLength(wb), start, "{", 1, &openings))
    return bcoFail(ctx, kReasonNoMemory);
  uint32_t generation = wb->generation;
  uint32_t bound = wbLength(wb);

  for (;;) {
    traceSearches(openings.size);
    if (openings.size == 0) return kOk;
    const uint32_t openAt = openings.back();
    openings.pop();
    bound = openAt;
    if (!moveGapLeft(wb, openAt, &closes)) return bcoFail(ctx, kReasonNoMemory);

    uint16_t* opening = wb->data + wb->gapEnd;
    uint16_t* closing = closes.first(wb);
    if (closing == nullptr) continue;  // "{" with no "}" after it stays as it is
    const uint32_t endFromEnd = wbFromEnd(wb, closing + 1);
    const ClausePositions clause{opening + 1, opening, bcuSkipSpace(opening + 1), closing,
                                 closing + 1};
    const uint16_t* storage = wb->data;
    const uint32_t gapEnd = wb->gapEnd;
    const uint32_t edits = wb->edits;
    if (const Status status = bcoConvertStrings(ctx, clause); status != kOk) return status;
    if (wb->edits == edits) continue;  // the clause stays as it was, and so do its closings

    if (wb->generation != generation) {
      // The translator rewrote the statement as a whole: find the openings before the bound and
      // the closings after it again.
      text = wbFlatten(wb);
      if (bound > wbLength(wb)) bound = wbLength(wb);
      if (!collectMatches(text, wbLength(wb), start, "{", 1, &openings))
        return bcoFail(ctx, kReasonNoMemory);
      while (openings.size != 0 && openings.back() >= bound) openings.pop();
      closes.fromEnd.clear();
      if (!moveGapLeft(wb, bound, &closes)) return bcoFail(ctx, kReasonNoMemory);
      generation = wb->generation;
      continue;
    }
    // The clause [opening, end) may have been rewritten in place or with another length; the
    // text from its end on did not move.
    uint16_t* end = wbAtFromEnd(wb, endFromEnd);
    closes.popBefore(wb, end);
    if (!ctx->reference && ctx->bracelessEdits == wb->edits && wb->data == storage &&
        wb->gapEnd == gapEnd) {
      // Changed in place without a brace written: before the closing, the first '}' after the
      // opening, there was none and is none ("{fn UCASE({fn UCASE(x)})}" is not read again).
      if (*closing == '}' && !closes.fromEnd.push(wbFromEnd(wb, closing)))
        return bcoFail(ctx, kReasonNoMemory);
      continue;
    }
    if (!closes.pushRange(wb, wb->data + wb->gapEnd, end)) return bcoFail(ctx, kReasonNoMemory);
  }
}

namespace {

// What the long-form loop knows about the text right of the long form it works on, as
// distances from the end of the storage (wbFromEnd), which text changes to their left do not
// move: no '{' from braceFree on, and no "*)--" starting at closerFree or later. 0 means nothing
// is known. Knowing this, the loop looks at each stretch of the statement once: a long form's
// brace pass is skipped when no brace follows it, and the search for its "*)--" stops where the
// last search left off ("--(*" side by side, with or without their "*)--").
struct SuffixFacts {
  uint32_t braceFree = 0;
  uint32_t closerFree = 0;

  static const uint16_t* at(const WorkBuffer* wb, uint32_t fromEnd) {
    const uint16_t* terminator = wb->data + wb->rightEnd;
    return fromEnd == 0 || wbAtFromEnd(wb, fromEnd) > terminator ? terminator
                                                                 : wbAtFromEnd(wb, fromEnd);
  }
  // True when no '{' stands from the right-part position from to the end, or (with inertToo)
  // only openings of clauses the dispatcher leaves alone whatever the statement holds
  // ("--(*...*)-- , --(*...*)-- , {xyz}": a brace pass from each long form would change nothing).
  bool braceFreeFrom(const WorkBuffer* wb, const uint16_t* from, bool inertToo) {
    static constexpr uint16_t kBrace[] = {'{'};
    const uint16_t* known = at(wb, braceFree);
    if (from >= known) return true;
    for (size_t i = 0, n = size_t(known - from); (i = bcuFindAnyUnit({from, n}, i, kBrace)) < n;
         ++i) {
      if (!inertToo || !bcoKeywordIsInert(bcuSkipSpace(from + i + 1))) return false;
    }
    braceFree = wbFromEnd(wb, from);
    return true;
  }
  // The first "*)--" from the right-part position from on, or null.
  uint16_t* closerFrom(const WorkBuffer* wb, uint16_t* from) {
    const uint16_t* known = at(wb, closerFree);
    for (uint16_t* p = from; p < known; ++p) {
      if (*p == '*' && bcuStartsWithNoCase(p, "*)--")) return p;
    }
    if (from < known) closerFree = wbFromEnd(wb, from);
    return nullptr;
  }
  // The text before the right-part position changedEnd may have changed: a "*)--" may now start
  // anywhere before it.
  void changedBefore(const WorkBuffer* wb, const uint16_t* changedEnd) {
    if (closerFree != 0 && at(wb, closerFree) < changedEnd) closerFree = wbFromEnd(wb, changedEnd);
  }
};

// After a rewrite of the whole statement (the buffer's generation moved), the long forms before
// the one at openAt are those of the new text: "''--(*...oj t JOIN u ON a=b*)--(*\"{oj }" loses
// its first long form to the outer-join rewrite that the second one's brace pass sets off.
[[nodiscard]] bool refreshOpenings(WorkBuffer* wb, uint32_t generation, uint32_t openAt,
                                   PosList* openings, SuffixFacts* facts) {
  if (wb->generation == generation) return true;
  *facts = SuffixFacts{};
  const uint16_t* text = wbFlatten(wb);
  if (!collectMatches(text, wbLength(wb), 0, "--(*", 4, openings)) return false;
  while (openings->size != 0 && openings->back() >= openAt) openings->pop();
  return true;
}

}  // namespace

Status bcuReplaceEscapeClause(ConversionContext* ctx) {
  WorkBuffer* wb = ctx->work;
  uint16_t* text = wbFlatten(wb);
  bcuTrace("bcuReplaceEscapeClause", bcoTraceAddress(ctx, 0));
  // The reference translation runs every brace pass and every search in full.
  const bool remember = !ctx->reference;
  SuffixFacts facts;

  PosList openings;
  if (!collectMatches(text, wbLength(wb), 0, "--(*", 4, &openings))
    return bcoFail(ctx, kReasonNoMemory);
  for (;;) {
    traceSearches(openings.size);
    if (openings.size == 0) return kOk;
    const uint32_t openAt = openings.back();
    openings.pop();
    const uint32_t generation = wb->generation;
    const uint32_t edits = wb->edits;
    uint16_t* opening = nullptr;
    uint16_t* closing = nullptr;
    if (remember) {
      wbMoveGap(wb, openAt);
      if (facts.braceFreeFrom(wb, wb->data + wb->gapEnd, !bcuTraceOn())) {
        // The brace pass would find no opening brace: its trace lines, without the pass.
        bcuTrace("bcuReplaceShorthandExt", bcoTraceAddress(ctx, openAt));
        traceSearches(0);
      } else if (const Status status = bcuReplaceShorthandExt(ctx, openAt); status != kOk) {
        return status;
      }
      if (wb->edits != edits) facts = SuffixFacts{};  // the pass changed the text after openAt
      if (openAt + 4 > wbLength(wb)) {
        // A whole-statement rewrite cut the text before it.
        if (!refreshOpenings(wb, generation, openAt, &openings, &facts))
          return bcoFail(ctx, kReasonNoMemory);
        continue;
      }
      wbMoveGap(wb, openAt);
      opening = wb->data + wb->gapEnd;
      closing = facts.closerFrom(wb, opening + 4);
    } else {
      if (const Status status = bcuReplaceShorthandExt(ctx, openAt); status != kOk) return status;
      text = wbFlatten(wb);
      if (openAt + 4 > wbLength(wb)) {
        if (!refreshOpenings(wb, generation, openAt, &openings, &facts))
          return bcoFail(ctx, kReasonNoMemory);
        continue;
      }
      opening = text + openAt;
      closing = opening + 4;
      while (*closing != 0 && !bcuStartsWithNoCase(closing, "*)--")) ++closing;
      if (*closing == 0) closing = nullptr;
    }

    if (closing == nullptr) {
      opening[3] = ' ';  // "--(*" without "*)--": only its '*' goes
      wbNoteEdit(wb);
    } else if (uint16_t* keyword = bcuVerifyVendorFindType(opening + 4); keyword == nullptr) {
      bcuFillW(opening, ' ', size_t(closing + 4 - opening));  // another vendor's clause
      wbNoteEdit(wb);
      if (remember) facts.changedBefore(wb, closing + 4);
    } else {
      // Hand the clause over with the gap just before it, like a brace clause.
      wbMoveGap(wb, openAt);
      const ptrdiff_t shift = (wb->data + wb->gapEnd) - opening;
      const uint32_t endFromEnd = wbFromEnd(wb, closing + 4 + shift);
      const ClausePositions clause{opening + 4 + shift, opening + shift, keyword + shift,
                                   closing + shift, closing + 4 + shift};
      if (const Status status = bcoConvertStrings(ctx, clause); status != kOk) return status;
      if (remember && wb->generation == generation) {
        // The clause's text, up to its old end, is new: it may hold braces or a "*)--".
        const uint16_t* end = wbAtFromEnd(wb, endFromEnd);
        if (facts.braceFree != 0 && SuffixFacts::at(wb, facts.braceFree) < end)
          facts.braceFree = endFromEnd;
        facts.changedBefore(wb, end);
      }
    }
    if (!refreshOpenings(wb, generation, openAt, &openings, &facts))
      return bcoFail(ctx, kReasonNoMemory);
  }
}

Status bcuReplaceVendorStrings(ConversionContext* ctx) {
  WorkBuffer* wb = ctx->work;
  bcuTrace("bcuReplaceVendorStrings", bcoTraceAddress(ctx, 0));
  if (const Status status = bcuReplaceEscapeClause(ctx); status != kOk) return status;
  if (const Status status = bcuReplaceShorthandExt(ctx, 0); status != kOk) return status;
  uint16_t* text = wbFlatten(wb);
  uint32_t length = wbLength(wb);
  bcuTrimBlanksW(text, length);
  while (length != 0 && text[length - 1] == 0) --length;
  wbAdoptFlatLength(wb, length);
  return kOk;
}
