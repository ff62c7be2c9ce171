// A growable list of 32-bit positions for the clause search: inline room for the clauses of a
// typical statement, heap storage (rawAlloc) beyond that.
#pragma once

#include <cstdint>
#include <cstring>

#include "driver/memory.h"

struct PosList {
  static constexpr uint32_t kInline = 32;
  uint32_t* items = inlineItems;
  uint32_t size = 0;
  uint32_t capacity = kInline;
  uint32_t inlineItems[kInline];

  PosList() = default;
  PosList(const PosList&) = delete;
  PosList& operator=(const PosList&) = delete;
  ~PosList() {
    if (items != inlineItems) rawFree(items);
  }

  /// Appends v; false when the list cannot grow.
  [[nodiscard]] bool push(uint32_t v) {
    if (size == capacity) {
      const uint64_t bigger = uint64_t(capacity) * 2;
      if (bigger > UINT32_MAX / sizeof(uint32_t)) return false;
      auto* block = static_cast<uint32_t*>(rawAlloc(bigger * sizeof(uint32_t)));
      if (block == nullptr) return false;
      std::memcpy(block, items, size * sizeof(uint32_t));
      if (items != inlineItems) rawFree(items);
      items = block;
      capacity = uint32_t(bigger);
    }
    items[size++] = v;
    return true;
  }
  /// The last item; the list must not be empty.
  uint32_t back() const { return items[size - 1]; }
  /// Drops the last item; the list must not be empty.
  void pop() { --size; }
  /// Empties the list, keeping its storage.
  void clear() { size = 0; }
};
