// The simple upper-case mapping as one constant table of ranges, generated at build time from
// ICU (upper_table_gen.cpp), searched by binary search.
#include "describe/upper_case.h"

#include <algorithm>
#include <iterator>

namespace {

struct UpperRange {
  uint16_t first, last, stride;
  int32_t delta;
};

constexpr UpperRange kUpperRanges[] = {
#include "describe/upper_table.inc"
};

constexpr bool sorted() {
  for (size_t i = 1; i < std::size(kUpperRanges); ++i) {
    if (kUpperRanges[i].first <= kUpperRanges[i - 1].last) return false;
  }
  return true;
}
static_assert(sorted(), "the ranges are searched by their first character");
static_assert(std::size(kUpperRanges) > 100, "the table covers more than ASCII");

}  // namespace

uint16_t bcuUpperChar(uint16_t c) {
  const auto* r = std::upper_bound(std::begin(kUpperRanges), std::end(kUpperRanges), c,
                                   [](uint16_t v, const UpperRange& x) { return v < x.first; });
  if (r == std::begin(kUpperRanges)) return c;
  --r;
  if (c > r->last || (c - r->first) % r->stride != 0) return c;
  return uint16_t(int32_t(c) + r->delta);
}

void bcuUpperBuffer(uint16_t* text, size_t length) {
  for (size_t i = 0; i < length; ++i) text[i] = bcuUpperChar(text[i]);
}
