// The stand-in's describe operation: name resolution, argument lists of procedures and functions,
// the walk of a package's sub-programs, synonyms, and the failures a translation tells apart.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tci/session.h"

namespace {

using standin_test::Session;

// A describe handle with the attribute reads a translation makes.
struct Describe {
  Session& s;
  TCIHandle handle = nullptr;
  explicit Describe(Session& session) : s(session) {
    EXPECT_EQ(TCIHandleAlloc(s.env, &handle, TCI_HTYPE_DESCRIBE, 0, nullptr), TCI_STANDIN_OK);
  }
  ~Describe() { (void)TCIHandleFree(handle, TCI_HTYPE_DESCRIBE); }
  int32_t describe(const std::string& name, uint8_t objectType) {  // terminated, not counted
    return TCIDescribeAny(s.svc, s.err, const_cast<char*>(name.c_str()), uint32_t(name.size()),
                          TCI_OTYPE_NAME, 0, objectType, handle);
  }
  void* object() { return get<void*>(handle, TCI_ATTR_PARAM, TCI_HTYPE_DESCRIBE); }
  template <typename T>
  T get(const void* param, uint32_t attribute, uint32_t type = TCI_DTYPE_PARAM) {
    T value{};
    EXPECT_EQ(TCIAttrGet(param, type, &value, nullptr, attribute, s.err), 0) << s.message();
    return value;
  }
  std::string text(const void* param, uint32_t attribute) {
    const char* p = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(TCIAttrGet(param, TCI_DTYPE_PARAM, &p, &length, attribute, s.err), 0) << s.message();
    return p == nullptr ? "<null>" : std::string(p, length);
  }
  void* entry(const void* list, uint32_t index) {
    void* p = nullptr;
    EXPECT_EQ(TCIParamGet(list, TCI_DTYPE_PARAM, s.err, &p, index), 0) << s.message();
    return p;
  }
};

TEST(StandinDescribe, ResolvesNames) {
  constexpr uint8_t kAny = TCI_PTYPE_ANY, kPackage = TCI_PTYPE_PACKAGE, kSyn = TCI_PTYPE_SYNONYM;
  const struct {
    const char* name;
    uint8_t objectType, kind;
    const char* found;       // owner.name, a synonym's target
    int32_t publicOnly = 0;  // attribute 250: one-part synonyms from PUBLIC only
  } cases[] = {
      {"P", kAny, TCI_KIND_PROCEDURE, "APP.P"},
      {"f", kAny, TCI_KIND_FUNCTION, "APP.F"},
      {"x.p", kAny, TCI_KIND_PROCEDURE, "X.P"},
      {"X.PKG", kAny, TCI_KIND_PACKAGE, "X.PKG"},
      {"PRIV", kAny, TCI_KIND_SYNONYM, "X.P"},       // private before PUBLIC
      {"PUBP", kAny, TCI_KIND_SYNONYM, "X.P"},       // PUBLIC after the schema
      {"DUP", kAny, TCI_KIND_PROCEDURE, "APP.DUP"},  // the schema before PUBLIC
      {"PUBLIC.DUP", kAny, TCI_KIND_SYNONYM, "X.P"},
      {"\"MixedCase\"", kAny, TCI_KIND_PROCEDURE, "APP.MixedCase"},
      {"\"APP\".\"Q\"\"Q\"", kAny, TCI_KIND_PROCEDURE, "APP.Q\"Q"},
      {"\xc3\xa9t\xc3\xa9", kAny, TCI_KIND_PROCEDURE, "APP.\xc3\x89T\xc3\x89"},  // été
      {"PKGSYN", kSyn, TCI_KIND_SYNONYM, "X.PKG"},
      {"PUBPKG", kSyn, TCI_KIND_SYNONYM, "X.PKG"},
      {"PRIV", kSyn, TCI_KIND_SYNONYM, "X.P"},
      {"PUBLIC.PRIV", kSyn, TCI_KIND_SYNONYM, "APP.F"},
      {"APP.PKGSYN", kSyn, TCI_KIND_SYNONYM, "X.PKG"},
      {"PRIV", kSyn, TCI_KIND_SYNONYM, "APP.F", 1},  // last: the attribute stays set
  };
  Session s;
  Describe d(s);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.publicOnly != 0) {
      ASSERT_EQ(TCIAttrSet(d.handle, TCI_HTYPE_DESCRIBE, const_cast<int32_t*>(&c.publicOnly), 4,
                           TCI_ATTR_DESC_PUBLIC, s.err),
                TCI_STANDIN_OK);
    }
    ASSERT_EQ(d.describe(c.name, c.objectType), TCI_STANDIN_OK) << s.message();
    EXPECT_EQ(d.get<uint8_t>(d.object(), TCI_ATTR_PTYPE), c.kind);
    EXPECT_EQ(d.text(d.object(), TCI_ATTR_SCHEMA_NAME) + "." + d.text(d.object(), TCI_ATTR_NAME),
              c.found);
  }
  // Not found: MixedCase is upper-cased, members are reached through their package, PKG is X's,
  // a procedure is no package or synonym. Malformed: empty parts, stray quotes, four parts, a
  // counted terminator, an unknown object type (4). Not UTF-8, or a surrogate in UTF-8.
  constexpr int32_t kNone = TCI_STANDIN_NO_SUCH_OBJECT, kBad = TCI_STANDIN_BAD_ARGUMENT;
  const struct {
    int32_t status;
    uint8_t objectType;
    std::vector<std::string> names;
  } failures[] = {{kNone, kAny, {"MixedCase", "X.PKG.P", "PKG"}},
                  {kNone, kPackage, {"X.P", "PUBLIC.PUBPKG"}},
                  {kNone, kSyn, {"P", "X.PRIV"}},
                  {kBad, kAny, {"", "A..B", "\"A", "\"A\"B", "A\"B\"", "\"\"", "A.B.C.D"}},
                  {kBad, kAny, {std::string("P\0", 2)}},
                  {kBad, 4, {"P"}},
                  {TCI_STANDIN_BAD_TEXT, kAny, {"\xff", "\"\xed\xa0\x80\""}}};
  for (const auto& c : failures) {
    for (const std::string& name : c.names) {
      SCOPED_TRACE(name);
      EXPECT_EQ(d.describe(name, c.objectType), c.status);
      EXPECT_EQ(s.status(), c.status);
      void* param = &param;  // a failed describe leaves nothing described
      EXPECT_EQ(TCIAttrGet(d.handle, TCI_HTYPE_DESCRIBE, &param, nullptr, TCI_ATTR_PARAM, s.err),
                TCI_STANDIN_NO_DATA);
    }
  }
  EXPECT_EQ(d.describe("NONE", kAny), TCI_STANDIN_NO_SUCH_OBJECT);
  EXPECT_EQ(s.message(),
            "TCIDescribeAny: no procedure, function, package or synonym NONE for the user APP");
}

