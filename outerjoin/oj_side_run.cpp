// Runs of outer-join clauses in parentheses side by side in one table list (see Ledger in
// oj_ledger.h): what a region search notes for a run to start, whether a pass can be one of the
// run's, a run pass's edit, and the run's waiting texts laid out and put in place.
#include <cassert>

#include "driver/trace.h"
#include "outerjoin/oj_actions.h"
#include "outerjoin/oj_ledger.h"

namespace ojpass {

namespace {

bool isBlankOrTab(uint16_t c) { return c == ' ' || c == '\t'; }

bool isNameChar(uint16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#' || c == '$' || c > 0x7E;
}

// True when the scan began a match at `at` having read nothing past the character there (the
// scanner's match log, which the caller turned on): the matches before it depended on the text
// before `at` and that one character alone.
bool matchBeganAt(const OuterJoinScanState* s, const uint16_t* at) {
  if (at < s->textStart) return false;
  const uint32_t offset = uint32_t(at - s->textStart);
  const uint32_t kept = std::min(s->matchCount, kMatchRing);
  for (uint32_t i = 0; i < kept; ++i) {
    const uint32_t* entry = s->matchRing[(s->matchCount - 1 - i) % kMatchRing];
    if (entry[0] == offset) return entry[1] <= offset + 1;  // kRingEndRead set: far beyond
    if (entry[0] < offset) break;
  }
  return false;
}

// The run's texts, laid out in run.layout one at a time: the blanks that go before the WHERE,
// the passes' condition texts after it (the latest first), the tails after the condition.
const uint16_t* runBlanks(SideRun* r) {
  std::fill(r->layout.data, r->layout.data + r->passes, uint16_t(' '));
  return r->layout.data;
}

uint16_t* layConditions(SideRun* r, uint16_t* out) {
  for (uint32_t i = r->conditionEnds.size; i-- > 0;) {
    const uint32_t from = i > 0 ? r->conditionEnds.data[i - 1] : 0;
    const uint32_t length = r->conditionEnds.data[i] - from;
    std::memcpy(out, r->conditions.data + from, length * sizeof(uint16_t));
    out += length;
  }
  return out;
}

uint16_t* layTails(uint16_t* out, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i, out += kTailLength) std::memcpy(out, kTail, sizeof kTail);
  return out;
}

const uint16_t* runConditions(SideRun* r) {
  layConditions(r, r->layout.data);
  return r->layout.data;
}

const uint16_t* runTails(SideRun* r) {
  layTails(r->layout.data, r->passes);
  return r->layout.data;
}

// The whole text of a run whose first pass wrote the WHERE: its first condition text is the one
// that pass wrote, " (c) ".
const uint16_t* runOwnText(SideRun* r) {
  static constexpr uint16_t kWhere[] = {'W', 'H', 'E', 'R', 'E'};
  uint16_t* out = std::fill_n(r->layout.data, r->passes, uint16_t(' '));
  out = std::copy(std::begin(kWhere), std::end(kWhere), out);
  layTails(layConditions(r, out), r->passes - 1);
  return r->layout.data;
}

void endRun(SideRun* r) {
  r->pending = false;
  r->openersOn = false;
  r->passes = 0;
  r->conditions.size = 0;
  r->conditionEnds.size = 0;
  r->openers.size = 0;
  r->nextOpener = 0;
}

// A pass's condition text in a run: " (c) AND (", or " (c) " for the run's first pass when it
// wrote the WHERE.
uint32_t conditionTextLength(const OuterJoinScanState* s, bool ownWhere) {
  return s->joinCondition.length + (ownWhere ? 4 : 9);
}

// A pass's condition text stands in a run after the WHERE and in front of those of the passes
// before, so it must scan the same wherever it stands: read alone, its parentheses balance but
// for the last "(" of " AND (", no keyword that ends a region stands outside them, and nothing
// past its last parenthesis is read (" (c) " ends in a blank, which whatever follows ends alike).
// The text is laid out in the run's condition array after those already there (the run's edit
// keeps it); the scanner is borrowed and left as it was. A text near the scanner's limit is not
// tried, so that no match in it can overflow.
bool conditionScansAlone(Ledger* l, OuterJoinScanState* s, bool ownWhere) {
  SideRun& r = l->run;
  const OjText& c = s->joinCondition;
  const uint64_t length = conditionTextLength(s, ownWhere);
  if (length + 2 >= kAutomatonCapacity - 1 || !r.conditions.reserve(r.conditions.size + length + 1))
    return false;
  uint16_t* text = r.conditions.data + r.conditions.size;
  static constexpr uint16_t kClose[] = {')', ' ', 'A', 'N', 'D', ' ', '('};
  text[0] = ' ';
  text[1] = '(';
  std::memcpy(text + 2, c.data, c.length * sizeof(uint16_t));
  std::memcpy(text + 2 + c.length, kClose, (ownWhere ? 2 : 7) * sizeof(uint16_t));
  text[length] = 0;
  const uint16_t* lastParen = ownWhere ? text + length - 1 : text + length;

  struct Saved {
    const uint16_t* holdAt;
    const uint16_t* textStart;
    const uint16_t* inputPos;
    int32_t logMatches, markOpener, markCloser, endSeen, scanMode, nameJustSeen, wideSeen;
  };
  const Saved saved{s->holdAt,     s->textStart, s->inputPos, s->logMatches,   s->markOpener,
                    s->markCloser, s->endSeen,   s->scanMode, s->nameJustSeen, s->wideSeen};
  s->holdAt = nullptr;
  s->logMatches = 0;
  s->markOpener = 0;
  s->markCloser = 0;
  s->endSeen = 0;
  s->scanMode = kModeTable;
  s->textStart = text;
  ojRestartAt(s, text);
  int32_t depth = 0;
  bool ok = true;
  bool endsClean = false;
  for (int32_t token; ok && (token = ojNextToken(s)) != 0;) {
    endsClean = (token == oj::LPAREN || token == oj::RPAREN) && ojAfterToken(s) == lastParen &&
                s->pushbackTop == 0 && s->lex.endHeld == 0 && s->endSeen == 0;
    switch (token) {
      case oj::kOverflow:
        ok = false;
        break;
      case oj::LPAREN:
        ++depth;
        break;
      case oj::RPAREN:
        ok = --depth >= 0;
        break;
      case oj::WHERE:
      case oj::HAVING:
      case oj::ORDER:
      case oj::GROUP:
      case oj::UNION:
      case oj::INTERSECT:
        ok = depth != 0;
        break;
      default:
        break;
    }
  }
  ok = ok && endsClean && depth == (ownWhere ? 0 : 1);
  s->holdAt = saved.holdAt;
  s->logMatches = saved.logMatches;
  s->markOpener = saved.markOpener;
  s->markCloser = saved.markCloser;
  s->endSeen = saved.endSeen;
  s->scanMode = saved.scanMode;
  s->nameJustSeen = saved.nameJustSeen;
  s->wideSeen = saved.wideSeen;
  s->textStart = saved.textStart;
  ojRestartAt(s, saved.inputPos);
  return ok;
}

}  // namespace

