// Shared by the fuzz targets: the always-on check, the decoding of input bytes into a UTF-16
// statement, and buffers with guard units after their capacity. Under AddressSanitizer the guard
// units are also poisoned, so a read past the capacity is reported where it happens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define TVRNSQL_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TVRNSQL_FUZZ_ASAN 1
#endif
#endif
#ifdef TVRNSQL_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#endif

/// Aborts with the failed condition when cond is false; never compiled out.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace fuzzin {

/// The byte that introduces one arbitrary code unit in the statement bytes.
constexpr uint8_t kUnitEscape = 0xFF;

/// The low four bits of header byte i, or 0 past the input. Header fields use only these bits so
/// that a seed can spell them as digits ('7' is 7).
inline uint8_t headerNibble(const uint8_t* data, size_t size, size_t i) {
  return i < size ? uint8_t(data[i] & 0x0F) : 0;
}
inline uint8_t headerByte(const uint8_t* data, size_t size, size_t i) {
  return i < size ? data[i] : 0;
}

/// Decodes the statement bytes into code units, without a terminator. Every byte is one unit
/// (Latin-1), so ASCII dictionary words and seed files read as written; 0xFF takes the next two
/// bytes as one unit, low byte first, to reach every 16-bit unit (FF FF 00 is 0xFF itself; a
/// 0xFF without two bytes after it is dropped). A zero unit ends the statement.
inline std::vector<uint16_t> decodeStatement(const uint8_t* data, size_t size) {
  std::vector<uint16_t> units;
  units.reserve(size);
  for (size_t i = 0; i < size; ++i) {
    uint16_t unit = data[i];
    if (data[i] == kUnitEscape) {
      if (size - i < 3) break;
      unit = uint16_t(data[i + 1] | (data[i + 2] << 8));
      i += 2;
    }
    if (unit == 0) break;
    units.push_back(unit);
  }
  return units;
}

/// Length of a terminated text within capacity units, or capacity when there is no terminator.
inline size_t terminatedLength(const uint16_t* p, size_t capacity) {
  size_t n = 0;
  while (n < capacity && p[n] != 0) ++n;
  return n;
}

/// A buffer of `capacity` code units followed by guard units that nothing may touch. It starts
/// with a copy of `initial` (cut to the capacity); the rest of the room holds a filler that is not
/// a terminator.
class GuardedBuffer {
 public:
  static constexpr size_t kGuardUnits = 32;

  GuardedBuffer(const std::vector<uint16_t>& initial, size_t capacity)
      : capacity_(capacity), units_(capacity + kGuardUnits) {
    for (size_t i = 0; i < capacity; ++i) units_[i] = i < initial.size() ? initial[i] : 0x2A2A;
    for (size_t i = 0; i < kGuardUnits; ++i) units_[capacity + i] = guardUnit(i);
    initial_.assign(units_.begin(), units_.begin() + ptrdiff_t(capacity));
#ifdef TVRNSQL_FUZZ_ASAN
    ASAN_POISON_MEMORY_REGION(units_.data() + capacity, kGuardUnits * sizeof(uint16_t));
#endif
  }
  ~GuardedBuffer() { unpoison(); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  uint16_t* data() { return units_.data(); }
  size_t capacity() const { return capacity_; }

  /// Aborts unless every guard unit still holds its value.
  void checkGuards() {
    unpoison();
    for (size_t i = 0; i < kGuardUnits; ++i) FUZZ_CHECK(units_[capacity_ + i] == guardUnit(i));
  }
  /// True when the room holds what it held at construction.
  bool unchanged() const {
    for (size_t i = 0; i < capacity_; ++i) {
      if (units_[i] != initial_[i]) return false;
    }
    return true;
  }
  /// The text up to the terminator; aborts unless it is terminated within the capacity.
  std::vector<uint16_t> text() const {
    const size_t n = terminatedLength(units_.data(), capacity_);
    FUZZ_CHECK(n < capacity_);
    return std::vector<uint16_t>(units_.begin(), units_.begin() + ptrdiff_t(n));
  }

 private:
  static uint16_t guardUnit(size_t i) { return uint16_t(0xBE00 + i * 7); }
  void unpoison() {
#ifdef TVRNSQL_FUZZ_ASAN
    ASAN_UNPOISON_MEMORY_REGION(units_.data() + capacity_, kGuardUnits * sizeof(uint16_t));
#endif
  }

  size_t capacity_;
  std::vector<uint16_t> units_;
  std::vector<uint16_t> initial_;
};

}  // namespace fuzzin
