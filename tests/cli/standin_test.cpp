// The stand-in server library: handle allocation and release with their parent checks, the
// statuses and messages of a failing operation, and the UTF-8/UTF-16 conversions.
#include "tci/standin.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

// A connected session for one test, with a statement handle under its environment.
struct Session {
  void* handles[3] = {nullptr, nullptr, nullptr};
  void *&env = handles[0], *&err = handles[1];
  TCIHandle stmt = nullptr;
  Session() {
    EXPECT_EQ(TCIStandinConnect(nullptr, handles), TCI_STANDIN_OK);
    EXPECT_EQ(TCIHandleAlloc(env, &stmt, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_OK);
  }
  ~Session() { TCIStandinDisconnect(handles); }
};

// Session() allocates a statement under an environment; the other parents are refused.
TEST(Standin, HandlesCheckTypeParentAndLiveness) {
  Session s;
  // Name, parent, type, status.
  const std::tuple<const char*, const void*, uint32_t, int32_t> cases[] = {
      {"environment under an environment", s.env, TCI_HTYPE_ENV, TCI_STANDIN_BAD_HANDLE},
      {"statement under nothing", nullptr, TCI_HTYPE_STMT, TCI_STANDIN_BAD_HANDLE},
      {"describe under an error handle", s.err, TCI_HTYPE_DESCRIBE, TCI_STANDIN_BAD_HANDLE},
      {"service under a statement", s.stmt, TCI_HTYPE_SVCCTX, TCI_STANDIN_BAD_HANDLE},
      {"parameter descriptor", s.env, TCI_DTYPE_PARAM, TCI_STANDIN_BAD_ARGUMENT},
  };
  for (const auto& [name, parent, type, status] : cases) {
    SCOPED_TRACE(name);
    TCIHandle h = reinterpret_cast<TCIHandle>(1);
    EXPECT_EQ(TCIHandleAlloc(parent, &h, type, 0, nullptr), status);
    EXPECT_EQ(h, nullptr);
  }
  int local = 0;
  EXPECT_EQ(TCIHandleFree(nullptr, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(&local, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(s.stmt, TCI_HTYPE_DESCRIBE), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(s.stmt, TCI_HTYPE_STMT), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(s.stmt, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  // An environment under nothing, and freeing it frees what was allocated under it.
  TCIHandle env = nullptr, stmt = nullptr;
  ASSERT_EQ(TCIHandleAlloc(nullptr, &env, TCI_HTYPE_ENV, 0, nullptr), TCI_STANDIN_OK);
  ASSERT_EQ(TCIHandleAlloc(env, &stmt, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(env, TCI_HTYPE_ENV), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(stmt, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
}

// An operation checks the error handle, then its own handle, and for now answers "not supported"
// with a message that names it.
TEST(Standin, OperationChecksHandlesAndRecordsFailures) {
  Session s;
  uint16_t text[] = {u'x', 0};
  int32_t status = 0;
  EXPECT_EQ(TCIStmtPrepare(s.stmt, nullptr, text, 2, 1, 0), TCI_STANDIN_BAD_HANDLE);
  char message[256];
  for (int32_t expected : {TCI_STANDIN_BAD_HANDLE, TCI_STANDIN_NOT_SUPPORTED}) {
    TCIHandle stmt = expected == TCI_STANDIN_BAD_HANDLE ? s.env : s.stmt;
    EXPECT_EQ(TCIStmtPrepare(stmt, s.err, text, 2, 1, 0), expected);
    ASSERT_EQ(TCIStandinErrorGet(s.err, &status, message, sizeof message), TCI_STANDIN_OK);
    EXPECT_EQ(status, expected);
    EXPECT_EQ(std::string(message).rfind("TCIStmtPrepare: ", 0), 0u) << message;
  }
  EXPECT_NE(std::string(message).find("not supported"), std::string::npos) << message;
}

TEST(Standin, ConversionsRoundTripAndRejectBadTextOrShortBuffers) {
  const std::pair<std::u16string, std::string> texts[] = {
      {u"", ""}, {u"\u00e9\u20ac \U0001F600", "\xc3\xa9\xe2\x82\xac \xf0\x9f\x98\x80"}};
  uint8_t bytes[16];
  uint16_t wide[8];
  int32_t status = -1;
  auto u8 = [](const char* text) { return reinterpret_cast<const uint8_t*>(text); };
  for (const auto& [utf16, utf8] : texts) {  // each with exactly the room it needs
    const std::vector<uint16_t> in(utf16.begin(), utf16.end());
    size_t n = lxgucs2utf(bytes, utf8.size(), in.data(), in.size(), &status);
    EXPECT_EQ(status, TCI_STANDIN_OK);
    EXPECT_EQ(std::string(bytes, bytes + n), utf8);
    n = lxgutf2ucs(wide, in.size() * 2, u8(utf8.data()), utf8.size(), &status);
    EXPECT_EQ(status, TCI_STANDIN_OK);
    EXPECT_EQ(std::u16string(wide, wide + n), utf16);
  }
  // A cut-off or invalid text must not reach the server as if it were whole.
  const uint16_t lone[] = {u'a', 0xD83D, u'b'}, pair[] = {0xD83D, 0xDE00};
  auto rejected = [&](size_t written) { return written == 0 && status == TCI_STANDIN_BAD_TEXT; };
  EXPECT_TRUE(rejected(lxgucs2utf(bytes, sizeof bytes, lone, 3, &status)));
  EXPECT_TRUE(rejected(lxgucs2utf(bytes, 3, pair, 2, &status)));                   // needs 4 bytes
  EXPECT_TRUE(rejected(lxgutf2ucs(wide, 2, u8("\xf0\x9f\x98\x80"), 4, &status)));  // needs 2 units
  EXPECT_TRUE(rejected(lxgutf2ucs(wide, sizeof wide, u8("\xed\xa0\x80"), 3, &status)));
}

}  // namespace
