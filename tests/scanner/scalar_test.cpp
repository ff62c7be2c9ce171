// Scalar-function clauses through the translate entry point: kept and same-length native names,
// the native texts written over the clause with their exact blanks, the rebuilt clauses, CONVERT
// by type, nesting, the long form, and the failures with the statement they leave.
#include <gtest/gtest.h>

#include "support/translate.h"

using testutil::Blanks;
using testutil::Printable;
using testutil::TranslateEx;

TEST(ScalarFunction, Clauses) {
  const std::u16string kLong = u"--(*vendor(Microsoft),product(ODBC) fn ";  // 39 characters
  const std::u16string kNow =
      u"TO_DATE(TO_CHAR(SYSDATE,'YYYY-MM-DD HH24:MI:SS'),'YYYY-MM-DD HH24:MI:SS')";
  const std::u16string a(400, u'a');  // REPEAT's estimate outgrows the work area
  const struct {
    std::u16string input, expected;  // expected: the statement afterwards; "": as it was
    uint32_t reason;                 // 0: success
  } rows[] = {
      // Kept names and native names of the same length.
      {u"SELECT {fn UCASE(name)} FROM t", u"SELECT     UPPER(name)  FROM t", 0},
      {u"{fn abs(x)}|{fn ucase(x)}|", u"    abs(x) |    UPPER(x) |", 0},
      // Rule T blanks four characters from the '}' when it meets "*)--" first.
      {u"{fn abs(a*)--b)}xyzw", u"    abs(a*)--b)    w", 0},
      {u"--(*vendor(Microsoft),product(ODBC) fn USER*)-- x",
       u"USER" + std::u16string(44, u' ') + u"x", 0},
      {u"{fn CEILING(a)},{fn char(b)},{fn IFNULL(c,d)},{fn LCASE(e)}|",
       u"       CEIL(a) ,     CHR(b) ,       NVL(c,d) ,    LOWER(e) |", 0},
      // Rule T stops once the input position passes the closing: UCASE has read the "}" ahead.
      {u"{fn LOG(f)},{fn SUBSTRING(g,1,2)},{fn TRUNCATE(h,1)},{fn UCASE}|",
       u"     LN(f) ,       SUBSTR(g,1,2) ,       TRUNC(h,1) ,    UPPER}|", 0},
      {kLong + u"UCASE(x) *)--|", Blanks(39) + u"UPPER(x)" + Blanks(5) + u"|", 0},
      // Written over the clause.
      {u"{fn CONCAT(a,b)}|{fn CONCAT('a,b',c)}|",
       u"a ||" + Blanks(9) + u"b  |'a,b' ||" + Blanks(9) + u"c  |", 0},
      {u"{fn LEFT(s,3)}|{fn LEFT(SUBSTR(x,1,2),3)}|", u"SUBSTR(s,1,3) |SUBSTR(SUBSTR(x,1,2),1,3) |",
       0},
      {u"{fn LEFT(a /* b, c */)}|", u"SUBSTR(a /* b,1, c */) |", 0},  // a comment's comma counts
      {u"{fn LOCATE('b',s)}|{fn LOCATE(a,b,2)}|", u"INSTR(s,'b'     ) |INSTR(b,a,     2) |", 0},
      {u"{fn LOG10(x)}|{fn SPACE(3)}|{fn RIGHT(s,2)}|",
       u"LOG(10,   x) |LPAD(' ', 3) |SUBSTR(   s,-2)|", 0},
      {kLong + u"RIGHT(s,2)*)--|", u"SUBSTR(" + Blanks(38) + u"s,-2)   |", 0},
      {u"{fn USER()}|{fn USER}|{fn USER( x )}|", u"USER       |USER     |USER" + Blanks(10) + u"|",
       0},
      // Rebuilt: the statement changes length; trailing blanks of the statement go.
      {u"SELECT {fn HOUR(d)} FROM t", u"SELECT  TO_NUMBER(TO_CHAR(d,'HH24'))  FROM t", 0},
      {u"{fn SECOND(d)}{fn MINUTE(d)}{fn WEEK(d)}{fn MONTH(d)}   ",
       u" TO_NUMBER(TO_CHAR(d,'SS'))  TO_NUMBER(TO_CHAR(d,'MI'))  TO_NUMBER(TO_CHAR(d,'WW'))  "
       u"TO_NUMBER(TO_CHAR(d,'MM'))",
       0},
      {u"{fn QUARTER(d)}{fn YEAR(d)}{fn DAYOFWEEK(d)}{fn DAYOFMONTH(d)}{fn DAYOFYEAR(d,e)}|",
       u" TO_NUMBER(TO_CHAR(d,'Q'))  TO_NUMBER(TO_CHAR(d,'YYYY'))  TO_NUMBER(TO_CHAR(d,'D'))  "
       u"TO_NUMBER(TO_CHAR(d,'DD'))  TO_NUMBER(TO_CHAR(d,e,'DDD')) |",
       0},
      {u"{fn MONTHNAME(d)}x{fn DAYNAME( d )}",
       u" TRIM(TRAILING FROM INITCAP(TO_CHAR(d,'MONTH')))x TRIM(TRAILING FROM INITCAP(TO_CHAR( d "
       u",'DAY')))",
       0},
      {u"{fn NOW()}|{fn NOW}|{fn CURTIME}|", kNow + u"|" + kNow + u"|" + kNow + u"|", 0},
      {u"{fn CURDATE(x)}|{fn DATABASE()}|{fn PI}",
       u"TO_DATE(TO_CHAR(SYSDATE,'YYYY-MM-DD'),'YYYY-MM-DD')|(SELECT * FROM "
       u"GLOBAL_NAME)|3.141592653589793",
       0},
      {u"{fn REPEAT('ab',3)}|{fn INSERT(s,2,3,'xy')}|",
       u" RPAD('ab',(3)*LENGTH('ab'),'ab') | SUBSTR(s,1,(2)-1) || 'xy' || SUBSTR(s,(2)+(3)) |", 0},
      {u"{fn REPEAT(" + a + u",2)}", u" RPAD(" + a + u",(2)*LENGTH(" + a + u")," + a + u")", 0},
      {kLong + u"PI() *)--|", u"3.141592653589793|", 0},
      // CONVERT by type.
      {u"{fn CONVERT(x, SQL_INTEGER)} FROM t", u" TO_NUMBER(TRUNC(x))  FROM t", 0},
      {u"{fn CONVERT(x,SQL_VARCHAR)}{fn CONVERT(x, sql_double)}{fn CONVERT(d, SQL_DATE)}|",
       u" TO_CHAR(x)  TO_NUMBER(x)  TO_DATE(d)|", 0},
      {u"{fn CONVERT('2001-02-03' , SQL_TYPE_DATE)}", u" TO_DATE('2001-02-03' ,'YYYY-MM-DD')", 0},
      {u"{fn CONVERT('2001-02-03 12:30:00.5' || x, SQL_TIMESTAMP)}|{fn CONVERT(d, "
       u"SQL_TYPE_TIMESTAMP)}",
       u"TO_DATE ('2001-02-03 12:30:00','YYYY-MM-DD HH24:MI:SS')|"
       u"TO_DATE(TO_CHAR(d,'YYYY-MM-DD HH24:MI:SS'),'YYYY-MM-DD HH24:MI:SS')",
       0},
      {u"{fn CONVERT('2001-02-03', SQL_TIMESTAMP)}", u"", 59},
      {u"{fn CONVERT('2001-02-03 12:30:00.1234567890',SQL_TIMESTAMP)}", u"", 59},  // 32 long
      {u"{fn CONVERT(x, UCASE)}", u"", 123},
      {u"{fn CONVERT(x)}", u"", 59},
      // Nested clauses, from the inside out.
      {u"{fn UCASE({fn CONCAT(a,{fn LCASE(b)})})}",
       u"    UPPER(a ||" + Blanks(13) + u"LOWER(b)   )", 0},
      {u"{fn CONCAT({fn DATABASE()},x)}|", u"(SELECT * FROM GLOBAL_NAME) ||" + Blanks(9) + u"x  |",
       0},
      // Failures; "" stands for the statement unchanged. A clause right of the failing one keeps
      // its translation.
      {u"{fn FOO(x)} {fn UCASE(y)}", u"{fn FOO(x)}     UPPER(y) ", 123},
      {u"{fn SQL_CHAR(x)}", u"", 123},
      {u"{fn FOO}", u"", 59},
      {u"{fn HOUR}", u"", 59},
      {u"{fn LOG10(x}", u"", 59},
      {u"{fn NOW(}", u"", 59},
      {u"{fn CONCAT(a)}", u"", 59},
      {u"{fn LEFT(a)}", u"", 59},
      {u"{fn RIGHT(a)}", u"", 59},
      {u"{fn LOCATE(a)}", u"", 59},
      {u"{fn REPEAT(a)}", u"", 59},
      {u"{fn INSERT(a,b,c)}", u"", 59},
      // The clause search takes a blank before the vendor prefix's comma, the scanner does not.
      {u"--(*vendor(Microsoft) ,product(ODBC) fn UCASE(x) *)--",
       u"--(*vendor(Microsoft) ,product(ODBC) fn UPPER(x) *)--", 59},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(Printable(r.input));
    const auto t = TranslateEx(r.input, 4 * r.input.size() + 256);
    EXPECT_EQ(t.result, r.reason == 0 ? 1 : 0);
    EXPECT_EQ(t.reason, r.reason);
    EXPECT_EQ(Printable(t.text), Printable(r.expected.empty() ? r.input : r.expected));
  }
}
