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
// it scans and rewrites, not the length of the statement. The shortcuts that keep the passes of
// nested subqueries and of clauses side by side linear keep their ledger in oj_ledger.h.
#include "outerjoin/oj_translate.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>

#include "driver/memory.h"
#include "driver/trace.h"
#include "driver/translators.h"
#include "driver/unit_scan.h"
#include "driver/work_buffer.h"
#include "outerjoin/oj_actions.h"
#include "outerjoin/oj_ledger.h"

namespace {

using namespace ojpass;

constexpr uint32_t kOutputStart = 40000;        // characters: the pass's rewritten text at first
constexpr uint32_t kOutputStartUntraced = 256;  // likewise untraced: it grows as it needs

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
  ScratchPool* pool = nullptr;
  ~OutputText() { bcoRelease(pool, text.data); }
};

// The work buffer goes back to the flat form the dispatcher handed over, on every exit.
struct FlatOnExit {
  WorkBuffer* wb;
  ~FlatOnExit() { wbFlatten(wb); }
};

bool isSpace(uint16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// Appends the statement text [from, to) to the pass's output; nothing when to is not after from.
bool appendRange(ScratchPool* pool, OjText* out, const uint16_t* from, const uint16_t* to) {
  return to <= from || ojAppend(pool, out, from, uint32_t(to - from));
}

// Where the table list's region ends, scanning on from the first clause's opener: a WHERE at
// depth 0 marks the statement's own condition (a second one is an error); HAVING, ORDER, GROUP,
// UNION, INTERSECT at depth 0 or the ")" closing a subquery end the region or the condition.
// depth starts at the parentheses taken into the clause ("({oj ...})"), so that their closing
// ones do not end it. With `record`, the ledger's RunRecord takes the search's notes for a run.
[[nodiscard]] Status scanRegion(ConversionContext* ctx, OuterJoinScanState* s, int32_t depth,
                                const uint16_t* last, Ledger* ledger, bool record) {
  if (ledger != nullptr) ledger->opens.size = 0;
  for (;;) {
    const int32_t token = ojNextToken(s);
    if (token == oj::kOverflow) return bcoFail(ctx, kReasonMalformed);
    if (token == 0) {
      if (s->whereSeen != 0) {
        s->whereEnd = last;
      } else {
        s->fromEnd = last;
        // "( ({oj ...}), ({oj ...}) ..." at the end: a WHERE written there would stand inside the
        // parentheses, so the next pass would not take it for the list's.
        if (record && depth != 0) ledger->record.spoiled = true;
      }
      return kOk;
    }
    const uint16_t* tokenStart = ojAfterToken(s) - s->matchLength;
    bool ends = false;
    switch (token) {
      case oj::LPAREN:
        ++depth;
        if (ledger != nullptr && ledger->pairsOn) passParen(ledger, s, &depth);
        break;
      case oj::RPAREN:
        ends = --depth < 0;
        if (ledger != nullptr && ledger->pairsOn && ledger->opens.size > 0) closeParen(ledger, s);
        if (record && depth == 0) closeOpeners(ledger, s);
        break;
      case oj::OJ_OPEN:
        if (record && depth > 0 && s->whereSeen == 0) noteOpener(ledger, s, depth);
        break;
      case oj::WHERE:
        if (depth != 0) break;
        if (s->whereSeen != 0) return bcoFail(ctx, kReasonMalformed);
        s->whereSeen = 1;
        s->whereStart = ojAfterToken(s);
        s->fromEnd = tokenStart - 1;
        if (record) noteWhere(ledger, s, tokenStart);
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

[[nodiscard]] Status findRegionEnd(ConversionContext* ctx, OuterJoinScanState* s, int32_t depth,
                                   const uint16_t* last, Ledger* ledger) {
  if (ledger == nullptr || !ledger->runsOn) return scanRegion(ctx, s, depth, last, ledger, false);
  // The notes for a run, with the scanner's match log on for matchBeganAt.
  RunRecord& r = ledger->record;
  r.spoiled = false;
  r.openers.size = 0;
  r.unclosed = 0;
  r.whereAt = 0;
  r.tailAt = 0;
  r.ownWhere = false;
  s->logMatches = kLogAlone;
  s->matchCount = 0;
  const Status status = scanRegion(ctx, s, depth, last, ledger, true);
  s->logMatches = 0;
  if (status == kOk && s->whereSeen == 0) {
    noteListEnd(ledger, s);
  } else if (status == kOk && r.whereAt != 0) {
    noteConditionEnd(ledger, s);
  }
  return status;
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
  if (s->holdAt != nullptr) {
    // A pending text within the characters read below is put in place first.
    const uint16_t* q = s->clauseEnd;
    for (int32_t seen = 0; seen < taken; ++seen, ++q) {
      while (q != s->holdAt && q < end && isSpace(*q)) ++q;
      if (q == s->holdAt) {
        s->holdHook(s);
        break;
      }
      if (q == end || *q != ')') break;
    }
  }
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
// parentheses), the match the scanner remembered before that run will do ("x ( ( ... ( {oj":
// it starts at "x", and the run is scanned once more); only when even that one read into the
// rewritten text does the next pass start where this one did, which is always safe.
uint32_t nextResume(const OuterJoinScanState* s, uint32_t resume, uint32_t replaceOffset) {
  const uint32_t kept = std::min(s->matchCount, kMatchRing);
  for (uint32_t i = 0; i < kept; ++i) {
    const uint32_t* entry = s->matchRing[(s->matchCount - 1 - i) % kMatchRing];
    if ((entry[1] & kRingOffset) <= replaceOffset) return resume + entry[0];
  }
  if (s->anchorSet != 0 && s->anchor[1] <= replaceOffset) return resume + s->anchor[0];
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

void startPass(OuterJoinScanState* s, Pass* p, uint32_t resume, OjText* out) {
  noteGapMovingLeft(p->ledger, resume);
  p->text.load(resume);
  if (p->ledger != nullptr) s->holdAt = leftmostPending(p->ledger);
  p->last = p->text.end - 1;
  p->replaceFrom = nullptr;
  p->taken = 0;
  p->nextResume = 0;
  p->movedGap = false;
  p->textEnded = false;
  p->matched = 0;
  p->clauses = 0;
  p->opener = nullptr;
  p->afterOpener = nullptr;
  p->runOpener = nullptr;
  s->textStart = p->text.base;
  ojRestartAt(s, p->text.base);
  s->clauseEnd = p->text.base;
  s->fromEnd = p->last;
  ojClear(out);
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
  s->logMatches = kLogWithAnchor;
  s->matchCount = 0;
  s->anchorSet = 0;
}

// The pass's first clause starts at its opener or at the parentheses before it.
void takeFirstClause(OuterJoinScanState* s, Pass* p) {
  s->clauseFound = 1;
  PassText& text = p->text;
  const uint32_t start = walkBackOverParens(text, s->clauseStart, &p->taken);
  if (start < text.resume) {
    // Parentheses left of the pass's first character: take them back from the gap. The right
    // part does not move, so every position in it stays valid.
    noteGapMovingLeft(p->ledger, start);
    wbMoveGap(text.wb, start);
    text.resume = start;
    text.base = text.wb->data + text.wb->gapEnd;
    s->textStart = text.base;
    p->movedGap = true;
  }
  p->replaceFrom = text.base + (start - text.resume);
  s->clauseStart = p->replaceFrom;
}

// Searches for the next clause: the pass's first anywhere, a further one of the same table list
// at depth 0 before the region's end (the text between the two goes to the output). *opener tells
// whether one was found.
[[nodiscard]] Status findClause(ConversionContext* ctx, OuterJoinScanState* s, Pass* p, OjText* out,
                                bool* opener) {
  *opener = false;
  s->markOpener = 1;
  while (s->inputPos <= s->fromEnd) {
    const int32_t token = ojNextToken(s);
    if (token == oj::kOverflow) return bcoFail(ctx, kReasonMalformed);
    if (token == 0) {
      p->textEnded = true;
      break;
    }
    if (s->clauseFound == 0) {
      if (token != oj::OJ_OPEN) continue;
      p->opener = s->clauseStart;
      p->afterOpener = ojAfterToken(s);
      takeFirstClause(s, p);
      *opener = true;
      break;
    }
    if (token == oj::LPAREN) {
      ++s->depth;
    } else if (token == oj::RPAREN) {
      if (--s->depth < 0) break;
    } else if (token == oj::OJ_OPEN && s->depth == 0) {
      if (!appendRange(&ctx->scratch, out, s->clauseEnd, s->clauseStart))
        return bcoFail(ctx, kReasonNoMemory);
      *opener = true;
      break;
    }
  }
  s->markOpener = 0;
  if (s->logMatches != 0) {
    // The log is needed up to the pass's first clause only.
    p->nextResume = p->movedGap || p->replaceFrom == nullptr
                        ? 0
                        : nextResume(s, p->text.resume, uint32_t(p->replaceFrom - p->text.base));
    s->logMatches = 0;
  }
  return kOk;
}

// Parses the clause at clauseStart (the region it stands in found first, for the pass's first
// clause) and appends its table list to the output.
[[nodiscard]] Status rewriteClause(ConversionContext* ctx, OuterJoinScanState* s, Pass* p,
                                   OjText* out) {
  // An opener with no clause after it ("... {oj" at the end) cannot be rewritten.
  if (!(s->inputPos < s->fromEnd && !p->textEnded && s->depth >= 0))
    return bcoFail(ctx, kReasonMalformed);
  const bool first = s->regionExamined == 0;
  if (first) {
    s->regionExamined = 1;
    if (p->runOpener != nullptr) {
      // A pass of a run: its region is the run's, with a WHERE (see Ledger).
      s->whereSeen = 1;
    } else if (const Status status = findRegionEnd(ctx, s, p->taken, p->last, p->ledger);
               status != kOk) {
      return status;
    }
  }
  // A syntax error after the clause's closer is the parser meeting the statement text that
  // follows the clause; one at the closer itself ("{oj t1 LEFT JOIN t2}", which lacks its ON
  // clause) means the clause did not parse up to its closer.
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
  if (first && p->taken > 0) {
    // Parentheses taken in whose closing ones do not follow the closer stay in the text.
    const int32_t matched = takeClosingParens(s, p->text.end, p->taken);
    p->matched = matched;
    for (int32_t i = matched; i < p->taken; ++i) {
      if (!ojAppend(&ctx->scratch, out, "(")) return bcoFail(ctx, kReasonNoMemory);
    }
  }
  p->textEnded = result == 0;
  if (first && p->runOpener != nullptr && !runPassHolds(p->ledger, s, p)) {
    // Not a pass of the run after all: the region search it skipped, from where it would have
    // started, and the plain steps from there on. The clause's parse does not depend on it.
    p->runOpener = nullptr;
    p->ledger->run.openersOn = false;
    s->markCloser = 0;
    ojRestartAt(s, p->afterOpener);
    s->scanMode = kModeTable;
    s->whereSeen = 0;
    s->fromEnd = p->last;
    if (const Status status = findRegionEnd(ctx, s, p->taken, p->last, p->ledger); status != kOk)
      return status;
  }
  ojRestartAt(s, s->clauseEnd);
  s->markCloser = 0;
  if (!ojAppend(&ctx->scratch, out, s->joinText.data, s->joinText.length))
    return bcoFail(ctx, kReasonNoMemory);
  ++p->clauses;
  return kOk;
}

// Ends the pass: the rest of the table list, the new WHERE clause with the statement's own
// condition after it, and one blank take the place of the clauses and the region in the
// statement; the rest of the statement follows.
[[nodiscard]] Status finishPass(ConversionContext* ctx, OuterJoinScanState* s, Pass* p,
                                OjText* out) {
  if (Ledger* l = p->ledger; l != nullptr) {
    if (p->runOpener != nullptr) return runPassEdit(ctx, l, s, p, out, false);
    l->run.openersOn = false;
    if (startsRun(l, s, p)) return runPassEdit(ctx, l, s, p, out, true);
  }
  bool ok = appendRange(&ctx->scratch, out, s->clauseEnd, s->fromEnd + 1) &&
            ojAppend(&ctx->scratch, out, " WHERE (") &&
            ojAppend(&ctx->scratch, out, s->joinCondition.data, s->joinCondition.length) &&
            ojAppend(&ctx->scratch, out, ")");
  const uint16_t* rest = s->fromEnd + 1;
  Ledger* l = p->ledger;
  if (l != nullptr && s->whereSeen != 0 && p->replaceFrom <= s->whereStart &&
      s->whereStart <= s->whereEnd + 1 && s->whereEnd + 1 < p->text.end) {
    // The condition stays where it is: the text up to it is rewritten, the ") " + " " after it
    // waits until something reads up to it.
    if (!(ok && ojAppend(&ctx->scratch, out, " AND ("))) return bcoFail(ctx, kReasonNoMemory);
    return editWithLedger(ctx, l, p->replaceFrom, s->whereStart, out, s->whereEnd + 1);
  }
  if (s->whereSeen != 0) {
    ok = ok && ojAppend(&ctx->scratch, out, " AND (") &&
         appendRange(&ctx->scratch, out, s->whereStart, s->whereEnd + 1) &&
         ojAppend(&ctx->scratch, out, ") ");
    rest = s->whereEnd + 1;
  }
  ok = ok && ojAppend(&ctx->scratch, out, " ");
  if (!ok) return bcoFail(ctx, kReasonNoMemory);
  rest = std::clamp(rest, p->replaceFrom, p->text.end);
  if (l != nullptr) return editWithLedger(ctx, l, p->replaceFrom, rest, out, nullptr);
  uint16_t* moved = nullptr;
  if (wbReplace(p->text.wb, const_cast<uint16_t*>(p->replaceFrom), const_cast<uint16_t*>(rest),
                {out->data, out->length}, &moved) != kOk) {
    return bcoFail(ctx, kReasonNoMemory);
  }
  return kOk;
}

// Every exit puts the pending texts in place before the statement is made flat again.
struct PendingOnExit {
  Ledger* ledger;
  ~PendingOnExit() {
    if (ledger != nullptr) putAllPendingInPlace(ledger);
  }
};

// A pass that could only confirm that no clause is left: the text it would read holds no "{" and
// no "--(*", so no clause opener, and is too short for any token to overflow the scanner, so the
// scan cannot fail either. Nothing waits to go in place, and nothing is traced. Off for the plain
// rewrite the tests compare with.
bool lastPassFindsNothing(const Pass& p) {
  const Ledger* l = p.ledger;
  if (l == nullptr || bcuTraceOn() || l->pending.size != 0 || l->run.pending) return false;
  const std::span<const uint16_t> rest(p.text.base, size_t(p.text.end - p.text.base));
  static constexpr uint16_t kBrace[] = {'{'};
  return rest.size() < kAutomatonCapacity / 2 && bcuFindAnyUnit(rest, 0, kBrace) == rest.size() &&
         !bcuHasSequence(rest, "--(*");
}

// The rewrite; *noClause tells whether its first pass found no clause (the statement is then
// as it was, but for trailing blanks trimmed).
[[nodiscard]] Status rewriteStatement(ConversionContext* ctx, PassStart passStart, bool* noClause) {
  WorkBuffer* wb = ctx->work;
  uint16_t* statement = wbFlatten(wb);
  FlatOnExit flat{wb};

  ScanPtr scan(ojScanCreate(&ctx->scratch));
  if (!scan) return bcoFail(ctx, kReasonNoMemory);
  OuterJoinScanState* s = scan.get();
  OutputText output;
  OjText* out = &output.text;
  uint32_t outBytes = 0;
  output.pool = &ctx->scratch;
  out->data = static_cast<uint16_t*>(
      bcoObtain(output.pool,
                {kOutputStart * sizeof(uint16_t), Fill::kUninitialised,
                 kOutputStartUntraced * sizeof(uint16_t), Fill::kUninitialised},
                &outBytes));
  if (out->data == nullptr) return bcoFail(ctx, kReasonNoMemory);
  out->capacity = outBytes / sizeof(uint16_t);

  // Trailing blanks go first (never the first character).
  uint32_t length = wbLength(wb);
  while (length > 1 && statement[length - 1] == ' ') statement[--length] = 0;
  wbAdoptFlatLength(wb, length);
  if (!ojAllocateTexts(s)) return bcoFail(ctx, kReasonNoMemory);

  // Every pass removes at least one opener of the statement; more passes than openers can only
  // come from a statement whose rewrite keeps uncovering new clauses, which is refused.
  const uint32_t maxPasses = countOpeners(wb->data, length) + 1;
  Pass pass{PassText{wb, 0, nullptr, nullptr}};
  // The shortcuts of Ledger, except for the plain rewrite the tests and fuzzers compare with.
  Ledger ledger;
  PendingOnExit pendingOnExit{nullptr};
  if (passStart == PassStart::kResume && !ctx->reference && !wb->flat) {
    ledger.pairsOn = true;
    ledger.runsOn = !bcuTraceOn();
    ledger.wb = wb;
    ledger.pass = &pass;
    ledger.scan = s;
    pass.ledger = &ledger;
    pendingOnExit.ledger = &ledger;
    s->holdHook = putPendingInPlace;
    s->holdContext = &ledger;
  }
  uint32_t resume = 0;
  for (uint32_t passes = 0;; ++passes) {
    if (passes == maxPasses) return bcoFail(ctx, kReasonMalformed);
    startPass(s, &pass, resume, out);
    if (passes != 0 && lastPassFindsNothing(pass)) return kOk;
    for (;;) {
      bool opener = false;
      if (const Status status = findClause(ctx, s, &pass, out, &opener); status != kOk)
        return status;
      if (!opener) break;
      if (pass.clauses == 0 && pass.ledger != nullptr) {
        bool tooLong = false;
        pass.runOpener = runPassOpener(pass.ledger, s, &pass, &tooLong);
        if (tooLong) {
          ojStopOnOverflow(s);
          return bcoFail(ctx, kReasonMalformed);
        }
      }
      if (const Status status = rewriteClause(ctx, s, &pass, out); status != kOk) return status;
      // A pass of a run takes no further clause (see Ledger).
      if (pass.textEnded || pass.runOpener != nullptr) break;
    }
    if (s->clauseFound == 0) {
      *noClause = passes == 0;
      return kOk;
    }
    if (const Status status = finishPass(ctx, s, &pass, out); status != kOk) return status;
    resume = passStart == PassStart::kResume ? pass.nextResume : 0;
  }
}

}  // namespace

Status ojRewriteStatement(ConversionContext* ctx, PassStart passStart) {
  bool noClause = false;
  return rewriteStatement(ctx, passStart, &noClause);
}

// The outer-join clauses of the whole statement. ctx->ojNoClause tells the dispatcher whether
// this call found no clause, so that it can leave the next "{oj" of the same unchanged text alone
// (see convertOuterJoin in driver/dispatcher.cpp).
Status bcoTranslateOuterJoin(ConversionContext* ctx, uint16_t*) {
  ctx->ojNoClause = false;
  if (ctx->reference) return ojRewriteStatement(ctx, PassStart::kFromStart);
  bool noClause = false;
  const Status status = rewriteStatement(ctx, PassStart::kResume, &noClause);
  ctx->ojNoClause = status == kOk && noClause;
  return status;
}
