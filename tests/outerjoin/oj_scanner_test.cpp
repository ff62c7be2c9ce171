// The outer-join scanner: token streams with the scanning modes that tell table, column and
// function-argument names apart, numbers with their signs and blanks, the opener and closer in
// both forms with the positions they mark, captured texts (wide characters as written, texts too
// long for their fields), and the overflow of a match.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "outerjoin/oj_scanner.h"
#include "support/utf16.h"

using testutil::Printable;

namespace {

struct ScanFree {
  void operator()(OuterJoinScanState* s) const { ojScanFree(s); }
};
using Scan = std::unique_ptr<OuterJoinScanState, ScanFree>;

Scan Start(const std::u16string& text) {
  Scan s(ojScanCreate(nullptr));
  const auto* p = reinterpret_cast<const uint16_t*>(text.c_str());
  s->textStart = p;
  ojRestartAt(s.get(), p);
  return s;
}

std::string Name(int32_t code) {
  switch (code) {
    case oj::AND: return "AND";
    case oj::OR: return "OR";
    case oj::LEFT: return "LEFT";
    case oj::RIGHT: return "RIGHT";
    case oj::FULL: return "FULL";
    case oj::INNER: return "INNER";
    case oj::OUTER: return "OUTER";
    case oj::JOIN: return "JOIN";
    case oj::ON: return "ON";
    case oj::AS: return "AS";
    case oj::COLUMN_NAME: return "col";
    case oj::QUOTED_COLUMN_NAME: return "qcol";
    case oj::ARG_NAME: return "arg";
    case oj::TABLE_NAME: return "tab";
    case oj::QUOTED_TABLE_NAME: return "qtab";
    case oj::NUMBER: return "num";
    case oj::STRING: return "str";
    case oj::OJ_OPEN: return "OPEN";
    case oj::OJ_CLOSE: return "CLOSE";
    case oj::WHERE: return "WHERE";
    case oj::HAVING: return "HAVING";
    case oj::ORDER: return "ORDER";
    case oj::GROUP: return "GROUP";
    case oj::UNION: return "UNION";
    case oj::INTERSECT: return "INTERSECT";
    case oj::kOverflow: return "OVERFLOW";
    default: break;
  }
  // Punctuation by its character: 274 "+" ... 291 "-"; anything else is its own code.
  static constexpr char kPunct[] = "+:,/.=>G(<L*N_?_)-";
  if (code >= oj::PLUS && code <= oj::MINUS) {
    const char c = kPunct[code - oj::PLUS];
    if (c == 'G') return ">=";
    if (c == 'L') return "<=";
    if (c == 'N') return "<>";
    return std::string(1, c);
  }
  return "#" + std::to_string(code);
}

// The tokens up to the end, with the last name's or string's text and the last number's text
// after each "tab", "col", "arg", "str" or "num" in brackets.
std::string Tokens(const std::u16string& text) {
  Scan s = Start(text);
  std::string out;
  for (int n = 0; n < 100; ++n) {
    const int32_t code = ojNextToken(s.get());
    if (code == 0) break;
    if (!out.empty()) out += ' ';
    out += Name(code);
    if (code == oj::NUMBER) out += "[" + Printable(testutil::Text(s->numberText)) + "]";
    if (code == oj::STRING || code == oj::QUOTED_TABLE_NAME || code == oj::ARG_NAME ||
        code == oj::QUOTED_COLUMN_NAME || code == oj::TABLE_NAME || code == oj::COLUMN_NAME)
      out += "[" + Printable(testutil::Text(s->tokenText)) + "]";
    if (code == oj::kOverflow) break;
  }
  return out;
}

TEST(OuterJoinScanner, TokenStreams) {
  const struct {
    std::u16string input;
    std::string tokens;
  } cases[] = {
      {u"{oj t1 LEFT OUTER JOIN t2 ON t1.a=t2.b}",
       "OPEN tab[t1] LEFT OUTER JOIN tab[t2] ON col[t1] . col[a] = col[t2] . col[b] CLOSE"},
      // Names by mode: after AS and JOIN tables, after AND, OR and comparisons columns; a "("
      // right after a column opens a function call, one after a blank does not.
      {u"t AS x ON nvl(x, 0) = f (y)",
       "tab[t] AS tab[x] ON col[nvl] ( arg[x] , num[ 0] ) = col[f] ( tab[y] )"},
      {u"ON a=b AND c<>d OR e>=f", "ON col[a] = col[b] AND col[c] <> col[d] OR col[e] >= col[f]"},
      {u"ON g(h.i, :1, ?) < 2", "ON col[g] ( arg[h] . arg[i] , : num[1] , ? ) < num[ 2]"},
      // Numbers keep their sign and the blanks between it and their digits ("- 1" is one
      // number), and blanks before digits without a sign.
      {u"ON a = -1 AND b = 1 AND c = - 1.5e-3 AND d=.5",
       "ON col[a] = num[-1] AND col[b] = num[ 1] AND col[c] = num[- 1.5e-3] AND col[d] = "
       "num[.5]"},
      // A blank ends "just after a column name": the names after it are read as tables.
      {u"ON a + b * c/d", "ON col[a] + tab[b] * tab[c] / tab[d]"},
      // Keywords ignore case and win over names only at equal length.
      {u"OUTERX or Or oN jOiN LEFTish",
       "tab[OUTERX] OR OR ON JOIN tab[LEFTish]"},
      {u"where HAVING Order group UNION intersect INNER FULL RIGHT",
       "WHERE HAVING ORDER GROUP UNION INTERSECT INNER FULL RIGHT"},
      // Quoted names and strings, "" and '' inside; N before a string.
      {u"\"a\"\"b\" ON \"c\" = N'it''s' AND x = ''",
       "qtab[\"a\"\"b\"] ON qcol[\"c\"] = str[N'it''s'] AND col[x] = str['']"},
      // Long form, comments (a "--(" not followed by "*" too), and "--(*" without a vendor.
      {u"--(*vendor(Microsoft),product(ODBC) oj t1 *)-- -- x\nt2 --(y\nt3",
       "OPEN tab[t1] CLOSE tab[t2] tab[t3]"},
      {u"--(*x", "- - ( * tab[x]"},
      {u"{ \n OJ a} {o", "OPEN tab[a] CLOSE #123 tab[o]"},
      {u"a;b!c", "tab[a] #59 tab[b] #33 tab[c]"},
      // A character above U+007E reads as a letter and is captured as written.
      {u"ON na\u00efve = \u00e9t\u00e9", "ON col[na\\u00EFve] = col[\\u00E9t\\u00E9]"},
      {u"\"T1\"\u00e4 x", "qtab[\"T1\"] tab[\\u00E4] tab[x]"},  // read ahead of the quoted name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.input));
    EXPECT_EQ(Tokens(c.input), c.tokens);
  }
}

TEST(OuterJoinScanner, MarkedOpenerAndCloser) {
  for (const std::u16string prefix : {u"{oj", u"{\t\nOJ", u"--(*vendor(a b),product( c) oj"}) {
    for (const std::u16string closer : {u"}", u"*)--"}) {
      const std::u16string text = u"x  " + prefix + u" t " + closer + u" y";
      SCOPED_TRACE(Printable(text));
      Scan s = Start(text);
      const uint16_t* base = s->textStart;
      s->markOpener = 1;
      ASSERT_EQ(ojNextToken(s.get()), oj::TABLE_NAME);
      ASSERT_EQ(ojNextToken(s.get()), oj::OJ_OPEN);
      EXPECT_EQ(s->clauseStart - base, 3);
      EXPECT_EQ(s->scanMode, kModeTable);
      s->markCloser = 1;
      ASSERT_EQ(ojNextToken(s.get()), oj::TABLE_NAME);
      ASSERT_EQ(ojNextToken(s.get()), oj::OJ_CLOSE);
      EXPECT_EQ(s->closerSeen, 1);
      EXPECT_EQ(s->clauseEnd - base, ptrdiff_t(text.size() - 2));
    }
  }
}

TEST(OuterJoinScanner, TextsTooLongForTheirFields) {
  const std::u16string longName(300, u'n'), longNumber(40, u'7');
  const std::u16string text = u"ON " + longName + u" = " + longNumber + u" AND b = 1";
  Scan s = Start(text);
  ASSERT_EQ(ojNextToken(s.get()), oj::ON);
  ASSERT_EQ(ojNextToken(s.get()), oj::COLUMN_NAME);
  EXPECT_EQ(s->tokenTooLong, 1);
  EXPECT_EQ(s->tokenLength, kOjTokenTextCapacity - 1);
  ASSERT_EQ(ojNextToken(s.get()), oj::EQ);
  ASSERT_EQ(ojNextToken(s.get()), oj::NUMBER);
  EXPECT_EQ(s->numberTooLong, 1);
  ASSERT_EQ(ojNextToken(s.get()), oj::AND);
  ASSERT_EQ(ojNextToken(s.get()), oj::COLUMN_NAME);  // the next capture is whole again
  EXPECT_EQ(s->tokenTooLong, 0);
  EXPECT_EQ(s->prevTokenTooLong, 1);
  ASSERT_EQ(ojNextToken(s.get()), oj::EQ);
  ASSERT_EQ(ojNextToken(s.get()), oj::NUMBER);
  EXPECT_EQ(s->numberTooLong, 0);

  // Blanks that push a number past its field are dropped first.
  const std::u16string spaced = u"= -" + std::u16string(40, u' ') + u"5";
  Scan blanks = Start(spaced);
  ASSERT_EQ(ojNextToken(blanks.get()), oj::EQ);
  ASSERT_EQ(ojNextToken(blanks.get()), oj::NUMBER);
  EXPECT_EQ(testutil::Text(blanks->numberText), u"-5");
  EXPECT_EQ(blanks->numberTooLong, 0);
}

TEST(OuterJoinScanner, OverflowStopsTheScan) {
  const std::u16string text = u"a '" + std::u16string(5000, u'x') + u"' b";
  Scan s = Start(text);
  std::FILE* sink = std::tmpfile();
  s->lex.diagnostics = sink;
  EXPECT_EQ(ojNextToken(s.get()), oj::TABLE_NAME);
  EXPECT_EQ(ojNextToken(s.get()), oj::kOverflow);
  EXPECT_EQ(ojNextToken(s.get()), oj::kOverflow);
  char line[64] = {};
  std::rewind(sink);
  ASSERT_NE(std::fgets(line, sizeof line, sink), nullptr);
  EXPECT_STREQ(line, "Input string too long, limit 4096\n");
  std::fclose(sink);
}

TEST(OuterJoinScanner, PeekAndStepBack) {
  const std::u16string text = u"a\u00e9";
  Scan s = Start(text);
  EXPECT_EQ(ojPeekChar(s.get()), 'a');
  EXPECT_EQ(ojStepBack(s.get()), -1);  // nothing before the start
  ASSERT_EQ(ojNextToken(s.get()), oj::TABLE_NAME);
  EXPECT_EQ(ojPeekChar(s.get()), -1);  // the name and its end blank read everything
  EXPECT_EQ(ojStepBack(s.get()), 'Z');
  EXPECT_EQ(ojStepBack(s.get()), 'a');
}

}  // namespace
