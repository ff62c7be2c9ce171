// The reference translation's clause search: the same clauses in the same order as
// clause_search.cpp, found the plainest way. Every opening is found by searching the statement
// again from its start, every closing by a plain search from the opening, and nothing found
// before a rewrite is used after it. The working text is the flat block of the reference layout
// (WorkBuffer::flat), so positions are offsets from its start that stay meaningful after any
// rewrite. It costs time quadratic in the clauses; tests and fuzzers compare the real search
// with it.
#include <cstdint>

#include "driver/reference.h"
#include "driver/text.h"
#include "driver/translators.h"
#include "driver/work_buffer.h"

namespace {

constexpr uint32_t kNotFound = UINT32_MAX;

// The last match of needle that begins before bound, searching the text from `from` and again
// from `step` units past each match; kNotFound when there is none.
uint32_t lastBefore(const WorkBuffer* wb, uint32_t from, uint32_t bound, const char* needle,
                    uint32_t step) {
  const uint16_t* text = wb->data;
  uint32_t last = kNotFound;
  if (from >= wbLength(wb)) return last;
  for (const uint16_t* m = bcuFindSkipLiteral(text + from, needle);
       m != nullptr && uint32_t(m - text) < bound;) {
    last = uint32_t(m - text);
    if (last + step >= wbLength(wb)) break;
    m = bcuFindSkipLiteral(m + step, needle);
  }
  return last;
}

// The first position at or after from where needle starts (plain search, case ignored), or
// kNotFound.
uint32_t firstFrom(const WorkBuffer* wb, uint32_t from, const char* needle) {
  for (uint32_t at = from; at < wbLength(wb); ++at) {
    if (bcuStartsWithNoCase(wb->data + at, needle)) return at;
  }
  return kNotFound;
}

[[nodiscard]] Status shorthand(ConversionContext* ctx, uint32_t start) {
  WorkBuffer* wb = ctx->work;
  uint32_t bound = wbLength(wb);
  for (;;) {
    const uint32_t open = lastBefore(wb, start, bound, "{", 1);
    if (open == kNotFound) return kOk;
    bound = open;
    const uint32_t close = firstFrom(wb, open + 1, "}");
    if (close == kNotFound) continue;  // "{" with no "}" after it stays as it is
    uint16_t* text = wb->data;
    const ClausePositions clause{text + open + 1, text + open, bcuSkipSpace(text + open + 1),
                                 text + close, text + close + 1};
    if (const Status status = bcoConvertStrings(ctx, clause); status != kOk) return status;
  }
}

[[nodiscard]] Status longForms(ConversionContext* ctx) {
  WorkBuffer* wb = ctx->work;
  uint32_t bound = wbLength(wb);
  for (;;) {
    const uint32_t open = lastBefore(wb, 0, bound, "--(*", 4);
    if (open == kNotFound) return kOk;
    if (const Status status = shorthand(ctx, open); status != kOk) return status;
    bound = open;
    if (open + 4 > wbLength(wb)) continue;  // a whole-statement rewrite cut the text before it
    const uint32_t close = firstFrom(wb, open + 4, "*)--");
    uint16_t* text = wb->data;
    if (close == kNotFound) {
      text[open + 3] = ' ';
      wbNoteEdit(wb);
    } else if (uint16_t* keyword = bcuVerifyVendorFindType(text + open + 4); keyword == nullptr) {
      bcuFillW(text + open, ' ', close + 4 - open);
      wbNoteEdit(wb);
    } else {
      const ClausePositions clause{text + open + 4, text + open, keyword, text + close,
                                   text + close + 4};
      if (const Status status = bcoConvertStrings(ctx, clause); status != kOk) return status;
    }
  }
}

}  // namespace

Status bcuReplaceVendorStringsReference(ConversionContext* ctx) {
  if (const Status status = longForms(ctx); status != kOk) return status;
  if (const Status status = shorthand(ctx, 0); status != kOk) return status;
  WorkBuffer* wb = ctx->work;
  bcuTrimBlanksW(wb->data, wbLength(wb));
  uint32_t length = wbLength(wb);
  while (length != 0 && wb->data[length - 1] == 0) --length;
  wbAdoptFlatLength(wb, length);
  return kOk;
}