// Argument lists of standalone procedures and functions and of a package's sub-programs (in
// SUBPROGRAM_ID order): a function's result is entry 0, a procedure has no entry 0. An argument
// reads "name position typeCode attr32 attr213".
TEST(StandinDescribe, ArgumentListsAndThePackageWalk) {
  constexpr uint8_t kProc = TCI_KIND_PROCEDURE, kFunc = TCI_KIND_FUNCTION;
  const struct {
    const char* name;
    int sub;  // the sub-program's index in the package, or -1
    const char* found;
    uint8_t kind;
    std::vector<std::string> arguments;
  } cases[] = {
      {"P", -1, "P", kProc, {"RC 1 102 1 7"}},
      {"F", -1, "F", kFunc, {" 0 102 1 0", "A 1 2 0 0"}},
      {"NOARGF", -1, "NOARGF", kFunc, {" 0 2 1 0"}},
      {"X.REC", -1, "REC", kProc, {"R 1 250 0 0"}},  // its fields are not arguments
      {"X.PKG", 0, "P", kProc, {"A 1 2 0 0", "B 2 1 0 0", "RC1 3 102 1 0", "RC2 4 102 1 255"}},
      {"X.PKG", 1, "FN", kFunc, {" 0 2 1 0", "C 1 12 0 0"}},
      {"\"X\".\"PKG\"", 2, "EMPTY", kProc, {}},
      {"X.PKG", 3, "Mixed", kProc, {"R 1 102 1 0"}},
  };
  Session s;
  Describe d(s);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.found);
    ASSERT_EQ(d.describe(c.name, TCI_PTYPE_ANY), TCI_STANDIN_OK) << s.message();
    void* object = d.object();
    void* none = &none;
    if (c.sub >= 0) {
      void* subprograms = d.get<void*>(object, TCI_ATTR_LIST_SUBPROGRAMS);
      EXPECT_EQ(d.get<uint16_t>(subprograms, TCI_ATTR_NUM_PARAMS), 4);
      EXPECT_EQ(TCIParamGet(subprograms, TCI_DTYPE_PARAM, s.err, &none, 4), TCI_STANDIN_NO_DATA);
      object = d.entry(subprograms, uint32_t(c.sub));
    }
    EXPECT_EQ(d.text(object, TCI_ATTR_NAME), c.found);
    EXPECT_EQ(d.get<uint8_t>(object, TCI_ATTR_PTYPE), c.kind);
    void* list = d.get<void*>(object, TCI_ATTR_LIST_ARGUMENTS);
    const uint32_t first = c.kind == kFunc ? 0 : 1;
    const uint32_t count = d.get<uint16_t>(list, TCI_ATTR_NUM_PARAMS);
    std::vector<std::string> arguments;
    for (uint32_t i = first; i < first + count; ++i) {
      void* a = d.entry(list, i);
      arguments.push_back(d.text(a, TCI_ATTR_NAME));
      for (const uint32_t attribute : {TCI_ATTR_POSITION, TCI_ATTR_DATA_TYPE}) {
        arguments.back() += " " + std::to_string(d.get<uint16_t>(a, attribute));
      }
      for (const uint32_t attribute : {TCI_ATTR_BYTE32, TCI_ATTR_BYTE213}) {
        arguments.back() += " " + std::to_string(d.get<uint8_t>(a, attribute));
      }
    }
    EXPECT_EQ(arguments, c.arguments);
    for (const uint32_t index : {0u, first + count}) {  // a procedure's 0, the one past the end
      if (index == 0 && first == 0) continue;
      EXPECT_EQ(TCIParamGet(list, TCI_DTYPE_PARAM, s.err, &none, index), TCI_STANDIN_NO_DATA);
      EXPECT_EQ(none, nullptr);
      none = &none;
    }
  }
}

