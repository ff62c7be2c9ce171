// Fast whole-text checks that let the translation skip a pass when the characters that pass acts
// on do not occur at all (a statement without '{' has no brace clause). They read exactly the
// units of the span given, eight at a time where the processor has 128-bit vectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

/// True when text holds a unit from 1 to 31.
bool bcuHasControlUnit(std::span<const uint16_t> text);
/// Index of the first unit at or after from that is one of the units, or text.size() when there
/// is none; one unit at a time (the form below for sets known where it is called looks at eight).
size_t bcuFindAnyUnit(std::span<const uint16_t> text, size_t from, std::span<const uint16_t> units);

/// The same for a set of units known where it is called, whose comparisons the compiler lays
/// out once: the form the scanning passes use.
template <size_t N>
inline size_t bcuFindAnyUnit(std::span<const uint16_t> text, size_t from,
                             const uint16_t (&units)[N]) {
#if defined(__SSE2__)
  if constexpr (N <= 8) {
    if (text.size() >= 8 && from < text.size()) {
      auto hits = [&](size_t at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        __m128i hit = _mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(units[0])));
        for (size_t j = 1; j < N; ++j)
          hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(units[j]))));
        return unsigned(_mm_movemask_epi8(hit));
      };
      size_t i = from;
      for (; i + 8 <= text.size(); i += 8) {
        if (const unsigned mask = hits(i); mask != 0) return i + size_t(__builtin_ctz(mask)) / 2;
      }
      if (i == text.size()) return i;
      // The last units: the eight that end the text, those before i masked off.
      const size_t last = text.size() - 8;
      const unsigned mask = hits(last) & (0xFFFFu << (2 * (i - last)));
      return mask != 0 ? last + size_t(__builtin_ctz(mask)) / 2 : text.size();
    }
  }
#endif
  return bcuFindAnyUnit(text, from, std::span<const uint16_t>(units, N));
}
/// True when text holds one of the units.
template <size_t N>
inline bool bcuHasAnyUnit(std::span<const uint16_t> text, const uint16_t (&units)[N]) {
  return bcuFindAnyUnit(text, 0, units) < text.size();
}
/// True when text holds the ASCII sequence seq exactly (no case folding: for punctuation).
bool bcuHasSequence(std::span<const uint16_t> text, const char* seq);
/// True when text holds none of what a translation acts on: a unit from 1 to 31, '{', '?', ':'
/// or the sequence "--(*". One pass over the text.
bool bcuHasNothingToTranslate(std::span<const uint16_t> text);
/// Length of a terminated text, reading no unit past its terminator.
size_t bcuTerminatedLength(const uint16_t* text, uint64_t limit);
