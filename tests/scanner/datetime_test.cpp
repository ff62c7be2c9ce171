// Date, time and timestamp literals through the translate entry point: the replacement with its
// format and blanks, the length rules, the timestamp cut, the tail trim, and the failures.
#include <gtest/gtest.h>

#include "support/translate.h"

using testutil::Printable;
using testutil::TranslateEx;

TEST(DateTime, Literals) {
  const struct {
    std::u16string input, expected;  // expected: the statement afterwards (also on failure)
    uint32_t reason;                 // 0: success
  } rows[] = {
      {u"{d '2001-02-03'} FROM T", u" TO_DATE('2001-02-03','YYYY-MM-DD')  FROM T", 0},
      {u"{t '12:30:00'} x", u" TO_DATE('12:30:00','HH24:MI:SS')  x", 0},
      {u"{ts '2001-02-03 12:30:00.123456'}x",
       u" TO_DATE('2001-02-03 12:30:00','YYYY-MM-DD HH24:MI:SS') x", 0},
      {u"{ts '2001-02-03 12:30:00.'}", u" TO_DATE('2001-02-03 12:30:00','YYYY-MM-DD HH24:MI:SS')",
       0},
      {u"{ts '2001-02-03 12:30:00'}", u" TO_DATE('2001-02-03 12:30:00','YYYY-MM-DD HH24:MI:SS')",
       0},
      {u"{ts '2001-02-03 12:30:00.1234567890'}",  // 32 characters
       u"{ts '2001-02-03 12:30:00.1234567890'}", 59},
      {u"{ts '2001-02-03 12:30:0'}", u"{ts '2001-02-03 12:30:0'}", 59},  // 20
      {u"{d ''}", u" TO_DATE('','YYYY-MM-DD')", 0},
      {u"{delete 'abcdefghij'} {tx '12:30:00'}",  // the keyword is not looked at
       u" TO_DATE('abcdefghij','YYYY-MM-DD')   TO_DATE('12:30:00','HH24:MI:SS')", 0},
      {u"{d '2001-02-03' xyz}", u" TO_DATE('2001-02-03','YYYY-MM-DD')", 0},
      {u"{ d\n'2001-02-03'}", u" TO_DATE('2001-02-03','YYYY-MM-DD')", 0},
      {u"--(*vendor(Microsoft),product(ODBC) d '2001-02-03' *)--x",
       u" TO_DATE('2001-02-03','YYYY-MM-DD') x", 0},
      {u"({d '2001-02-03'},{fn abs({d '2001-02-04'})})",
       u"( TO_DATE('2001-02-03','YYYY-MM-DD') ,    abs( TO_DATE('2001-02-04','YYYY-MM-DD') ) )", 0},
      {u"{d 'x'}", u"{d 'x'}", 59},
      {u"{t '12:30'}", u"{t '12:30'}", 59},
      {u"{d N'2001-02-03'}", u"{d N'2001-02-03'}", 59},
      {u"{d 2001}", u"{d 2001}", 59},
      // A rejected literal still leaves the statement's trailing blanks trimmed.
      {u"{d 'x'}   ", u"{d 'x'}", 59},
      // The clause right of the failing one keeps its translation (and loses the tail's blank).
      {u"{d 'x'} a {d '2001-02-03'}", u"{d 'x'} a  TO_DATE('2001-02-03','YYYY-MM-DD')", 59},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(Printable(r.input));
    const auto t = TranslateEx(r.input);
    EXPECT_EQ(t.result, r.reason == 0 ? 1 : 0);
    EXPECT_EQ(t.reason, r.reason);
    EXPECT_EQ(Printable(t.text), Printable(r.expected));
  }
}
