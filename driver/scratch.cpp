// The translation's buffers: traced allocations while tracing, a per-call pool of released
// blocks otherwise. A call's steps ask for the same few sizes again and again (a scanner and its
// token buffers per clause, the outer-join texts per pass), so a handful of kept blocks serve
// them all after the first clause.
#include "driver/scratch.h"

#include <malloc.h>

#include <cstring>

#include "driver/memory.h"
#include "driver/trace.h"

void* bcoObtain(ScratchPool* pool, const ScratchRequest& request, uint32_t* obtained) {
  if (bcuTraceOn()) {
    void* block = pMEMAlloc(request.tracedBytes, request.tracedFill == Fill::kUninitialised);
    if (obtained != nullptr) *obtained = block == nullptr ? 0 : request.tracedBytes;
    return block;
  }
  const uint32_t bytes = request.bytes != 0 ? request.bytes : request.tracedBytes;
  void* block = nullptr;
  uint32_t size = bytes;
  if (pool != nullptr) {
    // The smallest kept block that fits.
    uint32_t best = ScratchPool::kSlots;
    for (uint32_t i = 0; i < pool->count; ++i) {
      if (pool->bytes[i] >= bytes &&
          (best == ScratchPool::kSlots || pool->bytes[i] < pool->bytes[best])) {
        best = i;
      }
    }
    if (best != ScratchPool::kSlots) {
      block = pool->blocks[best];
      size = pool->bytes[best];
      --pool->count;
      pool->blocks[best] = pool->blocks[pool->count];
      pool->bytes[best] = pool->bytes[pool->count];
    }
  }
  if (block == nullptr) {
    block = rawAlloc(bytes);
    if (block == nullptr) return nullptr;
  }
  if (request.fill == Fill::kZeroed) std::memset(block, 0, bytes);
  if (obtained != nullptr) *obtained = size;
  return block;
}

void bcoRelease(ScratchPool* pool, void* block) {
  if (block == nullptr) return;
  if (bcuTraceOn()) {
    MEMFree(block);
    return;
  }
  if (pool == nullptr || pool->off) {
    rawFree(block);
    return;
  }
  const size_t usable = malloc_usable_size(block);
  const uint32_t size = usable > UINT32_MAX ? UINT32_MAX : uint32_t(usable);
  if (pool->count == ScratchPool::kSlots) {
    // Full: the smallest block goes, this one or a kept one (large blocks are the costly ones to
    // obtain again).
    uint32_t smallest = 0;
    for (uint32_t i = 1; i < pool->count; ++i) {
      if (pool->bytes[i] < pool->bytes[smallest]) smallest = i;
    }
    if (size <= pool->bytes[smallest]) {
      rawFree(block);
      return;
    }
    rawFree(pool->blocks[smallest]);
    --pool->count;
    pool->blocks[smallest] = pool->blocks[pool->count];
    pool->bytes[smallest] = pool->bytes[pool->count];
  }
  pool->blocks[pool->count] = block;
  pool->bytes[pool->count] = size;
  ++pool->count;
}

void bcoReleasePool(ScratchPool* pool) {
  for (uint32_t i = 0; i < pool->count; ++i) rawFree(pool->blocks[i]);
  pool->count = 0;
}
