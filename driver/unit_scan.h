// Fast whole-text checks that let the translation skip a pass when the characters that pass acts
// on do not occur at all (a statement without '{' has no brace clause). They read exactly the
// units of the span given, eight at a time where the processor has 128-bit vectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

/// True when text holds a unit from 1 to 31.
bool bcuHasControlUnit(std::span<const uint16_t> text);
/// True when text holds one of the units.
bool bcuHasAnyUnit(std::span<const uint16_t> text, std::span<const uint16_t> units);
/// Index of the first unit at or after from that is one of the units (eight at a time when there
/// are at most eight), or
/// text.size() when there is none.
size_t bcuFindAnyUnit(std::span<const uint16_t> text, size_t from, std::span<const uint16_t> units);
/// True when text holds the ASCII sequence seq exactly (no case folding: for punctuation).
bool bcuHasSequence(std::span<const uint16_t> text, const char* seq);
/// True when text holds none of what a translation acts on: a unit from 1 to 31, '{', '?', ':'
/// or the sequence "--(*". One pass over the text.
bool bcuHasNothingToTranslate(std::span<const uint16_t> text);
/// Length of a terminated text, reading no unit past its terminator.
size_t bcuTerminatedLength(const uint16_t* text, uint64_t limit);
