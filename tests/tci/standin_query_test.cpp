// The stand-in's catalogs and queries: the connect variants, and a translation's dictionary
// queries run through prepare, define, array define, execute and fetch.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "tests/tci/session.h"

namespace {

using standin_test::Session;

// The translation's argument query for X's packaged procedure `proc` in PKG.
std::string PackagedQuery(const std::string& proc) {
  return "SELECT /*+ RULE */ A.POSITION, A.DATA_TYPE, A.ARGUMENT_NAME FROM ALL_ARGUMENTS A, "
         "ALL_OBJECTS B WHERE A.OBJECT_ID=B.OBJECT_ID AND B.OBJECT_TYPE='PACKAGE' AND "
         "A.DATA_LEVEL=0 AND A.OBJECT_NAME='" +
         proc + "' AND B.OBJECT_NAME='PKG' AND B.OWNER='X' ORDER BY 1";
}

std::string Ascii(const uint16_t* text) {
  std::string s;
  while (*text != 0) s.push_back(char(*text++));
  return s;
}

struct Statement {
  Session& s;
  TCIHandle handle = nullptr;
  explicit Statement(Session& session) : s(session) {
    EXPECT_EQ(TCIHandleAlloc(s.env, &handle, TCI_HTYPE_STMT, 0, nullptr), TCI_STANDIN_OK);
  }
  ~Statement() { (void)TCIHandleFree(handle, TCI_HTYPE_STMT); }
  int32_t prepare(const std::string& sql) {
    std::vector<uint16_t> text(sql.begin(), sql.end());
    return TCIStmtPrepare(handle, s.err, text.data(), uint32_t(text.size() * 2), 1, 0);
  }
  int32_t define(uint32_t column, void* buffer, int32_t capacity, uint16_t type,
                 TCIHandle* out = nullptr, void* indicator = nullptr, uint16_t* length = nullptr,
                 uint16_t* code = nullptr) {
    TCIHandle d = nullptr;
    return TCIDefineByPos(handle, out ? out : &d, s.err, column, buffer, capacity, type, indicator,
                          length, code, 0);
  }
  int32_t execute() { return TCIStmtExecute(s.svc, handle, s.err, 0, 0, nullptr, nullptr, 0); }
  int32_t fetch(uint32_t rows) { return TCIStmtFetch(handle, s.err, rows, TCI_FETCH_NEXT, 0); }
};

// The argument query into an array of elements: three array defines with the element as stride,
// so each row lands in its element and nothing else is touched.
TEST(StandinQuery, ArgumentRowsLandInTheirElements) {
  struct FetchStatus {
    uint16_t length, code;
    int16_t indicator;
  };
  struct Element {
    uint16_t count, position, typeName[14], argName[31];
    FetchStatus status[3];
    int32_t literalArg;
  };
  Session s;
  Element elements[3];
  std::memset(elements, 0xAB, sizeof elements);
  Element& e = elements[0];
  void* const buffers[] = {&e.position, e.typeName, e.argName};
  const int32_t capacities[] = {2, sizeof e.typeName, sizeof e.argName};
  Statement st(s);
  ASSERT_EQ(st.prepare(PackagedQuery("FN")), TCI_STANDIN_OK);
  for (uint32_t k = 0; k < 3; ++k) {
    TCIHandle define = nullptr;
    FetchStatus& fs = e.status[k];
    ASSERT_EQ(st.define(k + 1, buffers[k], capacities[k], k ? TCI_TYPE_STRING : TCI_TYPE_UINT16,
                        &define, &fs.indicator, &fs.length, &fs.code),
              TCI_STANDIN_OK);
    const uint32_t n = sizeof(Element);
    ASSERT_EQ(TCIDefineArrayOfStruct(define, s.err, n, n, n, n), TCI_STANDIN_OK);
  }
  ASSERT_EQ(st.execute(), TCI_STANDIN_OK);
  ASSERT_EQ(st.fetch(2), TCI_STANDIN_OK) << s.message();
  // position, then per text: value/length/indicator/code; a field no column names stays as is.
  auto show = [](const Element& e) {
    std::string out = std::to_string(e.position);
    const uint16_t* texts[] = {e.typeName, e.argName};
    for (int k = 0; k < 2; ++k) {
      const FetchStatus& f = e.status[k + 1];
      out += " " + Ascii(texts[k]) + "/" + std::to_string(f.length) + "/" +
             std::to_string(f.indicator) + "/" + std::to_string(f.code);
    }
    return out + (e.count == 0xABAB && e.literalArg == int32_t(0xABABABAB) ? "" : " touched");
  };
  EXPECT_EQ(show(elements[0]), "0 NUMBER/12/0/0 /0/-1/0");  // the result's name is NULL
  EXPECT_EQ(show(elements[1]), "1 DATE/8/0/0 C/2/0/0");
  EXPECT_EQ(elements[2].position, 0xABAB) << "written past the rows fetched";
}

// One column into a 16-bit number (an integer or a whole real) or into a terminated string cut
// in whole units, never between the halves of a surrogate pair, with the full length in the
// indicator. NULL is 0 or empty, indicator -1; a value that is no 16-bit number fails the fetch.
TEST(StandinQuery, ColumnValues) {
  constexpr uint16_t kNumber = TCI_TYPE_UINT16, kString = TCI_TYPE_STRING;
  const struct {
    std::string sql;
    uint16_t type;
    int32_t capacity;
    int32_t status;
    const char* value = "";
    int16_t indicator = 0;
  } cases[] = {
      {"SELECT COUNT(*) FROM ALL_SYNONYMS WHERE SYNONYM_NAME='PRIV'", kNumber, 2, 0, "2"},
      {"SELECT 3.0", kNumber, 2, 0, "3"},
      {"SELECT NULL", kNumber, 2, 0, "0", -1},
      {"SELECT 70000", kNumber, 2, TCI_STANDIN_SQL_ERROR},
      {"SELECT -1", kNumber, 2, TCI_STANDIN_SQL_ERROR},
      {"SELECT 2.5", kNumber, 2, TCI_STANDIN_SQL_ERROR},
      {"SELECT 'text'", kNumber, 2, TCI_STANDIN_SQL_ERROR},
      {"SELECT 'PKG'", kString, 31, 0, "PKG"},
      {"SELECT 'ABCDEFGHIJKLMNOPQ'", kString, 31, 0, "ABCDEFGHIJKLMN", 34},
      {"SELECT 'abc' || char(128512)", kString, 10, 0, "abc", 10},
      {"SELECT NULL", kString, 2, 0, "", -1},
  };
  Session s;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    Statement st(s);
    uint16_t buffer[32], length = 0, code = 0;
    int16_t indicator = 0;
    std::memset(buffer, 0xFF, sizeof buffer);
    ASSERT_EQ(st.prepare(c.sql), TCI_STANDIN_OK);
    ASSERT_EQ(st.define(1, buffer, c.capacity, c.type, nullptr, &indicator, &length, &code), 0);
    ASSERT_EQ(st.execute(), TCI_STANDIN_OK);
    ASSERT_EQ(st.fetch(1), c.status);
    if (c.status != TCI_STANDIN_OK) {
      EXPECT_EQ(s.message().rfind("TCIStmtFetch: column 1 of row 1 ", 0), 0u) << s.message();
      continue;
    }
    const bool number = c.type == kNumber;
    EXPECT_EQ(number ? std::to_string(buffer[0]) : Ascii(buffer), c.value);
    EXPECT_EQ(buffer[c.capacity / 2], 0xFFFF) << "written past the capacity";
    EXPECT_EQ(indicator, c.indicator);
    EXPECT_EQ(length, c.indicator < 0 ? 0 : number ? 2 : 2 * std::strlen(c.value));
    EXPECT_EQ(code, c.indicator > 0 ? TCI_STANDIN_CODE_TRUNCATED : 0);
  }
}

