// The one place that decides how a translation's steps obtain their buffers. With tracing on,
// every request is the documented traced allocation (pMEMAlloc of the documented size, zero-filled
// as documented) and every release a traced MEMFree, in the order the steps make them. With
// tracing off, a request gets the size the step needs, zero-filled only where the step reads
// before it writes, and a released block is kept in the call's pool for the next request of the
// same call; the entry point frees the pool when the call ends.
#pragma once

#include <cstdint>

enum class Fill : uint8_t {
  kUninitialised,  ///< every byte is written before it is read
  kZeroed,         ///< read before written (a record's fields): zero-filled
};

/// The blocks a call released and may hand out again (tracing off). Zero-initialised by the
/// entry point with its context; `off` keeps nothing (the reference translation).
struct ScratchPool {
  static constexpr uint32_t kSlots = 16;
  void* blocks[kSlots];
  uint32_t bytes[kSlots];  ///< usable bytes of each kept block
  uint32_t count;
  bool off;
};

/// What a step asks for: the documented allocation (traced) and what it needs (untraced).
struct ScratchRequest {
  uint32_t tracedBytes;
  Fill tracedFill;
  uint32_t bytes;  ///< untraced: the size the step needs (0: tracedBytes)
  Fill fill;       ///< untraced: zero-filled only when the step reads before it writes
};

/// Obtains a block for a step of the call that owns pool (null: a step outside any call, which
/// keeps nothing). *obtained, when given, receives the block's size in bytes (the traced size
/// when tracing, else at least the needed size). Null on failure (the test-only failure switch
/// counts every request). Release with bcoRelease.
void* bcoObtain(ScratchPool* pool, const ScratchRequest& request, uint32_t* obtained = nullptr);

/// The usual request: the documented size and fill, the same size untraced, filled as `fill`.
inline void* bcoObtain(ScratchPool* pool, uint32_t bytes, Fill tracedFill, Fill fill) {
  return bcoObtain(pool, ScratchRequest{bytes, tracedFill, bytes, fill});
}

/// Releases a block from bcoObtain (null accepted): traced MEMFree with tracing on, else kept in
/// the pool for a later request (freed when the pool is full or off).
void bcoRelease(ScratchPool* pool, void* block);

/// Frees every block the pool keeps; the entry point's last step.
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
  T* release() {
    T* block = block_;
    block_ = nullptr;
    return block;
  }

 private:
  ScratchPool* pool_;
  T* block_;
};