// A run needs the blanks right before the WHERE ("t  WHERE") to be read as one token that the
// WHERE ends, so that more blanks there only lengthen it.
void noteWhere(Ledger* l, const OuterJoinScanState* s, const uint16_t* where) {
  const uint16_t* blanks = where;
  while (blanks > s->textStart && isBlankOrTab(blanks[-1])) --blanks;
  if (blanks == where || !matchBeganAt(s, blanks)) return;
  l->record.whereAt = l->fromEnd(where);
  l->record.blanksBefore = uint32_t(where - blanks);
}

// ... and the condition after it to end in blanks read as one token ("WHERE z = 1 ORDER"), which
// a ")" would end as the next token or the end does.
void noteConditionEnd(Ledger* l, const OuterJoinScanState* s) {
  const uint16_t* blanks = s->whereEnd + 1;
  while (blanks > s->whereStart && isBlankOrTab(blanks[-1])) --blanks;
  if (blanks == s->whereEnd + 1 || !matchBeganAt(s, blanks)) return;
  l->record.tailAt = l->fromEnd(s->whereEnd + 1);
}

// A list without WHERE: the run's texts go right after it, before the token that ends the region
// or at the end ("..., t" or "t)"), and start with blanks. What stands before that place must be
// read as one token that such blanks end as that token ended: blanks (a longer run), or a name or
// number ("t", "t)").
void noteListEnd(Ledger* l, const OuterJoinScanState* s) {
  const uint16_t* end = s->fromEnd + 1;
  const uint16_t* start = end;
  while (start > s->textStart && isBlankOrTab(start[-1])) --start;
  const uint32_t blanks = uint32_t(end - start);
  if (blanks == 0) {
    while (start > s->textStart && isNameChar(start[-1])) --start;
  }
  if (start == end || !matchBeganAt(s, start)) return;
  l->record.whereAt = l->record.tailAt = l->fromEnd(end);
  l->record.blanksBefore = blanks;
  l->record.ownWhere = true;
}

