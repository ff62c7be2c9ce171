// Parameter markers: after the clauses are translated, every positional marker "?" becomes ":1",
// ":2" and so on in order of appearance, and all bind markers, positional and named, are counted.
// Literals, quoted identifiers and comments are skipped, and so are the trigger pseudo-records
// ":NEW." and ":OLD.". The scan decides once where the numbers go and writes the result in one
// pass, instead of shifting the rest of the statement for every marker.
#include "driver/markers.h"

#include <cstring>

#include "driver/memory.h"
#include "driver/pos_list.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/unit_scan.h"
#include "driver/work_buffer.h"

namespace {

constexpr uint32_t kScratchUnits = 10;
constexpr uint32_t kHighestNumber = 9999;

bool isTriggerRecord(const uint16_t* p) {
  // ":NEW.x" or ":old.x"; each character is tested before the next is read.
  const bool isNew = bcuUpper(p[0]) == 'N' && bcuUpper(p[1]) == 'E' && bcuUpper(p[2]) == 'W';
  const bool isOld = bcuUpper(p[0]) == 'O' && bcuUpper(p[1]) == 'L' && bcuUpper(p[2]) == 'D';
  return (isNew || isOld) && p[3] == '.';
}

uint32_t formatNumber(uint32_t n, uint16_t* digits) {
  uint16_t reversed[kScratchUnits];
  uint32_t count = 0;
  do {
    reversed[count++] = uint16_t('0' + n % 10);
    n /= 10;
  } while (n != 0);
  for (uint32_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
  return count;
}

// The result of one scan: how many markers were counted, where the numbered ones are and whether
// one ran out of numbers.
struct MarkerScan {
  uint32_t count = 0;       // all bind markers counted
  uint32_t extraUnits = 0;  // digits the numbers add
  bool overflow = false;    // the last entry of `numbered` needs a number above 9999
  bool noMemory = false;
  PosList numbered;  // positions of the "?" markers, in order
};

// Walks the statement as the marker rules read it: the checks apply in order at each position,
// each on the position the previous one left. Units none of the checks looks at are skipped.
void scanMarkers(std::span<const uint16_t> s, uint32_t first, MarkerScan* r) {
  static constexpr uint16_t kSpecial[] = {'\'', '"', '-', '/', ':', '?'};
  static constexpr uint16_t kQuote[] = {'\''};
  static constexpr uint16_t kDoubleQuote[] = {'"'};
  static constexpr uint16_t kLineFeed[] = {'\n'};
  static constexpr uint16_t kStar[] = {'*'};
  const size_t length = s.size();
  const uint16_t* text = s.data();  // text[length] is the terminator
  uint32_t n = first;
  size_t p = 0;
  while ((p = bcuFindAnyUnit(s, p, kSpecial)) < length) {
    if (text[p] == '\'') {
      p = bcuFindAnyUnit(s, p + 1, kQuote);
      if (p >= length) return;
    }
    if (text[p] == '"') {
      p = bcuFindAnyUnit(s, p + 1, kDoubleQuote);
      if (p >= length) return;
    }
    if (text[p] == '-' && text[p + 1] == '-') {
      // A line comment ends at its line feed, or on the statement's last character.
      p = bcuFindAnyUnit(s, p + 1, kLineFeed);
      if (p >= length) p = length - 1;
    }
    if (text[p] == '/' && text[p + 1] == '*') {
      p = bcuFindAnyUnit(s, p + 2, kStar);
      while (p < length && text[p + 1] != '/') p = bcuFindAnyUnit(s, p + 1, kStar);
      if (p >= length) return;
      p += 2;  // "/* c */?": the unit after the comment is looked at by the checks below
      if (p >= length) return;
    }
    if (text[p] == ':') {
      do ++p;
      while (p < length && bcuIsSpace(text[p]));
      if (p >= length) return;
      // ":= 1" is an assignment, ":NEW.col" a trigger record; ":x" and ": ?" are markers.
      if (!isTriggerRecord(text + p) && text[p] != '=') ++r->count;
    }
    if (text[p] == '?') {
      ++r->count;
      if (!r->numbered.push(uint32_t(p))) {
        r->noMemory = true;
        return;
      }
      if (n > kHighestNumber) {
        r->overflow = true;
        return;
      }
      r->extraUnits += n >= 1000 ? 4 : n >= 100 ? 3 : n >= 10 ? 2 : 1;
      ++n;
    }
    ++p;
  }
}

// Rewrites the statement in place from its end: each "?" becomes ":" and its number (the one
// that ran out of numbers only ":"), the text between them moving right by the digits before it.
void writeNumbers(uint16_t* text, uint32_t length, uint32_t first, const MarkerScan& scan,
                  uint16_t* scratch) {
  uint32_t src = length;
  uint32_t dst = length + scan.extraUnits;
  text[dst] = 0;
  const uint32_t markers = scan.numbered.size;
  uint32_t number = first + markers - 1 - (scan.overflow ? 1 : 0);
  for (uint32_t i = markers; i-- > 0;) {
    const uint32_t at = scan.numbered.items[i];
    const uint32_t tail = src - (at + 1);
    dst -= tail;
    std::memmove(text + dst, text + at + 1, tail * sizeof(uint16_t));
    src = at;
    if (!(scan.overflow && i == markers - 1)) {
      const uint32_t digits = formatNumber(number--, scratch);
      dst -= digits;
      std::memcpy(text + dst, scratch, digits * sizeof(uint16_t));
    }
    text[--dst] = ':';
  }
}

}  // namespace

Status bcoNullEndSQL(uint16_t* text, size_t length) {
  bcuTrace("bcoNullEndSQL", 0u);
  if (length == 0) return kFail;
  size_t at = length - 1;
  while (text[at] == ' ') {
    if (at == 0) return kFail;
    --at;
  }
  if (at == 0 || at == length - 1) return kFail;
  text[at + 1] = 0;
  return kOk;
}

Status bcoParseParmMarkers(ConversionContext* ctx, uint32_t firstNumber) {
  bcuTrace("bcoParseParmMarkers", ctx);
  ScratchPtr<uint16_t> scratch(&ctx->scratch, kMarkerScratchBytes, Fill::kZeroed,
                               Fill::kUninitialised);
  if (!scratch) return bcoFail(ctx, kReasonNoMemory);

  WorkBuffer* wb = ctx->work;
  uint16_t* text = wbFlatten(wb);
  if (bcoNullEndSQL(text, wbLength(wb)) == kOk) wbAdoptFlat(wb);  // nothing after the search
  text = wb->data;
  const uint32_t length = wbLength(wb);

  // Without '?' and ':' there is no marker to count or number.
  static constexpr uint16_t kMarkerUnits[] = {'?', ':'};
  if (!bcuHasAnyUnit({text, length}, kMarkerUnits)) {
    ctx->markerCount = 0;
    return kOk;
  }
  MarkerScan scan;
  scanMarkers({text, length}, firstNumber, &scan);
  if (scan.noMemory) return bcoFail(ctx, kReasonNoMemory);
  if (scan.numbered.size != 0) {
    const uint32_t newLength = length + scan.extraUnits;
    if (wbReserveFlat(wb, newLength + 1) != kOk) return bcoFail(ctx, kReasonNoMemory);
    writeNumbers(wb->data, length, firstNumber, scan, scratch.get());
    wbAdoptFlatLength(wb, newLength);
  }
  if (scan.overflow) return bcoFail(ctx, kReasonMalformed);
  ctx->markerCount = uint16_t(scan.count);
  return kOk;
}
