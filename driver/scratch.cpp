// The translation's buffers. Traced, each is a pMEMAlloc block of its documented size. Untraced,
// they are carved from a few large chunks the call obtains as it goes (one, for most statements)
// and given back to the system all at once when the call ends; a block released before that is
// kept for the next request it fits. A call's steps ask for the same few sizes again and again
// (a scanner and its token buffers per clause, the outer-join texts per pass), so after the first
// clause the kept blocks serve them all, and a call costs one or two allocations of the C library
// however many clauses it has.
#include "driver/scratch.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "driver/memory.h"
#include "driver/trace.h"

// One chunk: this header, then the blocks carved from it, each after a BlockHeader.
struct ScratchChunk {
  ScratchChunk* next;
  size_t size;  ///< bytes after the header
  size_t used;
};

namespace {

constexpr size_t kAlign = 16;
struct alignas(kAlign) BlockHeader {
  uint32_t bytes;  ///< usable bytes of the block
};
constexpr size_t kHeader = sizeof(BlockHeader);
constexpr size_t kChunkHeader = (sizeof(ScratchChunk) + kAlign - 1) / kAlign * kAlign;
// The first chunk holds a typical statement's buffers; later ones double, so that a call needs
// few of them, up to kLargeBlock. A block of that size or more (a work area the size of a long
// statement) gets a chunk of its own, which the next blocks are not carved from.
constexpr size_t kFirstChunk = 16 * 1024;
constexpr size_t kLargeBlock = 64 * 1024;

size_t roundUp(size_t n) { return (n + kAlign - 1) / kAlign * kAlign; }

uint8_t* chunkData(ScratchChunk* c) { return reinterpret_cast<uint8_t*>(c) + kChunkHeader; }

// The chunk of the pool that holds block, if any.
bool fromChunk(const ScratchPool* pool, const void* block) {
  const auto* p = static_cast<const uint8_t*>(block);
  for (ScratchChunk* c = pool->chunks; c != nullptr; c = c->next) {
    const uint8_t* data = chunkData(c);
    if (p >= data && p < data + c->used) return true;
  }
  return false;
}

// A new block of `bytes` carved from the current chunk, or from a new one.
void* carve(ScratchPool* pool, uint32_t bytes) {
  const size_t need = kHeader + roundUp(bytes);
  ScratchChunk* c = pool->chunks;
  if (need >= kLargeBlock) {
    // Behind the chunk blocks are carved from, which stays first.
    auto* own = static_cast<ScratchChunk*>(rawAlloc(kChunkHeader + need));
    if (own == nullptr) return nullptr;
    if (c == nullptr) {
      *own = ScratchChunk{nullptr, need, 0};
      pool->chunks = own;
    } else {
      *own = ScratchChunk{c->next, need, 0};
      c->next = own;
    }
    c = own;
  } else if (c == nullptr || c->size - c->used < need) {
    const size_t last = c == nullptr ? 0 : c->size;
    const size_t size = std::max({need, kFirstChunk, std::min(2 * last, kLargeBlock)});
    auto* fresh = static_cast<ScratchChunk*>(rawAlloc(kChunkHeader + size));
    if (fresh == nullptr) return nullptr;
    *fresh = ScratchChunk{c, size, 0};
    pool->chunks = c = fresh;
  }
  uint8_t* at = chunkData(c) + c->used;
  c->used += need;
  reinterpret_cast<BlockHeader*>(at)->bytes = uint32_t(need - kHeader);
  return at + kHeader;
}

uint32_t blockBytes(const void* block) {
  return reinterpret_cast<const BlockHeader*>(static_cast<const uint8_t*>(block) - kHeader)->bytes;
}

uint32_t floorLog2(uint32_t n) { return 31 - uint32_t(__builtin_clz(n)); }

void*& nextOf(void* block) { return *static_cast<void**>(block); }

// A released block of at least `bytes`: the first of the class `bytes` falls in if it is large
// enough (a step asks for the same sizes again, so that one is usually an exact fit), else the
// first of the next two classes (a block more than four times too large is left for a request
// of its own size).
void* reuse(ScratchPool* pool, uint32_t bytes) {
  const uint32_t low = floorLog2(bytes);
  void*& same = pool->released[low];
  if (same != nullptr && blockBytes(same) >= bytes) {
    void* block = same;
    same = nextOf(block);
    return block;
  }
  for (uint32_t k = low + 1; k < 32 && k <= low + 2; ++k) {
    void*& list = pool->released[k];
    if (list != nullptr) {
      void* block = list;
      list = nextOf(block);
      return block;
    }
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
  const uint32_t bytes = request.bytes != 0 ? request.bytes : request.tracedBytes;
  void* block = nullptr;
  uint32_t size = bytes;
  if (pool == nullptr || pool->off) {
    block = rawAlloc(bytes);
  } else if (!memFailureDue()) {
    const uint32_t asked = std::max<uint32_t>(bytes, sizeof(void*));  // room for the list link
    block = reuse(pool, asked);
    if (block == nullptr) block = carve(pool, asked);
    if (block != nullptr) size = blockBytes(block);
  }
  if (block == nullptr) return nullptr;
  if (request.fill == Fill::kZeroed) std::memset(block, 0, bytes);
  if (obtained != nullptr) *obtained = size;
  return block;
}

void bcoRelease(ScratchPool* pool, void* block) {
  if (block == nullptr) return;
  if (pool == nullptr || !fromChunk(pool, block)) {
    // Obtained traced (MEMFree writes its line when tracing), or outside any pool.
    if (bcuTraceOn()) {
      MEMFree(block);
    } else {
      rawFree(block);
    }
    return;
  }
  void*& list = pool->released[floorLog2(blockBytes(block))];
  nextOf(block) = list;
  list = block;
}

void bcoReleasePool(ScratchPool* pool) {
  for (ScratchChunk* c = pool->chunks; c != nullptr;) {
    ScratchChunk* next = c->next;
    rawFree(c);
    c = next;
  }
  pool->chunks = nullptr;
  for (void*& list : pool->released) list = nullptr;
}
