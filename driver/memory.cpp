// Traced allocation and the test-only allocation-failure switch. pMEMAlloc and MEMFree write a
// trace line for every block; rawAlloc serves the records the design allocates with plain malloc
// and the translation's own working storage, without trace lines.
#include "driver/memory.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "driver/trace.h"

namespace {

// Test-only countdown: when it reaches 1 the allocation fails. 0 means never.
std::atomic<uint64_t> failCountdown{0};
std::atomic<uint64_t> allocationCount{0};

// Allocations are counted only while a failure is armed: a translation outside the tests pays
// one relaxed load per allocation for the switch.
bool injectFailure() {
  uint64_t left = failCountdown.load(std::memory_order_relaxed);
  if (left == 0) return false;
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  failCountdown.store(left - 1, std::memory_order_relaxed);
  return left == 1;
}

}  // namespace

void memFailAfter(uint64_t countdown) {
  failCountdown.store(countdown, std::memory_order_relaxed);
  allocationCount.store(0, std::memory_order_relaxed);
}

bool memFailureDue() { return injectFailure(); }

uint64_t memAllocationCount() { return allocationCount.load(std::memory_order_relaxed); }

void* pMEMAlloc(uint32_t size, int32_t uninitialised) {
  bcuTrace("pMEMAlloc (size)", size);
  if (injectFailure()) return nullptr;
  void* block = uninitialised != 0 ? std::malloc(size) : std::calloc(size, 1);
  if (block == nullptr) return nullptr;
  // The allocator may hand out more than asked for; that slack is zeroed too.
  const size_t usable = malloc_usable_size(block);
  if (usable > size) std::memset(static_cast<char*>(block) + size, 0, usable - size);
  bcuTrace("pMEMAlloc (addr)", block);
  return block;
}

void MEMFree(void* block) {
  bcuTrace("MEMFree (addr)", block);
  if (block != nullptr) std::free(block);
}

void* rawAlloc(size_t bytes) {
  if (injectFailure()) return nullptr;
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void rawFree(void* block) { std::free(block); }
