// Gap buffer of the statement under translation. Storage starts inline (short statements, the
// common case, need no allocation) and moves to the heap when the text outgrows it.
#include "driver/work_buffer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "driver/memory.h"
#include "driver/text.h"
#include "driver/unit_scan.h"

namespace {

void moveUnits(uint16_t* to, const uint16_t* from, size_t units) {
  if (units != 0) std::memmove(to, from, units * sizeof(uint16_t));
}

// Moves the storage to a block with room for `units` code units of text and gap, keeping the left
// part at the start and every right-part position at its distance from the end of the storage
// (wbFromEnd). A trimmed tail leaves room between the right part's terminator and the end of the
// storage; that room moves along, so the positions the clause search keeps stay right.
[[nodiscard]] Status grow(WorkBuffer* wb, uint64_t units) {
  const uint32_t tail = wb->capacity - 1 - wb->rightEnd;
  units += tail;
  uint64_t capacity = std::max<uint64_t>(units, uint64_t(wb->capacity) * 2);
  if (capacity > UINT32_MAX) capacity = units;
  if (capacity > UINT32_MAX) return kFail;
  auto* block = static_cast<uint16_t*>(rawAlloc(capacity * sizeof(uint16_t)));
  if (block == nullptr) return kFail;
  const uint32_t rightUnits = wb->rightEnd - wb->gapEnd + 1;  // with its terminator
  const uint32_t newRightEnd = uint32_t(capacity) - 1 - tail;
  const uint32_t newGapEnd = newRightEnd + 1 - rightUnits;
  moveUnits(block, wb->data, wb->gapStart);
  moveUnits(block + newGapEnd, wb->data + wb->gapEnd, rightUnits);
  if (wb->data != wb->inlineStore) rawFree(wb->data);
  wb->data = block;
  wb->capacity = uint32_t(capacity);
  wb->gapEnd = newGapEnd;
  wb->rightEnd = newRightEnd;
  return kOk;
}

// The flat layout of the reference translation: the text is data[0, rightEnd), terminated, in a
// block of exactly rightEnd + 1 units. The gap is always empty (gapStart == gapEnd), so moving it
// moves no text and data + i is logical position i wherever it stands.

// Replaces the block by one of `units` units that starts with the first `keep` units of the text
// (the rest of it uninitialised but for a terminator at keep).
[[nodiscard]] Status flatRealloc(WorkBuffer* wb, uint64_t units, uint32_t keep) {
  if (units > UINT32_MAX) return kFail;
  auto* block = static_cast<uint16_t*>(rawAlloc(units * sizeof(uint16_t)));
  if (block == nullptr) return kFail;
  moveUnits(block, wb->data, keep);
  block[keep] = 0;
  if (wb->data != wb->inlineStore) rawFree(wb->data);
  wb->data = block;
  wb->capacity = uint32_t(units);
  return kOk;
}

// The text before `from`, then text, then the text from `to` on, in a new block of their size.
[[nodiscard]] Status flatReplace(WorkBuffer* wb, uint16_t* from, uint16_t* to,
                                 std::span<const uint16_t> text, uint16_t** moved) {
  const uint32_t before = uint32_t(from - wb->data);
  const uint32_t after = wb->rightEnd - uint32_t(to - wb->data);
  const uint64_t length = uint64_t(before) + text.size() + after;
  auto* block = static_cast<uint16_t*>(rawAlloc((length + 1) * sizeof(uint16_t)));
  if (length + 1 > UINT32_MAX || block == nullptr) {
    rawFree(block);
    return kFail;
  }
  moveUnits(block, wb->data, before);
  moveUnits(block + before, text.data(), text.size());
  moveUnits(block + before + text.size(), to, after);
  block[length] = 0;
  if (wb->data != wb->inlineStore) rawFree(wb->data);
  wb->data = block;
  wb->capacity = uint32_t(length + 1);
  wb->rightEnd = uint32_t(length);
  wb->gapStart = wb->gapEnd = std::min(wb->gapEnd, before);
  *moved = block + before;
  ++wb->edits;
  return kOk;
}

}  // namespace

Status wbInit(WorkBuffer* wb, std::span<const uint16_t> text, bool flat) {
  wb->data = wb->inlineStore;
  wb->capacity = WorkBuffer::kInlineUnits;
  wb->generation = 0;
  wb->edits = 0;
  wb->flat = flat;
  if (flat) {
    wb->gapStart = wb->gapEnd = 0;
    wb->rightEnd = 0;
    if (flatRealloc(wb, uint64_t(text.size()) + 1, 0) != kOk) {
      wb->data = wb->inlineStore;
      return kFail;
    }
    moveUnits(wb->data, text.data(), text.size());
    wb->gapStart = wb->gapEnd = wb->rightEnd = uint32_t(text.size());
    wb->data[wb->rightEnd] = 0;
    return kOk;
  }
  const uint64_t needed = uint64_t(text.size()) + 1;
  if (needed > wb->capacity) {
    // Room for a third of the text again: translated clauses make a statement longer (rows of an
    // INSERT with a {ts '...'} literal each, 1.31 times), and one block per call, grown only for
    // a statement that grows more (a list of {fn HOUR(d)}), keeps the memory a call takes in
    // proportion to the statement.
    const uint64_t capacity = needed + needed / 3 + 64;
    if (capacity > UINT32_MAX) return kFail;
    wb->data = static_cast<uint16_t*>(rawAlloc(capacity * sizeof(uint16_t)));
    if (wb->data == nullptr) {
      wb->data = wb->inlineStore;
      return kFail;
    }
    wb->capacity = uint32_t(capacity);
  }
  moveUnits(wb->data, text.data(), text.size());
  wb->gapStart = uint32_t(text.size());
  wb->gapEnd = wb->rightEnd = wb->capacity - 1;
  wb->data[wb->rightEnd] = 0;
  return kOk;
}

