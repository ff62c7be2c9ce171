// Clause scanner: token streams with the input position after each token (which shows how far
// every match read ahead), the positions recorded for the translators, moving about in the text,
// the end of the text across restarts, overflow and long numbers.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "scanner/keywords.h"
#include "scanner/scanner_state.h"
#include "support/utf16.h"

using testutil::Printable;
using testutil::Text;

namespace {

// A scanner over a copy of the text in a block of exactly its length plus the terminator, so
// that the sanitizer catches any read outside it, with the user's two text buffers.
struct Scan {
  std::unique_ptr<uint16_t[]> text;
  uint16_t token[kTokenTextCapacity] = {}, prev[kTokenTextCapacity] = {};
  ScannerState* s = createScanner(nullptr);

  explicit Scan(std::u16string_view input) : text(new uint16_t[input.size() + 1]) {
    std::copy(input.begin(), input.end(), text.get());
    text[input.size()] = 0;
    s->textStart = s->inputPos = text.get();
    s->tokenText = token;
    s->prevTokenText = prev;
    restartAt(s, text.get());
  }
  ~Scan() { destroyScanner(s); }
  long at(const uint16_t* p) const { return p == nullptr ? -1 : long(p - text.get()); }
};

struct Tok {
  int32_t code;
  long pos;                       // inputPos after the token
  std::u16string_view text = {};  // as its users read it; empty: not checked
  uint32_t fn = 0;                // functionCode after it (never cleared in between)
};

TEST(ClauseScanner, TokenStreams) {
  const struct {
    std::u16string_view input;
    std::vector<Tok> tokens;  // then the end of the text
  } cases[] = {
      // clang-format off
      // No read-ahead for punctuation, "}", "*)--", "*/"; one for "." and for a name.
      {u":;=?@)(}", {{T_COLON, 1}, {T_SEMICOLON, 2}, {T_EQUALS, 3}, {T_QMARK, 4}, {'@', 5},
                     {T_RPAREN, 6}, {T_LPAREN, 7}, {T_CLAUSE_END, 8, u"}"}}},
      {u"*)--x", {{T_CLAUSE_END, 4, u"*)--"}, {T_NAME, 5, u"x"}}},
      {u"*)-x", {{'*', 4}, {T_RPAREN, 4}, {'-', 4}, {T_NAME, 4, u"x"}}},
      {u".x", {{T_DOT, 2}, {T_NAME, 2, u"x"}}},
      {u"/* */*", {{T_COMMENT_OPEN, 3, u"/* "}, {T_COMMENT_CLOSE, 5, u"*/"}, {'*', 6}}},
      {u"/*+", {{'/', 3}, {'*', 3}, {'+', 3}}},
      // Openings: only the time opening reads on, to see whether S follows.
      {u"{t {ts'x'", {{T_TIME, 3, u"{t"}, {T_TIMESTAMP, 6, u"{ts"}, {T_STRING, 9, u"'x'"}}},
      {u"{d'x'", {{T_DATE, 2, u"{d"}, {T_STRING, 5, u"'x'"}}},
      {u"{\rfn", {{'{', 2}, {T_NAME, 4, u"fn"}}},  // no carriage return inside an opening
      {u"{\n\tFnx", {{T_FN, 5, u"{\n\tFn"}, {T_NAME, 6, u"x"}}},
      {u"{escape '\\'", {{T_ESCAPE, 7, u"{escape"}, {T_STRING, 11, u"'\\'"}}},
      {u"{ ? = CALL{call", {{T_RETCALL, 10, u"{ ? = CALL"}, {T_CALL, 15, u"{call"}}},
      {u"{resultset 1", {{T_RESULTSET, 10, u"{resultset"}, {T_NUMBER, 12, u" 1"}}},
      {u"{?=1", {{'{', 4}, {T_QMARK, 4}, {T_EQUALS, 4}, {T_NUMBER, 4, u"1"}}},
      {u"--(*vendor(a),product(b) fn x", {{T_FN, 27}, {T_NAME, 29, u"x"}}},
      {u"--(*VENDOR ( Microsoft ),PRODUCT\t(ODBC)call p",
       {{T_CALL, 43, u"--(*VENDOR ( Microsoft ),PRODUCT\t(ODBC)call"}, {T_NAME, 45, u"p"}}},
      // A blank before the comma: no opening; everything read comes back piece by piece.
      {u"--(*vendor(a) ,product(b) fn",
       {{'-', 14}, {'-', 14}, {T_LPAREN, 14}, {'*', 14}, {T_NAME, 14, u"vendor"}, {T_LPAREN, 14},
        {T_NAME, 14, u"a"}, {T_RPAREN, 14}, {T_COMMA, 15}, {T_NAME, 23, u"product"},
        {T_LPAREN, 23}, {T_NAME, 25, u"b"}, {T_RPAREN, 25}, {T_NAME, 28, u"fn"}}},
      {u"--(*vendor(\n),product(b)d",  // no line feed in vendor or product text
       {{'-', 12}, {'-', 12}, {T_LPAREN, 12}, {'*', 12}, {T_NAME, 12, u"vendor"}, {T_LPAREN, 12},
        {T_RPAREN, 13}, {T_COMMA, 14}, {T_NAME, 22, u"product"}, {T_LPAREN, 22}, {T_NAME, 24},
        {T_RPAREN, 24}, {T_NAME, 25, u"d"}}},
      // Line comments stop before their line feed, unless only blanks follow "--" or "--(":
      // then the white space after the line feed goes too, and with it the number's blanks.
      {u"--  \n \n 5", {{T_NUMBER, 9, u"5"}}},  {u"-- x\n  5", {{T_NUMBER, 8, u"  5"}}},
      {u"--(\n 5", {{T_NUMBER, 6, u"5"}}},      {u"--( x\n 5", {{T_NUMBER, 8, u" 5"}}},
      {u"a--", {{T_NAME, 2, u"a"}}},  // the end's blank completes the comment
      // Strings and quoted names.
      {u"'a''b' ''", {{T_STRING, 7, u"'a''b'"}, {T_STRING, 9, u"''"}}},
      {u"N'a'n'a'", {{T_STRING, 5, u"N'a'"}, {T_NAME, 6, u"n"}, {T_STRING, 8, u"'a'"}}},
      {u"'abc", {{'\'', 4}, {T_NAME, 4, u"abc"}}},
      {u"'a\nb'", {{'\'', 3}, {T_NAME, 3, u"a"}, {T_NAME, 5, u"b"}, {'\'', 5}}},
      {u"\"a\nb\"", {{'"', 3}, {T_NAME, 3, u"a"}, {T_NAME, 5, u"b"}, {'"', 5}}},
      {u"\"a\"\"b\" \"\"", {{T_NAME, 7, u"\"a\"\"b\""}, {'"', 9}, {'"', 9}}},
      // Numbers: blanks and tabs before the digits belong to them; "5e" reads two ahead.
      {u"5e,", {{T_NUMBER, 3, u"5"}, {T_NAME, 3, u"e"}, {T_COMMA, 3}}},
      {u"5e+,", {{T_NUMBER, 4, u"5"}, {T_NAME, 4, u"e"}, {'+', 4}, {T_COMMA, 4}}},
      {u"5e+3,1.2.3", {{T_NUMBER, 5, u"5e+3"}, {T_COMMA, 5}, {T_NUMBER, 9, u"1.2"},
                       {T_NUMBER, 10, u".3"}}},
      {u"-\t 5", {{T_NUMBER, 4, u"-\t 5"}}},  {u"a-5", {{T_NAME, 2, u"a"}, {T_NUMBER, 3, u"-5"}}},
      // Keyword words: any case, not inside a longer name nor a prefix of one; the code stays
      // until the next one with a code ("with" has none).
      {u"log10 CONCATX ConCat LOG1 with SQL_TYPE_TIMESTAMP pi",
       {{T_NAME, 6, u"log10", 0x21004}, {T_NAME, 14, u"CONCATX", 0x21004},
        {T_NAME, 21, u"ConCat", 0x21001}, {T_NAME, 26, u"LOG1", 0x21001},
        {T_NAME, 31, u"with", 0x21001}, {T_NAME, 50, u"SQL_TYPE_TIMESTAMP", 0x25016},
        {T_NAME, 52, u"pi", 0x23002}}},
      {u"begin END beginX a#b$", {{T_BEGIN, 6}, {T_END, 10}, {T_NAME, 17, u"beginX"},
                                  {T_NAME, 21, u"a#b$"}}},
      // Characters outside the passed set: the automaton sees 'Z', captures hold the original.
      {u"x\u00e9y \u0001\u007f b\u00e9", {{T_NAME, 4, u"x\u00e9y"}, {T_NAME, 7, u"\u0001\u007f"},
                                          {T_NAME, 9, u"b\u00e9"}}},
      // The capture of 'x' accounts for the é read ahead of it; read again, é is 'Z'.
      {u"'x'\u00e9", {{T_STRING, 4, u"'x'"}, {T_NAME, 4, u"Z"}}},
      // After a comment with é, "e" is taken from its own place in the statement although "+x"
      // was read past it.
      {u"--\u00e9\n5e+x", {{T_NUMBER, 8, u"5"}, {T_NAME, 8, u"e"}, {'+', 8}, {T_NAME, 8, u"x"}}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.input));
    Scan scan(c.input);
    for (const Tok& t : c.tokens) {
      SCOPED_TRACE(Printable(t.text));
      ASSERT_EQ(nextToken(scan.s), t.code);
      const uint16_t* text = t.code == T_NUMBER                       ? scan.s->numberText
                             : t.code == T_NAME || t.code == T_STRING ? scan.s->tokenText
                                                                      : scan.s->matchText;
      if (!t.text.empty()) {
        EXPECT_EQ(Text(text), t.text);
      }
      EXPECT_EQ(scan.at(scan.s->inputPos), t.pos);
      EXPECT_EQ(scan.s->functionCode, t.fn);
    }
    EXPECT_EQ(nextToken(scan.s), 0);
    EXPECT_EQ(nextToken(scan.s), 0);
  }
}

