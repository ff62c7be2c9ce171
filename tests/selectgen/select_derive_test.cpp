// Tests of the SELECT derivation: the text and table name derived from UPDATE and INSERT forms
// through ParseSQLStr, the partial output after a missing keyword, ParseSQLStrEx never writing
// past either capacity, the documented room bound for the SELECT text, and the trace line.
#include "selectgen/select_derive.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/trace.h"
#include "support/utf16.h"
#include "tvrnsql.h"

namespace {

using testutil::Buffer;
using testutil::Printable;

constexpr uint16_t kUpdate = 2, kInsert = 4;
constexpr uint16_t kGuard = 0xBEEF;  // fill of every output buffer; never produced from ASCII
constexpr uint32_t kUnset = 12345;   // required room before the call

struct Case {
  uint16_t mode;
  std::u16string_view source;
  std::u16string_view select;  // without terminator; after a failure, the partial text
  std::u16string_view table;   // on success; after a failure nothing may be written
  int32_t result;
};

constexpr Case kCases[] = {
    // UPDATE: the words left of each '=' of the SET list, up to " WHERE ".
    {kUpdate, u"UPDATE t SET a=1,b='x' WHERE c=2", u"SELECT a,b FROM t", u"t", 1},
    {kUpdate, u"update \t\nEmp set a=1,\tSal\t= 2 where Id=3", u"SELECT a,Sal FROM Emp", u"Emp", 1},
    {kUpdate, u"UPDATE t SET a = 'p=q WHERE x' , b= 2 WHERE c=1", u"SELECT a,b FROM t", u"t", 1},
    // The scan goes on right after a closing quote: a doubled quote opens the next literal, and
    // an '=' there starts an assignment whose name runs back over the literal.
    {kUpdate, u"UPDATE t SET a='it''s', b=2", u"SELECT a,b FROM t", u"t", 1},
    {kUpdate, u"UPDATE t SET a='x'=b", u"SELECT a,a='x' FROM t", u"t", 1},
    // Without blanks around it, WHERE is no boundary and its '=' lists c.
    {kUpdate, u"UPDATE t SET b='x'WHERE c=2", u"SELECT b,c FROM t", u"t", 1},
    {kUpdate, u"UPDATE t SET a='x, b=2", u"SELECT a FROM t", u"t", 1},  // unterminated literal
    // " WHERE " found inside a literal that "*/" closes for the keyword search: the literal jump
    // passes over it without reaching it, and the scan goes on, so c is listed.
    {kUpdate, u"UPDATE t SET a='*/ WHERE b=1' WHERE c=2", u"SELECT a,c FROM t", u"t", 1},
    // '=' inside expressions: each lists the text back to white space or ','; names overlap.
    {kUpdate, u"UPDATE t SET a=b=c=d", u"SELECT a,a=b,a=b=c FROM t", u"t", 1},
    // " SET " at the very start: the walks left stop there; "SET" itself is the nearest word.
    {kUpdate, u" SET =1 UPDATE t", u"SELECT SET FROM t", u"t", 1},
    // Missing keywords: partial text without terminator, no table.
    {kUpdate, u"UPDATE t a=1", u"SELECT ", u"", 0},
    {kUpdate, u"UPDATE t SET a '=1'", u"SELECT ", u"", 0},
    {kUpdate, u"MODIFY t SET a=1, b=2", u"SELECT a,b FROM ", u"", 0},
    // INSERT: the column list as written, or * without one; the name stops at '(' or VALUES.
    {kInsert, u"insert into Emp(Id,  Sal) values(1,2)", u"SELECT Id,  Sal FROM Emp", u"Emp", 1},
    {kInsert, u"INSERT INTO tVALUES(1)", u"SELECT * FROM t", u"t", 1},
    {kInsert, u"INSERT INTO t (a, ')') VALUES (1)", u"SELECT a, ')' FROM t", u"t", 1},
    {kInsert, u"INSERT INTO t (a) SELECT 1", u"SELECT ", u"", 0},
    {kInsert, u"INSERT INTO t (a, b VALUES", u"SELECT ", u"", 0},
    {kInsert, u"INSERT t (a) VALUES (1)", u"SELECT a FROM ", u"", 0},
    {kInsert, u"INSERT INTO t VALUES 1", u"SELECT ", u"", 0},
    // Other modes write nothing.
    {3, u"UPDATE t SET a=1", u"", u"", 0},
    {0xFFFF, u"INSERT INTO t VALUES (1)", u"", u"", 0},
};

// The units written into a guard-filled buffer: everything before the first guard unit.
std::string Written(const std::vector<uint16_t>& buffer) {
  std::u16string s;
  for (size_t i = 0; i < buffer.size() && buffer[i] != kGuard; ++i) s.push_back(buffer[i]);
  return Printable(s);
}

// A success writes both texts terminated; a failure leaves the select text unterminated and
// the table untouched.
std::string Expected(std::u16string_view text, int32_t result) {
  return Printable(text) + (result == 1 ? std::string(1, '\0') : std::string());
}

// ParseSQLStr with the documented room, and its trace; ParseSQLStrEx with every capacity pair
// around the needed room: the result says whether both fit, the needed room is reported (also to a
// caller that passes no buffers) unless a keyword is missing, nothing lands past either capacity,
// and a fitting call writes what ParseSQLStr writes.
TEST(ParseSQLStr, DerivesSelectAndTableWithinCapacity) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(Printable(c.source));
    const std::vector<uint16_t> source = Buffer(c.source, 0);
    std::vector<uint16_t> select(TVRNSQL_SELECT_CAPACITY(c.source.size()) + 4, kGuard);
    std::vector<uint16_t> table(c.source.size() + 5, kGuard);
    int32_t result = -1;
    const std::string trace = testutil::CaptureTrace(
        [&] { result = ParseSQLStr(source.data(), select.data(), table.data(), c.mode); });
    EXPECT_EQ(result, c.result);
    // The derivation's first trace line is its own, with the value 0.
    const std::string step = c.mode == kUpdate ? "Upd" : c.mode == kInsert ? "Ins" : "";
    EXPECT_EQ(trace.substr(0, trace.find('\n') + 1),
              step.empty() ? "" : "........bcoSelectStmtFrom" + step + "            00000000\n");
    EXPECT_EQ(Written(select), Expected(c.select, c.result));
    EXPECT_EQ(Written(table), c.result == 1 ? Expected(c.table, 1) : "");

