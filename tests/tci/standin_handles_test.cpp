// The stand-in's handles: allocation and release with their parent checks, and the handle checks
// of each operation with the status and message it records.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "tests/tci/session.h"

namespace {

using standin_test::Session;

TEST(Standin, HandlesCheckTypeParentAndLiveness) {
  Session s;
  TCIHandle stmt = nullptr;
  ASSERT_EQ(TCIHandleAlloc(s.env, &stmt, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_OK);
  const std::tuple<const void*, uint32_t, int32_t> cases[] = {
      {s.env, TCI_HTYPE_ENV, TCI_STANDIN_BAD_HANDLE},
      {nullptr, TCI_HTYPE_STMT, TCI_STANDIN_BAD_HANDLE},
      {s.err, TCI_HTYPE_DESCRIBE, TCI_STANDIN_BAD_HANDLE},
      {stmt, TCI_HTYPE_SVCCTX, TCI_STANDIN_BAD_HANDLE},
      {s.env, TCI_DTYPE_PARAM, TCI_STANDIN_BAD_ARGUMENT},
  };
  for (const auto& [parent, type, status] : cases) {
    SCOPED_TRACE(type);
    TCIHandle h = reinterpret_cast<TCIHandle>(1);
    EXPECT_EQ(TCIHandleAlloc(parent, &h, type, 0, nullptr), status);
    EXPECT_EQ(h, nullptr);
  }
  int local = 0;
  EXPECT_EQ(TCIHandleFree(nullptr, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(&local, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(stmt, TCI_HTYPE_DESCRIBE), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(stmt, TCI_HTYPE_STMT), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(stmt, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
  // An environment under nothing; freeing it frees what was allocated under it.
  TCIHandle env = nullptr;
  ASSERT_EQ(TCIHandleAlloc(nullptr, &env, TCI_HTYPE_ENV, 0, nullptr), TCI_STANDIN_OK);
  ASSERT_EQ(TCIHandleAlloc(env, &stmt, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(env, TCI_HTYPE_ENV), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(stmt, TCI_HTYPE_STMT), TCI_STANDIN_BAD_HANDLE);
}

// An operation checks its error handle, then its own handles, then that its environment has a
// catalog (one allocated by hand has none); the message names the operation.
TEST(Standin, OperationsCheckTheirHandlesFirst) {
  Session s;
  int local = 0;
  void *bogus = &local, *out = nullptr;
  uint32_t size = 0;
  uint16_t text[] = {u'x'};
  char name[] = "P";
  TCIHandle describe = nullptr, stmt = nullptr, bareEnv = nullptr, bareStmt = nullptr;
  ASSERT_EQ(TCIHandleAlloc(s.env, &describe, TCI_HTYPE_DESCRIBE, 0, nullptr), 0);
  ASSERT_EQ(TCIHandleAlloc(s.env, &stmt, TCI_HTYPE_STMT, 0, nullptr), 0);
  ASSERT_EQ(TCIHandleAlloc(nullptr, &bareEnv, TCI_HTYPE_ENV, 0, nullptr), 0);
  ASSERT_EQ(TCIHandleAlloc(bareEnv, &bareStmt, TCI_HTYPE_STMT, 0, nullptr), 0);
  const struct {
    std::function<int32_t()> call;
    int32_t status;
    const char *operation, *message;  // the message starts with the operation and holds this
  } cases[] = {
      {[&] { return TCIDescribeAny(bogus, s.err, name, 1, TCI_OTYPE_NAME, 0, 0, describe); },
       TCI_STANDIN_BAD_HANDLE, "TCIDescribeAny", "not a live service context handle"},
      {[&] { return TCIDescribeAny(s.svc, s.err, name, 1, TCI_OTYPE_NAME, 0, 0, s.svc); },
       TCI_STANDIN_BAD_HANDLE, "TCIDescribeAny", "not a live describe handle"},
      {[&] { return TCIAttrGet(describe, TCI_DTYPE_PARAM, &out, &size, TCI_ATTR_NAME, s.err); },
       TCI_STANDIN_BAD_HANDLE, "TCIAttrGet", "not a live parameter handle"},
      {[&] { return TCIAttrGet(s.svc, TCI_HTYPE_SVCCTX, &out, &size, TCI_ATTR_NAME, s.err); },
       TCI_STANDIN_BAD_ARGUMENT, "TCIAttrGet", "service context handle has no attribute 4"},
      {[&] { return TCIStmtPrepare(bareStmt, s.err, text, 2, 1, 0); }, TCI_STANDIN_NOT_SUPPORTED,
       "TCIStmtPrepare", "the environment has no catalog"},
      {[&] { return TCIStmtPrepare(stmt, s.err, text, 2, 1, 0); }, TCI_STANDIN_SQL_ERROR,
       "TCIStmtPrepare", "syntax error"},
      {[&] { return TCIStmtPrepare(s.env, s.err, text, 2, 1, 0); }, TCI_STANDIN_BAD_HANDLE,
       "TCIStmtPrepare", "not a live statement handle"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(c.call(), c.status);
    EXPECT_EQ(s.status(), c.status);
    const std::string m = s.message();
    EXPECT_EQ(m.rfind(std::string(c.operation) + ": ", 0), 0u) << m;
    EXPECT_NE(m.find(c.message), std::string::npos) << m;
  }
  // Without a live error handle nothing can be recorded: the status only.
  EXPECT_EQ(TCIDescribeAny(s.svc, bogus, name, 1, TCI_OTYPE_NAME, 0, 0, describe),
            TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIStmtPrepare(stmt, nullptr, text, 2, 1, 0), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIStandinErrorGet(s.env, &local, nullptr, 0), TCI_STANDIN_BAD_HANDLE);
  EXPECT_EQ(TCIHandleFree(bareEnv, TCI_HTYPE_ENV), TCI_STANDIN_OK);
}

}  // namespace
