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
  void swap(RawArray& other) {
    std::swap(data, other.data);
    std::swap(size, other.size);
    std::swap(capacity, other.capacity);
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

// The scanner reads a run of blanks and tabs as one token; the run and the character that ends it
// must fit its match buffer with the terminator, so a longer run fails with 59.
constexpr uint32_t kLongestBlankRun = kAutomatonCapacity - 2;

// A clause in parentheses further on in a table list, as the region search of the pass before
// read it: "({oj ...})" in "({oj ...}), ({oj ...}), t WHERE ...". Distances from the end.
struct RunOpener {
  uint32_t opener;   ///< the opener's first character
  int32_t depth;     ///< the search's depth after the opener: the parentheses around the clause
  uint32_t closeAt;  ///< right after the ")" that brought the depth back to 0 (0: it never came)
};

// What a pass's region search notes so that a run (SideRun) may start after the pass: the
// clauses in parentheses further on, where the table list's WHERE stands (or, without one, where
// the list ends), and where the condition after it ends. whereAt and tailAt are 0 when the text
// there does not allow a run.
struct RunRecord {
  bool spoiled = false;  ///< a pending text went in place during the search, or memory ran out
  bool ownWhere = false;  ///< the list has no WHERE: the pass writes one at whereAt
  RawArray<RunOpener> openers;
  uint32_t unclosed = 0;      ///< the first opener whose closing ")" has not come yet
  uint32_t whereAt = 0;       ///< the WHERE's first character, or where the list ends
  uint32_t blanksBefore = 0;  ///< the run of blanks and tabs right before it
  uint32_t tailAt = 0;        ///< right after the condition
};

// The passes of a run of clauses in parentheses side by side in one table list, each pass taking
// the next clause (see Ledger). A pass rewrites "WHERE" into " WHERE (c) AND (" and adds ") " +
// " " after the condition; in a run those two texts wait, with those of the run's earlier passes:
// before the WHERE one blank per pass, after it the passes' " (c) AND (" texts, latest first,
// and after the condition one ")  " per pass. When the list had no WHERE, the run's first pass
// wrote " WHERE (c) " after it, and all of the run's text waits there:
//   "  WHERE (c3) AND ( (c2) AND ( (c1) )  )  " for three passes.
struct SideRun {
  bool pending = false;    ///< the run's texts wait to go in place
  bool openersOn = false;  ///< the next pass may take its clause without a region search
  bool ownWhere = false;   ///< the WHERE is the run's own text
  uint32_t whereAt = 0;    ///< the WHERE, or where the run's text goes (distance from the end)
  uint32_t tailAt = 0;     ///< right after the condition
  uint32_t blanksBefore = 0;  ///< the blanks and tabs before the WHERE in the text itself
  uint32_t passes = 0;
  RawArray<uint16_t> conditions;  ///< every pass's condition text, the run's first pass first
  RawArray<uint32_t> conditionEnds;
  RawArray<RunOpener> openers;  ///< the clauses the run's first pass saw further on, in order
  uint32_t nextOpener = 0;      ///< the first of them right of every clause the run took
  RawArray<uint16_t> layout;    ///< room to lay out the run's texts
  uint64_t room() const { return 4 * uint64_t(passes) + 5 + conditions.size; }
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
//  - Clauses in parentheses side by side in one table list take a pass each, every pass reads the
//    rest of the list and its condition, and the condition nests one level deeper per pass:
//      "({oj a ...}), ({oj c ...}), t WHERE z = 1" becomes, in two passes,
//      "a, b, c, d, t   WHERE (c2) AND ( (c1) AND ( z = 1)  )  ".
//    A run (SideRun) starts after a pass whose region search saw such clauses further on: the
//    next pass rewrites its clause in place and leaves the rest of the list where it is, and the
//    texts that go before and after the condition wait at the WHERE. Such a pass needs no region
//    search and no search for further clauses: the text from its clause to the WHERE is the text
//    the first pass's search read there, at the same depth, so the scan would find what that one
//    found; the blanks before the WHERE grow by one per pass (a run too long for the scanner
//    fails: that pass is left to the plain steps), and after the WHERE stand the passes'
//    conditions, each checked once to scan alone (parentheses balanced, no keyword ending a
//    region, nothing read past its last "("), then the condition the first pass read, whose
//    tokens end in blanks that stop alike at a ")", and the ")  " that close them, ahead of the
//    token that ended the first pass's region. Anything else makes the pass take the plain steps,
//    and whatever reads up to the waiting texts puts them in place first.
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
  bool runsOn = false;        ///< runs may start (not while tracing: the output grows otherwise)
  RunRecord record;           ///< the current region search's notes for a run
  SideRun run;

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
  if (l->run.pending) {
    for (const uint32_t at : {l->run.whereAt, l->run.whereAt - 5, l->run.tailAt}) {
      if (at >= e.close && at < open) return nullptr;
    }
  }
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

bool isBlankOrTab(uint16_t c) { return c == ' ' || c == '\t'; }

// True when the scan began a match at `at` having read nothing past the character there (the
// scanner's match log, which the caller turned on): the matches before it depended on the text
// before `at` and that one character alone.
bool matchBeganAt(const OuterJoinScanState* s, const uint16_t* at) {
  if (at < s->textStart) return false;
  const uint32_t offset = uint32_t(at - s->textStart);
  const uint32_t kept = std::min(s->matchCount, kMatchRing);
  for (uint32_t i = 0; i < kept; ++i) {
    const uint32_t* entry = s->matchRing[(s->matchCount - 1 - i) % kMatchRing];
    if (entry[0] == offset) return entry[1] <= offset + 1 && entry[2] == 0;
    if (entry[0] < offset) break;
  }
  return false;
}

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

bool isNameChar(uint16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '#' || c == '$' || c > 0x7E;
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
  s->logMatches = 1;
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
  int32_t matched = 0;       ///< closing parentheses taken with the first clause
  uint32_t clauses = 0;      ///< clauses rewritten in this pass
  const uint16_t* opener = nullptr;       ///< the first clause's opener
  const uint16_t* afterOpener = nullptr;  ///< where the scan stood after it
  const RunOpener* runOpener = nullptr;   ///< the clause's notes when the pass is part of a run
};

// The leftmost text waiting to go in place, or null.
const uint16_t* leftmostPending(const Ledger* l) {
  uint32_t leftmost = l->pending.size > 0 ? l->pending.data[l->pending.size - 1] : 0;
  if (l->run.pending) leftmost = std::max(leftmost, l->run.whereAt);
  return leftmost != 0 ? l->at(leftmost) : nullptr;
}

// Text goes in place at `at` while a scan may be under way: the text between the gap and `at`
// moves left into room kept for it, and every position into that text moves with it. A position
// that stands between two characters (inputPos, clauseEnd, ...) and is the place comes before the
// new text; one that names a character (fromEnd, ...) keeps naming it, and one that names the
// statement's last character keeps naming the last when the text goes at the end.
void insertWhileScanning(Ledger* l, uint16_t* at, const uint16_t* text, uint32_t length) {
  OuterJoinScanState* s = l->scan;
  Pass* p = l->pass;
  WorkBuffer* wb = l->wb;
  const uint16_t* low = wb->data + wb->gapEnd;
  const uint16_t* last = wb->data + wb->rightEnd - 1;
  assert(l->gapRoom() >= length && at >= low);
  uint16_t* moved = nullptr;
  [[maybe_unused]] const Status status = wbReplace(wb, at, at, {text, length}, &moved);
  assert(status == kOk && moved == at - length);
  auto between = [&](const uint16_t*& q) {
    if (q >= low && q <= at) q -= length;
  };
  auto character = [&](const uint16_t*& q) {
    if (q >= low && q < at && q != last) q -= length;
  };
  between(s->textStart);
  between(s->inputPos);
  between(s->clauseStart);
  between(s->clauseEnd);
  between(s->whereStart);
  between(p->replaceFrom);
  between(p->opener);
  between(p->afterOpener);
  character(s->fromEnd);
  character(s->whereEnd);
  p->text.base = wb->data + wb->gapEnd;
  l->record.spoiled = true;
  noteEdit(l, at);
}

// Lays out the run's three texts in run.layout, one at a time.
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

// The run's texts go in place, the leftmost first, so that each one's place keeps its distance
// from the end; `put` puts one text at a distance from the end.
template <class Put>
void putRunInPlace(Ledger* l, Put put) {
  SideRun* r = &l->run;
  if (r->ownWhere) {
    put(r->whereAt, runOwnText(r), r->passes + 5 + r->conditions.size + kTailLength * (r->passes - 1));
  } else {
    put(r->whereAt, runBlanks(r), r->passes);
    put(r->whereAt - 5, runConditions(r), r->conditions.size);
    put(r->tailAt, runTails(r), kTailLength * r->passes);
  }
  endRun(r);
}

// The scanner reached the leftmost pending text: it goes in place (a run's texts all at once).
void putPendingInPlace(OuterJoinScanState* s) {
  Ledger* l = static_cast<Ledger*>(s->holdContext);
  assert(l->pending.size > 0 || l->run.pending);
  if (l->run.pending && s->holdAt == l->at(l->run.whereAt)) {
    putRunInPlace(l, [l](uint32_t at, const uint16_t* text, uint32_t length) {
      insertWhileScanning(l, const_cast<uint16_t*>(l->at(at)), text, length);
    });
  } else {
    --l->pending.size;
    insertWhileScanning(l, const_cast<uint16_t*>(s->holdAt), kTail, kTailLength);
  }
  s->holdAt = leftmostPending(l);
}

// Puts every pending text in place, from the leftmost on, moving the gap along the statement once.
void putAllPendingInPlace(Ledger* l) {
  WorkBuffer* wb = l->wb;
  auto put = [l, wb](uint32_t distance, const uint16_t* text, uint32_t length) {
    const uint16_t* at = l->at(distance);
    wbMoveGap(wb, wb->gapStart + uint32_t(at - (wb->data + wb->gapEnd)));
    uint16_t* gap = wb->data + wb->gapEnd;
    uint16_t* moved = nullptr;
    [[maybe_unused]] const Status status = wbReplace(wb, gap, gap, {text, length}, &moved);
    assert(status == kOk);
  };
  while (l->pending.size > 0 || l->run.pending) {
    const uint32_t tail = l->pending.size > 0 ? l->pending.data[l->pending.size - 1] : 0;
    if (l->run.pending && l->run.whereAt > tail) {
      // Nothing waits between the run's WHERE and its tails.
      assert(tail < l->run.tailAt);
      putRunInPlace(l, put);
    } else {
      --l->pending.size;
      put(tail, kTail, kTailLength);
    }
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
  const Saved saved{s->holdAt,     s->textStart,  s->inputPos, s->logMatches,
                    s->markOpener, s->markCloser, s->endSeen,  s->scanMode,
                    s->nameJustSeen, s->wideSeen};
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
  uint16_t* moved = nullptr;
  [[maybe_unused]] const Status status =
      wbReplace(l->wb, const_cast<uint16_t*>(l->at(fromAt)), const_cast<uint16_t*>(l->at(toAt)),
                {out->data, out->length}, &moved);
  assert(status == kOk);
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
      if (!ojAppend(out, "(")) return bcoFail(ctx, kReasonNoMemory);
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
  if (!ojAppend(out, s->joinText.data, s->joinText.length)) return bcoFail(ctx, kReasonNoMemory);
  ++p->clauses;
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
  const uint64_t room = uint64_t(std::max<int64_t>(growth, 0)) +
                        uint64_t(kTailLength) * pendingAfter +
                        (l->run.pending ? l->run.room() : 0);
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
  if (Ledger* l = p->ledger; l != nullptr) {
    if (p->runOpener != nullptr) return runPassEdit(ctx, l, s, p, out, false);
    l->run.openersOn = false;
    if (startsRun(l, s, p)) return runPassEdit(ctx, l, s, p, out, true);
  }
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

  ScanPtr scan(ojScanCreate());
  if (!scan) return bcoFail(ctx, kReasonNoMemory);
  OuterJoinScanState* s = scan.get();
  OutputText output;
  OjText* out = &output.text;
  out->data = static_cast<uint16_t*>(pMEMAlloc(kOutputStart * sizeof(uint16_t), 1));
  if (out->data == nullptr) return bcoFail(ctx, kReasonNoMemory);
  out->capacity = kOutputStart;

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
