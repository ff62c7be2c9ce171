// Clause scanner: token streams with the input position after each token (which shows how far
// every match read ahead), the positions recorded for the translators, moving about in the text,
// the end of the text across restarts, overflow, long numbers and allocation failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/memory.h"
#include "scanner/scanner_state.h"
#include "support/utf16.h"

namespace {

// The text with control characters and units outside ASCII as \uXXXX, for readable failures.
std::string Printable(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(c));
    out += (c >= 0x20 && c < 0x80) ? std::string(1, char(c)) : escaped;
  }
  return out;
}

// A scanner over a copy of the text in a block of exactly its length plus the terminator, so
// that the sanitizer catches any read outside it, with the user's two text buffers.
struct Scan {
  std::unique_ptr<uint16_t[]> text;
  std::vector<uint16_t> token = std::vector<uint16_t>(kTokenTextCapacity);
  std::vector<uint16_t> prev = std::vector<uint16_t>(kTokenTextCapacity);
  ScannerState* s = createScanner();

  explicit Scan(std::u16string_view input) : text(new uint16_t[input.size() + 1]) {
    std::copy(input.begin(), input.end(), text.get());
    text[input.size()] = 0;
    s->textStart = s->inputPos = text.get();
    s->textEnd = text.get() + input.size();
    s->tokenText = token.data();
    s->prevTokenText = prev.data();
    restartAt(s, text.get());
  }
  ~Scan() { destroyScanner(s); }
  long at(const uint16_t* p) const { return p == nullptr ? -1 : long(p - text.get()); }
  // The token's text as its users read it.
  std::u16string textOf(int32_t code) const {
    if (code == T_NAME || code == T_STRING) return testutil::Text(s->tokenText);
    return testutil::Text(code == T_NUMBER ? s->numberText : s->matchText);
  }
};

struct Tok {
  int32_t code;
  std::u16string_view text;
  long pos;         // inputPos after the token
  uint32_t fn = 0;  // functionCode after it (never cleared in between)
};