TEST(ClauseScanner, RecordedPositions) {
  const struct {
    std::u16string_view input;
    int prescan;
    int32_t until;  // scan up to the first token of this code
    long openingPos, afterKeyword, clauseStart, terminatorLength;  // -1: not set
  } cases[] = {
      {u"{fn CONCAT(", 0, T_FN, 0, 3, -1, 0},
      {u"x {t '1'}", 0, T_TIME, 2, 5, -1, 0},  // one further: T reads ahead
      {u"x {t", 0, T_TIME, 2, 4, -1, 0},       // ... but not past the end
      {u"  --(*vendor(a),product(b) d '1' *)--", 0, T_DATE, 2, 28, -1, 0},
      {u"{?={fn", 0, T_FN, 3, 6, -1, 0},  // "{" read again from pushback
      // Read again after a failed long opening, with " x(" still waiting in pushback.
      {u"--(*vendor({fn x(", 0, T_FN, 11, 14, -1, 0},
      {u"{d '1' *)--", 0, T_CLAUSE_END, 0, 2, -1, 4},
      {u"{d '1'}", 0, T_CLAUSE_END, 0, 2, -1, 1},
      {u"select BEGIN x", 1, T_BEGIN, -1, -1, 7, 0},
      {u"select BEGIN x", 0, T_BEGIN, -1, -1, -1, 0},
      {u"x{ ?=call p}", 1, T_RETCALL, -1, -1, 1, 0},
      {u"a --(*vendor(x),product(y) call p *)--", 1, T_CALL, -1, -1, 2, 0},
      {u"{resultset 1", 1, T_RESULTSET, -1, -1, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.input));
    Scan scan(c.input);
    scan.s->prescan = c.prescan;
    int32_t token;
    while ((token = nextToken(scan.s)) != c.until) ASSERT_GT(token, 0);
    EXPECT_EQ((std::vector{scan.at(scan.s->openingPos), scan.at(scan.s->afterKeyword),
                           scan.at(scan.s->clauseStart), long(scan.s->terminatorLength)}),
              (std::vector{c.openingPos, c.afterKeyword, c.clauseStart, c.terminatorLength}));
  }
}

