// Trace lines and the error hook. A trace line is formatted as the host's C library would format
// "%s%-32s%#08lX\n" (or "%s%.70s\n" per piece of a long label) and written as UTF-8.
#include "driver/trace.h"

#include <cstring>
#include <span>

#include "tvrnsql.h"

std::atomic<uint8_t> TraceMask{0};
std::atomic<FILE*> traceStream{nullptr};

extern "C" TVRNSQL_API void TVRNSqlSetTrace(uint8_t mask, FILE* stream) {
  traceStream.store(stream, std::memory_order_relaxed);
  TraceMask.store(mask, std::memory_order_relaxed);
}

namespace {

constexpr size_t kLabelColumns = 32;
constexpr size_t kPieceLength = 70;
constexpr size_t kLineCapacity = 80 * 3 + 16;  // 80 characters of up to 3 UTF-8 bytes each

// Appends label code units as UTF-8; a lone surrogate is written as U+FFFD.
size_t appendUtf8(char* out, std::span<const uint16_t> text) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out[n++] = static_cast<char>(c);
    } else if (c < 0x800) {
      out[n++] = static_cast<char>(0xC0 | (c >> 6));
      out[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[n++] = static_cast<char>(0xE0 | (c >> 12));
      out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out[n++] = static_cast<char>(0xF0 | (c >> 18));
      out[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return n;
}

void traceWrite(uint32_t level, std::span<const uint16_t> label, uint32_t value) {
  FILE* stream = traceStream.load(std::memory_order_relaxed);
  if (label.empty() || stream == nullptr) return;
  const size_t dots = (level & 2) ? 0 : (level & 4) ? 4 : 8;
  char line[kLineCapacity];
  if (label.size() < kLabelColumns) {
    size_t n = dots;
    std::memset(line, '.', dots);
    n += appendUtf8(line + n, label);
    for (size_t pad = label.size(); pad < kLabelColumns; ++pad) line[n++] = ' ';
    std::snprintf(line + n, sizeof line - n, "%#08lX\n", static_cast<unsigned long>(value));
    std::fputs(line, stream);
    std::fflush(stream);
    return;
  }
  for (size_t at = 0; at < label.size(); at += kPieceLength) {
    const size_t piece = std::min(kPieceLength, label.size() - at);
    size_t n = dots;
    std::memset(line, '.', dots);
    n += appendUtf8(line + n, label.subspan(at, piece));
    line[n++] = '\n';
    std::fwrite(line, 1, n, stream);
    std::fflush(stream);
  }
}

}  // namespace

void bcuTraceLine(uint32_t level, const uint16_t* label, uint32_t value) {
  if (label == nullptr) return;
  size_t length = 0;
  while (label[length] != 0) ++length;
  traceWrite(level, std::span<const uint16_t>(label, length), value);
}

void bcuTraceLine(uint32_t level, const char* label, uint32_t value) {
  if (label == nullptr) return;
  uint16_t wide[128];
  size_t length = 0;
  while (label[length] != 0 && length < std::size(wide)) {
    wide[length] = static_cast<unsigned char>(label[length]);
    ++length;
  }
  traceWrite(level, std::span<const uint16_t>(wide, length), value);
}

void bcoErrorHook(ConversionContext* ctx, uint32_t reason) {
  if (ctx == nullptr) return;
  ctx->reason = reason;
}
