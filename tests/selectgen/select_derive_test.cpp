// Tests of the SELECT derivation: the text and table name derived from UPDATE and INSERT forms
// through ParseSQLStr, the partial output after a missing keyword, ParseSQLStrEx never writing
// past either capacity, the documented room bound for the SELECT text, and the trace line.
#include "selectgen/select_derive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "support/utf16.h"
#include "tvrnsql.h"

namespace {

using testutil::Buffer;
using testutil::Utf8;

constexpr uint16_t kUpdate = 2;
constexpr uint16_t kInsert = 4;
constexpr uint16_t kGuard = 0xBEEF;  // fill of every output buffer; never produced from ASCII
constexpr size_t kGuardUnits = 4;

struct Case {
  uint16_t mode;
  std::u16string_view source;
  std::u16string_view select;  // without terminator; after a failure, the partial text
  std::u16string_view table;   // on success; after a failure nothing may be written
  int32_t result;
};

// {mode, source, expected SELECT text, expected table name, result}
constexpr Case kCases[] = {
    // UPDATE: the words left of each '=' of the SET list, up to " WHERE ".
    {kUpdate, u"UPDATE t SET a=1, b='x' WHERE c=2", u"SELECT a,b FROM t", u"t", 1},
    {kUpdate, u"update Emp set Sal = 2 where Id=3", u"SELECT Sal FROM Emp", u"Emp", 1},
    {kUpdate, u"UPDATE t SET a=1,b=2", u"SELECT a,b FROM t", u"t", 1},
    {kUpdate, u"UPDATE \t\nt SET a\t=1", u"SELECT a FROM t", u"t", 1},
    {kUpdate, u"UPDATE t SET a = 'p=q' , b= 2", u"SELECT a,b FROM t", u"t", 1},
    {kUpdate, u"UPDATE t SET a=' WHERE x=1' WHERE b=2", u"SELECT a FROM t", u"t", 1},
    // The scan goes on right after a closing quote: a doubled quote opens the next literal, and
    // an '=' there starts an assignment whose name runs back over the literal.
    {kUpdate, u"UPDATE t SET a='it''s', b=2", u"SELECT a,b FROM t", u"t", 1},
    {kUpdate, u"UPDATE t SET a='x'=b", u"SELECT a,a='x' FROM t", u"t", 1},
    // Without blanks around it, WHERE is no boundary and its '=' lists c.
    {kUpdate, u"UPDATE t SET b='x'WHERE c=2", u"SELECT b,c FROM t", u"t", 1},
    // An unterminated literal ends the SET list.
    {kUpdate, u"UPDATE t SET a='x, b=2", u"SELECT a FROM t", u"t", 1},
    // " WHERE " found inside a literal that "*/" closes for the keyword search: the literal jump
    // passes it, and passing it ends the list, so c is not listed.
    {kUpdate, u"UPDATE t SET a='*/ WHERE b=1' WHERE c=2", u"SELECT a FROM t", u"t", 1},
    // '=' inside expressions: each lists the text back to white space or ','; names overlap.
    {kUpdate, u"UPDATE t SET a=b=c=d", u"SELECT a,a=b,a=b=c FROM t", u"t", 1},
    {kUpdate, u"UPDATE t SET a = b + (c=d)", u"SELECT a,(c FROM t", u"t", 1},
    // " SET " at the very start: the walks left stop there; "SET" itself is the nearest word.
    {kUpdate, u" SET a=1 UPDATE t", u"SELECT a FROM t", u"t", 1},
    {kUpdate, u" SET =1 UPDATE t", u"SELECT SET FROM t", u"t", 1},
    // Missing keywords: partial text without terminator, no table.
    {kUpdate, u"UPDATE t a=1", u"SELECT ", u"", 0},
    {kUpdate, u"UPDATE t SET a", u"SELECT ", u"", 0},
    {kUpdate, u"UPDATE t SET a '=1'", u"SELECT ", u"", 0},
    {kUpdate, u"MODIFY t SET a=1, b=2", u"SELECT a,b FROM ", u"", 0},
    // INSERT: the column list as written, or * without one.
    {kInsert, u"INSERT INTO t (a, b) VALUES (1, 2)", u"SELECT a, b FROM t", u"t", 1},
    {kInsert, u"INSERT INTO t VALUES (1, 2)", u"SELECT * FROM t", u"t", 1},
    {kInsert, u"insert into Emp(Id,  Sal) values(1,2)", u"SELECT Id,  Sal FROM Emp", u"Emp", 1},
    {kInsert, u"INSERT INTO tVALUES(1)", u"SELECT * FROM t", u"t", 1},
    {kInsert, u"INSERT INTO t (a, ')') VALUES (1)", u"SELECT a, ')' FROM t", u"t", 1},
    {kInsert, u"INSERT INTO t SELECT * FROM u", u"SELECT ", u"", 0},
    {kInsert, u"INSERT INTO t (a) SELECT 1", u"SELECT ", u"", 0},
    {kInsert, u"INSERT INTO t (a, b VALUES", u"SELECT ", u"", 0},
    {kInsert, u"INSERT t (a) VALUES (1)", u"SELECT a FROM ", u"", 0},
    {kInsert, u"", u"SELECT ", u"", 0},
};

// The units written into a guard-filled buffer: everything before the first guard unit.
std::string Written(const std::vector<uint16_t>& buffer) {
  std::u16string s;
  for (size_t i = 0; i < buffer.size() && buffer[i] != kGuard; ++i)
    s.push_back(char16_t(buffer[i]));
  return Utf8(s);
}

// A success writes both texts terminated; a failure leaves the select text unterminated and
// the table untouched.
std::string Expected(std::u16string_view text, int32_t result) {
  return Utf8(text) + (result == 1 ? std::string(1, '\0') : std::string());
}

TEST(ParseSQLStr, DerivesSelectAndTable) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(Utf8(c.source));
    const std::vector<uint16_t> source = Buffer(c.source, 0);
    std::vector<uint16_t> select(TVRNSQL_SELECT_CAPACITY(c.source.size()) + kGuardUnits, kGuard);
    std::vector<uint16_t> table(c.source.size() + 1 + kGuardUnits, kGuard);
    EXPECT_EQ(ParseSQLStr(source.data(), select.data(), table.data(), c.mode), c.result);
    EXPECT_EQ(Written(select), Expected(c.select, c.result));
    EXPECT_EQ(Written(table), c.result == 1 ? Expected(c.table, 1) : "");
  }
}