// Fetch before execute fails; fewer rows than asked: those rows, then "no data"; a new execute
// starts over.
TEST(StandinQuery, FetchPastTheEndAndExecuteAgain) {
  Session s;
  Statement st(s);
  uint16_t positions[8] = {};
  ASSERT_EQ(st.prepare(PackagedQuery("P")), TCI_STANDIN_OK);
  ASSERT_EQ(st.define(1, positions, 2, TCI_TYPE_UINT16), TCI_STANDIN_OK);
  EXPECT_EQ(st.fetch(1), TCI_STANDIN_BAD_ARGUMENT);
  ASSERT_EQ(st.execute(), TCI_STANDIN_OK);
  ASSERT_EQ(st.fetch(1), TCI_STANDIN_OK);
  EXPECT_EQ(positions[0], 1);
  EXPECT_EQ(st.fetch(6), TCI_STANDIN_NO_DATA);
  EXPECT_EQ(s.message(), "TCIStmtFetch: no more rows (3 of 6 fetched)");
  EXPECT_EQ(std::vector<uint16_t>(positions, positions + 4), (std::vector<uint16_t>{2, 3, 4, 0}));
  EXPECT_EQ(st.fetch(1), TCI_STANDIN_NO_DATA);
  ASSERT_EQ(st.execute(), TCI_STANDIN_OK);
  ASSERT_EQ(st.fetch(4), TCI_STANDIN_OK);
  EXPECT_EQ(positions[3], 4);
}