TEST(ClauseScanner, PeekStepBackRestart) {
  Scan scan(u"a\u00e9\t");
  ScannerState* s = scan.s;
  EXPECT_EQ(peekChar(s), 'a');
  s->inputPos = scan.text.get() + 1;
  EXPECT_EQ(peekChar(s), 'Z');
  EXPECT_EQ(s->foreignSeen, 0);
  EXPECT_EQ(scan.at(s->inputPos), 1);
  s->inputPos = scan.text.get() + 3;
  EXPECT_EQ(peekChar(s), kNoChar);
  for (int32_t expected : {'\t', 'Z', 'a'}) EXPECT_EQ(stepBack(s), expected);
  EXPECT_EQ(stepBack(s), kNoChar);  // never before textStart
  EXPECT_EQ(scan.at(s->inputPos), 0);

  Scan number(u"5ex y");  // "ex" waits in pushback after the number
  ASSERT_EQ(nextToken(number.s), T_NUMBER);
  restartAt(number.s, number.text.get() + 2);
  ASSERT_EQ(nextToken(number.s), T_NAME);
  EXPECT_EQ(Text(number.s->tokenText), u"x");
  ASSERT_EQ(nextToken(number.s), T_NAME);
  EXPECT_EQ(Text(number.s->prevTokenText), u"x");
  EXPECT_EQ(number.s->prevTokenLength, 1u);
}

