// Allocation failures on the describe path: a described call is rerun with its first, second,
// ... allocation failing until a run makes no failed allocation. Every run succeeds with the
// described result, or with the call parser's block when the name resolution ran out of memory
// (an unresolved name leaves the call as it is), or fails with reason 83; no array is handed out
// after a failure, and nothing leaks (checked under the sanitizer preset).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/memory.h"
#include "examples/sample_catalog.h"
#include "support/utf16.h"
#include "tci/standin.h"
#include "tvrnsql.h"

namespace {

struct Outcome {
  int32_t result = 0;
  uint32_t reason = 0;
  std::u16string text;
  std::vector<uint16_t> types;
};

Outcome Describe(void** handles, const std::u16string& call, uint16_t version, uint32_t option = 1) {
  std::vector<uint16_t> buffer = testutil::Buffer(call, 512);
  std::vector<uint16_t> schema = testutil::Buffer(u"CLERK", 0);
  uint16_t markers = 0, refCursors = 0;
  uint16_t *types = nullptr, *positions = nullptr;
  uint8_t *attr32 = nullptr, *attr213 = nullptr;
  uint32_t required = 0;
  TVRNSqlCallInfo info{};
  Outcome run;
  run.result = ODBCSqlToTVRNSqlEx(handles, buffer.data(), &markers, &types, &refCursors,
                                  &positions, &attr32, &attr213, version, option, 0, 0,
                                  schema.data(), uint32_t(buffer.size()), &required, &run.reason,
                                  &info);
  run.text = testutil::Text(buffer.data());
  if (types != nullptr) run.types.assign(types, types + info.argumentCount);
  for (void* p : {(void*)types, (void*)positions, (void*)attr32, (void*)attr213}) std::free(p);
  return run;
}

TEST(DescribeAllocationFailure, EveryRunSucceedsOrFailsCleanly) {
  void* handles[3] = {};
  ASSERT_EQ(TCIStandinConnectSql(kSampleCatalog, "CLERK", handles), TCI_STANDIN_OK);
  const std::pair<std::u16string, uint16_t> cases[] = {
      {u"{call sales.order_pkg.order_report(?, ?, ?)}", 8},
      {u"{call staff}", 8},  // a private synonym for a procedure
      {u"{call recent_orders(5)}", 8},
      {u"{call sales.order_pkg.order_report(?, ?, ?)}", 7},
      {u"{call open_orders}", 7},
  };
  for (const auto& [call, version] : cases) {
    SCOPED_TRACE(testutil::Printable(call) + " version " + std::to_string(version));
    const Outcome expected = Describe(handles, call, version);
    const Outcome block = Describe(handles, call, version, 0);
    ASSERT_EQ(expected.result, 1);
    ASSERT_NE(expected.text, block.text);
    for (uint64_t n = 1;; ++n) {
      ASSERT_LT(n, 1000u);
      memFailAfter(n);
      const Outcome run = Describe(handles, call, version);
      const uint64_t made = memAllocationCount();
      memFailAfter(0);
      const bool described = run.result == 1 && run.text != block.text;
      EXPECT_EQ(run.types, described ? expected.types : std::vector<uint16_t>()) << n;
      if (described) {
        EXPECT_EQ(run.text, expected.text) << n;
      } else if (run.result != 1) {
        EXPECT_EQ(run.reason, uint32_t(TVRNSQL_REASON_NO_MEMORY)) << n;
      }
      if (made < n) break;
    }
  }
  TCIStandinDisconnect(handles);
}

}  // namespace
