// Stretches of the working statement that the clause scanner has read and that hold nothing a
// clause's terminator scan stops at or records, kept between the clauses of one statement so
// that an enclosing clause's scan jumps over them instead of reading them again:
// "{fn UCASE({fn UCASE(x)})}" reads "x)" once, not once per enclosing clause.
//
// A stretch [from, to) runs between two clean points of one scan, where the scanner had nothing
// read ahead (empty pushback, no end held, no overflow); from a clean point the scanner's tokens
// depend only on the text after it, so any scan that stands clean at `from` reads the same
// tokens up to the clean point `to`. Stretches hold no terminator, no end of the text, no
// overflow and no clause opening (which records positions).
//
// Positions are kept as distances from the end of the working buffer's storage (wbFromEnd), which
// gap moves, growth and rewrites to their left leave alone. The stretches are trusted only while
// every change of the text since they were read has been reported with its range (scanJumpsWrote);
// any other change (the buffer's edit count moves without a report) or a rewrite of the whole
// statement forgets them all. Never used by the reference translation.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "driver/context.h"
#include "driver/memory.h"
#include "driver/work_buffer.h"

struct ScanJumps {
  struct Stretch {
    uint32_t from;  ///< wbFromEnd of its first position
    uint32_t to;    ///< wbFromEnd of the position after it (smaller: further right)
  };
  Stretch* items;  ///< disjoint, ordered by `from` from the right end of the text leftward
  uint32_t size;
  uint32_t capacity;
  uint32_t edits;       ///< WorkBuffer::edits they are known to be right for
  uint32_t generation;  ///< WorkBuffer::generation likewise
};

/// The context's stretches, ready for the working buffer as it is now (forgotten when the text
/// changed without a report), or null: the reference translation, or no memory (the scans then
/// read everything, with the same outcome).
inline ScanJumps* scanJumpsFor(ConversionContext* ctx) {
  if (ctx->reference) return nullptr;
  const WorkBuffer* wb = ctx->work;
  ScanJumps* j = ctx->scanJumps;
  if (j == nullptr) {
    j = static_cast<ScanJumps*>(rawAlloc(sizeof(ScanJumps)));
    if (j == nullptr) return nullptr;
    *j = ScanJumps{nullptr, 0, 0, wb->edits, wb->generation};
    ctx->scanJumps = j;
  }
  if (j->edits != wb->edits || j->generation != wb->generation) {
    j->size = 0;
    j->edits = wb->edits;
    j->generation = wb->generation;
  }
  return j;
}

/// The clean point a stretch from position key (wbFromEnd) leads to, or 0 when none starts there.
inline uint32_t scanJumpFrom(const ScanJumps* j, uint32_t key) {
  const ScanJumps::Stretch* begin = j->items;
  const ScanJumps::Stretch* end = begin + j->size;
  const ScanJumps::Stretch* s = std::lower_bound(
      begin, end, key, [](const ScanJumps::Stretch& a, uint32_t k) { return a.from < k; });
  return s != end && s->from == key ? s->to : 0;
}

/// Index of the first stretch that reaches left of position key `right` (wbFromEnd): the first
/// that may overlap a range whose right end is `right`.
inline uint32_t scanJumpsFirstLeftOf(const ScanJumps* j, uint32_t right) {
  const ScanJumps::Stretch* s =
      std::upper_bound(j->items, j->items + j->size, right,
                       [](uint32_t k, const ScanJumps::Stretch& a) { return k < a.from; });
  return uint32_t(s - j->items);
}

/// Forgets the stretches that overlap the range of keys (right, left]: the positions from the one
/// with key `left` up to, not including, the one with key `right`.
inline void scanJumpsForget(ScanJumps* j, uint32_t left, uint32_t right) {
  uint32_t first = scanJumpsFirstLeftOf(j, right);
  uint32_t last = first;
  while (last < j->size && j->items[last].to < left) ++last;
  if (last == first) return;
  std::memmove(j->items + first, j->items + last, (j->size - last) * sizeof(ScanJumps::Stretch));
  j->size -= last - first;
}

/// Records the stretch [from, to) (keys, from > to), replacing the stretches it overlaps. Without
/// memory it is not recorded.
inline void scanJumpsLearn(ScanJumps* j, uint32_t from, uint32_t to) {
  if (from <= to) return;
  scanJumpsForget(j, from, to);
  if (j->size == j->capacity) {
    const uint64_t capacity = j->capacity == 0 ? 64 : uint64_t(j->capacity) * 2;
    if (capacity * sizeof(ScanJumps::Stretch) > UINT32_MAX) return;
    auto* items = static_cast<ScanJumps::Stretch*>(rawAlloc(capacity * sizeof(ScanJumps::Stretch)));
    if (items == nullptr) return;
    if (j->size != 0) std::memcpy(items, j->items, j->size * sizeof(ScanJumps::Stretch));
    rawFree(j->items);
    j->items = items;
    j->capacity = uint32_t(capacity);
  }
  const uint32_t at = scanJumpsFirstLeftOf(j, to);
  std::memmove(j->items + at + 1, j->items + at, (j->size - at) * sizeof(ScanJumps::Stretch));
  j->items[at] = ScanJumps::Stretch{from, to};
  ++j->size;
}

/// Reports the writes of a translator that changed the text only in the ranges given (pairs of
/// right-part positions [from, to)), starting when the buffer's edit count was editsBefore: the
/// stretches they overlap are forgotten, the others stay trusted.
inline void scanJumpsWrote(
    ConversionContext* ctx, uint32_t editsBefore,
    std::initializer_list<std::pair<const uint16_t*, const uint16_t*>> ranges) {
  ScanJumps* j = ctx->scanJumps;
  const WorkBuffer* wb = ctx->work;
  if (j == nullptr || j->edits != editsBefore || j->generation != wb->generation) return;
  for (const auto& [from, to] : ranges) {
    if (from < to) scanJumpsForget(j, wbFromEnd(wb, from), wbFromEnd(wb, to));
  }
  j->edits = wb->edits;
}

/// Releases the stretches; the entry point's last step (bcoReleaseScannerCache).
inline void scanJumpsRelease(ConversionContext* ctx) {
  if (ctx->scanJumps == nullptr) return;
  rawFree(ctx->scanJumps->items);
  rawFree(ctx->scanJumps);
  ctx->scanJumps = nullptr;
}
