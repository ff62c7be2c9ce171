// Whole-text unit checks. With SSE2 they compare eight units per step; only units inside the span
// are ever loaded (the tail is checked one unit at a time).
#include "driver/unit_scan.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
inline __m128i load8(const uint16_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
#endif

}  // namespace

bool bcuHasControlUnit(std::span<const uint16_t> text) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i thirtyOne = _mm_set1_epi16(31);
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= text.size(); i += 8) {
    const __m128i v = load8(text.data() + i);
    // v <= 31 exactly when saturating v - 31 is 0; the terminator (0) is excluded.
    const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, thirtyOne), zero);
    const __m128i nul = _mm_cmpeq_epi16(v, zero);
    if (_mm_movemask_epi8(_mm_andnot_si128(nul, low)) != 0) return true;
  }
#endif
  for (; i < text.size(); ++i) {
    if (text[i] >= 1 && text[i] <= 31) return true;
  }
  return false;
}

bool bcuHasSequence(std::span<const uint16_t> text, const char* seq) {
  const size_t n = std::strlen(seq);
  if (n == 0) return true;
  if (text.size() < n) return false;
  const uint16_t first = static_cast<unsigned char>(seq[0]);
  size_t i = 0;
  const size_t last = text.size() - n;  // last index where seq can start
  auto matchesAt = [&](size_t at) {
    for (size_t j = 1; j < n; ++j) {
      if (text[at + j] != static_cast<unsigned char>(seq[j])) return false;
    }
    return true;
  };
#if defined(__SSE2__)
  const __m128i probe = _mm_set1_epi16(static_cast<short>(first));
  for (; i + 8 <= last + 1; i += 8) {
    int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(load8(text.data() + i), probe));
    while (mask != 0) {
      const size_t at = i + size_t(__builtin_ctz(unsigned(mask))) / 2;
      if (matchesAt(at)) return true;
      mask &= ~(3 << ((at - i) * 2));
    }
  }
#endif
  for (; i <= last; ++i) {
    if (text[i] == first && matchesAt(i)) return true;
  }
  return false;
}

bool bcuHasNothingToTranslate(std::span<const uint16_t> text) {
  static constexpr uint16_t kActive[] = {'{', '?', ':'};
#if defined(__SSE2__)
  if (text.size() >= 8) {
    const __m128i thirtyOne = _mm_set1_epi16(31);
    const __m128i zero = _mm_setzero_si128();
    const __m128i brace = _mm_set1_epi16('{');
    const __m128i question = _mm_set1_epi16('?');
    const __m128i colon = _mm_set1_epi16(':');
    const __m128i dash = _mm_set1_epi16('-');
    // One step: false when the eight units at `at` hold a control unit, '{', '?', ':' or the
    // start of "--(*" (which may run on past them).
    auto clean = [&](size_t at) {
      const __m128i v = load8(text.data() + at);
      __m128i hit = _mm_andnot_si128(_mm_cmpeq_epi16(v, zero),
                                     _mm_cmpeq_epi16(_mm_subs_epu16(v, thirtyOne), zero));
      hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, brace));
      hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, question));
      hit = _mm_or_si128(hit, _mm_cmpeq_epi16(v, colon));
      if (_mm_movemask_epi8(hit) != 0) return false;
      // A dash is common ("a - b", "-- note"); only "--(*" opens a clause.
      int dashes = _mm_movemask_epi8(_mm_cmpeq_epi16(v, dash));
      while (dashes != 0) {
        const size_t d = at + size_t(__builtin_ctz(unsigned(dashes))) / 2;
        if (bcuHasSequence(text.subspan(d, std::min<size_t>(4, text.size() - d)), "--(*"))
          return false;
        dashes &= ~(3 << ((d - at) * 2));
      }
      return true;
    };
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
      if (!clean(i)) return false;
    }
    // The last units in the eight that end the text (those before them are looked at again).
    return i == text.size() || clean(text.size() - 8);
  }
#endif
  return !bcuHasControlUnit(text) && !bcuHasAnyUnit(text, kActive) && !bcuHasSequence(text, "--(*");
}

size_t bcuFindAnyUnit(std::span<const uint16_t> text, size_t from,
                      std::span<const uint16_t> units) {
  for (size_t i = from; i < text.size(); ++i) {
    for (uint16_t u : units) {
      if (text[i] == u) return i;
    }
  }
  return text.size();
}

size_t bcuTerminatedLength(const uint16_t* text, uint64_t limit) {
  // Unit by unit (a wider load could read past the terminator), unrolled so that the loads of
  // one step are independent of each other.
  uint64_t n = 0;
  while (n + 4 <= limit) {
    if (text[n] == 0) return n;
    if (text[n + 1] == 0) return n + 1;
    if (text[n + 2] == 0) return n + 2;
    if (text[n + 3] == 0) return n + 3;
    n += 4;
  }
  while (n < limit && text[n] != 0) ++n;
  return n;
}
