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
#include "outerjoin/oj_translate.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>

#include "driver/memory.h"
#include "driver/trace.h"
#include "driver/translators.h"
#include "driver/work_buffer.h"
#include "outerjoin/oj_actions.h"

namespace {

constexpr uint32_t kOutputStart = 40000;  // characters: the pass's rewritten text at first
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
  ~OutputText() { bcoRelease(text.pool, text.data); }
};

// The work buffer goes back to the flat form the dispatcher handed over, on every exit.
struct FlatOnExit {
  WorkBuffer* wb;
  ~FlatOnExit() { wbFlatten(wb); }
};

bool isSpace(uint16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// A growing array of the rewrite's own bookkeeping, in untraced storage through the failure
// switch. A failure to grow only turns off the shortcut the array serves.
template <class T>
struct RawArray {
  T* data = nullptr;
  uint32_t size = 0;
  uint32_t capacity = 0;
  RawArray() = default;
  RawArray(const RawArray&) = delete;
  RawArray& operator=(const RawArray&) = delete;
  ~RawArray() { rawFree(data); }
  bool reserve(uint64_t wanted) {
    if (wanted <= capacity) return true;
    const uint64_t grown = std::max<uint64_t>(wanted, 2 * uint64_t(capacity) + 16);
    if (grown > UINT32_MAX / sizeof(T)) return false;
    auto* block = static_cast<T*>(rawAlloc(grown * sizeof(T)));
    if (block == nullptr) return false;
    if (size != 0) std::memcpy(block, data, size * sizeof(T));
    rawFree(data);
    data = block;
    capacity = uint32_t(grown);
    return true;
  }
  bool push(const T& value) {
    if (!reserve(uint64_t(size) + 1)) return false;
    data[size++] = value;
    return true;
  }
};

// What a pass whose table list has a WHERE condition appends after the condition.
constexpr uint16_t kTail[] = {')', ' ', ' '};
constexpr uint32_t kTailLength = 3;

// A parenthesis pair a region search read: the positions of its "(" and ")" as distances from
// the end of storage (wbFromEnd), and the number of edits made before it was read.
struct PairEntry {
  uint32_t open;  ///< 0: empty slot
  uint32_t close;
  uint32_t time;
};
struct OpenParen {
  uint32_t open;
  uint32_t time;
  bool clean;  ///< nothing was read ahead of the "(" when its token ended
};
// An edit of the stored text: every position before `to` (a distance from the end of storage,
// positions at and after it keep theirs) may have changed or moved.
struct EditMark {
  uint32_t time;
  uint32_t to;
};

// The bookkeeping that makes a statement of nested subqueries cost its length (not with the
// reference translation, nor when passes start from the statement's start):
//  - A pass whose table list has a WHERE condition rewrites the text up to the condition in
//    place and keeps the ") " + " " due after the condition (pending): the condition does not
//    move, and the pass costs what it reads, not the length of the condition. The scanner puts
//    a pending text in place as soon as anything reads up to it (holdAt), so every scan sees the
//    text the plain rewrite would have built; the rest goes in at the end of the rewrite.
//  - A region search remembers the parenthesis pairs it reads, so that a later search jumps from
//    a "(" to its ")" when the text between them has not changed since: in
//    "... {oj ...} WHERE a.k IN (SELECT ... {oj ...} WHERE a.k IN (...))" each pass's search
//    jumps over the subquery the next pass works on.
struct Ledger {
  bool pairsOn = false;  ///< the pair memory is kept (off for good once an array cannot grow)
  WorkBuffer* wb = nullptr;
  struct Pass* pass = nullptr;
  OuterJoinScanState* scan = nullptr;
  RawArray<uint32_t> pending;  ///< pending tails by distance from the end, leftmost last
  RawArray<PairEntry> pairs;   ///< open addressing on the "(" distance; capacity a power of 2
  uint32_t pairsUsed = 0;
  RawArray<EditMark> edits;  ///< suffix minima of the edits' `to`, by time
  uint32_t editCount = 0;
  RawArray<OpenParen> opens;  ///< the "(" of the current region search still open

  uint32_t fromEnd(const uint16_t* p) const { return wbFromEnd(wb, p); }
  const uint16_t* at(uint32_t distance) const { return wbAtFromEnd(wb, distance); }
  uint32_t gapRoom() const { return wb->gapEnd - wb->gapStart; }
};

// Records an edit: the stored text before `to` may have changed or moved.
void noteEdit(Ledger* l, const uint16_t* to) {
  if (!l->pairsOn) return;
  const uint32_t mark = l->fromEnd(to);
  ++l->editCount;
  while (l->edits.size > 0 && l->edits.data[l->edits.size - 1].to >= mark) --l->edits.size;
  if (!l->edits.push({l->editCount, mark})) l->pairsOn = false;
}

// True when no edit after `time` reached past the position `open` (a distance from the end):
// the smallest `to` of the edits after `time` is the first such mark on the stack.
bool unchangedSince(const Ledger* l, uint32_t open, uint32_t time) {
  const EditMark* first =
      std::upper_bound(l->edits.data, l->edits.data + l->edits.size, time,
                       [](uint32_t t, const EditMark& m) { return t < m.time; });
  return first == l->edits.data + l->edits.size || open <= first->to;
}

uint32_t slotOf(uint32_t key, uint32_t capacity) { return (key * 2654435761u) & (capacity - 1); }

void rememberPair(Ledger* l, uint32_t open, uint32_t close) {
  if (!l->pairsOn) return;
  if (2 * (uint64_t(l->pairsUsed) + 1) > l->pairs.capacity) {
    RawArray<PairEntry> grown;
    const uint32_t capacity = std::max<uint32_t>(64, 2 * l->pairs.capacity);
    if (!grown.reserve(capacity)) {
      l->pairsOn = false;
      return;
    }
    std::memset(static_cast<void*>(grown.data), 0, capacity * sizeof(PairEntry));
    grown.capacity = capacity;
    for (uint32_t i = 0; i < l->pairs.capacity; ++i) {
      const PairEntry& e = l->pairs.data[i];
      if (e.open == 0) continue;
      uint32_t j = slotOf(e.open, capacity);
      while (grown.data[j].open != 0) j = (j + 1) & (capacity - 1);
      grown.data[j] = e;
    }
    std::swap(l->pairs.data, grown.data);
    std::swap(l->pairs.capacity, grown.capacity);
  }
  uint32_t j = slotOf(open, l->pairs.capacity);
  while (l->pairs.data[j].open != 0 && l->pairs.data[j].open != open) {
    j = (j + 1) & (l->pairs.capacity - 1);
  }
  if (l->pairs.data[j].open == 0) ++l->pairsUsed;
  l->pairs.data[j] = {open, close, l->editCount};
}

// The ")" of a remembered pair opening at `openChar`, when the text from it through the ")" is
// as it was read and holds no pending text; null otherwise.
const uint16_t* pairClose(const Ledger* l, const uint16_t* openChar, const uint16_t* end) {
  if (!l->pairsOn || l->pairs.capacity == 0) return nullptr;
  const uint32_t open = l->fromEnd(openChar);
  uint32_t j = slotOf(open, l->pairs.capacity);
  while (l->pairs.data[j].open != open) {
    if (l->pairs.data[j].open == 0) return nullptr;
    j = (j + 1) & (l->pairs.capacity - 1);
  }
  const PairEntry& e = l->pairs.data[j];
  if (e.close >= open || !unchangedSince(l, open, e.time)) return nullptr;
  // A pending text at or before the ")" and after the "(" would be read inside the pair.
  const uint32_t* later =
      std::lower_bound(l->pending.data, l->pending.data + l->pending.size, e.close);
  if (later != l->pending.data + l->pending.size && *later < open) return nullptr;
  const uint16_t* close = l->at(e.close);
  if (close >= end || *close != ')') return nullptr;
  return close;
}

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

// A "(" read by a region search: when the pair it opens is remembered and unchanged, the search
// goes on after its ")" in the state the ")" leaves (nothing read ahead, table mode); otherwise
// the "(" is noted so that its pair is remembered when its ")" comes. Only a "(" with nothing
// read ahead of it qualifies: the tokens inside then depend on the text of the pair alone.
void passParen(Ledger* l, OuterJoinScanState* s, int32_t* depth) {
  const uint16_t* open = ojAfterToken(s) - 1;
  const bool clean = s->pushbackTop == 0 && s->lex.endHeld == 0;
  if (clean) {
    if (const uint16_t* close = pairClose(l, open, l->wb->data + l->wb->rightEnd)) {
      ojRestartAt(s, close + 1);
      s->scanMode = kModeTable;
      --*depth;
      return;
    }
  }
  if (!l->opens.push({l->fromEnd(open), l->editCount, clean})) l->pairsOn = false;
}

// A ")" read by a region search closes the latest "(" it noted; the pair is remembered when
// nothing was read ahead at either end and no edit came between them.
void closeParen(Ledger* l, OuterJoinScanState* s) {
  const OpenParen o = l->opens.data[--l->opens.size];
  if (!o.clean || o.time != l->editCount || s->pushbackTop != 0 || s->lex.endHeld != 0) return;
  rememberPair(l, o.open, l->fromEnd(ojAfterToken(s) - 1));
}

// Where the table list's region ends, scanning on from the first clause's opener: a WHERE at
// depth 0 marks the statement's own condition (a second one is an error); HAVING, ORDER, GROUP,
// UNION, INTERSECT at depth 0 or the ")" closing a subquery end the region or the condition.
// depth starts at the parentheses taken into the clause ("({oj ...})"), so that their closing
// ones do not end it.
[[nodiscard]] Status findRegionEnd(ConversionContext* ctx, OuterJoinScanState* s, int32_t depth,
                                   const uint16_t* last, Ledger* ledger) {
  if (ledger != nullptr) ledger->opens.size = 0;
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
        if (ledger != nullptr && ledger->pairsOn) passParen(ledger, s, &depth);
        break;
      case oj::RPAREN:
        ends = --depth < 0;
        if (ledger != nullptr && ledger->pairsOn && ledger->opens.size > 0) closeParen(ledger, s);
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
    if (entry[1] <= replaceOffset) return resume + entry[0];
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

// One pass: where it reads, the clause it rewrites first, and where the next pass resumes.
struct Pass {
  PassText text;
  const uint16_t* last = nullptr;         ///< the statement's last character
  const uint16_t* replaceFrom = nullptr;  ///< the first clause's start, parentheses taken in
  int32_t taken = 0;                      ///< "(" taken into the first clause
  uint32_t nextResume = 0;
  bool movedGap = false;     ///< the first clause took parentheses from before the pass's start
  bool textEnded = false;    ///< the scanner or the parser met the end of the text
  Ledger* ledger = nullptr;  ///< the shortcuts' bookkeeping, null for the plain rewrite
};

// The pending text leftmost in the statement goes in place: the text between the gap and it moves
// left into room kept for it, and every position into that text moves with it. A position that
// stands between two characters (inputPos, clauseEnd, ...) and is the pending text's place comes
// before the new text; one that names a character (fromEnd, ...) keeps naming it.
void putPendingInPlace(OuterJoinScanState* s) {
  Ledger* l = static_cast<Ledger*>(s->holdContext);
  Pass* p = l->pass;
  WorkBuffer* wb = l->wb;
  uint16_t* at = const_cast<uint16_t*>(s->holdAt);
  const uint16_t* low = wb->data + wb->gapEnd;
  assert(l->pending.size > 0 && l->gapRoom() >= kTailLength && at >= low);
  uint16_t* moved = nullptr;
  [[maybe_unused]] const Status status = wbReplace(wb, at, at, {kTail, kTailLength}, &moved);
  assert(status == kOk && moved == at - kTailLength);
  auto between = [&](const uint16_t*& q) {
    if (q >= low && q <= at) q -= kTailLength;
  };
  auto character = [&](const uint16_t*& q) {
    if (q >= low && q < at) q -= kTailLength;
  };
  between(s->textStart);
  between(s->inputPos);
  between(s->clauseStart);
  between(s->clauseEnd);
  between(s->whereStart);
  between(p->replaceFrom);
  character(s->fromEnd);
  character(s->whereEnd);
  character(p->last);
  p->text.base = wb->data + wb->gapEnd;
  --l->pending.size;
  noteEdit(l, at);
  s->holdAt = l->pending.size > 0 ? l->at(l->pending.data[l->pending.size - 1]) : nullptr;
}

// Puts every pending text in place, from the leftmost on, moving the gap along the statement once.
void putAllPendingInPlace(Ledger* l) {
  WorkBuffer* wb = l->wb;
  while (l->pending.size > 0) {
    const uint16_t* at = l->at(l->pending.data[--l->pending.size]);
    wbMoveGap(wb, wb->gapStart + uint32_t(at - (wb->data + wb->gapEnd)));
    uint16_t* gap = wb->data + wb->gapEnd;
    uint16_t* moved = nullptr;
    [[maybe_unused]] const Status status = wbReplace(wb, gap, gap, {kTail, kTailLength}, &moved);
    assert(status == kOk);
  }
}

// Text that goes from the left part of the gap buffer into the right part takes distances from
// the end that remembered pairs may have had: an edit up to the right part's old start.
void noteGapMovingLeft(Ledger* l, uint32_t to) {
  if (l != nullptr && to < l->wb->gapStart) noteEdit(l, l->wb->data + l->wb->gapEnd);
}

void startPass(OuterJoinScanState* s, Pass* p, uint32_t resume, OjText* out) {
  noteGapMovingLeft(p->ledger, resume);
  p->text.load(resume);
  if (p->ledger != nullptr) {
    Ledger* l = p->ledger;
    s->holdAt = l->pending.size > 0 ? l->at(l->pending.data[l->pending.size - 1]) : nullptr;
  }
  p->last = p->text.end - 1;
  p->replaceFrom = nullptr;
  p->taken = 0;
  p->nextResume = 0;
  p->movedGap = false;
  p->textEnded = false;
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
  s->logMatches = 1;
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
      takeFirstClause(s, p);
      *opener = true;
      break;
    }
    if (token == oj::LPAREN) {
      ++s->depth;
    } else if (token == oj::RPAREN) {
      if (--s->depth < 0) break;
    } else if (token == oj::OJ_OPEN && s->depth == 0) {
      if (!appendRange(out, s->clauseEnd, s->clauseStart)) return bcoFail(ctx, kReasonNoMemory);
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
    if (const Status status = findRegionEnd(ctx, s, p->taken, p->last, p->ledger); status != kOk)
      return status;
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
    for (int32_t i = matched; i < p->taken; ++i) {
      if (!ojAppend(out, "(")) return bcoFail(ctx, kReasonNoMemory);
    }
  }
  p->textEnded = result == 0;
  ojRestartAt(s, s->clauseEnd);
  s->markCloser = 0;
  if (!ojAppend(out, s->joinText.data, s->joinText.length)) return bcoFail(ctx, kReasonNoMemory);
  return kOk;
}

// Replaces [from, to) by out, keeping room in the gap for every pending text, and adds one more
// pending text at pendingAt (at or after `to`) unless it is null: all of it or nothing, so that
// putting the pending texts in place later cannot fail.
[[nodiscard]] Status editWithLedger(ConversionContext* ctx, Ledger* l, const uint16_t* from,
                                    const uint16_t* to, const OjText* out,
                                    const uint16_t* pendingAt) {
  const uint32_t fromAt = l->fromEnd(from);
  const uint32_t toAt = l->fromEnd(to);
  const uint32_t pendingFromEnd = pendingAt != nullptr ? l->fromEnd(pendingAt) : 0;
  const uint32_t pendingAfter = l->pending.size + (pendingAt != nullptr ? 1 : 0);
  const int64_t growth = int64_t(out->length) - int64_t(to - from);
  const uint64_t room =
      uint64_t(std::max<int64_t>(growth, 0)) + uint64_t(kTailLength) * pendingAfter;
  if (!l->pending.reserve(pendingAfter) || wbReserveGap(l->wb, room) != kOk) {
    return bcoFail(ctx, kReasonNoMemory);
  }
  uint16_t* moved = nullptr;
  [[maybe_unused]] const Status status =
      wbReplace(l->wb, const_cast<uint16_t*>(l->at(fromAt)), const_cast<uint16_t*>(l->at(toAt)),
                {out->data, out->length}, &moved);
  assert(status == kOk);
  if (pendingAt != nullptr) l->pending.data[l->pending.size++] = pendingFromEnd;
  noteEdit(l, l->at(toAt));
  return kOk;
}

// Ends the pass: the rest of the table list, the new WHERE clause with the statement's own
// condition after it, and one blank take the place of the clauses and the region in the
// statement; the rest of the statement follows.
[[nodiscard]] Status finishPass(ConversionContext* ctx, OuterJoinScanState* s, Pass* p,
                                OjText* out) {
  bool ok = appendRange(out, s->clauseEnd, s->fromEnd + 1) && ojAppend(out, " WHERE (") &&
            ojAppend(out, s->joinCondition.data, s->joinCondition.length) && ojAppend(out, ")");
  const uint16_t* rest = s->fromEnd + 1;
  Ledger* l = p->ledger;
  if (l != nullptr && s->whereSeen != 0 && p->replaceFrom <= s->whereStart &&
      s->whereStart <= s->whereEnd + 1 && s->whereEnd + 1 < p->text.end) {
    // The condition stays where it is: the text up to it is rewritten, the ") " + " " after it
    // waits until something reads up to it.
    if (!(ok && ojAppend(out, " AND ("))) return bcoFail(ctx, kReasonNoMemory);
    return editWithLedger(ctx, l, p->replaceFrom, s->whereStart, out, s->whereEnd + 1);
  }
  if (s->whereSeen != 0) {
    ok = ok && ojAppend(out, " AND (") && appendRange(out, s->whereStart, s->whereEnd + 1) &&
         ojAppend(out, ") ");
    rest = s->whereEnd + 1;
  }
  ok = ok && ojAppend(out, " ");
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
  out->pool = &ctx->scratch;
  out->data = static_cast<uint16_t*>(
      bcoObtain(out->pool,
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
    for (;;) {
      bool opener = false;
      if (const Status status = findClause(ctx, s, &pass, out, &opener); status != kOk)
        return status;
      if (!opener) break;
      if (const Status status = rewriteClause(ctx, s, &pass, out); status != kOk) return status;
      if (pass.textEnded) break;
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