// An opener inside parentheses: a later pass may take its clause first.
void noteOpener(Ledger* l, const OuterJoinScanState* s, int32_t depth) {
  const uint16_t* opener = ojAfterToken(s) - s->matchLength;
  if (!l->record.openers.push({l->fromEnd(opener), depth, 0})) l->record.spoiled = true;
}

// The depth back at 0: the openers noted since are closed here.
void closeOpeners(Ledger* l, const OuterJoinScanState* s) {
  RunRecord& r = l->record;
  const uint32_t at = l->fromEnd(ojAfterToken(s));
  for (; r.unclosed < r.openers.size; ++r.unclosed) r.openers.data[r.unclosed].closeAt = at;
}

// The run's texts go in place, the leftmost first, so that each one's place keeps its distance
// from the end.
void putRunInPlace(Ledger* l, bool scanning) {
  auto put = [l, scanning](uint32_t at, const uint16_t* text, uint32_t length) {
    if (scanning) {
      insertWhileScanning(l, const_cast<uint16_t*>(l->at(at)), text, length);
    } else {
      insertAtGap(l, at, text, length);
    }
  };
  SideRun* r = &l->run;
  if (r->ownWhere) {
    put(r->whereAt, runOwnText(r),
        r->passes + 5 + r->conditions.size + kTailLength * (r->passes - 1));
  } else {
    put(r->whereAt, runBlanks(r), r->passes);
    put(r->whereAt - 5, runConditions(r), r->conditions.size);
    put(r->tailAt, runTails(r), kTailLength * r->passes);
  }
  endRun(r);
}

// The run's notes on the clause the pass found first, when the pass can be one of the run's: a
// clause the run's first pass saw further on, right of those the run took (the text from it to
// the WHERE is as that pass read it), taken with as many parentheses as that pass's search was
// deep in after its opener, and nothing read ahead of the opener. *tooLong tells that
// the blanks before the WHERE, one more per pass, no longer fit the scanner: the pass's region
// search would read the text that search read up to them and fail there.
const RunOpener* runPassOpener(const Ledger* l, const OuterJoinScanState* s, const Pass* p,
                               bool* tooLong) {
  *tooLong = false;
  const SideRun& r = l->run;
  if (!r.pending || !r.openersOn || p->movedGap || p->opener == nullptr) return nullptr;
  if (s->pushbackTop != 0 || s->lex.endHeld != 0 || s->endSeen != 0) return nullptr;
  const uint32_t opener = l->fromEnd(p->opener);
  const RunOpener* begin = r.openers.data + r.nextOpener;
  const RunOpener* end = r.openers.data + r.openers.size;
  const RunOpener* found = std::lower_bound(
      begin, end, opener, [](const RunOpener& o, uint32_t at) { return o.opener > at; });
  if (found == end || found->opener != opener || found->depth != p->taken) return nullptr;
  *tooLong = uint64_t(r.blanksBefore) + r.passes > kLongestBlankRun;
  return *tooLong ? nullptr : found;
}

