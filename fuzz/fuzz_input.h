// Shared by the fuzz targets: the always-on check, the decoding of input bytes into a UTF-16
// statement, and buffers with guard units after their capacity. Under AddressSanitizer the guard
// units are also poisoned, so a read past the capacity is reported where it happens.
#pragma once

#include <sanitizer/asan_interface.h>  // the poisoning macros do nothing without the sanitizer

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

/// Aborts with the failed condition when cond is false; never compiled out.
#define FUZZ_CHECK(cond)                                                                   \
  ((cond) ? void(0)                                                                        \
          : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond), \
             std::abort()))

namespace fuzzin {

/// Header byte i, or 0 past the input. Most header fields use only the low four bits, so that a
/// seed can spell them as digits ('7' is 7).
inline uint8_t headerByte(const uint8_t* data, size_t size, size_t i) {
  return i < size ? data[i] : 0;
}

/// Decodes the bytes after the first `header` ones into code units, terminator included. Every
/// byte is one unit (Latin-1), so ASCII dictionary words and seed files read as written; 0xFF
/// takes the next two bytes as one unit, low byte first, to reach every 16-bit unit (FF FF 00 is
/// 0xFF itself; a 0xFF without two bytes after it is dropped). A zero unit ends the statement.
inline std::vector<uint16_t> decodeStatement(const uint8_t* data, size_t size, size_t header) {
  std::vector<uint16_t> units;
  for (size_t i = header; i < size && !(data[i] == 0xFF && size - i < 3); ++i) {
    const uint16_t unit = data[i] != 0xFF ? data[i] : uint16_t(data[i + 1] | (data[i + 2] << 8));
    if (unit == 0) break;
    units.push_back(unit);
    if (data[i] == 0xFF) i += 2;
  }
  units.push_back(0);
  return units;
}

/// A buffer of `capacity` code units followed by guard units that nothing may touch. It starts
/// with a copy of `initial` (cut to the capacity); the rest of the room holds a filler that is not
/// a terminator.
class GuardedBuffer {
 public:
  GuardedBuffer(const std::vector<uint16_t>& initial, size_t capacity)
      : capacity_(capacity), units_(capacity + kGuardUnits, kGuard) {
    for (size_t i = 0; i < capacity; ++i) units_[i] = i < initial.size() ? initial[i] : 0x2A2A;
    initial_.assign(units_.begin(), units_.begin() + capacity);
    ASAN_POISON_MEMORY_REGION(units_.data() + capacity, kGuardUnits * sizeof(uint16_t));
  }
  ~GuardedBuffer() { unpoison(); }

  uint16_t* data() { return units_.data(); }
  /// Aborts unless every guard unit still holds its value.
  void checkGuards() {
    unpoison();
    FUZZ_CHECK(size_t(std::count(units_.begin() + capacity_, units_.end(), kGuard)) == kGuardUnits);
  }
  /// True when the room holds what it held at construction.
  bool unchanged() const { return std::equal(initial_.begin(), initial_.end(), units_.begin()); }
  /// The text up to the terminator; aborts unless it is terminated within the capacity.
  std::vector<uint16_t> text() const {
    const auto room = units_.begin() + capacity_, end = std::find(units_.begin(), room, 0);
    FUZZ_CHECK(end != room);
    return {units_.begin(), end};
  }

 private:
  static constexpr size_t kGuardUnits = 32;
  static constexpr uint16_t kGuard = 0xBEEF;
  void unpoison() {
    ASAN_UNPOISON_MEMORY_REGION(units_.data() + capacity_, kGuardUnits * sizeof(uint16_t));
  }

  size_t capacity_;
  std::vector<uint16_t> units_, initial_;
};

}  // namespace fuzzin
