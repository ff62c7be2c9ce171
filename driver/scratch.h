// The one place that decides how a translation's steps obtain their buffers. With tracing on,
// every request is the documented traced allocation (pMEMAlloc of the documented size, zero-filled
// as documented) and every release a traced MEMFree, in the order the steps make them. With
// tracing off, a request gets the size the step needs, zero-filled only where the step reads
// before it writes, carved from the call's own chunks; a released block is kept for the next
// request of the same call, and the entry point gives the chunks back when the call ends.
#pragma once

#include <cstdint>

enum class Fill : uint8_t {
  kUninitialised,  ///< every byte is written before it is read
  kZeroed,         ///< read before written (a record's fields): zero-filled
};

struct ScratchChunk;

/// A call's untraced buffers: the chunks they are carved from and the blocks released so far,
/// which later requests reuse. Empty when constructed (the inline area is left as it is: it is
/// written before it is read); with `off` set (the reference translation) every request is a
/// block of its own, freed when released.
struct ScratchPool {
  ScratchPool() {}  // not `= default`: value-initialising the context must not clear 2 KB

  /// Small blocks are carved from here first, so that a statement with few clauses needs no
  /// chunk (a marker pass's scratch, a parse's small records).
  static constexpr uint32_t kInlineBytes = 2048;
  alignas(16) unsigned char inlineBlocks[kInlineBytes];
  uint32_t inlineUsed = 0;
  ScratchChunk* chunks = nullptr;  ///< the chunk blocks are carved from first, then the others
  /// Released blocks, one list per size class: class k holds blocks of 2^k to 2^(k+1) - 1 bytes.
  void* released[32] = {};
  bool off = false;
};

/// What a step asks for: the documented allocation (traced) and what it needs (untraced).
struct ScratchRequest {
  uint32_t tracedBytes;
  Fill tracedFill;
  uint32_t bytes;  ///< untraced: the size the step needs (0: tracedBytes)
  Fill fill;       ///< untraced: zero-filled only when the step reads before it writes
};

/// Obtains a block for a step of the call that owns pool (null: a step outside any call, which
/// gets a block of its own). *obtained, when given, receives the block's size in bytes (the
/// traced size when tracing, else at least the needed size). Null on failure (the test-only
/// failure switch counts every request). Release with bcoRelease.
void* bcoObtain(ScratchPool* pool, const ScratchRequest& request, uint32_t* obtained = nullptr);

/// The usual request: the documented size and fill, the same size untraced, filled as `fill`.
inline void* bcoObtain(ScratchPool* pool, uint32_t bytes, Fill tracedFill, Fill fill) {
  return bcoObtain(pool, ScratchRequest{bytes, tracedFill, bytes, fill});
}

/// Releases a block from bcoObtain with the same pool (null accepted): a block carved from the
/// pool's chunks is kept for a later request; any other is freed (traced MEMFree with tracing on).
void bcoRelease(ScratchPool* pool, void* block);

/// The text of `length` units and its terminator that a step built in *block (a block from
/// bcoObtain of `capacity` units), kept as a block of its own: traced, the documented copy in a
/// zero-filled block of length + 1 units; untraced, *block itself, taken over (*block becomes
/// null). *kept receives the capacity in units. Null without memory (*block unchanged).
uint16_t* bcoKeepText(ScratchPool* pool, uint16_t** block, uint32_t capacity, uint32_t length,
                      uint32_t* kept);

/// Gives back the pool's chunks and with them every block carved from them, released or not;
/// the entry point's last step, and the last step of anything else that used a pool (its inline
/// area must be given back before the pool leaves the stack).
void bcoReleasePool(ScratchPool* pool);

/// Owns one block from bcoObtain until release(); returns it to its pool on every other exit.
template <typename T>
class ScratchPtr {
 public:
  ScratchPtr(ScratchPool* pool, uint32_t bytes, Fill tracedFill, Fill fill)
      : pool_(pool), block_(static_cast<T*>(bcoObtain(pool, bytes, tracedFill, fill))) {}
  ScratchPtr(ScratchPool* pool, const ScratchRequest& request, uint32_t* obtained = nullptr)
      : pool_(pool), block_(static_cast<T*>(bcoObtain(pool, request, obtained))) {}
  ScratchPtr(const ScratchPtr&) = delete;
  ScratchPtr& operator=(const ScratchPtr&) = delete;
  ~ScratchPtr() { bcoRelease(pool_, block_); }

  explicit operator bool() const { return block_ != nullptr; }
  T* get() const { return block_; }
  T* operator->() const { return block_; }
  T& operator*() const { return *block_; }
  T* release() {
    T* block = block_;
    block_ = nullptr;
    return block;
  }

 private:
  ScratchPool* pool_;
  T* block_;
};