void wbRelease(WorkBuffer* wb) {
  if (wb->data != nullptr && wb->data != wb->inlineStore) rawFree(wb->data);
  wb->data = nullptr;
}

void wbMoveGap(WorkBuffer* wb, uint32_t pos) {
  assert(pos <= wbLength(wb));
  if (wb->flat) {
    wb->gapStart = wb->gapEnd = pos;
    return;
  }
  if (pos < wb->gapStart) {
    const uint32_t n = wb->gapStart - pos;
    moveUnits(wb->data + wb->gapEnd - n, wb->data + pos, n);
    wb->gapStart = pos;
    wb->gapEnd -= n;
  } else if (pos > wb->gapStart) {
    const uint32_t n = pos - wb->gapStart;
    moveUnits(wb->data + wb->gapStart, wb->data + wb->gapEnd, n);
    wb->gapStart = pos;
    wb->gapEnd += n;
  }
}

uint16_t* wbFlatten(WorkBuffer* wb) {
  wbMoveGap(wb, wbLength(wb));
  if (wb->flat) return wb->data;
  // The gap now holds only free room before the right part's terminator, which is at
  // gapEnd == rightEnd; terminating at gapStart is either inside the gap or that terminator.
  wb->data[wb->gapStart] = 0;
  return wb->data;
}

Status wbReserveFlat(WorkBuffer* wb, uint32_t units) {
  if (units <= wb->capacity) return kOk;
  if (wb->flat) return flatRealloc(wb, units, wb->rightEnd);
  return grow(wb, units);
}

void wbAdoptFlat(WorkBuffer* wb) {
  wbAdoptFlatLength(wb, uint32_t(bcuTerminatedLength(wb->data, wb->capacity - 1)));
}

void wbAdoptFlatLength(WorkBuffer* wb, uint32_t length) {
  if (wb->flat) {
    wb->gapStart = wb->gapEnd = wb->rightEnd = length;
    wb->data[length] = 0;
    ++wb->generation;
    ++wb->edits;
    return;
  }
  wb->gapStart = length;
  wb->gapEnd = wb->rightEnd = wb->capacity - 1;
  wb->data[wb->rightEnd] = 0;
  ++wb->generation;
  ++wb->edits;
}

Status wbReplace(WorkBuffer* wb, uint16_t* from, uint16_t* to, std::span<const uint16_t> text,
                 uint16_t** moved) {
  if (wb->flat) return flatReplace(wb, from, to, text, moved);
  uint32_t fromAt = uint32_t(from - wb->data);
  const uint32_t toAt = uint32_t(to - wb->data);
  assert(fromAt >= wb->gapEnd && fromAt <= toAt && toAt <= wb->rightEnd);
  const int64_t delta = int64_t(text.size()) - int64_t(toAt - fromAt);
  if (delta > int64_t(wb->gapEnd - wb->gapStart)) {
    const uint32_t beforeFrom = fromAt - wb->gapEnd;
    const uint32_t afterTo = wb->rightEnd - toAt;
    if (grow(wb, uint64_t(wbLength(wb)) + uint64_t(delta) + 1) != kOk) return kFail;
    fromAt = wb->gapEnd + beforeFrom;
    assert(wb->rightEnd - afterTo >= fromAt);
    (void)afterTo;
  }
  // The text between the gap and `from` moves by -delta; the text from `to` on stays put.
  const uint32_t between = fromAt - wb->gapEnd;
  const uint32_t newGapEnd = uint32_t(int64_t(wb->gapEnd) - delta);
  moveUnits(wb->data + newGapEnd, wb->data + wb->gapEnd, between);
  wb->gapEnd = newGapEnd;
  const uint32_t newFrom = newGapEnd + between;
  moveUnits(wb->data + newFrom, text.data(), text.size());
  *moved = wb->data + newFrom;
  ++wb->edits;
  return kOk;
}

Status wbReserveGap(WorkBuffer* wb, uint64_t room) {
  if (wb->flat || wb->gapEnd - wb->gapStart >= room) return kOk;
  return grow(wb, uint64_t(wbLength(wb)) + room + 1);
}

void wbTrimTail(WorkBuffer* wb, uint16_t* from) {
  if (wb->flat) {
    // The whole statement's trailing blanks, wherever they begin.
    bcuTrimBlanksW(wb->data, wb->rightEnd);
    while (wb->rightEnd != 0 && wb->data[wb->rightEnd - 1] == 0) --wb->rightEnd;
    wb->gapStart = wb->gapEnd = std::min(wb->gapEnd, wb->rightEnd);
    ++wb->edits;
    return;
  }
  const uint32_t fromAt = uint32_t(from - wb->data);
  assert(fromAt >= wb->gapEnd && fromAt <= wb->rightEnd);
  bcuTrimBlanksW(from, int64_t(wb->rightEnd) - fromAt);
  while (wb->rightEnd > fromAt && wb->data[wb->rightEnd - 1] == 0) --wb->rightEnd;
  ++wb->edits;
}

void wbCopyOut(const WorkBuffer* wb, uint16_t* out) {
  moveUnits(out, wb->data, wb->gapStart);
  moveUnits(out + wb->gapStart, wb->data + wb->gapEnd, wb->rightEnd - wb->gapEnd);
  out[wbLength(wb)] = 0;
}
