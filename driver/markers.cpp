// Parameter markers: after the clauses are translated, every positional marker "?" becomes ":1",
// ":2" and so on in order of appearance, and all bind markers, positional and named, are counted.
// Literals, quoted identifiers and comments are skipped, and so are the trigger pseudo-records
// ":NEW." and ":OLD.". The scan decides once where the numbers go and writes the result in one
// pass, instead of shifting the rest of the statement for every marker.
#include "driver/markers.h"

#include <cstring>

#include "driver/memory.h"
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

// The result of one scan: where the numbered markers are and whether one ran out of numbers.
struct MarkerScan {
  uint32_t count = 0;          // all bind markers counted
  uint32_t numbered = 0;       // "?" markers that got a number
  uint32_t extraUnits = 0;     // digits the numbers add
  bool overflow = false;       // a "?" needed a number above 9999
};

// Walks the statement as the marker rules read it. visit(position, number) is called for each
// "?" in order, with number 0 for the one that runs out of numbers, after which the scan stops.
template <typename Visit>
MarkerScan scanMarkers(const uint16_t* s, uint32_t length, uint32_t first, Visit&& visit) {
  MarkerScan r;
  uint32_t n = first;
  uint32_t p = 0;
  while (p < length) {
    if (s[p] == '\'') {
      do ++p; while (p < length && s[p] != '\'');
      if (p >= length) break;
    }
    if (s[p] == '"') {
      do ++p; while (p < length && s[p] != '"');
      if (p >= length) break;
    }
    if (s[p] == '-' && s[p + 1] == '-') {
      // A line comment ends at its line feed, or on the statement's last character.
      do ++p; while (p < length && s[p] != '\n');
      if (p >= length) p = length - 1;
    }
    if (s[p] == '/' && s[p + 1] == '*') {
      p += 2;
      while (p < length && !(s[p] == '*' && s[p + 1] == '/')) ++p;
      if (p >= length) break;
      p += 2;  // the character after "*/" is looked at by the checks below, as is
      if (p >= length) break;
    }
    if (s[p] == ':') {
      do ++p; while (p < length && bcuIsSpace(s[p]));
      if (p >= length) break;
      // ":= 1" is an assignment, ":NEW.col" a trigger record; ":x" and ": ?" are markers.
      if (!isTriggerRecord(s + p) && s[p] != '=') ++r.count;
    }
    if (s[p] == '?') {
      ++r.count;
      if (n > kHighestNumber) {
        r.overflow = true;
        visit(p, 0u);
        return r;
      }
      r.extraUnits += n >= 1000 ? 4 : n >= 100 ? 3 : n >= 10 ? 2 : 1;
      ++r.numbered;
      visit(p, n);
      ++n;
    }
    ++p;
  }
  return r;
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
  MemPtr<uint16_t> scratch(static_cast<uint16_t*>(pMEMAlloc(kMarkerScratchBytes, 0)));
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
  // First pass: count, and find out how much the numbers add.
  const MarkerScan scan = scanMarkers(text, length, firstNumber, [](uint32_t, uint32_t) {});
  if (scan.numbered != 0 || scan.overflow) {
    // Second pass, in place: the statement moves to the end of its grown room and is read from
    // there while the numbered text is written from the start. The writes never reach text the
    // scan has still to read, since they are at most the digits written so far behind it.
    const uint32_t newLength = length + scan.extraUnits;
    if (wbReserveFlat(wb, newLength + 1) != kOk) return bcoFail(ctx, kReasonNoMemory);
    text = wb->data;
    const uint16_t* source = text + scan.extraUnits;
    std::memmove(text + scan.extraUnits, text, length * sizeof(uint16_t));
    text[newLength] = 0;
    uint32_t copied = 0;  // source units already written
    uint32_t out = 0;
    scanMarkers(source, length, firstNumber, [&](uint32_t at, uint32_t number) {
      std::memmove(text + out, source + copied, (at - copied) * sizeof(uint16_t));
      out += at - copied;
      text[out++] = ':';
      if (number != 0) {
        const uint32_t digits = formatNumber(number, scratch.get());
        std::memcpy(text + out, scratch.get(), digits * sizeof(uint16_t));
        out += digits;
      }
      copied = at + 1;
    });
    std::memmove(text + out, source + copied, (length - copied) * sizeof(uint16_t));
    text[newLength] = 0;
    wbAdoptFlatLength(wb, newLength);
  }
  if (scan.overflow) return bcoFail(ctx, kReasonMalformed);
  ctx->markerCount = uint16_t(scan.count);
  return kOk;
}
