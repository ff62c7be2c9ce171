// The outer-join statement rewrite: every {oj ...} clause of a statement is replaced by the plain
// list of its tables, and its ON conditions, with "(+)" after the columns of the optional side,
// go into the WHERE clause of the clause's table list:
//   SELECT * FROM {oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.b} WHERE t1.c = 1
//   SELECT * FROM t1, t2  WHERE ((t1.a = t2.b(+))) AND ( t1.c = 1)
// One pass rewrites the first clause still in the statement, with the further clauses of the same
// table list, and the next pass starts over on the new text, until a pass finds no clause.
//
// A pass leaves the text before its first clause as it was, so the next pass need not scan it
// again: it resumes at the start of the first token whose reading reached the rewritten text,
// where a scan from the statement's start would stand in the same state. The statement stays in
// the translation's gap buffer with the gap at that point, so a pass costs the length of the text
// it scans and rewrites, not the length of the statement.
#include <algorithm>
#include <memory>

#include "driver/memory.h"
#include "driver/trace.h"
#include "driver/translators.h"
#include "driver/work_buffer.h"
#include "outerjoin/oj_actions.h"
#include "outerjoin/oj_translate.h"

namespace {

constexpr uint32_t kOutputStart = 40000;  // characters: the pass's rewritten text at first

struct ScanDeleter {
  void operator()(OuterJoinScanState* s) const { ojScanFree(s); }
};
using ScanPtr = std::unique_ptr<OuterJoinScanState, ScanDeleter>;

// The pass's rewritten text, released on every exit.
struct OutputText {
  OjText text{};
  OutputText() = default;
  OutputText(const OutputText&) = delete;
  OutputText& operator=(const OutputText&) = delete;
  ~OutputText() {
    if (text.data != nullptr) MEMFree(text.data);
  }
};

// The work buffer goes back to the flat form the dispatcher handed over, on every exit.
struct FlatOnExit {
  WorkBuffer* wb;
  ~FlatOnExit() { wbFlatten(wb); }
};

bool isSpace(uint16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// What a pass works on: the statement from the gap buffer's right part, which starts at the
// pass's first scanned character (logical position `resume`) and runs to the terminator.
struct PassText {
  WorkBuffer* wb;
  uint32_t resume;
  const uint16_t* base;  ///< the right part's first character
  const uint16_t* end;   ///< its terminator

  void load(uint32_t at) {
    wbMoveGap(wb, at);
    resume = at;
    base = wb->data + wb->gapEnd;
    end = wb->data + wb->rightEnd;
  }
  // The character at logical position i, on either side of the gap.
  uint16_t at(uint32_t i) const { return i >= resume ? base[i - resume] : wb->data[i]; }
  uint32_t logical(const uint16_t* p) const { return resume + uint32_t(p - base); }
};

// Appends the statement text [from, to) to the pass's output; nothing when to is not after from.
bool appendRange(OjText* out, const uint16_t* from, const uint16_t* to) {
  return to <= from || ojAppend(out, from, uint32_t(to - from));
}

// Where the table list's region ends, scanning on from the first clause's opener: a WHERE at
// depth 0 marks the statement's own condition (a second one is an error); HAVING, ORDER, GROUP,
// UNION, INTERSECT at depth 0 or the ")" closing a subquery end the region or the condition.
// depth starts at the parentheses taken into the clause ("({oj ...})"), so that their closing
// ones do not end it.
[[nodiscard]] Status findRegionEnd(ConversionContext* ctx, OuterJoinScanState* s, int32_t depth,
                                   const uint16_t* last) {
  for (;;) {
    const int32_t token = ojNextToken(s);
    if (token == oj::kOverflow) return bcoFail(ctx, kReasonMalformed);
    if (token == 0) {
      if (s->whereSeen != 0) {
        s->whereEnd = last;
      } else {
        s->fromEnd = last;
      }
      return kOk;
    }
    const uint16_t* tokenStart = ojAfterToken(s) - s->matchLength;
    bool ends = false;
    switch (token) {
      case oj::LPAREN:
        ++depth;
        break;
      case oj::RPAREN:
        ends = --depth < 0;
        break;
      case oj::WHERE:
        if (depth != 0) break;
        if (s->whereSeen != 0) return bcoFail(ctx, kReasonMalformed);
        s->whereSeen = 1;
        s->whereStart = ojAfterToken(s);
        s->fromEnd = tokenStart - 1;
        break;
      case oj::HAVING:
      case oj::ORDER:
      case oj::GROUP:
      case oj::UNION:
      case oj::INTERSECT:
        ends = depth == 0;
        break;
      default:
        break;
    }
    if (ends) {
      if (s->whereSeen != 0) {
        s->whereEnd = tokenStart - 1;
      } else {
        s->fromEnd = tokenStart - 1;
      }
      return kOk;
    }
  }
}

// The opening parentheses before the first clause are taken into it: from the character before
// the opener, blanks, tabs, line feeds and "(" are passed over, and the clause starts at the
// leftmost "(" met. Returns the clause's start as a logical position and counts the parentheses.
uint32_t walkBackOverParens(const PassText& text, const uint16_t* opener, int32_t* taken) {
  const uint32_t openerAt = text.logical(opener);
  uint32_t start = openerAt;
  *taken = 0;
  for (uint32_t i = openerAt; i-- > 0;) {
    const uint16_t c = text.at(i);
    if (c == '(') {
      start = i;
      ++*taken;
    } else if (c != ' ' && c != '\t' && c != '\n') {
      break;
    }
  }
  return start;
}

// "({oj ...})": the closing parentheses that match those taken into the clause, with white space
// before each, go with it, so the statement reads as if the clause had been written without
// them. Returns how many were found right after the closer; clauseEnd moves past them.
int32_t takeClosingParens(OuterJoinScanState* s, const uint16_t* end, int32_t taken) {
  int32_t matched = 0;
  const uint16_t* p = s->clauseEnd;
  while (matched < taken) {
    const uint16_t* q = p;
    while (q < end && isSpace(*q)) ++q;
    if (q == end || *q != ')') break;
    p = q + 1;
    ++matched;
  }
  s->clauseEnd = p;
  return matched;
}

// The next pass's first character: the start of the latest match of this pass whose reading had
// not reached the rewritten text when it began (the matches before it read only unchanged text,
// so a scan from the statement's start arrives there in the same state). The scanner remembers
// the latest matches' starts and the read position then, as offsets from the pass's first
// character; when the one wanted is older than those (a clause after a long run of blanks and
// parentheses), the next pass starts where this one did, which is always safe.
uint32_t nextResume(const OuterJoinScanState* s, uint32_t resume, uint32_t replaceOffset) {
  const uint32_t kept = std::min(s->matchCount, kMatchRing);
  for (uint32_t i = 0; i < kept; ++i) {
    const uint32_t* entry = s->matchRing[(s->matchCount - 1 - i) % kMatchRing];
    if (entry[1] <= replaceOffset) return resume + entry[0];
  }
  return resume;
}

uint32_t countOpeners(const uint16_t* text, uint32_t length) {
  uint32_t count = 0;
  for (uint32_t i = 0; i < length; ++i) {
    if (text[i] == '{' || (text[i] == '-' && i + 3 < length && text[i + 1] == '-' &&
                           text[i + 2] == '(' && text[i + 3] == '*')) {
      ++count;
    }
  }
  return count;
}

}  // namespace

Status bcoTranslateOuterJoin(ConversionContext* ctx, uint16_t*) {
  return ojRewriteStatement(ctx, PassStart::kResume);
}

Status ojRewriteStatement(ConversionContext* ctx, PassStart passStart) {
  WorkBuffer* wb = ctx->work;
  uint16_t* statement = wbFlatten(wb);
  FlatOnExit flat{wb};

  ScanPtr scan(ojScanCreate());
  if (!scan) return bcoFail(ctx, kReasonNoMemory);
  OuterJoinScanState* s = scan.get();
  OutputText output;
  OjText& out = output.text;
  out.data = static_cast<uint16_t*>(pMEMAlloc(kOutputStart * sizeof(uint16_t), 1));
  if (out.data == nullptr) return bcoFail(ctx, kReasonNoMemory);
  out.capacity = kOutputStart;

  // Trailing blanks go first (never the first character).
  uint32_t length = wbLength(wb);
  while (length > 1 && statement[length - 1] == ' ') statement[--length] = 0;
  wbAdoptFlatLength(wb, length);
  if (!ojAllocateTexts(s)) return bcoFail(ctx, kReasonNoMemory);

  // Every pass removes at least one opener of the statement; more passes than openers can only
  // come from a statement whose rewrite keeps uncovering new clauses, which is refused.
  const uint32_t maxPasses = countOpeners(wb->data, length) + 1;
  PassText text{wb, 0, nullptr, nullptr};
  uint32_t resume = 0;
  for (uint32_t pass = 0;; ++pass) {
    if (pass == maxPasses) return bcoFail(ctx, kReasonMalformed);
    text.load(resume);
    const uint16_t* last = text.end - 1;
    s->textStart = text.base;
    ojRestartAt(s, text.base);
    s->clauseEnd = text.base;
    s->fromEnd = last;
    ojClear(&out);
    ojClear(&s->joinCondition);
    s->onCount = 0;
    s->scanMode = kModeTable;
    s->wideSeen = 0;
    s->endSeen = 0;
    s->nonColumnSides = 0;
    s->clauseFound = 0;
    s->whereSeen = 0;
    s->regionExamined = 0;
    s->depth = 0;
    s->logMatches = 1;
    s->matchCount = 0;
    bool movedGap = false;

    const uint16_t* replaceFrom = nullptr;
    uint32_t nextPass = 0;  // where the next pass resumes
    bool textEnded = false;
    for (;;) {
      // Search for the next clause: the pass's first anywhere, a further one of the same table
      // list at depth 0, before the region's end.
      bool opener = false;
      int32_t taken = 0;
      s->markOpener = 1;
      while (s->inputPos <= s->fromEnd) {
        const int32_t token = ojNextToken(s);
        if (token == oj::kOverflow) return bcoFail(ctx, kReasonMalformed);
        if (token == 0) {
          textEnded = true;
          break;
        }
        if (s->clauseFound == 0) {
          if (token != oj::OJ_OPEN) continue;
          s->clauseFound = 1;
          opener = true;
          const uint32_t start = walkBackOverParens(text, s->clauseStart, &taken);
          if (start < text.resume) {
            // Parentheses left of the pass's first character: take them back from the gap. The
            // right part does not move, so every position in it stays valid.
            wbMoveGap(wb, start);
            text.resume = start;
            text.base = wb->data + wb->gapEnd;
            s->textStart = text.base;
            movedGap = true;  // the next pass starts over at the statement's start
          }
          replaceFrom = text.base + (start - text.resume);
          s->clauseStart = replaceFrom;
          break;
        }
        if (token == oj::LPAREN) {
          ++s->depth;
        } else if (token == oj::RPAREN) {
          if (--s->depth < 0) break;
        } else if (token == oj::OJ_OPEN && s->depth == 0) {
          if (!appendRange(&out, s->clauseEnd, s->clauseStart))
            return bcoFail(ctx, kReasonNoMemory);
          opener = true;
          break;
        }
      }
      s->markOpener = 0;
      if (s->logMatches != 0) {
        // The log is needed up to the pass's first clause only.
        nextPass = movedGap || replaceFrom == nullptr
                       ? 0
                       : nextResume(s, resume, uint32_t(replaceFrom - text.base));
        s->logMatches = 0;
      }
      if (!opener) break;
      // An opener with no clause after it ("... {oj" at the end) cannot be rewritten.
      if (!(s->inputPos < s->fromEnd && !textEnded && s->depth >= 0))
        return bcoFail(ctx, kReasonMalformed);

      const bool first = s->regionExamined == 0;
      if (first) {
        s->regionExamined = 1;
        if (const Status status = findRegionEnd(ctx, s, taken, last); status != kOk)
          return status;
      }
      // Parse the clause. A syntax error after its closer is the parser meeting the statement
      // text that follows the clause; one at the closer itself ("{oj t1 LEFT JOIN t2}", which
      // lacks its ON clause) means the clause did not parse up to its closer.
      ojRestartAt(s, s->clauseStart);
      ojClear(&s->joinText);
      s->tableCount = 0;
      s->joinTypeDepth = 0;
      s->markCloser = 1;
      s->closerSeen = 0;
      s->closerAccepted = 0;
      s->failure = 0;
      const int result = ojParse(s);
      if (s->failure != 0) return bcoFail(ctx, s->failure);
      if (result != 0 && (s->closerSeen == 0 || s->closerAccepted == 0))
        return bcoFail(ctx, kReasonMalformed);
      if (first && taken > 0) {
        // Parentheses taken in whose closing ones do not follow the closer stay in the text.
        const int32_t matched = takeClosingParens(s, text.end, taken);
        for (int32_t i = matched; i < taken; ++i) {
          if (!ojAppend(&out, "(")) return bcoFail(ctx, kReasonNoMemory);
        }
      }
      textEnded = result == 0;
      ojRestartAt(s, s->clauseEnd);
      s->markCloser = 0;
      if (!ojAppend(&out, s->joinText.data, s->joinText.length))
        return bcoFail(ctx, kReasonNoMemory);
      if (textEnded) break;
    }
    if (s->clauseFound == 0) return kOk;

    // The rest of the table list, the new WHERE clause with the statement's own condition after
    // it, and the rest of the statement after one blank.
    bool ok = appendRange(&out, s->clauseEnd, s->fromEnd + 1) && ojAppend(&out, " WHERE (") &&
              ojAppend(&out, s->joinCondition.data, s->joinCondition.length) &&
              ojAppend(&out, ")");
    const uint16_t* rest = s->fromEnd + 1;
    if (s->whereSeen != 0) {
      ok = ok && ojAppend(&out, " AND (") && appendRange(&out, s->whereStart, s->whereEnd + 1) &&
           ojAppend(&out, ") ");
      rest = s->whereEnd + 1;
    }
    ok = ok && ojAppend(&out, " ");
    if (!ok) return bcoFail(ctx, kReasonNoMemory);
    rest = std::clamp(rest, replaceFrom, text.end);

    uint16_t* moved = nullptr;
    if (wbReplace(wb, const_cast<uint16_t*>(replaceFrom), const_cast<uint16_t*>(rest),
                  {out.data, out.length}, &moved) != kOk) {
      return bcoFail(ctx, kReasonNoMemory);
    }
    resume = passStart == PassStart::kResume ? nextPass : 0;
  }
}