// The countdown-th counted operation fails with the status, recorded in its error handle; then
// the hook is off. Allocations count (no error handle to record in), frees do not.
TEST(StandinDescribe, FailAfter) {
  constexpr int32_t kInjected = 4242;
  Session s;
  Describe d(s);
  for (uint32_t n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(TCIStandinFailAfter(s.handles, n, kInjected), TCI_STANDIN_OK);
    for (uint32_t k = 1; k <= 4; ++k) {
      EXPECT_EQ(d.describe("X.PKG", TCI_PTYPE_PACKAGE), k == n ? kInjected : 0) << k;
    }
    EXPECT_EQ(s.status(), kInjected);
    EXPECT_EQ(s.message(), "TCIDescribeAny: injected failure 4242 (TCIStandinFailAfter)");
  }
  TCIHandle stmt = reinterpret_cast<TCIHandle>(1);
  ASSERT_EQ(TCIStandinFailAfter(s.handles, 1, kInjected), TCI_STANDIN_OK);
  EXPECT_EQ(TCIHandleFree(d.handle, TCI_HTYPE_DESCRIBE), TCI_STANDIN_OK);
  d.handle = nullptr;
  EXPECT_EQ(TCIHandleAlloc(s.env, &stmt, TCI_HTYPE_STMT, 0, nullptr), kInjected);
  EXPECT_EQ(stmt, nullptr);
  ASSERT_EQ(TCIStandinFailAfter(s.handles, 1, kInjected), TCI_STANDIN_OK);
  ASSERT_EQ(TCIStandinFailAfter(s.handles, 0, 0), TCI_STANDIN_OK);  // off before it fires
  ASSERT_EQ(TCIHandleAlloc(s.env, &stmt, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_OK);
  EXPECT_EQ(TCIStandinFailAfter(s.handles, 1, 0), TCI_STANDIN_BAD_ARGUMENT);
  void* none[3] = {nullptr, nullptr, nullptr};
  EXPECT_EQ(TCIStandinFailAfter(none, 1, kInjected), TCI_STANDIN_BAD_HANDLE);
}

}  // namespace
