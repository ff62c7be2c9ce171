// Outer-join escape clauses through the C entry points: each clause becomes the plain list of its
// tables, its ON conditions move into the WHERE clause with "(+)" after the columns of the optional
// side, and the region that holds the clause decides where that WHERE clause goes. The expected
// texts include the finishing steps of the driver: trailing blanks trimmed, "?" numbered.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/translate_table.h"

using testutil::Printable;
using testutil::Translate;
using testutil::TranslateEx;

namespace {

using Case = testutil::TranslationCase;

const std::u16string kSelect = u"SELECT * FROM ";
const std::u16string kPrefix = u"--(*vendor(Microsoft),product(ODBC) ";
const std::u16string kJoin = u"{oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.b}";
const std::u16string kJoined = u"t1, t2  WHERE ((t1.a = t2.b(+)))";  // kJoin before more text

std::u16string Digits(size_t n) { return std::u16string(n, u'7'); }
std::u16string Name(size_t n) { return std::u16string(n, u'n'); }

// One clause as the whole table list: {body, its tables, the conditions put in WHERE (...),
// markers}. A number keeps the blank before it; a marker in a condition is written "? ".
TEST(OuterJoin, ClauseRewrite) {
  const struct {
    std::u16string body, tables, condition;
    uint16_t markers;
  } rows[] = {
      // Join types, with and without OUTER: "(+)" goes after the optional side's column.
      {u"t1 LEFT OUTER JOIN t2 ON t1.a = t2.b", u"t1, t2", u"(t1.a = t2.b(+))", 0},
      {u"t1 LEFT JOIN t2 ON t1.a=t2.b", u"t1, t2", u"(t1.a = t2.b(+))", 0},
      {u"t1 RIGHT OUTER JOIN t2 ON t1.a = t2.b", u"t1, t2", u"(t1.a(+) = t2.b)", 0},
      {u"t1 FULL OUTER JOIN t2 ON t1.a = t2.b", u"t1, t2", u"((t1.a = t2.b(+) OR t1.a(+) = t2.b))",
       0},
      {u"t1 INNER JOIN t2 ON t1.a = t2.b", u"t1, t2", u"(t1.a = t2.b)", 0},
      {u"t1 JOIN t2 ON t1.a = t2.b", u"t1, t2", u"(t1.a = t2.b)", 0},
      // A value on the right puts "(+)" on the left column, on the left the other way round, both
      // sides values none, whatever the join type.
      {u"t1 LEFT OUTER JOIN t2 ON t1.a = t2.b AND t2.c = 5 AND t2.d=-5", u"t1, t2",
       u"(t1.a = t2.b(+) AND t2.c(+) =  5 AND t2.d(+) = -5)", 0},
      {u"t1 RIGHT OUTER JOIN t2 ON t1.a = t2.b AND 'x' = t1.c", u"t1, t2",
       u"(t1.a(+) = t2.b AND 'x' = t1.c(+))", 0},
      {u"t1 INNER JOIN t2 ON t1.a = t2.b AND t2.c = 'x''y'", u"t1, t2",
       u"(t1.a = t2.b AND t2.c(+) = 'x''y')", 0},
      {u"t1 LEFT OUTER JOIN t2 ON t1.a = t2.b AND t2.c = '}'", u"t1, t2",  // '}' closes nothing
       u"(t1.a = t2.b(+) AND t2.c(+) = '}')", 0},
      {u"t1 LEFT OUTER JOIN t2 ON nvl(t1.a, 0) = t2.b", u"t1, t2", u"(nvl(t1.a,  0) = t2.b(+))", 0},
      {u"t1 LEFT OUTER JOIN t2 ON t1.a = upper(t2.b)", u"t1, t2", u"(t1.a(+) = upper(t2.b))", 0},
      {u"t1 FULL OUTER JOIN t2 ON lower(t1.a) = upper(t2.b)", u"t1, t2",
       u"(lower(t1.a) = upper(t2.b))", 0},
      // Markers and host variables count as values; "?" is numbered after the rewrite.
      {u"t1 LEFT OUTER JOIN t2 ON ? = t2.b AND t2.c = ?", u"t1, t2",
       u"(:1  = t2.b(+) AND t2.c(+) = :2 )", 2},
      {u"t1 LEFT OUTER JOIN t2 ON :x = t2.b AND t2.c = :1", u"t1, t2",
       u"(:x = t2.b(+) AND t2.c(+) = :1)", 2},
      {u"t1 LEFT OUTER JOIN t2 ON t1.a = substr(t2.b, ?, :5)", u"t1, t2",
       u"(t1.a(+) = substr(t2.b, :1 , :5))", 2},
      // Arithmetic with "*" and "/" stays on the column's side.
      {u"t1 LEFT OUTER JOIN t2 ON t1.a * 2 = t2.b", u"t1, t2", u"(t1.a *  2 = t2.b(+))", 0},
      {u"t1 RIGHT OUTER JOIN t2 ON t1.a = t2.b/10", u"t1, t2", u"(t1.a(+) = t2.b / 10)", 0},
      // AND, OR, parentheses and every comparison operator.
      {u"t1 LEFT OUTER JOIN t2 ON (t1.a = t2.a OR t1.b = t2.b) AND t1.c <> t2.c", u"t1, t2",
       u"((t1.a = t2.a(+) OR t1.b = t2.b(+)) AND t1.c <> t2.c(+))", 0},
      {u"t1 LEFT OUTER JOIN t2 ON t1.a >= t2.a AND t1.b<=t2.b OR t1.c < t2.c AND t1.d > t2.d",
       u"t1, t2", u"(t1.a >= t2.a(+) AND t1.b <= t2.b(+) OR t1.c < t2.c(+) AND t1.d > t2.d(+))", 0},
      // Nested joins: one group per ON clause in the order written, each with its own join type.
      {u"t1 LEFT OUTER JOIN t2 ON t1.a = t2.a RIGHT OUTER JOIN t3 ON t2.b = t3.b", u"t1, t2, t3",
       u"(t1.a = t2.a(+)) AND (t2.b(+) = t3.b)", 0},
      {u"t1 LEFT OUTER JOIN (t2 INNER JOIN t3 ON t2.b = t3.b) ON t1.a = t2.a", u"t1, t2, t3",
       u"(t2.b = t3.b) AND (t1.a = t2.a(+))", 0},
      {u"t1 FULL OUTER JOIN t2 LEFT OUTER JOIN t3 ON t2.b = t3.b ON t1.a = t2.a", u"t1, t2, t3",
       u"(t2.b = t3.b(+)) AND ((t1.a = t2.a(+) OR t1.a(+) = t2.a))", 0},
      // Aliases (two blanks without AS), owners, three-part columns, quoted and non-ASCII names.
      {u"orders o LEFT OUTER JOIN lines AS l ON o.id = l.oid", u"orders  o, lines AS l",
       u"(o.id = l.oid(+))", 0},
      {u"sales.orders o RIGHT OUTER JOIN sales.lines AS l ON o.id = l.oid",
       u"sales.orders  o, sales.lines AS l", u"(o.id(+) = l.oid)", 0},
      {u"sc.t1 LEFT OUTER JOIN sc.t2 ON sc.t1.a = sc.t2.b", u"sc.t1, sc.t2",
       u"(sc.t1.a = sc.t2.b(+))", 0},
      {u"\"Orders\" o LEFT OUTER JOIN \"Order Lines\" AS l ON o.\"Id\" = l.\"Order Id\"",
       u"\"Orders\"  o, \"Order Lines\" AS l", u"(o.\"Id\" = l.\"Order Id\"(+))", 0},
      {u"t1 LEFT OUTER JOIN t\u00e4 ON t1.gr\u00f6\u00dfe = t\u00e4.gr\u00f6\u00dfe",
       u"t1, t\u00e4", u"(t1.gr\u00f6\u00dfe = t\u00e4.gr\u00f6\u00dfe(+))", 0},
      // The longest name and number a clause holds.
      {u"t1 LEFT OUTER JOIN t2 ON t1." + Name(255) + u" = t2.b AND t2.c=" + Digits(35), u"t1, t2",
       u"(t1." + Name(255) + u" = t2.b(+) AND t2.c(+) = " + Digits(35) + u")", 0},
  };
  std::vector<Case> cases;
  for (const auto& r : rows) {
    cases.push_back({kSelect + u"{oj " + r.body + u"}",
                     kSelect + r.tables + u" WHERE (" + r.condition + u")", r.markers});
  }
  testutil::ExpectTranslations(cases);
}

// Where the conditions go: after the table-list region, ahead of the statement's own WHERE
// condition, before the keyword that ends the region, or before the ")" closing a subquery.
TEST(OuterJoin, StatementRewrite) {
  const std::u16string sub = u"{oj t3 LEFT OUTER JOIN t4 ON t3.d = t4.d}";
  testutil::ExpectTranslations({
      {kSelect + kJoin + u"   ", u"SELECT * FROM t1, t2 WHERE ((t1.a = t2.b(+)))", 0},
      {u"SELECT * FROM t0, " + kJoin, u"SELECT * FROM t0, t1, t2 WHERE ((t1.a = t2.b(+)))", 0},
      {kSelect + kJoin + u" WHERE t1.c = 1", kSelect + kJoined + u" AND ( t1.c = 1)", 0},
      {kSelect + kJoin + u", t5 WHERE t5.x = t1.c",
       u"SELECT * FROM t1, t2, t5  WHERE ((t1.a = t2.b(+))) AND ( t5.x = t1.c)", 0},
      {kSelect + kJoin + u" ORDER BY t1.a", kSelect + kJoined + u" ORDER BY t1.a", 0},
      {u"SELECT t1.a, COUNT(*) FROM " + kJoin + u" GROUP BY t1.a HAVING COUNT(*) > 1",
       u"SELECT t1.a, COUNT(*) FROM " + kJoined + u" GROUP BY t1.a HAVING COUNT(*) > 1", 0},
      {u"SELECT t1.a FROM " + kJoin + u" UNION SELECT a FROM t3",
       u"SELECT t1.a FROM " + kJoined + u" UNION SELECT a FROM t3", 0},
      // The region ends at INTERSECT, so the WHERE after it is not a second one.
      {u"SELECT t1.a FROM " + kJoin + u" WHERE t1.c = 1 INTERSECT SELECT a FROM t3 WHERE b = 2",
       u"SELECT t1.a FROM " + kJoined +
           u" AND ( t1.c = 1 )  INTERSECT SELECT a FROM t3 WHERE b = 2",
       0},
      // A WHERE inside parentheses belongs to the subquery.
      {kSelect + kJoin + u" WHERE t1.c IN (SELECT c FROM t3 WHERE d = 1)",
       kSelect + kJoined + u" AND ( t1.c IN (SELECT c FROM t3 WHERE d = 1))", 0},
      {kSelect + kJoin + u" WHERE t1.d = ? AND t1.e = ?",
       kSelect + kJoined + u" AND ( t1.d = :1 AND t1.e = :2)", 2},
      // Two clauses in one table list: one pass, the text between them kept.
      {u"SELECT * FROM {oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.a}, "
       u"{oj t3 RIGHT OUTER JOIN t4 ON t3.b = t4.b} WHERE t1.c = 1",
       u"SELECT * FROM t1, t2, t3, t4  WHERE ((t1.a = t2.a(+)) AND (t3.b(+) = t4.b))"
       u" AND ( t1.c = 1)",
       0},
      // In a subquery the region ends at its ")".
      {u"SELECT * FROM t0 WHERE t0.x IN (SELECT t1.a FROM " + kJoin + u")",
       u"SELECT * FROM t0 WHERE t0.x IN (SELECT t1.a FROM t1, t2 WHERE ((t1.a = t2.b(+))) )", 0},
      {u"SELECT * FROM t0 WHERE t0.x IN (SELECT t1.a FROM " + kJoin +
           u" WHERE t2.c = 1) AND t0.y = 2",
       u"SELECT * FROM t0 WHERE t0.x IN (SELECT t1.a FROM " + kJoined +
           u" AND ( t2.c = 1)  ) AND t0.y = 2",
       0},
      // Clauses in two table lists take two passes.
      {kSelect + kJoin + u" WHERE t1.c IN (SELECT t3.c FROM " + sub + u")",
       kSelect + kJoined + u" AND ( t1.c IN (SELECT t3.c FROM t3, t4 WHERE ((t3.d = t4.d(+))) ))",
       0},
      // Long vendor form, keywords in any case, a clause in parentheses.
      {kSelect + kPrefix + u"oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.b *)-- WHERE t1.c = 1",
       kSelect + kJoined + u" AND ( t1.c = 1)", 0},
      {u"select * from { Oj t1 lEFT Outer join t2 oN t1.a = t2.b} where t1.c = 1",
       u"select * from " + kJoined + u" AND ( t1.c = 1)", 0},
      {kSelect + u"(" + kJoin + u") WHERE t1.c = 1", kSelect + kJoined + u" AND ( t1.c = 1)", 0},
      // Long names and numbers outside a clause are no concern of the clause's token limits.
      {u"SELECT " + Name(300) + u" FROM " + kJoin + u" WHERE t1.c = " + Digits(40),
       u"SELECT " + Name(300) + u" FROM " + kJoined + u" AND ( t1.c = " + Digits(40) + u")", 0},
  });
}

// A thousand tables in one clause: table list, conditions and statement outgrow any fixed work
// area and still translate.
TEST(OuterJoin, ManyTablesInOneClause) {
  auto tab = [](int i) {
    std::u16string s = u"tab_0000";
    for (size_t k = 7; i > 0; --k, i /= 10) s[k] = char16_t(u'0' + i % 10);
    return s;
  };
  std::u16string body = tab(0), tables = tab(0), condition;
  for (int i = 1; i < 1000; ++i) {
    body +=
        u" LEFT OUTER JOIN " + tab(i) + u" ON " + tab(i - 1) + u".col_a = " + tab(i) + u".col_a";
    tables += u", " + tab(i);
    condition += (i > 1 ? u" AND (" : u"(") + tab(i - 1) + u".col_a = " + tab(i) + u".col_a(+))";
  }
  testutil::ExpectTranslations(
      {{kSelect + u"{oj " + body + u"}", kSelect + tables + u" WHERE (" + condition + u")", 0}});
}

// A clause that fails to parse up to its closer, or a second WHERE of the region, fails with the
// malformed reason. The statement keeps what earlier passes wrote (the two blanks that end a
// pass included) and no marker is numbered or counted.
TEST(OuterJoin, Failures) {
  const std::u16string sub = u"{oj t3 LEFT OUTER JOIN t4 ON t3.d + 1 = t4.d}";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {kSelect + u"{oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.b WHERE t1.c = ?}", {}},
      {kSelect + u"{oj t1 LEFT OUTER JOIN t2 t1.a = t2.b}", {}},  // no ON
      {kSelect + u"{oj t1 OUTER JOIN t2 ON t1.a = t2.b}", {}},    // OUTER alone
      {kSelect + u"{oj t1 LEFT OUTER JOIN t2}", {}},  // the parse fails at the closer itself
      {kSelect + u"{oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.b AND t2.c IS NULL}", {}},
      // "+ 1" is read as a signed number, which no condition accepts after a column.
      {kSelect + u"{oj t1 LEFT OUTER JOIN t2 ON t1.a + 1 = t2.b}", {}},
      {kSelect + kJoin + u" WHERE t1.c = ? WHERE t1.d = 2", {}},
      // Names and strings over 255 characters, numbers over 35, inside a clause.
      {kSelect + u"{oj t1 LEFT OUTER JOIN t2 ON t1." + Name(256) + u" = t2.b}", {}},
      {kSelect + u"{oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.b AND t2.c = '" + Name(300) + u"'}", {}},
      {kSelect + u"{oj t1 LEFT OUTER JOIN t2 ON t1.a = t2.b AND t2.c=" + Digits(36) + u"}", {}},
      // The first pass succeeded, the subquery's clause fails in the second.
      {kSelect + kJoin + u" WHERE t1.c IN (SELECT t3.c FROM " + sub + u")",
       kSelect + kJoined + u" AND ( t1.c IN (SELECT t3.c FROM " + sub + u"))  "},
  };
  for (const auto& [input, partial] : cases) {
    SCOPED_TRACE(Printable(input));
    const std::u16string& expected = partial.empty() ? input : partial;
    const auto legacy = Translate(input, input.size() + 64);
    const auto ex = TranslateEx(input, input.size() + 64);
    for (const auto* t : {&legacy, &ex}) {
      SCOPED_TRACE(t == &ex ? "Ex" : "legacy");
      EXPECT_EQ(t->result, 0);
      EXPECT_EQ(t->text, expected);
      EXPECT_EQ(t->markers, 0);
    }
    EXPECT_EQ(ex.reason, uint32_t(TVRNSQL_REASON_MALFORMED));
  }
}

}  // namespace
