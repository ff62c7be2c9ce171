// The outer-join rewrite's ledger (oj_ledger.h): remembered parenthesis pairs, which let a region
// search jump over a pair read before whose text has not changed since, and texts that wait to
// go in place until something reads up to them, put in place during a scan (the scanner's hold
// hook) or at the end of the rewrite.
#include "outerjoin/oj_ledger.h"

#include <cassert>

#include "driver/trace.h"

namespace ojpass {

namespace {

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

}  // namespace

// Records an edit: the stored text before `to` may have changed or moved.
void noteEdit(Ledger* l, const uint16_t* to) {
  if (!l->pairsOn) return;
  const uint32_t mark = l->fromEnd(to);
  ++l->editCount;
  while (l->edits.size > 0 && l->edits.data[l->edits.size - 1].to >= mark) --l->edits.size;
  if (!l->edits.push({l->editCount, mark})) l->pairsOn = false;
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

void insertAtGap(Ledger* l, uint32_t distance, const uint16_t* text, uint32_t length) {
  WorkBuffer* wb = l->wb;
  const uint16_t* at = l->at(distance);
  wbMoveGap(wb, wb->gapStart + uint32_t(at - (wb->data + wb->gapEnd)));
  uint16_t* gap = wb->data + wb->gapEnd;
  uint16_t* moved = nullptr;
  [[maybe_unused]] const Status status = wbReplace(wb, gap, gap, {text, length}, &moved);
  assert(status == kOk);
}

// The scanner reached the leftmost pending text: it goes in place (a run's texts all at once).
void putPendingInPlace(OuterJoinScanState* s) {
  Ledger* l = static_cast<Ledger*>(s->holdContext);
  assert(l->pending.size > 0 || l->run.pending);
  if (l->run.pending && s->holdAt == l->at(l->run.whereAt)) {
    putRunInPlace(l, true);
  } else {
    --l->pending.size;
    insertWhileScanning(l, const_cast<uint16_t*>(s->holdAt), kTail, kTailLength);
  }
  s->holdAt = leftmostPending(l);
}

// Puts every pending text in place, from the leftmost on, moving the gap along the statement once.
void putAllPendingInPlace(Ledger* l) {
  while (l->pending.size > 0 || l->run.pending) {
    const uint32_t tail = l->pending.size > 0 ? l->pending.data[l->pending.size - 1] : 0;
    if (l->run.pending && l->run.whereAt > tail) {
      // Nothing waits between the run's WHERE and its tails.
      assert(tail < l->run.tailAt);
      putRunInPlace(l, false);
    } else {
      --l->pending.size;
      insertAtGap(l, tail, kTail, kTailLength);
    }
  }
}

// Text that goes from the left part of the gap buffer into the right part takes distances from
// the end that remembered pairs may have had: an edit up to the right part's old start.
void noteGapMovingLeft(Ledger* l, uint32_t to) {
  if (l != nullptr && to < l->wb->gapStart) noteEdit(l, l->wb->data + l->wb->gapEnd);
}

void replaceInReservedGap(Ledger* l, uint32_t fromAt, uint32_t toAt, const OjText* out) {
  uint16_t* moved = nullptr;
  [[maybe_unused]] const Status status =
      wbReplace(l->wb, const_cast<uint16_t*>(l->at(fromAt)), const_cast<uint16_t*>(l->at(toAt)),
                {out->data, out->length}, &moved);
  assert(status == kOk);
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
                        uint64_t(kTailLength) * pendingAfter + (l->run.pending ? l->run.room() : 0);
  if (!l->pending.reserve(pendingAfter) || wbReserveGap(l->wb, room) != kOk) {
    return bcoFail(ctx, kReasonNoMemory);
  }
  replaceInReservedGap(l, fromAt, toAt, out);
  if (pendingAt != nullptr) l->pending.data[l->pending.size++] = pendingFromEnd;
  noteEdit(l, l->at(toAt));
  return kOk;
}

}  // namespace ojpass