TEST(ParseSQLStr, OtherModesWriteNothing) {
  const std::vector<uint16_t> source = Buffer(u"UPDATE t SET a=1", 0);
  for (uint16_t mode : {0, 1, 3, 5, 0xFFFF}) {
    SCOPED_TRACE(mode);
    std::vector<uint16_t> select(64, kGuard);
    std::vector<uint16_t> table(64, kGuard);
    uint32_t required = 12345;
    EXPECT_EQ(ParseSQLStr(source.data(), select.data(), table.data(), mode), 0);
    EXPECT_EQ(ParseSQLStrEx(source.data(), select.data(), 64, table.data(), 64, mode, &required),
              0);
    EXPECT_EQ(Written(select) + Written(table), "");
    EXPECT_EQ(required, 12345u);
  }
}

// Every capacity pair around the needed room: the result says whether both fit, the needed room
// is reported (also to a caller that passes no buffers), nothing lands past either capacity, and
// a fitting call writes what ParseSQLStr writes.
TEST(ParseSQLStrEx, NeverWritesPastEitherCapacity) {
  for (const Case& c : kCases) {
    if (c.result != 1) continue;
    SCOPED_TRACE(Utf8(c.source));
    const std::vector<uint16_t> source = Buffer(c.source, 0);
    const uint32_t selectNeed = static_cast<uint32_t>(c.select.size() + 1);
    const uint32_t tableNeed = static_cast<uint32_t>(c.table.size() + 1);
    uint32_t required = 0;
    EXPECT_EQ(ParseSQLStrEx(source.data(), nullptr, 0, nullptr, 0, c.mode, &required), 0);
    EXPECT_EQ(required, selectNeed);
    for (uint32_t selectCap = 0; selectCap <= selectNeed + 1; ++selectCap) {
      for (uint32_t tableCap : {0u, tableNeed - 1, tableNeed, tableNeed + 1}) {
        SCOPED_TRACE(testing::Message() << "capacities " << selectCap << ", " << tableCap);
        std::vector<uint16_t> select(selectCap + kGuardUnits, kGuard);
        std::vector<uint16_t> table(tableCap + kGuardUnits, kGuard);
        const int32_t fits = selectCap >= selectNeed && tableCap >= tableNeed ? 1 : 0;
        required = 0;
        EXPECT_EQ(ParseSQLStrEx(source.data(), select.data(), selectCap, table.data(), tableCap,
                                c.mode, &required),
                  fits);
        EXPECT_EQ(required, selectNeed);
        for (size_t i = selectCap; i < select.size(); ++i) {
          ASSERT_EQ(select[i], kGuard) << i;
        }
        for (size_t i = tableCap; i < table.size(); ++i) {
          ASSERT_EQ(table[i], kGuard) << i;
        }
        if (fits == 1) {
          EXPECT_EQ(Written(select), Expected(c.select, 1));
          EXPECT_EQ(Written(table), Expected(c.table, 1));
        }
      }
    }
  }
}

