// The stand-in server library: handle allocation and release with their parent checks, the
// statuses and messages of failing operations, and the UTF-8/UTF-16 conversions.
#include "tci/standin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// A connected session for one test, with a statement and a describe handle under it.
struct Session {
  void* handles[3] = {nullptr, nullptr, nullptr};
  TCIHandle stmt = nullptr;
  TCIHandle describe = nullptr;
  Session() {
    EXPECT_EQ(TCIStandinConnect(nullptr, handles), TCI_STANDIN_OK);
    EXPECT_EQ(TCIHandleAlloc(env(), &stmt, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_OK);
    EXPECT_EQ(TCIHandleAlloc(env(), &describe, TCI_HTYPE_DESCRIBE, 0, nullptr), TCI_STANDIN_OK);
  }
  ~Session() { TCIStandinDisconnect(handles); }
  TCIHandle env() const { return handles[0]; }
  TCIHandle err() const { return handles[1]; }
  TCIHandle service() const { return handles[2]; }

  std::string lastMessage(int32_t* status = nullptr) const {
    char message[256];
    EXPECT_EQ(TCIStandinErrorGet(err(), status, message, sizeof message), TCI_STANDIN_OK);
    return message;
  }
};

TEST(Standin, StatusesAreDistinctAndNonZeroInTheLow16Bits) {
  const int32_t statuses[] = {TCI_STANDIN_BAD_HANDLE,   TCI_STANDIN_NO_SUCH_OBJECT,
                              TCI_STANDIN_NO_DATA,      TCI_STANDIN_NOT_SUPPORTED,
                              TCI_STANDIN_BAD_ARGUMENT, TCI_STANDIN_NO_MEMORY,
                              TCI_STANDIN_BAD_TEXT};
  for (size_t i = 0; i < std::size(statuses); ++i) {
    const int32_t reason = statuses[i] & 0xFFFF;
    EXPECT_NE(reason, 0);
    for (int32_t libraryReason : {59, 83, 123}) EXPECT_NE(reason, libraryReason);
    for (size_t j = i + 1; j < std::size(statuses); ++j) EXPECT_NE(statuses[i], statuses[j]);
  }
}

TEST(Standin, ConnectFillsAndDisconnectEmptiesTheTriple) {
  void* handles[3] = {nullptr, nullptr, nullptr};
  ASSERT_EQ(TCIStandinConnect(nullptr, handles), TCI_STANDIN_OK);
  for (void* h : handles) EXPECT_NE(h, nullptr);
  void* kept[3] = {handles[0], handles[1], handles[2]};
  TCIStandinDisconnect(handles);
  for (void* h : handles) EXPECT_EQ(h, nullptr);
  // Freed handles are recognised, not dereferenced.
  EXPECT_EQ(TCIHandleFree(kept[2], TCI_HTYPE_SVCCTX), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(kept[0], TCI_HTYPE_ENV), TCI_STANDIN_BAD_HANDLE);
}

TEST(Standin, FreeChecksLivenessAndType) {
  Session s;
  EXPECT_EQ(TCIHandleFree(s.stmt, TCI_HTYPE_DESCRIBE), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(s.stmt, TCI_HTYPE_STMT), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(s.stmt, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(nullptr, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  int local = 0;
  EXPECT_EQ(TCIHandleFree(&local, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(s.describe, TCI_DTYPE_PARAM), TCI_STANDIN_BAD_ARGUMENT);
}

TEST(Standin, FreeingTheEnvironmentFreesItsChildren) {
  TCIHandle env = nullptr, stmt = nullptr;
  ASSERT_EQ(TCIHandleAlloc(nullptr, &env, TCI_HTYPE_ENV, 0, nullptr), TCI_STANDIN_OK);
  ASSERT_EQ(TCIHandleAlloc(env, &stmt, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(env, TCI_HTYPE_ENV), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(stmt, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
}

TEST(Standin, AllocChecksTypeAndParent) {
  Session s;
  struct Case {
    const char* name;
    const void* parent;
    uint32_t type;
    int32_t status;
  };
  const Case cases[] = {
      {"environment under nothing", nullptr, TCI_HTYPE_ENV, TCI_STANDIN_OK},
      {"environment under an environment", s.env(), TCI_HTYPE_ENV, TCI_STANDIN_BAD_HANDLE},
      {"statement under an environment", s.env(), TCI_HTYPE_STMT, TCI_STANDIN_OK},
      {"error under an environment", s.env(), TCI_HTYPE_ERROR, TCI_STANDIN_OK},
      {"statement under nothing", nullptr, TCI_HTYPE_STMT, TCI_STANDIN_BAD_HANDLE},
      {"describe under an error handle", s.err(), TCI_HTYPE_DESCRIBE, TCI_STANDIN_BAD_HANDLE},
      {"service under a statement", s.stmt, TCI_HTYPE_SVCCTX, TCI_STANDIN_BAD_HANDLE},
      {"unknown type", s.env(), 5, TCI_STANDIN_BAD_ARGUMENT},
      {"parameter descriptor", s.env(), TCI_DTYPE_PARAM, TCI_STANDIN_BAD_ARGUMENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TCIHandle h = reinterpret_cast<TCIHandle>(1);
    EXPECT_EQ(TCIHandleAlloc(c.parent, &h, c.type, 0, nullptr), c.status);
    if (c.status == TCI_STANDIN_OK) {
      EXPECT_EQ(TCIHandleFree(h, c.type), TCI_STANDIN_OK);
    } else {
      EXPECT_EQ(h, nullptr);
    }
  }
  EXPECT_EQ(TCIHandleAlloc(s.env(), nullptr, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_BAD_ARGUMENT);
}

TEST(Standin, ExtraMemoryIsZeroedAndOwnedByTheHandle) {
  Session s;
  TCIHandle h = nullptr;
  void* user = nullptr;
  ASSERT_EQ(TCIHandleAlloc(s.env(), &h, TCI_HTYPE_STMT, 32, &user), TCI_STANDIN_OK);
  ASSERT_NE(user, nullptr);
  const std::vector<unsigned char> zeros(32, 0);
  EXPECT_EQ(std::memcmp(user, zeros.data(), 32), 0);
  std::memset(user, 0xAB, 32);  // the sanitizer build catches a short block
  EXPECT_EQ(TCIHandleFree(h, TCI_HTYPE_STMT), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleAlloc(s.env(), &h, TCI_HTYPE_STMT, 32, nullptr), TCI_STANDIN_BAD_ARGUMENT);
}

// Every operation checks the error handle first, then its own handles, and for now answers
// "not supported" with a message naming itself.
TEST(Standin, OperationsCheckHandlesAndRecordFailures) {
  Session s;
  uint16_t text[] = {u'x', 0};
  char name[] = "P";
  uint32_t value = 0, size = 0;
  uint16_t length = 0, code = 0;
  void* out = nullptr;
  TCIHandle define = nullptr;
  using Op = std::function<int32_t(TCIHandle err, TCIHandle main)>;
  struct Case {
    const char* name;
    TCIHandle main;  // the handle the operation works on
    Op call;
  };
  const Case cases[] = {
      {"TCIStmtPrepare", s.stmt,
       [&](TCIHandle e, TCIHandle m) { return TCIStmtPrepare(m, e, text, 2, 1, 0); }},
      {"TCIDefineByPos", s.stmt,
       [&](TCIHandle e, TCIHandle m) {
         return TCIDefineByPos(m, &define, e, 1, &value, 2, TCI_TYPE_UINT16, nullptr, &length,
                               &code, 0);
       }},
      {"TCIStmtExecute", s.stmt,
       [&](TCIHandle e, TCIHandle m) {
         return TCIStmtExecute(s.service(), m, e, 0, 0, nullptr, nullptr, 0);
       }},
      {"TCIStmtFetch", s.stmt,
       [&](TCIHandle e, TCIHandle m) { return TCIStmtFetch(m, e, 1, 2, 0); }},
      {"TCIDescribeAny", s.describe,
       [&](TCIHandle e, TCIHandle m) {
         return TCIDescribeAny(s.service(), e, name, 1, 1, 0, TCI_PTYPE_UNK, m);
       }},
      {"TCIAttrSet", s.describe,
       [&](TCIHandle e, TCIHandle m) {
         return TCIAttrSet(m, TCI_HTYPE_DESCRIBE, &value, 4, TCI_ATTR_DESC_PUBLIC, e);
       }},
      {"TCIAttrGet", s.describe,
       [&](TCIHandle e, TCIHandle m) {
         return TCIAttrGet(m, TCI_HTYPE_DESCRIBE, &out, &size, TCI_ATTR_PARAM, e);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(nullptr, c.main), TCI_STANDIN_BAD_HANDLE);
    EXPECT_EQ(c.call(s.stmt == c.main ? s.describe : s.stmt, c.main), TCI_STANDIN_BAD_HANDLE);

    int32_t status = 0;
    EXPECT_EQ(c.call(s.err(), s.env()), TCI_STANDIN_BAD_HANDLE);
    std::string message = s.lastMessage(&status);
    EXPECT_EQ(status, TCI_STANDIN_BAD_HANDLE);
    EXPECT_EQ(message.rfind(std::string(c.name) + ": ", 0), 0u) << message;
    EXPECT_NE(message.find("is not a live"), std::string::npos) << message;

    EXPECT_EQ(c.call(s.err(), c.main), TCI_STANDIN_NOT_SUPPORTED);
    message = s.lastMessage(&status);
    EXPECT_EQ(status, TCI_STANDIN_NOT_SUPPORTED);
    EXPECT_NE(message.find("not supported"), std::string::npos) << message;
  }
  // Handles the stand-in would create itself: none exists yet, so these are bad handles.
  EXPECT_EQ(TCIDefineArrayOfStruct(s.stmt, s.err(), 8, 8, 8, 8), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIParamGet(s.describe, TCI_DTYPE_PARAM, s.err(), &out, 0), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIStandinErrorGet(s.stmt, nullptr, nullptr, 0), TCI_STANDIN_BAD_HANDLE);
}

struct TextCase {
  const char* name;
  std::u16string utf16;
  std::string utf8;
};

const TextCase kTexts[] = {
    {"empty", u"", ""},
    {"ascii", u"PKG.PROC", "PKG.PROC"},
    {"two-byte", u"caf\u00e9", "caf\xc3\xa9"},
    {"three-byte", u"\u20ac1",
     "\xe2\x82\xac"
     "1"},
    {"beyond the BMP", u"a\U0001F600b",
     "a\xf0\x9f\x98\x80"
     "b"},
};

TEST(Standin, ConversionsRoundTrip) {
  for (const TextCase& c : kTexts) {
    SCOPED_TRACE(c.name);
    const std::vector<uint16_t> wide(c.utf16.begin(), c.utf16.end());
    std::vector<uint8_t> bytes(c.utf16.size() * 3 + 1, 0xEE);
    int32_t status = -1;
    const size_t n = lxgucs2utf(bytes.data(), bytes.size() - 1, wide.data(), wide.size(), &status);
    EXPECT_EQ(status, TCI_STANDIN_OK);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + n), c.utf8);

    std::vector<uint16_t> back(c.utf8.size() + 1, 0xEEEE);
    status = -1;
    const size_t m =
        lxgutf2ucs(back.data(), back.size() * 2, reinterpret_cast<const uint8_t*>(c.utf8.data()),
                   c.utf8.size(), &status);
    EXPECT_EQ(status, TCI_STANDIN_OK);
    EXPECT_EQ(std::u16string(back.begin(), back.begin() + m), c.utf16);
  }
}

TEST(Standin, ConversionsRejectBadTextAndShortBuffers) {
  const uint16_t loneSurrogate[] = {u'a', 0xD83D, u'b'};
  const uint16_t pair[] = {0xD83D, 0xDE00};
  uint8_t bytes[16];
  uint16_t wide[8];
  int32_t status = 0;
  EXPECT_EQ(lxgucs2utf(bytes, sizeof bytes, loneSurrogate, 3, &status), 0u);
  EXPECT_EQ(status, TCI_STANDIN_BAD_TEXT);
  EXPECT_EQ(lxgucs2utf(bytes, 3, pair, 2, &status), 0u);  // needs 4 bytes
  EXPECT_EQ(status, TCI_STANDIN_BAD_TEXT);

  const std::pair<const char*, size_t> badUtf8[] = {
      {"a\xff", 2}, {"\xc3", 1}, {"\xed\xa0\x80", 3}, {"\xc0\xaf", 2}};
  for (auto [text, length] : badUtf8) {
    SCOPED_TRACE(text);
    EXPECT_EQ(
        lxgutf2ucs(wide, sizeof wide, reinterpret_cast<const uint8_t*>(text), length, &status), 0u);
    EXPECT_EQ(status, TCI_STANDIN_BAD_TEXT);
  }
  const auto* smile = reinterpret_cast<const uint8_t*>("\xf0\x9f\x98\x80");
  EXPECT_EQ(lxgutf2ucs(wide, 2, smile, 4, &status), 0u);  // two units need 4 bytes
  EXPECT_EQ(status, TCI_STANDIN_BAD_TEXT);
}

}  // namespace
