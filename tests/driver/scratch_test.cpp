// The translators' allocator: untraced, blocks carved from the call's pool and handed out again
// after their release (by size class, never one too small), zero-filled only when asked, large
// blocks in chunks of their own, the failure switch counting every request; traced, the
// documented allocation and release with their trace lines.
#include "driver/scratch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/memory.h"
#include "support/trace.h"

namespace {

// A pool that gives everything back when the test ends.
struct Pool {
  ScratchPool pool{};
  ~Pool() { bcoReleasePool(&pool); }
  void* obtain(uint32_t bytes, Fill fill = Fill::kUninitialised) {
    return bcoObtain(&pool, bytes, Fill::kZeroed, fill);
  }
};

TEST(Scratch, ReleasedBlocksAreHandedOutAgain) {
  const struct {
    uint32_t first, second;
    bool same;  // the second request gets the first block back
  } rows[] = {
      {100, 100, true},        // the same size
      {100, 90, true},         // smaller, in the same class
      {100, 200, false},       // larger: never a block too small
      {20, 8000, false},       //
      {8000, 20, false},       // more than four times too large: left for its own size
      {8192, 8192, true},      // a token buffer
      {200000, 200000, true},  // a chunk of its own
      {200000, 150000, true},  //
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.first << " then " << r.second);
    Pool p;
    void* a = p.obtain(r.first);
    ASSERT_NE(a, nullptr);
    std::memset(a, 0x5A, r.first);  // the whole block is writable
    bcoRelease(&p.pool, a);
    void* b = p.obtain(r.second);
    ASSERT_NE(b, nullptr);
    std::memset(b, 0x5A, r.second);
    EXPECT_EQ(a == b, r.same);
  }
}

TEST(Scratch, BlocksInUseAreDistinctAndZeroFilledWhenAsked) {
  Pool p;
  std::vector<unsigned char*> blocks;
  for (uint32_t bytes : {16u, 1416u, 8192u, 8192u, 20u, 70000u, 33u, 16384u}) {
    auto* b = static_cast<unsigned char*>(p.obtain(bytes));
    ASSERT_NE(b, nullptr);
    std::memset(b, int(blocks.size() + 1), bytes);
    blocks.push_back(b);
  }
  // Each block kept what was written to it: none overlaps another.
  for (size_t i = 0; i < blocks.size(); ++i) EXPECT_EQ(blocks[i][0], i + 1);
  bcoRelease(&p.pool, blocks[1]);
  const auto* zeroed = static_cast<unsigned char*>(p.obtain(1416, Fill::kZeroed));
  ASSERT_EQ(zeroed, blocks[1]);
  for (uint32_t i = 0; i < 1416; ++i) ASSERT_EQ(zeroed[i], 0) << i;
}

// A work area sized by a statement that grows clause by clause asks for a little more each
// time: the pool must hand its block out again, not carve a new one per clause (which cost time
// and memory quadratic in the clauses).
TEST(Scratch, AGrowingLargeRequestReusesItsBlock) {
  Pool p;
  void* first = nullptr;
  int fresh = 0;
  for (uint32_t i = 0; i < 2000; ++i) {
    void* b = p.obtain(200000 + 60 * i);
    ASSERT_NE(b, nullptr);
    if (b != first) ++fresh, first = b;
    bcoRelease(&p.pool, b);
  }
  EXPECT_LE(fresh,
            2);  // 200,000 bytes grow to 320,000: one block twice the first size and one more
}

TEST(Scratch, TheFailureSwitchCountsEveryRequest) {
  Pool p;
  void* kept = p.obtain(64);
  bcoRelease(&p.pool, kept);
  memFailAfter(1);
  EXPECT_EQ(p.obtain(64), nullptr);  // a block the pool holds fails all the same
  EXPECT_NE(p.obtain(64), nullptr);
  memFailAfter(0);
}

TEST(Scratch, TracedRequestsAreTheDocumentedAllocations) {
  Pool p;
  uint32_t obtained = 0;
  void* block = nullptr;
  const std::string trace = testutil::CaptureTrace([&] {
    block = bcoObtain(&p.pool, {0x40, Fill::kZeroed, 0x400, Fill::kUninitialised}, &obtained);
    bcoRelease(&p.pool, block);
  });
  EXPECT_EQ(obtained, 0x40u);  // the traced size, not the untraced one
  EXPECT_NE(trace.find("pMEMAlloc (size)                0X000040"), std::string::npos) << trace;
  EXPECT_NE(trace.find("MEMFree (addr)"), std::string::npos) << trace;
}

}  // namespace
