// The statement while it is translated: a gap buffer owned by the translation. The left part
// holds the text before the gap, the right part the text after it up to its terminator, anchored
// at the end of the storage. The clause search keeps the gap just before the clause it works on,
// so a translator that rewrites a clause and changes its length moves only the clause, and the
// gap walks leftward as the clauses are processed from the last to the first.
#pragma once

#include <cstdint>
#include <span>

#include "driver/context.h"

struct WorkBuffer {
  static constexpr uint32_t kInlineUnits = 384;
  uint16_t* data;     ///< storage: inlineStore or a rawAlloc'ed block
  uint32_t capacity;  ///< code units of storage
  uint32_t gapStart;  ///< left part is data[0, gapStart)
  uint32_t gapEnd;    ///< right part is data[gapEnd, rightEnd); data[rightEnd] == 0
  uint32_t rightEnd;
  uint32_t generation;  ///< raised by wbAdoptFlat: the text may have changed anywhere
  uint32_t edits;       ///< raised by every change of the text (wbNoteEdit for in-place writes)
  /// The reference translation's layout (ConversionContext::reference): the text is flat from
  /// data[0] in a block of exactly its length and terminator, the gap is always empty (moving it
  /// moves nothing), and every replacement assembles the text anew in a new block.
  bool flat;
  uint16_t inlineStore[kInlineUnits];
};

/// Copies text into the buffer, all of it in the left part (with flat set, all of it in the right
/// part of a block of its own size). kFail when storage cannot be had.
[[nodiscard]] Status wbInit(WorkBuffer* wb, std::span<const uint16_t> text, bool flat = false);
/// Releases the storage.
void wbRelease(WorkBuffer* wb);

/// Length of the text in code units.
inline uint32_t wbLength(const WorkBuffer* wb) {
  return wb->gapStart + (wb->rightEnd - wb->gapEnd);
}

/// Distance of a right-part position from the end of the storage: unlike the position itself it
/// survives growth, which moves the right part to the end of the new storage.
inline uint32_t wbFromEnd(const WorkBuffer* wb, const uint16_t* p) {
  return wb->capacity - uint32_t(p - wb->data);
}
inline uint16_t* wbAtFromEnd(const WorkBuffer* wb, uint32_t fromEnd) {
  return wb->data + (wb->capacity - fromEnd);
}

/// Moves the gap to the logical position pos (0 <= pos <= length). Moved text keeps its
/// content; pointers into the right part stay valid for the text that did not move.
void wbMoveGap(WorkBuffer* wb, uint32_t pos);

/// Makes the whole text contiguous and terminated at data[0] and returns it ("flat" form). A
/// caller may then change it in place within its length (or within wbReserveFlat's room) and
/// must call wbAdoptFlat afterwards.
uint16_t* wbFlatten(WorkBuffer* wb);
/// Ensures the flat text can grow to units code units, terminator included. kFail without
/// storage (the text is then unchanged).
[[nodiscard]] Status wbReserveFlat(WorkBuffer* wb, uint32_t units);
/// Takes the flat text, as changed in place, back into the gap layout and raises the generation,
/// which tells the clause search that any text may have changed.
void wbAdoptFlat(WorkBuffer* wb);
/// The same when the caller knows the flat text's length.
void wbAdoptFlatLength(WorkBuffer* wb, uint32_t length);

/// Replaces the right-part range [from, to) by text, moving only the right-part text between the
/// gap and from. Returns the new position of from through *moved (the storage may move, so every
/// other pointer must be derived again from it). kFail without storage, nothing changed.
[[nodiscard]] Status wbReplace(WorkBuffer* wb, uint16_t* from, uint16_t* to,
                               std::span<const uint16_t> text, uint16_t** moved);

/// Makes the gap hold at least room units, so that replacements adding up to that many units
/// cannot fail or move the storage. The text is unchanged; the storage may move (positions must
/// be derived again, wbFromEnd distances stay valid). kFail without storage.
[[nodiscard]] Status wbReserveGap(WorkBuffer* wb, uint64_t room);

/// Trims the statement's trailing blanks that stand at or after the right-part position from, as
/// bcuTrimBlanksW does on the text from there to the end (which writes its trace line).
void wbTrimTail(WorkBuffer* wb, uint16_t* from);

/// Records that the caller changed text in place (a translator blanking its delimiters).
inline void wbNoteEdit(WorkBuffer* wb) { ++wb->edits; }
/// Records that the caller changed text in place beyond its clause; the clause search then looks
/// at the statement afresh.
inline void wbNoteWideEdit(WorkBuffer* wb) {
  ++wb->edits;
  ++wb->generation;
}

/// Copies the text, terminator included, to out (which has room for wbLength + 1 units).
void wbCopyOut(const WorkBuffer* wb, uint16_t* out);