// A text or define the server would refuse fails here too, with the status and a reason.
TEST(StandinQuery, BadTextsAndDefinesFail) {
  Session s;
  Statement st(s);
  const std::tuple<std::string, int32_t, const char*> prepares[] = {
      {"SELECT COUNT(*) FROM ALL_NOTHING", TCI_STANDIN_SQL_ERROR, "no such table: ALL_NOTHING"},
      {"SELECT 1; SELECT 2", TCI_STANDIN_SQL_ERROR, "more than one statement"},
      {"/*+ RULE */", TCI_STANDIN_SQL_ERROR, "no statement"},
      {std::string("SELECT 1\0", 9), TCI_STANDIN_BAD_ARGUMENT, "terminator at character 8"},
  };
  for (const auto& [sql, status, message] : prepares) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(st.prepare(sql), status);
    EXPECT_EQ(s.status(), status);
    EXPECT_NE(s.message().find(message), std::string::npos) << s.message();
  }
  uint16_t odd[] = {u'S'};
  EXPECT_EQ(TCIStmtPrepare(st.handle, s.err, odd, 1, 1, 0), TCI_STANDIN_BAD_ARGUMENT);

  const std::string sql = "SELECT 70000, 'text', 1;";
  ASSERT_EQ(st.prepare(sql), TCI_STANDIN_OK);
  uint16_t value[4];
  TCIHandle define = reinterpret_cast<TCIHandle>(1);
  // Column 0, column 4 of 3, a number of 4 bytes, a string without room, an unknown type.
  const std::tuple<uint32_t, int32_t, uint16_t> defines[] = {
      {0, 2, TCI_TYPE_UINT16}, {4, 2, TCI_TYPE_UINT16}, {1, 4, TCI_TYPE_UINT16},
      {2, 1, TCI_TYPE_STRING}, {1, 2, 3}};
  for (const auto& [column, capacity, type] : defines) {
    EXPECT_EQ(st.define(column, value, capacity, type, &define), TCI_STANDIN_BAD_ARGUMENT);
    EXPECT_EQ(define, nullptr);
  }
  ASSERT_EQ(st.define(2, value, 8, TCI_TYPE_STRING, &define), TCI_STANDIN_OK);
  EXPECT_EQ(TCIDefineArrayOfStruct(define, s.err, 4, 2, 2, 2), TCI_STANDIN_BAD_ARGUMENT)
      << "a stride below the capacity";
  ASSERT_EQ(st.prepare(sql), TCI_STANDIN_OK);
  EXPECT_EQ(TCIDefineArrayOfStruct(define, s.err, 2, 2, 2, 2), TCI_STANDIN_BAD_HANDLE)
      << "a new prepare frees the defines";
}