// The end reads as one blank only once per state: a later scan meets the end itself.
TEST(ClauseScanner, EndSeenAcrossRestarts) {
  Scan scan(u"--");
  EXPECT_EQ(nextToken(scan.s), 0);  // "--" and the blank: a comment
  restartAt(scan.s, scan.text.get());
  for (int32_t expected : {'-', '-', '\0'}) EXPECT_EQ(nextToken(scan.s), expected);

  uint16_t* tokenText = scan.s->tokenText;
  resetScanner(scan.s);  // as new, keeping the user's buffers
  EXPECT_EQ(scan.s->tokenText, tokenText);
  scan.s->textStart = scan.text.get();
  restartAt(scan.s, scan.text.get());
  EXPECT_EQ(nextToken(scan.s), 0);

  Scan time(u"{t");
  for (int32_t expected : {T_TIME, 0}) ASSERT_EQ(nextToken(time.s), expected);
  restartAt(time.s, time.text.get());
  for (int32_t expected : {T_TIME, 0}) EXPECT_EQ(nextToken(time.s), expected);
}

TEST(ClauseScanner, OverflowReportsOnceAndEndsTheScan) {
  // A name and the one character read past it must fit 4095 places.
  const std::u16string fits(kMatchCapacity - 2, u'a');
  for (const std::u16string& text : {fits + u",", fits + u"a,", u"--" + fits}) {
    const bool overflows = text.size() == kMatchCapacity;
    Scan scan(text);
    testing::internal::CaptureStdout();
    EXPECT_EQ(nextToken(scan.s), overflows ? kTokenOverflow : T_NAME);
    EXPECT_EQ(scan.s->tokenLength, overflows ? 0 : fits.size());
    EXPECT_EQ(nextToken(scan.s), overflows ? kTokenOverflow : T_COMMA);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              overflows ? "Input string too long, limit 4096\n" : "");
    restartAt(scan.s, scan.text.get() + text.size() - 2);
    EXPECT_EQ(nextToken(scan.s), T_NAME);
  }
}

TEST(ClauseScanner, LongNumbers) {
  const std::u16string digits31 = u"1234567890123456789012345678901", sevens(31, u'7');
  const std::tuple<std::u16string, std::u16string, int> cases[] = {
      {digits31, digits31, 0},
      {u"-" + std::u16string(40, u' ') + u"5", u"-5", 0},  // the blanks go first
      {sevens + u"7", sevens, 1},                          // one too long
  };
  for (const auto& [input, text, truncated] : cases) {
    Scan scan(input);
    ASSERT_EQ(nextToken(scan.s), T_NUMBER);
    EXPECT_EQ(Text(scan.s->numberText), text);
    EXPECT_EQ(scan.s->numberLength, text.size());
    EXPECT_EQ(scan.s->numberTruncated, truncated);
  }
}

}  // namespace

// The keyword lookup finds every word of the table in any case, and nothing else: no longer word,
// no part of one, no word with a character outside ASCII.
TEST(Keywords, Lookup) {
  for (const KeywordEntry& k : kKeywords) {
    std::u16string upper(k.word.begin(), k.word.end()), lower, mixed;
    for (size_t i = 0; i < upper.size(); ++i) {
      const char16_t c = upper[i];
      const char16_t l = c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c;
      lower += l;
      mixed += i % 2 == 0 ? c : l;
    }
    for (const std::u16string& word : {upper, lower, mixed}) {
      const auto* units = reinterpret_cast<const uint16_t*>(word.data());
      EXPECT_EQ(findKeyword(units, word.size()), &k) << Printable(word);
      const std::u16string longer = word + u"X";
      EXPECT_EQ(findKeyword(reinterpret_cast<const uint16_t*>(longer.data()), longer.size()),
                nullptr)
          << Printable(longer);
    }
  }
  for (std::u16string_view other :
       {u"", u"A", u"UCASEX", u"UCAS", u"XABS", u"U\u00c7ASE", u"SQL_TYPE_TIMESTAMPS", u"abs1"}) {
    EXPECT_EQ(findKeyword(reinterpret_cast<const uint16_t*>(other.data()), other.size()), nullptr)
        << Printable(other);
  }
}
