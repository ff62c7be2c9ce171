// The translation's buffers. Traced, each is a pMEMAlloc block of its documented size. Untraced,
// they are carved from a small area inside the pool and from a few chunks the call obtains as it
// goes, all given back at once when the call ends; a block released before that is kept for the
// next request it fits. A call's steps ask for the same few sizes again and again (a scanner and
// its token buffers per clause, the outer-join texts per pass), so after the first clause the
// kept blocks serve them all, and a call costs a few allocations of the C library at most,
// however many clauses it has.
//
// Under the address sanitizer every block is followed by a poisoned redzone, and released blocks
// and the unused rest of the area are poisoned, so that a step that writes past its block or uses
// a released one is caught as with blocks of the C library.
#include "driver/scratch.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "driver/memory.h"
#include "driver/trace.h"

#if defined(__SANITIZE_ADDRESS__)
#define TVRNSQL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TVRNSQL_ASAN 1
#endif
#endif
#if defined(TVRNSQL_ASAN)
#include <sanitizer/asan_interface.h>
#endif

// One chunk: this header, then the blocks carved from it.
struct ScratchChunk {
  ScratchChunk* next;
  size_t size;  ///< bytes after the header
  size_t used;
};

namespace {

constexpr size_t kAlign = 16;
// Before each block: its usable size and, while it is released, the next released block of its
// size class.
struct alignas(kAlign) BlockHeader {
  uint32_t bytes;
  void* next;
};
constexpr size_t kHeader = sizeof(BlockHeader);
constexpr size_t kChunkHeader = (sizeof(ScratchChunk) + kAlign - 1) / kAlign * kAlign;
// The first chunk holds a typical statement's buffers; later ones double, so that a call needs
// few of them, up to kLargeBlock. A block of that size or more (a work area the size of a long
// statement) gets a chunk of its own, which the next blocks are not carved from.
constexpr size_t kFirstChunk = 16 * 1024;
constexpr size_t kLargeBlock = 64 * 1024;

#if defined(TVRNSQL_ASAN)
constexpr size_t kRedzone = 16;
void poison(const void* p, size_t n) { ASAN_POISON_MEMORY_REGION(p, n); }
void unpoison(const void* p, size_t n) { ASAN_UNPOISON_MEMORY_REGION(p, n); }
#else
constexpr size_t kRedzone = 0;
void poison(const void*, size_t) {}
void unpoison(const void*, size_t) {}
#endif

size_t roundUp(size_t n) { return (n + kAlign - 1) / kAlign * kAlign; }

uint8_t* chunkData(ScratchChunk* c) { return reinterpret_cast<uint8_t*>(c) + kChunkHeader; }

BlockHeader* headerOf(void* block) {
  return reinterpret_cast<BlockHeader*>(static_cast<uint8_t*>(block) - kHeader);
}

// True when block was carved from the pool's inline area or one of its chunks.
bool fromPool(const ScratchPool* pool, const void* block) {
  const auto* p = static_cast<const uint8_t*>(block);
  if (p >= pool->inlineBlocks && p < pool->inlineBlocks + pool->inlineUsed) return true;
  for (ScratchChunk* c = pool->chunks; c != nullptr; c = c->next) {
    const uint8_t* data = chunkData(c);
    if (p >= data && p < data + c->used) return true;
  }
  return false;
}

// A new chunk of `size` bytes after its header, its data poisoned.
ScratchChunk* newChunk(size_t size, ScratchChunk* next) {
  auto* c = static_cast<ScratchChunk*>(rawAlloc(kChunkHeader + size));
  if (c == nullptr) return nullptr;
  *c = ScratchChunk{next, size, 0};
  poison(chunkData(c), size);
  return c;
}

// A new block of `bytes` carved from the inline area, the current chunk, or a new one.
void* carve(ScratchPool* pool, uint32_t bytes) {
  // A large block is sized by the statement (a work area), which grows as its clauses are
  // rewritten: it gets twice the size asked, so that the next request of the kind fits it until
  // the statement has doubled.
  const bool large = kHeader + roundUp(bytes) + kRedzone >= kLargeBlock;
  const size_t capacity = large ? 2 * roundUp(bytes) : roundUp(bytes);
  if (capacity > UINT32_MAX) return nullptr;
  const size_t need = kHeader + capacity + kRedzone;
  uint8_t* at = nullptr;
  if (need <= ScratchPool::kInlineBytes - pool->inlineUsed) {
    at = pool->inlineBlocks + pool->inlineUsed;
    pool->inlineUsed += uint32_t(need);
    poison(at, ScratchPool::kInlineBytes - (at - pool->inlineBlocks));
  } else {
    ScratchChunk* c = pool->chunks;
    if (large) {
      // Behind the chunk blocks are carved from, which stays first.
      ScratchChunk* own = newChunk(need, c == nullptr ? nullptr : c->next);
      if (own == nullptr) return nullptr;
      if (c == nullptr) {
        pool->chunks = own;
      } else {
        c->next = own;
      }
      c = own;
    } else if (c == nullptr || c->size - c->used < need) {
      const size_t last = c == nullptr ? 0 : c->size;
      c = newChunk(std::max({need, kFirstChunk, std::min(2 * last, kLargeBlock)}), c);
      if (c == nullptr) return nullptr;
      pool->chunks = c;
    }
    at = chunkData(c) + c->used;
    c->used += need;
  }
  unpoison(at, kHeader);
  auto* header = reinterpret_cast<BlockHeader*>(at);
  header->bytes = uint32_t(capacity);
  header->next = nullptr;
  unpoison(at + kHeader, bytes);
  return at + kHeader;
}

uint32_t floorLog2(uint32_t n) { return 31 - uint32_t(__builtin_clz(n)); }

// A released block of at least `bytes`: the first of the class `bytes` falls in if it is large
// enough (a step asks for the same sizes again, so that one is usually an exact fit), else the
// first of the next two classes (a block more than four times too large is left for a request
// of its own size).
void* reuse(ScratchPool* pool, uint32_t bytes) {
  const uint32_t low = floorLog2(bytes);
  for (uint32_t k = low; k < 32 && k <= low + 2; ++k) {
    void*& list = pool->released[k];
    if (list == nullptr || headerOf(list)->bytes < bytes) continue;
    void* block = list;
    list = headerOf(block)->next;
    unpoison(block, bytes);
    return block;
  }
  return nullptr;
}

}  // namespace

