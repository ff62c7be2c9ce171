// Traced allocation (pMEMAlloc / MEMFree) for the buffers of the translators, the untraced
// allocation used where the design says malloc or for the translation's own working storage,
// and the test-only switch that makes the Nth allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

/// Allocates size bytes; zero-filled (slack included) unless uninitialised is nonzero. Traces
/// "pMEMAlloc (size)" and "pMEMAlloc (addr)". Returns null on failure. Release with MEMFree.
void* pMEMAlloc(uint32_t size, int32_t uninitialised);

/// Traces "MEMFree (addr)" and frees the block; null is accepted.
void MEMFree(void* block);

/// malloc/free without trace lines, for the records the design allocates with malloc and for
/// the working storage of a translation. Subject to the test-only failure switch like pMEMAlloc.
void* rawAlloc(size_t bytes);
void rawFree(void* block);

/// Test-only: the countdown-th allocation from now on (1 = the next one) fails, and every one
/// after it succeeds again; 0 turns failures off. Counts both traced and untraced allocations.
void memFailAfter(uint64_t countdown);
/// Counts one request for memory that does not reach the C library (a block from a call's own
/// chunks) against the failure switch; true when this one must fail.
bool memFailureDue();
/// Test-only: allocations made since the last memFailAfter call while a failure was armed (up to
/// and including the one that failed).
uint64_t memAllocationCount();

struct MemFreeDeleter {
  void operator()(void* p) const { MEMFree(p); }
};
struct RawFreeDeleter {
  void operator()(void* p) const { rawFree(p); }
};
/// Owning pointers that release through MEMFree or rawFree on every exit.
template <typename T>
using MemPtr = std::unique_ptr<T, MemFreeDeleter>;
template <typename T>
using RawPtr = std::unique_ptr<T, RawFreeDeleter>;