// After the clause's parse: the pass is one of the run's when the run's texts still wait (the
// parser's look past the clause may have put them in place: "({oj ...}) WHERE"), the clause's
// closing parentheses end where the run's first pass saw the depth come back to 0 (the search
// for further clauses then starts as that pass's search went on from there), and its condition
// text scans alone.
bool runPassHolds(Ledger* l, OuterJoinScanState* s, const Pass* p) {
  return l->run.pending && !p->textEnded && l->fromEnd(s->clauseEnd) == p->runOpener->closeAt &&
         conditionScansAlone(l, s, false);
}

// A run starts after this pass when its region search noted a WHERE and a condition end (or a
// list end) fit for one and a clause in parentheses further on, the pass took one clause with
// all the parentheses around it (its search for further clauses went as deep as the region
// search), and its condition text scans alone.
bool startsRun(Ledger* l, OuterJoinScanState* s, const Pass* p) {
  const RunRecord& r = l->record;
  if (!l->runsOn || l->run.pending || r.spoiled || r.whereAt == 0 || r.tailAt == 0 ||
      r.ownWhere != (s->whereSeen == 0) || p->clauses != 1 || p->matched != p->taken) {
    return false;
  }
  const uint32_t after = l->fromEnd(s->clauseEnd);
  const RunOpener* begin = r.openers.data;
  const bool further = std::any_of(begin, begin + r.openers.size, [after](const RunOpener& o) {
    return o.opener < after && o.closeAt != 0;
  });
  return further && conditionScansAlone(l, s, r.ownWhere);
}

// A pass's edit in a run: the clause, with its parentheses, becomes its table list in place, and
// the pass's blank, condition text and tail join the run's waiting texts. Room for all of them is
// kept first, so that nothing fails once the text has changed.
[[nodiscard]] Status runPassEdit(ConversionContext* ctx, Ledger* l, OuterJoinScanState* s,
                                 const Pass* p, const OjText* out, bool first) {
  SideRun& r = l->run;
  const uint32_t fromAt = l->fromEnd(p->replaceFrom);
  const uint32_t toAt = l->fromEnd(s->clauseEnd);
  const uint32_t conditionLength = conditionTextLength(s, first && l->record.ownWhere);
  const uint64_t passes = uint64_t(r.passes) + 1;
  const uint64_t conditions = uint64_t(r.conditions.size) + conditionLength;
  const int64_t growth = int64_t(out->length) - int64_t(s->clauseEnd - p->replaceFrom);
  const uint64_t room = uint64_t(std::max<int64_t>(growth, 0)) +
                        uint64_t(kTailLength) * l->pending.size + 4 * passes + 5 + conditions;
  if (!r.conditionEnds.reserve(r.conditionEnds.size + 1) ||
      !r.layout.reserve(4 * passes + 5 + conditions) || wbReserveGap(l->wb, room) != kOk) {
    return bcoFail(ctx, kReasonNoMemory);
  }
  replaceInReservedGap(l, fromAt, toAt, out);
  if (first) {
    const RunRecord& record = l->record;
    r.pending = true;
    r.openersOn = true;
    r.ownWhere = record.ownWhere;
    r.whereAt = record.whereAt;
    r.tailAt = record.tailAt;
    r.blanksBefore = record.blanksBefore;
    r.openers.swap(l->record.openers);
    uint32_t kept = 0;
    for (uint32_t i = 0; i < r.openers.size; ++i) {
      const RunOpener& o = r.openers.data[i];
      if (o.opener < toAt && o.closeAt != 0) r.openers.data[kept++] = o;
    }
    r.openers.size = kept;
    r.nextOpener = 0;
  } else {
    r.nextOpener = uint32_t(p->runOpener - r.openers.data) + 1;
  }
  ++r.passes;
  r.conditions.size += conditionLength;
  r.conditionEnds.data[r.conditionEnds.size++] = r.conditions.size;
  noteEdit(l, l->at(toAt));
  return kOk;
}

}  // namespace ojpass