void* bcoObtain(ScratchPool* pool, const ScratchRequest& request, uint32_t* obtained) {
  if (bcuTraceOn()) {
    void* block = pMEMAlloc(request.tracedBytes, request.tracedFill == Fill::kUninitialised);
    if (obtained != nullptr) *obtained = block == nullptr ? 0 : request.tracedBytes;
    return block;
  }
  const uint32_t bytes =
      std::max<uint32_t>(request.bytes != 0 ? request.bytes : request.tracedBytes, 1);
  void* block = nullptr;
  uint32_t size = bytes;
  if (pool == nullptr || pool->off) {
    block = rawAlloc(bytes);
  } else if (!memFailureDue()) {
    block = reuse(pool, bytes);
    if (block == nullptr) block = carve(pool, bytes);
    // The whole block is the caller's; under the address sanitizer only what it asked for.
    if (block != nullptr && kRedzone == 0) size = headerOf(block)->bytes;
  }
  if (block == nullptr) return nullptr;
  if (request.fill == Fill::kZeroed) std::memset(block, 0, bytes);
  if (obtained != nullptr) *obtained = size;
  return block;
}

void bcoRelease(ScratchPool* pool, void* block) {
  if (block == nullptr) return;
  if (pool == nullptr || !fromPool(pool, block)) {
    // Obtained traced (MEMFree writes its line when tracing), or outside any pool.
    if (bcuTraceOn()) {
      MEMFree(block);
    } else {
      rawFree(block);
    }
    return;
  }
  BlockHeader* header = headerOf(block);
  void*& list = pool->released[floorLog2(header->bytes)];
  header->next = list;
  list = block;
  poison(block, header->bytes);
}

uint16_t* bcoKeepText(ScratchPool* pool, uint16_t** block, uint32_t capacity, uint32_t length,
                      uint32_t* kept) {
  if (!bcuTraceOn()) {
    uint16_t* text = *block;
    *block = nullptr;
    *kept = capacity;
    return text;
  }
  const uint32_t units = length + 1;
  auto* copy = static_cast<uint16_t*>(
      bcoObtain(pool, units * uint32_t(sizeof(uint16_t)), Fill::kZeroed, Fill::kZeroed));
  *kept = copy == nullptr ? 0 : units;
  if (copy != nullptr) std::memcpy(copy, *block, units * sizeof(uint16_t));
  return copy;
}

void bcoReleasePool(ScratchPool* pool) {
  for (ScratchChunk* c = pool->chunks; c != nullptr;) {
    ScratchChunk* next = c->next;
    rawFree(c);
    c = next;
  }
  pool->chunks = nullptr;
  // The inline area is stack memory that later frames use.
  unpoison(pool->inlineBlocks, ScratchPool::kInlineBytes);
  pool->inlineUsed = 0;
  for (void*& list : pool->released) list = nullptr;
}