TEST(ClauseScanner, TokenStreams) {
  const struct {
    std::u16string_view input;
    std::vector<Tok> tokens;  // then the end of the text
  } cases[] = {
      // clang-format off
      // No read-ahead for punctuation, "}", "*)--", "*/"; one for "." and for a name.
      {u":;=?@)(}", {{T_COLON, u":", 1}, {T_SEMICOLON, u";", 2}, {T_EQUALS, u"=", 3},
                     {T_QMARK, u"?", 4}, {'@', u"@", 5}, {T_RPAREN, u")", 6},
                     {T_LPAREN, u"(", 7}, {T_CLAUSE_END, u"}", 8}}},
      {u"a,b", {{T_NAME, u"a", 2}, {T_COMMA, u",", 2}, {T_NAME, u"b", 3}}},
      {u"*)--x", {{T_CLAUSE_END, u"*)--", 4}, {T_NAME, u"x", 5}}},
      {u"*)-x", {{'*', u"*", 4}, {T_RPAREN, u")", 4}, {'-', u"-", 4}, {T_NAME, u"x", 4}}},
      {u"*/*", {{T_COMMENT_CLOSE, u"*/", 2}, {'*', u"*", 3}}},
      {u".x", {{T_DOT, u".", 2}, {T_NAME, u"x", 2}}},
      // Openings: only the time opening reads on, to see whether S follows.
      {u"{t 'x'}", {{T_TIME, u"{t", 3}, {T_STRING, u"'x'", 7}, {T_CLAUSE_END, u"}", 7}}},
      {u"{ts'x'}", {{T_TIMESTAMP, u"{ts", 3}, {T_STRING, u"'x'", 7}, {T_CLAUSE_END, u"}", 7}}},
      {u"{d'x'", {{T_DATE, u"{d", 2}, {T_STRING, u"'x'", 5}}},
      {u"{fnx", {{T_FN, u"{fn", 3}, {T_NAME, u"x", 4}}},
      {u"{\n\tFn", {{T_FN, u"{\n\tFn", 5}}},
      {u"{escape '\\'}", {{T_ESCAPE, u"{escape", 7}, {T_STRING, u"'\\'", 12},
                          {T_CLAUSE_END, u"}", 12}}},
      {u"{?=call{call", {{T_RETCALL, u"{?=call", 7}, {T_CALL, u"{call", 12}}},
      {u"{ ? = CALL p", {{T_RETCALL, u"{ ? = CALL", 10}, {T_NAME, u"p", 12}}},
      {u"{resultset 1", {{T_RESULTSET, u"{resultset", 10}, {T_NUMBER, u" 1", 12}}},
      {u"{?=1", {{'{', u"{", 4}, {T_QMARK, u"?", 4}, {T_EQUALS, u"=", 4}, {T_NUMBER, u"1", 4}}},
      {u"{ \n x", {{'{', u"{", 5}, {T_NAME, u"x", 5}}},
      {u"--(*vendor(a),product(b) fn x", {{T_FN, u"--(*vendor(a),product(b) fn", 27},
                                          {T_NAME, u"x", 29}}},
      {u"--(*VENDOR ( Microsoft ),PRODUCT\t(ODBC)call p", {{T_CALL, u"", 43},
                                                         {T_NAME, u"p", 45}}},
      // A blank before the comma: no opening; everything read comes back piece by piece.
      {u"--(*vendor(a) ,product(b) fn",
       {{'-', u"-", 14}, {'-', u"-", 14}, {T_LPAREN, u"(", 14}, {'*', u"*", 14},
        {T_NAME, u"vendor", 14}, {T_LPAREN, u"(", 14}, {T_NAME, u"a", 14}, {T_RPAREN, u")", 14},
        {T_COMMA, u",", 15}, {T_NAME, u"product", 23}, {T_LPAREN, u"(", 23}, {T_NAME, u"b", 25},
        {T_RPAREN, u")", 25}, {T_NAME, u"fn", 28}}},
      {u"--(*vendor(\n),product(b)d",  // no line feed in vendor or product text
       {{'-', u"-", 12}, {'-', u"-", 12}, {T_LPAREN, u"(", 12}, {'*', u"*", 12},
        {T_NAME, u"vendor", 12}, {T_LPAREN, u"(", 12}, {T_RPAREN, u")", 13}, {T_COMMA, u",", 14},
        {T_NAME, u"product", 22}, {T_LPAREN, u"(", 22}, {T_NAME, u"b", 24}, {T_RPAREN, u")", 24},
        {T_NAME, u"d", 25}}},
      // Line comments stop before their line feed, unless only blanks follow "--" or "--(":
      // then the white space after the line feed goes too, and with it the number's blanks.
      {u"-- text\nx", {{T_NAME, u"x", 9}}},
      {u"--  \n \nx,", {{T_NAME, u"x", 9}, {T_COMMA, u",", 9}}},
      {u"--\n  5", {{T_NUMBER, u"5", 6}}},
      {u"-- x\n  5", {{T_NUMBER, u"  5", 8}}},
      {u"--(\n 5", {{T_NUMBER, u"5", 6}}},
      {u"--( x\n 5", {{T_NUMBER, u" 5", 8}}},
      {u"--(*x", {{'-', u"-", 5}, {'-', u"-", 5}, {T_LPAREN, u"(", 5}, {'*', u"*", 5},
                  {T_NAME, u"x", 5}}},
      {u"a--", {{T_NAME, u"a", 2}}},  // the end's blank completes the comment
      {u"/* x */", {{T_COMMENT_OPEN, u"/* ", 3}, {T_NAME, u"x", 5}, {T_COMMENT_CLOSE, u"*/", 7}}},
      {u"/*+", {{'/', u"/", 3}, {'*', u"*", 3}, {'+', u"+", 3}}},
      // Strings and quoted names.
      {u"'a''b'", {{T_STRING, u"'a''b'", 6}}},
      {u"N'abc'", {{T_STRING, u"N'abc'", 6}}},
      {u"n'abc'", {{T_NAME, u"n", 2}, {T_STRING, u"'abc'", 6}}},
      {u"''", {{T_STRING, u"''", 2}}},
      {u"'abc", {{'\'', u"'", 4}, {T_NAME, u"abc", 4}}},
      {u"'a\nb'", {{'\'', u"'", 3}, {T_NAME, u"a", 3}, {T_NAME, u"b", 5}, {'\'', u"'", 5}}},
      {u"\"a\"\"b\"", {{T_NAME, u"\"a\"\"b\"", 6}}},
      {u"\"\"", {{'"', u"\"", 2}, {'"', u"\"", 2}}},
      // Numbers: blanks and tabs before the digits belong to them; "5e" reads two ahead.
      {u"5", {{T_NUMBER, u"5", 1}}},
      {u"5,", {{T_NUMBER, u"5", 2}, {T_COMMA, u",", 2}}},
      {u"5e,", {{T_NUMBER, u"5", 3}, {T_NAME, u"e", 3}, {T_COMMA, u",", 3}}},
      {u"5e+,", {{T_NUMBER, u"5", 4}, {T_NAME, u"e", 4}, {'+', u"+", 4}, {T_COMMA, u",", 4}}},
      {u"5e+3,", {{T_NUMBER, u"5e+3", 5}, {T_COMMA, u",", 5}}},
      {u"-\t 5", {{T_NUMBER, u"-\t 5", 4}}},
      {u" 5", {{T_NUMBER, u" 5", 2}}},
      {u"a-5", {{T_NAME, u"a", 2}, {T_NUMBER, u"-5", 3}}},
      {u"1.2.3", {{T_NUMBER, u"1.2", 4}, {T_NUMBER, u".3", 5}}},
      // Keyword words: any case, not inside a longer name; the code stays until the next one.
      {u"concat ConCat CONCATX with",
       {{T_NAME, u"concat", 7, 0x21001}, {T_NAME, u"ConCat", 14, 0x21001},
        {T_NAME, u"CONCATX", 22, 0x21001}, {T_NAME, u"with", 26, 0x21001}}},
      {u"log10 LOG1 sql_char2 SQL_TYPE_TIMESTAMP pi",
       {{T_NAME, u"log10", 6, 0x21004}, {T_NAME, u"LOG1", 11, 0x21004},
        {T_NAME, u"sql_char2", 21, 0x21004}, {T_NAME, u"SQL_TYPE_TIMESTAMP", 40, 0x25016},
        {T_NAME, u"pi", 42, 0x23002}}},
      {u"begin END beginX a#b$", {{T_BEGIN, u"begin", 6}, {T_END, u"END", 10},
                                  {T_NAME, u"beginX", 17}, {T_NAME, u"a#b$", 21}}},
      // Characters outside the passed set: the automaton sees 'Z', captures hold the original.
      {u"x\u00e9y b", {{T_NAME, u"x\u00e9y", 4}, {T_NAME, u"b", 5}}},
      {u"a\u00e9", {{T_NAME, u"a\u00e9", 2}}},
      {u"\u0001", {{T_NAME, u"\u0001", 1}}},
      // The capture of 'x' accounts for the é read ahead of it; read again, é is 'Z'.
      {u"'x'\u00e9", {{T_STRING, u"'x'", 4}, {T_NAME, u"Z", 4}}},
      // After a comment with é, "e" is taken from its own place in the statement although "+x"
      // was read past it.
      {u"--\u00e9\n5e+x", {{T_NUMBER, u"5", 8}, {T_NAME, u"e", 8}, {'+', u"+", 8},
                           {T_NAME, u"x", 8}}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.input));
    Scan scan(c.input);
    for (const Tok& t : c.tokens) {
      SCOPED_TRACE(Printable(t.text));
      ASSERT_EQ(nextToken(scan.s), t.code);
      if (!t.text.empty()) {
        EXPECT_EQ(Printable(scan.textOf(t.code)), Printable(t.text));
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
    EXPECT_EQ(scan.at(scan.s->openingPos), c.openingPos);
    EXPECT_EQ(scan.at(scan.s->afterKeyword), c.afterKeyword);
    EXPECT_EQ(scan.at(scan.s->clauseStart), c.clauseStart);
    EXPECT_EQ(scan.s->terminatorLength, c.terminatorLength);
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
  EXPECT_EQ(testutil::Text(number.s->tokenText), u"x");
  ASSERT_EQ(nextToken(number.s), T_NAME);
  EXPECT_EQ(testutil::Text(number.s->prevTokenText), u"x");
  EXPECT_EQ(number.s->prevTokenLength, 1u);
}

// The end reads as one blank only once per state: a later scan meets the end itself.
TEST(ClauseScanner, EndSeenAcrossRestarts) {
  Scan scan(u"--");
  EXPECT_EQ(nextToken(scan.s), 0);  // "--" and the blank: a comment
  EXPECT_EQ(scan.s->endSeen, 1);
  restartAt(scan.s, scan.text.get());
  EXPECT_EQ(nextToken(scan.s), '-');
  EXPECT_EQ(nextToken(scan.s), '-');
  EXPECT_EQ(nextToken(scan.s), 0);

  uint16_t* tokenText = scan.s->tokenText;
  resetScanner(scan.s);  // as new, keeping the user's buffers
  EXPECT_EQ(scan.s->endSeen, 0);
  EXPECT_EQ(scan.s->tokenText, tokenText);
  scan.s->textStart = scan.text.get();
  restartAt(scan.s, scan.text.get());
  EXPECT_EQ(nextToken(scan.s), 0);

  Scan name(u"{t");
  ASSERT_EQ(nextToken(name.s), T_TIME);
  ASSERT_EQ(nextToken(name.s), 0);
  restartAt(name.s, name.text.get());
  EXPECT_EQ(nextToken(name.s), T_TIME);
  EXPECT_EQ(nextToken(name.s), 0);
}

TEST(ClauseScanner, OverflowReportsOnceAndEndsTheScan) {
  // A name and the one character read past it must fit 4095 places.
  std::u16string fits(kMatchCapacity - 2, u'a');
  Scan ok(fits + u",");
  testing::internal::CaptureStdout();
  EXPECT_EQ(nextToken(ok.s), T_NAME);
  EXPECT_EQ(ok.s->tokenLength, kMatchCapacity - 2);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  for (std::u16string text : {fits + u"a,", u"--" + fits}) {
    Scan scan(text);
    testing::internal::CaptureStdout();
    EXPECT_EQ(nextToken(scan.s), kTokenOverflow);
    EXPECT_EQ(nextToken(scan.s), kTokenOverflow);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Input string too long, limit 4096\n");
    restartAt(scan.s, scan.text.get() + text.size() - 2);
    EXPECT_EQ(nextToken(scan.s), T_NAME);
  }
}

TEST(ClauseScanner, LongNumbers) {
  const struct {
    std::u16string input, text;
    int truncated;
  } cases[] = {
      {u"1234567890123456789012345678901", u"1234567890123456789012345678901", 0},
      {u"-" + std::u16string(40, u' ') + u"5", u"-5", 0},
      {std::u16string(40, u'7'), std::u16string(31, u'7'), 1},
  };
  for (const auto& c : cases) {
    Scan scan(c.input);
    ASSERT_EQ(nextToken(scan.s), T_NUMBER);
    EXPECT_EQ(testutil::Text(scan.s->numberText), c.text);
    EXPECT_EQ(scan.s->numberLength, c.text.size());
    EXPECT_EQ(scan.s->numberTruncated, c.truncated);
  }
}

TEST(ClauseScanner, CreateFailsCleanlyAtEveryAllocation) {
  for (uint64_t n = 1;; ++n) {
    memFailAfter(n);
    ScannerState* s = createScanner();
    const uint64_t made = memAllocationCount();
    memFailAfter(0);
    if (s != nullptr) {
      EXPECT_EQ(n, made + 1);  // every allocation was tried once
      destroyScanner(s);
      break;
    }
    EXPECT_EQ(made, n);  // stopped at the failing one
  }
  destroyScanner(nullptr);
}

}  // namespace