TEST(StandinQuery, ConnectVariants) {
  const std::string dir = ::testing::TempDir();
  const std::string dbFile = dir + "/standin_catalog_test.db";
  std::remove(dbFile.c_str());
  {
    Session s;
    ASSERT_EQ(TCIStandinExecute(s.handles, ("VACUUM INTO '" + dbFile + "'").c_str()), 0)
        << s.message();
  }
  const struct {
    bool sqlText;
    std::string source;  // SQL text, or a path ("" for none)
    const char* user;
    int32_t status;
    const char* message;          // a part of the connect's message
    const char* probe = nullptr;  // a one-part name to describe, and its status
    int32_t probeStatus = 0;
    bool readOnly = false;  // a change fails
  } cases[] = {
      {false, "", "APP", 0, "", "P", TCI_STANDIN_NO_SUCH_OBJECT},
      {true, standin_test::kCatalog, "app", 0, "", "P", 0},
      {true, standin_test::kCatalog, nullptr, 0, "", "P", TCI_STANDIN_NO_SUCH_OBJECT},
      {true, standin_test::kCatalog, nullptr, 0, "", "PUBP", 0},
      {false, TVRNSQL_SAMPLE_CATALOG_PATH, "CLERK", 0, "", "MY_TASKS", 0},
      {false, dbFile, "APP", 0, "", "F", 0, true},
      {true, "INSERT INTO NOWHERE VALUES (1)", "APP", TCI_STANDIN_SQL_ERROR,
       "no such table: NOWHERE"},
      {false, dir + "/missing.sql", "APP", TCI_STANDIN_BAD_ARGUMENT, "cannot open"},
      {false, dir + "/missing.db", "APP", TCI_STANDIN_SQL_ERROR, "unable to open"},
      {false, __FILE__, "APP", TCI_STANDIN_SQL_ERROR, "not a database"},
      {true, "", "A.B", TCI_STANDIN_BAD_ARGUMENT, "more than one part"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source.substr(0, 60));
    void* handles[3] = {&handles, &handles, &handles};
    const char* source = c.source.empty() ? nullptr : c.source.c_str();
    int32_t status = c.sqlText ? TCIStandinConnectSql(source, c.user, handles)
                               : TCIStandinConnect(source, c.user, handles);
    const std::string message = Session::message(nullptr);
    ASSERT_EQ(status, c.status) << message;
    if (status != TCI_STANDIN_OK) {
      EXPECT_EQ(handles[0], nullptr);
      EXPECT_EQ(handles[2], nullptr);
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
      continue;
    }
    TCIHandle describe = nullptr;
    ASSERT_EQ(TCIHandleAlloc(handles[0], &describe, TCI_HTYPE_DESCRIBE, 0, nullptr), 0);
    std::string name = c.probe;
    EXPECT_EQ(TCIDescribeAny(handles[2], handles[1], name.data(), uint32_t(name.size()),
                             TCI_OTYPE_NAME, 0, TCI_PTYPE_ANY, describe),
              c.probeStatus);
    EXPECT_EQ(TCIStandinExecute(handles, "DELETE FROM ALL_OBJECTS"),
              c.readOnly ? TCI_STANDIN_SQL_ERROR : TCI_STANDIN_OK);
    EXPECT_EQ(Session::message(handles[1]).find("readonly") != std::string::npos, c.readOnly);
    TCIStandinDisconnect(handles);
    EXPECT_EQ(handles[0], nullptr);
  }
  std::remove(dbFile.c_str());
}

}  // namespace
