// The records one outer-join statement rewrite (oj_translate.cpp) keeps across its passes: the
// text a pass works on, the pass itself, and the ledger of shortcuts that keep the passes linear in
// the statement's length: texts that wait to go in place and remembered parenthesis pairs
// (oj_ledger.cpp), and runs of clauses in parentheses side by side (oj_side_run.cpp). Only the
// rewrite's own files include this header.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "driver/context.h"
#include "driver/memory.h"
#include "driver/work_buffer.h"
#include "outerjoin/oj_scanner.h"

namespace ojpass {

/// A growing array of the rewrite's own bookkeeping, in untraced storage through the failure
/// switch. A failure to grow only turns off the shortcut the array serves.
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

/// What a pass whose table list has a WHERE condition appends after the condition.
constexpr uint16_t kTail[] = {')', ' ', ' '};
constexpr uint32_t kTailLength = 3;

/// A parenthesis pair a region search read: the positions of its "(" and ")" as distances from
/// the end of storage (wbFromEnd), and the number of edits made before it was read.
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

/// An edit of the stored text: every position before `to` (a distance from the end of storage,
/// positions at and after it keep theirs) may have changed or moved.
struct EditMark {
  uint32_t time;
  uint32_t to;
};

/// The scanner reads a run of blanks and tabs as one token; the run and the character that ends it
/// must fit its match buffer with the terminator, so a longer run fails with 59.
constexpr uint32_t kLongestBlankRun = kAutomatonCapacity - 2;

/// A clause in parentheses further on in a table list, as the region search of the pass before
/// read it: "({oj ...})" in "({oj ...}), ({oj ...}), t WHERE ...". Distances from the end.
struct RunOpener {
  uint32_t opener;   ///< the opener's first character
  int32_t depth;     ///< the search's depth after the opener: the parentheses around the clause
  uint32_t closeAt;  ///< right after the ")" that brought the depth back to 0 (0: it never came)
};

/// What a pass's region search notes so that a run (SideRun) may start after the pass: the
/// clauses in parentheses further on, where the table list's WHERE stands (or, without one, where
/// the list ends), and where the condition after it ends. whereAt and tailAt are 0 when the text
/// there does not allow a run.
struct RunRecord {
  bool spoiled = false;   ///< a pending text went in place during the search, or memory ran out
  bool ownWhere = false;  ///< the list has no WHERE: the pass writes one at whereAt
  RawArray<RunOpener> openers;
  uint32_t unclosed = 0;      ///< the first opener whose closing ")" has not come yet
  uint32_t whereAt = 0;       ///< the WHERE's first character, or where the list ends
  uint32_t blanksBefore = 0;  ///< the run of blanks and tabs right before it
  uint32_t tailAt = 0;        ///< right after the condition
};

/// The passes of a run of clauses in parentheses side by side in one table list, each pass taking
/// the next clause (see Ledger). A pass rewrites "WHERE" into " WHERE (c) AND (" and adds ") " +
/// " " after the condition; in a run those two texts wait, with those of the run's earlier passes:
/// before the WHERE one blank per pass, after it the passes' " (c) AND (" texts, latest first,
/// and after the condition one ")  " per pass. When the list had no WHERE, the run's first pass
/// wrote " WHERE (c) " after it, and all of the run's text waits there:
///   "  WHERE (c3) AND ( (c2) AND ( (c1) )  )  " for three passes.
struct SideRun {
  bool pending = false;       ///< the run's texts wait to go in place
  bool openersOn = false;     ///< the next pass may take its clause without a region search
  bool ownWhere = false;      ///< the WHERE is the run's own text
  uint32_t whereAt = 0;       ///< the WHERE, or where the run's text goes (distance from the end)
  uint32_t tailAt = 0;        ///< right after the condition
  uint32_t blanksBefore = 0;  ///< the blanks and tabs before the WHERE in the text itself
  uint32_t passes = 0;
  RawArray<uint16_t> conditions;  ///< every pass's condition text, the run's first pass first
  RawArray<uint32_t> conditionEnds;
  RawArray<RunOpener> openers;  ///< the clauses the run's first pass saw further on, in order
  uint32_t nextOpener = 0;      ///< the first of them right of every clause the run took
  RawArray<uint16_t> layout;    ///< room to lay out the run's texts
  uint64_t room() const { return 4 * uint64_t(passes) + 5 + conditions.size; }
};

/// The bookkeeping that makes statements of nested subqueries and of clauses side by side cost
/// their length (not with the reference translation, nor when passes start from the statement's
/// start, nor while tracing for runs):
///  - A pass whose table list has a WHERE condition rewrites the text up to the condition in
///    place and keeps the ") " + " " due after the condition (pending): the condition does not
///    move, and the pass costs what it reads, not the length of the condition. The scanner puts
///    a pending text in place as soon as anything reads up to it (holdAt), so every scan sees the
///    text the plain rewrite would have built; the rest goes in at the end of the rewrite.
///  - A region search remembers the parenthesis pairs it reads, so that a later search jumps from
///    a "(" to its ")" when the text between them has not changed since: in
///    "... {oj ...} WHERE a.k IN (SELECT ... {oj ...} WHERE a.k IN (...))" each pass's search
///    jumps over the subquery the next pass works on.
///  - Clauses in parentheses side by side in one table list take a pass each, every pass reads the
///    rest of the list and its condition, and the condition nests one level deeper per pass:
///      "({oj a ...}), ({oj c ...}), t WHERE z = 1" becomes, in two passes,
///      "a, b, c, d, t   WHERE (c2) AND ( (c1) AND ( z = 1)  )  ".
///    A run (SideRun) starts after a pass whose region search saw such clauses further on: the
///    next pass rewrites its clause in place and leaves the rest of the list where it is, and the
///    texts that go before and after the condition wait at the WHERE. Such a pass needs no region
///    search and no search for further clauses: the text from its clause to the WHERE is the text
///    the first pass's search read there, at the same depth, so the scan would find what that one
///    found; the blanks before the WHERE grow by one per pass (the pass they no longer fit the
///    scanner in fails, as its region search would), and after the WHERE stand the passes'
///    conditions, each checked once to scan alone (parentheses balanced, no keyword ending a
///    region, nothing read past its last "("), then the condition the first pass read, whose
///    tokens end in blanks that stop alike at a ")", and the ")  " that close them, ahead of the
///    token that ended the first pass's region. Anything else makes the pass take the plain steps,
///    and whatever reads up to the waiting texts puts them in place first.
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

/// What a pass works on: the statement from the gap buffer's right part, which starts at the
/// pass's first scanned character (logical position `resume`) and runs to the terminator.
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

/// One pass: where it reads, the clause it rewrites first, and where the next pass resumes.
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

// Pair memory and pending texts (oj_ledger.cpp).

/// Records an edit: the stored text before `to` may have changed or moved.
void noteEdit(Ledger* l, const uint16_t* to);

/// A "(" a region search read, at depth *depth already counted: jumps past its ")" when the pair
/// is remembered and unchanged (*depth back down), else notes the "(" for rememberPair.
void passParen(Ledger* l, OuterJoinScanState* s, int32_t* depth);
/// A ")" a region search read: remembers the pair it closes when it qualifies.
void closeParen(Ledger* l, OuterJoinScanState* s);

/// Replaces the text between the distances fromAt and toAt from the end by out, in room the gap
/// was made to hold beforehand (wbReserveGap), so that it cannot fail.
void replaceInReservedGap(Ledger* l, uint32_t fromAt, uint32_t toAt, const OjText* out);

/// The leftmost text that waits to go in place, or null.
const uint16_t* leftmostPending(const Ledger* l);
/// Puts text in place at `at` (right part, at or after the gap; room kept) while a scan may be
/// under way, moving the scan's and the pass's positions with the text.
void insertWhileScanning(Ledger* l, uint16_t* at, const uint16_t* text, uint32_t length);
/// Puts text in place at a distance from the end after the scans, moving the gap there.
void insertAtGap(Ledger* l, uint32_t distance, const uint16_t* text, uint32_t length);
/// The scanner's hold hook: the leftmost pending text goes in place (a run's texts all at once).
void putPendingInPlace(OuterJoinScanState* s);
/// Puts every pending text in place, from the leftmost on.
void putAllPendingInPlace(Ledger* l);
/// Records the edit that text moving from the gap buffer's left part into its right part makes
/// when the gap goes left to logical position `to`; nothing without a ledger.
void noteGapMovingLeft(Ledger* l, uint32_t to);
/// Replaces [from, to) by out, keeping room in the gap for every pending text, and adds one more
/// pending tail at pendingAt (at or after `to`) unless it is null. kOk, or kFail with 83 and
/// nothing changed.
[[nodiscard]] Status editWithLedger(ConversionContext* ctx, Ledger* l, const uint16_t* from,
                                    const uint16_t* to, const OjText* out,
                                    const uint16_t* pendingAt);

// Runs of clauses in parentheses side by side (oj_side_run.cpp).

/// What a recording region search notes for a run: an opener inside parentheses (depth > 0) in
/// the table list, the depth back at 0 after openers, the list's WHERE, the end of the condition
/// after it, or the end of a list without WHERE (the search's positions in the state).
void noteOpener(Ledger* l, const OuterJoinScanState* s, int32_t depth);
void closeOpeners(Ledger* l, const OuterJoinScanState* s);
void noteWhere(Ledger* l, const OuterJoinScanState* s, const uint16_t* where);
void noteConditionEnd(Ledger* l, const OuterJoinScanState* s);
void noteListEnd(Ledger* l, const OuterJoinScanState* s);

/// Puts the run's waiting texts in place and ends the run: while a scan may be under way
/// (insertWhileScanning) or after the scans (insertAtGap).
void putRunInPlace(Ledger* l, bool scanning);

/// The run's notes on the clause the pass found first (its opener at p->opener, the scanner just
/// after it) when the pass can be one of the run's; null otherwise. *tooLong tells that the pass's
/// region search would fail on the blanks before the WHERE.
const RunOpener* runPassOpener(const Ledger* l, const OuterJoinScanState* s, const Pass* p,
                               bool* tooLong);
/// After the parse of a run pass's clause: whether the pass stays one of the run's.
bool runPassHolds(Ledger* l, OuterJoinScanState* s, const Pass* p);
/// Whether a run starts after this pass (a pass with a region search, before its edit).
bool startsRun(Ledger* l, OuterJoinScanState* s, const Pass* p);
/// The edit of a run pass, or of the pass a run starts after (`first`). kOk, or kFail with 83 and
/// nothing changed.
[[nodiscard]] Status runPassEdit(ConversionContext* ctx, Ledger* l, OuterJoinScanState* s,
                                 const Pass* p, const OjText* out, bool first);

}  // namespace ojpass