// TVRNSQL_SELECT_CAPACITY(n) must hold the SELECT text, or the partial text of a failure, of any
// source of n units, and n + 1 units the table name. Random sources from the tokens the
// derivation reacts to, and the family with the fastest-growing text: each '=' lists everything
// back to " SET ", and the '=' run after "UPDATE" is also the table name.
TEST(SelectCapacity, BoundsTheOutputOfAnySource) {
  const std::u16string_view tokens[] = {u" SET ",   u"UPDATE", u"=", u"a",      u" ",    u",", u"'",
                                        u" WHERE ", u"(",      u")", u"VALUES", u"INTO", u"*/"};
  std::mt19937 random(20240611);
  std::vector<std::u16string> sources;
  for (int i = 0; i < 20000; ++i) {
    std::u16string s;
    for (size_t t = random() % 48; t > 0; --t) s += tokens[random() % std::size(tokens)];
    sources.push_back(s);
  }
  for (size_t k = 0; k <= 300; k += 7) sources.push_back(u" SET UPDATE" + std::u16string(k, u'='));
  for (const std::u16string& s : sources) {
    const std::vector<uint16_t> source = Buffer(s, 0);
    for (auto derive : {bcoSelectStmtFromUpd, bcoSelectStmtFromIns}) {
      BoundedWriter select = bwOpen(nullptr, 0);  // counts what would be written
      BoundedWriter table = bwOpen(nullptr, 0);
      (void)derive(source.data(), select, table);
      ASSERT_LE(select.count, TVRNSQL_SELECT_CAPACITY(s.size())) << Utf8(s);
      ASSERT_LE(table.count, s.size() + 1) << Utf8(s);
    }
  }
}

TEST(SelectDerive, TracesItselfFirstWithValueZero) {
  const std::vector<uint16_t> source = Buffer(u"UPDATE t SET a=1", 0);
  std::vector<uint16_t> select(64, kGuard);
  std::vector<uint16_t> table(64, kGuard);
  FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  TVRNSqlSetTrace(TVRNSQL_TRACE_ON, stream);
  EXPECT_EQ(ParseSQLStr(source.data(), select.data(), table.data(), 3), 0);
  const long afterOtherMode = std::ftell(stream);
  EXPECT_EQ(ParseSQLStr(source.data(), select.data(), table.data(), kUpdate), 1);
  TVRNSqlSetTrace(0, nullptr);
  std::rewind(stream);
  char line[128] = {};
  const bool read = std::fgets(line, sizeof line, stream) != nullptr;
  std::fclose(stream);
  ASSERT_TRUE(read);
  EXPECT_EQ(afterOtherMode, 0);
  const std::string first = line;
  EXPECT_EQ(first.rfind("........bcoSelectStmtFromUpd ", 0), 0u) << first;
  EXPECT_EQ(first.substr(first.size() - 9), "00000000\n") << first;
}

}  // namespace