    const uint32_t selectNeed = c.select.size() + 1, tableNeed = c.table.size() + 1;
    const uint32_t reported = c.result == 1 ? selectNeed : kUnset;
    uint32_t required = kUnset;
    EXPECT_EQ(ParseSQLStrEx(source.data(), nullptr, 0, nullptr, 0, c.mode, &required), 0);
    EXPECT_EQ(required, reported);
    for (uint32_t selectCap = 0; selectCap <= selectNeed + 1; ++selectCap) {
      for (uint32_t tableCap : {0u, tableNeed - 1, tableNeed, tableNeed + 1}) {
        SCOPED_TRACE(testing::Message() << "capacities " << selectCap << ", " << tableCap);
        std::vector<uint16_t> select(selectCap + 4, kGuard), table(tableCap + 4, kGuard);
        const bool fits = c.result == 1 && selectCap >= selectNeed && tableCap >= tableNeed;
        required = kUnset;
        EXPECT_EQ(ParseSQLStrEx(source.data(), select.data(), selectCap, table.data(), tableCap,
                                c.mode, &required),
                  fits ? 1 : 0);
        EXPECT_EQ(required, reported);
        for (size_t i = selectCap; i < select.size(); ++i) ASSERT_EQ(select[i], kGuard) << i;
        for (size_t i = tableCap; i < table.size(); ++i) ASSERT_EQ(table[i], kGuard) << i;
        if (fits) {
          EXPECT_EQ(Written(select) + Written(table), Expected(c.select, 1) + Expected(c.table, 1));
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
  for (int i = 0; i < 20043; ++i) {
    std::u16string s;
    if (i < 43) s = u" SET UPDATE" + std::u16string(7 * i, u'=');  // the fastest-growing family
    for (size_t t = i < 43 ? 0 : random() % 48; t > 0; --t) {
      s += tokens[random() % std::size(tokens)];
    }
    const std::vector<uint16_t> source = Buffer(s, 0);
    for (auto derive : {bcoSelectStmtFromUpd, bcoSelectStmtFromIns}) {
      BoundedWriter select = bwOpen(nullptr, 0), table = bwOpen(nullptr, 0);  // count only
      (void)derive(source.data(), select, table);
      ASSERT_LE(select.count, TVRNSQL_SELECT_CAPACITY(s.size())) << Printable(s);
      ASSERT_LE(table.count, s.size() + 1) << Printable(s);
    }
  }
}

}  // namespace

// The column of each assignment as the plain walk finds it: back from the '=' over white space,
// then to the previous white space or ','. The derivation finds it with a scan that only moves
// forward; both must list the same columns, on SET lists of names, blanks, commas and '=' runs.
TEST(SelectColumns, MatchTheWalkBackFromEachAssignment) {
  std::mt19937 random(6);
  constexpr std::u16string_view kPieces[] = {u"a", u"bc", u"=", u"==", u" ", u"\t", u",", u" , "};
  for (int round = 0; round < 3000; ++round) {
    std::u16string list;
    for (int n = 1 + int(random() % 12); n > 0; --n) list += kPieces[random() % std::size(kPieces)];
    if (list.find(u'=') == std::u16string::npos) list += u"=1";
    const std::u16string source = u"UPDATE t SET " + list + u" WHERE k=1";
    const std::u16string set = u" SET " + list;  // the walk never goes left of the " SET " blank
    std::u16string expected = u"SELECT ";
    for (size_t e = set.find(u'='), first = 1; e != std::u16string::npos;
         e = set.find(u'=', e + 1), first = 0) {
      size_t end = e - 1;
      while (end > 0 && (set[end] == u' ' || set[end] == u'\t')) --end;
      size_t start = end;
      while (start > 0 && set[start - 1] != u' ' && set[start - 1] != u'\t' &&
             set[start - 1] != u',') {
        --start;
      }
      if (first == 0) expected += u',';
      expected += set.substr(start, end + 1 - start);
    }
    expected += u" FROM t";
    std::vector<uint16_t> in = Buffer(source), select(expected.size() + 64, kGuard), table(8);
    ASSERT_EQ(ParseSQLStr(in.data(), select.data(), table.data(), kUpdate), 1);
    ASSERT_EQ(testutil::Text(select.data()), expected) << Printable(source);
  }
}
