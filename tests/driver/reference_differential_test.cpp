// The real translation against the reference translation (the same steps executed the plainest
// way: one flat text rewritten by moving the rest of it, every position found again after each
// rewrite, nothing kept between clauses) on generated statements rich in nested and
// length-changing clauses, from a few units to a few hundred thousand. Any difference in text,
// result, reason, required room, counts or argument arrays is a fault in the bookkeeping of one
// of them.
#include <gtest/gtest.h>

#include <string>

#include "examples/sample_catalog.h"
#include "support/differential.h"
#include "tci/standin.h"

namespace {

using differential::describe;
using differential::Generator;
using differential::Options;
using differential::SeededChoices;
using differential::translate;

// Both translations of one statement; the test fails with both accounts when they differ.
void expectSame(const std::u16string& statement, const Options& options) {
  const differential::Outcome real = translate(false, statement, options);
  const differential::Outcome reference = translate(true, statement, options);
  if (real == reference) return;
  std::string input;
  for (char16_t ch : statement.substr(0, 3000)) input.push_back(ch < 0x80 ? char(ch) : '?');
  ADD_FAILURE() << "statement (" << statement.size() << " units): " << input
                << "\n real:      " << describe(real) << "\n reference: " << describe(reference);
}

std::u16string repeated(std::u16string_view clause, int n, std::u16string_view separator) {
  std::u16string s = u"select ";
  for (int i = 0; i < n; ++i) s += (i == 0 ? u"" : separator), s += clause;
  return s;
}

// Statements that once came out wrong: rebuilding clauses around other length-changing clauses,
// many in one statement, so that the working text grows between them.
TEST(ReferenceDifferential, NestedRebuildingClauses) {
  const Options options;
  for (int n = 1; n <= 26; ++n) {
    SCOPED_TRACE(n);
    expectSame(repeated(u"{fn year({fn now})}", n, u""), options);
    expectSame(repeated(u"{fn year({fn now()})}", n, u","), options);
    expectSame(repeated(u"{fn year({fn curdate})}", n, u" "), options);
    expectSame(repeated(u"{fn ucase({d '2001-02-03'})}", n, u" , "), options);
  }
  expectSame(
      u"select {fn curdate()},{fn curtime()},{fn dayname({fn now()})}, {fn dayofmonth({fn "
      u"now()})},{fn dayofweek({ts '2005-01-17 12:00:00'})},{fn dayofyear({fn now()})},{fn "
      u"hour({fn now()})},{fn minute({fn now()})},{fn month({fn now()})},{fn monthname({fn "
      u"now()})},{fn quarter({fn now()})},{fn second({fn now()})},{fn week({fn now()})},{fn "
      u"year({fn now()})}",
      options);
  expectSame(
      u"select {fn convert({fn now}, SQL_CHAR)} , {fn hour({fn now})} , {fn ucase({d "
      u"'2001-02-03'})} , {fn second({fn curdate()})} , {fn convert({ts '2001-02-03 04:05:06'}, "
      u"SQL_CHAR)} , {fn quarter(x)} , {fn hour(?)} , {fn hour({fn repeat({fn pi()}, 2)})} , "
      u"{fn quarter({fn curtime()})} , {fn week(?)} , {fn second({fn now()})} , {fn insert(x, "
      u"1, 2, x)} , {fn minute({fn database()})}",
      options);
}

// Statements the differential fuzzer found.
// Clauses at the edges of the shapes that are written without the clause scanner (date
// literals, functions that keep their name, call clauses alone in their statement): on either
// side of each edge the result must be the scanner's and the parser's.
TEST(ReferenceDifferential, ShapesWrittenWithoutTheScanner) {
  // clang-format off
  static constexpr const char16_t* kClauses[] = {
      // date, time and timestamp literals
      u"{d '2001-02-03'}", u"{D  '2001-02-03'  }", u"{d'2001-02-03'}", u"{d\t'2001-02-03'}",
      u"{ d '2001-02-03'}", u"{d '2001-02-03' x}", u"{d '2001-02-03''x'}", u"{d ''}",
      u"{d '2001-02-3'}", u"{d 'ab-cd-efgh'}", u"{d '2001-02-03}", u"{date '2001-02-03'}",
      u"{t '12:30:00'}", u"{t '12:30'}", u"{ts '2001-02-03 12:30:00'}",
      u"{ts '2001-02-03 12:30:00.123456789'}", u"{ts '2001-02-03 12:30:00.1234567890'}",
      u"{ts '2001-02-03 12:30:0'}", u"{ts N'2001-02-03 12:30:00'}",
      u"--(*vendor(Microsoft),product(ODBC) ts '2001-02-03 12:30:00' *)--",
      u"--(*vendor(Microsoft),product(ODBC) d '2001-02-03'*)--",
      // functions that keep their name
      u"{fn UCASE(c1)}", u"{fn ucase(c1) }", u"{fn UCASE}", u"{fn UCASE }", u"{fn UCASE(c1)a}",
      u"{fn UCASE(c1)1}", u"{fn UCASE(c1+ )}", u"{fn UCASE(c1)+ }", u"{fn UCASE(c1).}",
      u"{fn UCASE(c1 }", u"{fn UCASE(?)}", u"{fn UCASE('a')}", u"{fn UCASE(\"a\")}",
      u"{fn UCASE(a/b)}", u"{fn UCASE(a-b)}", u"{fn UCASE(a*b)}", u"{fn  UCASE(c1)}",
      u"{fn\tUCASE(c1)}", u"{FN ltrim(c1)}", u"{fn LTRIMX(c1)}", u"{fn UCASE(c1);}",
      u"{fn UCASE(c1 -- x\n)}", u"{fn IFNULL(a, 0)}", u"{fn SUBSTRING(a, 1, 2)}",
      u"{fn UCASE(\u00e9)}", u"{fn UCASE({fn LCASE(c1)})}",
      u"--(*vendor(Microsoft),product(ODBC) fn UCASE(c1) *)--",
      u"--(*vendor(Microsoft),product(ODBC) fn UCASE(c1)*)--",
      u"--(*vendor(Microsoft),product(ODBC) fn UCASE *)--",
      u"--(* VENDOR (Microsoft), PRODUCT (ODBC)\tfn ucase(c1) *)--",
      u"--(*vendor(Microsoft) ,product(ODBC) fn UCASE(c1) *)--",
      u"--(*vendor(Other),product(X) fn UCASE(c1) *)--",
      // call clauses (written without the parser when alone in the statement)
      u"{call p(?, ?)}", u"{?=call f(?)}", u"{? = call a.b.c(?,?)}", u"{call p()}", u"{call p}",
      u"{CALL Pkg_1.P$#(?)}", u"{call  p ( ? , ? ) }", u"{call p(?,)}", u"{call p(? ?)}",
      u"{call begin(?)}", u"{call p.end(?)}", u"{call output(?)}", u"{call p(?)};",
      u"{call a.b.c.d(?)}", u"{callp(?)}", u"{call p(:1)}", u"{call p('x', ?)}",
      u"{call p(?)} {call q(?)}", u"{ call p(?)}", u"{?=call f}", u"{?call f(?)}", u"{call 1p(?)}",
      u"{call p(?))}", u"{call p.output(?)}", u"{call a_output(?)}", u"{?=call output.f(?)}",
  };
  // clang-format on

  const Options options;
  for (const char16_t* clause : kClauses) {
    for (const std::u16string& statement :
         {u"select " + std::u16string(clause) + u" from t where a = ?",
          std::u16string(clause) + u"   ", u"x " + std::u16string(clause)}) {
      expectSame(statement, options);
    }
  }
}

TEST(ReferenceDifferential, FoundByTheFuzzer) {
  const Options options;
  // The second long form's brace pass sets off an outer-join rewrite that swallows the first
  // long form: the long forms before it must be looked for again in the new text.
  expectSame(u"''--(*vendor(t),product(C)ojt JOIN\"4\"ON?=a*)--(*\"{oj }", options);
}

// Outer-join clauses in parentheses side by side in one table list take a pass each; after the
// first such pass the others take their clause without reading the rest of the list again. Lists
// with and without a WHERE, in subqueries, with comments, markers and other clauses around, with
// a clause that fails in mid-run, and with blanks before the WHERE that pass the scanner's limit
// in mid-run (the statement then fails with 59, the passes before kept).
TEST(ReferenceDifferential, SideBySideOuterJoins) {
  const Options options;
  const std::u16string clause = u"({oj a LEFT OUTER JOIN b ON a.x = b.y}), ";
  struct Shape {
    const char16_t* head;
    std::u16string unit;
    std::u16string tail;
  };
  const Shape kShapes[] = {
      {u"select * from ", clause, u"t"},
      {u"select ? from ", clause, u"t WHERE z = ? ORDER BY 1"},
      {u"select {fn ucase(x)} from ", u"({oj a LEFT JOIN b ON a.x = {fn lcase(b.y)}}), ",
       u"t WHERE z = {d '2001-02-03'}"},
      {u"select * from x WHERE x.k IN (select * from ", clause, u"t) -- {oj y}"},
      {u"select * from ", clause + u"-- {oj t} (\n", u"t WHERE z = 1"},
      {u"select * from ",
       u"(--(*vendor(Microsoft),product(ODBC) oj e RIGHT JOIN f ON e.k = 5 *)--),", u"t"},
      {u"select * from ", clause + u"({oj t1 LEFT JOIN t2}), ", u"t"},
      {u"select * from ", clause, u"t" + std::u16string(4070, u' ') + u"WHERE z = 1"},
      {u"select * from ", clause, u"t" + std::u16string(4080, u' ') + u"ORDER BY 1"},
  };
  for (const Shape& shape : kShapes) {
    for (int n : {1, 2, 5, 30, 400}) {
      SCOPED_TRACE(n);
      std::u16string statement = shape.head;
      for (int i = 0; i < n; ++i) statement += shape.unit;
      expectSame(statement + shape.tail, options);
    }
  }
}

// Generated statements of every kind, mostly short, some thousands of units long.
TEST(ReferenceDifferential, GeneratedStatements) {
  SeededChoices choices(20261206);
  Generator generator(choices);
  const Options options;
  for (int i = 0; i < 4000 && !HasFailure(); ++i) {
    const size_t padding = i % 50 == 0 ? 4000 : i % 7 == 0 ? 200 : 0;
    expectSame(generator.statement(padding), options);
  }
}

// Clauses nested deeper than in ordinary statements.
TEST(ReferenceDifferential, DeeplyNestedStatements) {
  SeededChoices choices(7);
  Generator generator(choices, 6);
  const Options options;
  for (int i = 0; i < 600 && !HasFailure(); ++i) expectSame(generator.statement(), options);
}

// A few statements of a few hundred thousand units: the working text grows and is trimmed
// many times over.
TEST(ReferenceDifferential, LargeStatements) {
  SeededChoices choices(11);
  Generator generator(choices);
  const Options options;
  for (int i = 0; i < 4 && !HasFailure(); ++i) expectSame(generator.statement(300000), options);
  expectSame(repeated(u"{fn hour({fn convert({ts '2001-02-03 04:05:06'}, SQL_CHAR)})}", 2000, u","),
             options);
}

// Call clauses described through the stand-in server over the sample catalog, on both servers.
TEST(ReferenceDifferential, DescribedCalls) {
  void* handles[3] = {nullptr, nullptr, nullptr};
  ASSERT_EQ(TCIStandinConnectSql(kSampleCatalog, "CLERK", handles), 0);
  static const uint16_t kSchema[] = {'C', 'L', 'E', 'R', 'K', 0};
  SeededChoices choices(3);
  Generator generator(choices);
  for (uint16_t version : {7, 8}) {
    Options options;
    options.version = version;
    options.describe[0] = 1;
    options.handles = handles;
    options.schema = kSchema;
    for (int i = 0; i < 300 && !HasFailure(); ++i) expectSame(generator.statement(), options);
  }
  TCIStandinDisconnect(handles);
}

}  // namespace
