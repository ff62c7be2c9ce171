// The translation driver through the C entry points: control characters, the escape-clause search
// in brace and long form, {escape}, keywords left alone, trailing blanks, parameter markers, the
// OUTPUT arguments of call clauses, the outputs and the capacity rules of the Ex entry point.
#include "support/translate_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using testutil::Blanks;
using testutil::Printable;
using testutil::Translate;
using testutil::TranslateEx;

namespace {

using Case = testutil::TranslationCase;

const std::u16string kPrefix = u"--(*vendor(Microsoft),product(ODBC) ";
const std::u16string kOpen = u"--( vendor(Microsoft),product(ODBC) ";  // without its closer

TEST(Translate, Statements) {
  // p: the opening of a long form for this driver, pb: as many blanks, cb: a closer's blanks.
  const std::u16string &p = kPrefix, pb = Blanks(kPrefix.size()), cb = Blanks(4);
  const std::u16string nested =
      u"--(*vendor(X),product(Y) a --(*vendor(X),product(Y) b *)-- c *)--";
  const std::u16string quoted = u"--(*vendor(X),product(Y) 'a *)--";
  testutil::ExpectTranslations({
      // Control characters and trailing blanks.
      {u"a\tb\nc\rd\ve\ff\001g\037h\177", u"a b c d e f g h\177", 0},
      // CR LF: blank + the line feed; CR CR LF: two blanks + LF; LF CR: two blanks.
      {u"a\r\nb\r\r\nc\n\rd", u"a \nb  \nc  d", 0},
      {u"select 1\r\n", u"select 1 \n", 0},  // a line feed at the end is not trimmed
      // Inside literals nothing changes; a doubled quote toggles twice.
      {u"'a\tb\r\nc\001' \t'x''\ty'", u"'a\tb\r\nc\001'  'x''\ty'", 0},
      {u"x '\t ", u"x '\t", 0},  // only blanks are trimmed: the literal's tab stays
      {u"  \t ", u"", 0},
      {u"", u"", 0},
      // Brace clauses and {escape}.
      {u"{ ESCAPE '\\' }x", u"  ESCAPE '\\'  x", 0},
      {u"{escapement}", u" escapement", 0},           // only the first six letters are checked
      {u"'{escape 'x'}'", u"'{escape 'x'}'", 0},      // the brace lies in a literal
      {u"'*/{escape 'a'}'", u"'*/ escape 'a' '", 0},  // ... that "*/" ended
      {u"{escape '}'}", u" escape ' '}", 0},          // the closing search ignores literals
      {u"{escape 'a'} {x", u" escape 'a'  {x", 0},
      {u"{ {escape 'a'}", u"{  escape 'a'", 0},
      {u"{escape {escape 'a'}}", u" escape  escape 'a'", 0},
      {u"{escape 'a' {x} }", u" escape 'a' {x  }", 0},
      {u"{escape 'a'} 'x {escape 'b'}", u" escape 'a'  'x {escape 'b'}", 0},
      // Keywords no rule accepts; fn and oj followed by a tab, which the literal keeps.
      {u"{resultset 1} {xyz} {} { } {9} {escap 'a'}", u"{resultset 1} {xyz} {} { } {9} {escap 'a'}",
       0},
      {u"'*/{fn\tUCASE(x)} {oj\tt LEFT OUTER JOIN u ON t.a=u.a}'",
       u"'*/{fn\tUCASE(x)} {oj\tt LEFT OUTER JOIN u ON t.a=u.a}'", 0},
      // Long forms: the prefix and "*)--" become blanks; the marker after it is no longer in a
      // comment.
      {u"a " + p + u"escape '\\' *)-- ?", u"a " + pb + u"escape '\\' " + cb + u" :1", 1},
      {u"x " + nested + u" y", u"x " + Blanks(nested.size()) + u" y", 0},
      // Blanking the other vendor's clause removes a quote: the brace clause is then found.
      {quoted + u" {escape 'x'} '", Blanks(quoted.size()) + u"  escape 'x'  '", 0},
      // Missing closer; the dash before the opening is no clause.
      {u"a-" + p + u"escape 'x' b", u"a-" + kOpen + u"escape 'x' b", 0},
      {p + u"escape {escape 'x'} *)-- b", pb + u"escape  escape 'x'  " + cb + u" b", 0},
      // The plain "*)--" search finds one in a literal.
      {p + u"escape '*)--' *)--", pb + u"escape '    ' *)--", 0},
      // Right to left: the right clause takes the only closer.
      {p + u"escape 'a' " + p + u"escape 'b' *)--", kOpen + u"escape 'a' " + pb + u"escape 'b'", 0},
      {u"'--(*vendor(X),product(Y) a *)--'", u"'--(*vendor(X),product(Y) a *)--'", 0},
      // Long forms go before the brace clauses around them.
      {u"{escape 'a' " + p + u"escape 'b' *)-- }", u" escape 'a' " + pb + u"escape 'b'", 0},
      {u"{escape 'a' --(*vendor(X),product(Y) } *)-- b", u"{escape 'a' " + Blanks(31) + u" b", 0},
      {u"--(*vendor(X),product(Y) {escape 'a' *)-- }", u"", 0},
      {u"--(*--(*vendor(X),product(Y)*)--", u"--(", 0},
      // Parameter markers.
      {u":a ?, ? ?", u":a :1, :2 :3", 4},
      {u"'?' \"?\"\"?\" /* ? */ -- ?\r\n?", u"'?' \"?\"\"?\" /* ? */ -- ? \n:1", 1},
      // A line comment running to the end stops on its last character, which is then looked at
      // (after the trailing blanks are cut).
      {u"a -- ?\n", u"a -- :1", 1},
      {u"a -- ? x", u"a -- ? x", 0},
      {u"?--", u":1--", 1},
      // The character right after "*/" is looked at by the marker checks only; "**/" ends too.
      {u"/* c **/? /**/:a", u"/* c **/:1 /**/:a", 2},
      {u"/**/'?' ?", u"/**/':1' ?", 1},
      {u"? '?", u":1 '?", 1},
      {u"? /* ?", u":1 /* ?", 1},
      {u"/*/ ?", u"/*/ ?", 0},
      // Trigger records, assignments and colons without a name.
      {u":NEW.a :old.b : NEW.c :New.d :NEWX :NEW", u":NEW.a :old.b : NEW.c :New.d :NEWX :NEW", 2},
      {u"x := 1, y : = 2", u"x := 1, y : = 2", 0},
      {u"a : ? :?", u"a : :1 ::2", 4},
      {u":'?'", u":':1'", 2},
      // Each check looks at the position the one before it left: no second look at "--" or "/*".
      {u"/**/--? /**//*?*/", u"/**/--:1 /**//*:2*/", 2},
      {u":--? x", u":--:1 x", 2},
      // OUTPUT arguments of a call become "?" before the call parser runs; the block replaces
      // the statement, whose markers were counted.
      {u"{call p(a OUTPUT,b output)}", u"BEGIN p(:1,:2); END;", 2},
      {u"{call p(x, y OUTPUT)}  ", u"BEGIN p(x,:1); END;", 1},
      {u"{call p(a 'x OUTPUT' OUTPUT)}", u"BEGIN p(:1); END;", 1},
      {u"{? = call f(a OUTPUT)}", u"BEGIN :1 := f(:2); END;", 2},
      // Not a call the scanner sees: "{?xcall" is no opening, nor is a clause in a line comment.
      {u"{?xcall f(a OUTPUT)}", u"{:1xcall f(:2       )}", 2},
      {u"{?=x f(a OUTPUT)}", u"{:1=x f(a OUTPUT)}", 1},
      {u"select 1 -- {call p(?)}", u"select 1 -- {call p(?)}", 0},
      {kPrefix + u"?=call f(?) *)--", kPrefix + u"?=call f(?) *)--", 0},  // no such opening
  });
}

// A call clause that does not parse fails with 59; the statement keeps what the clauses before
// the failure did to it (OUTPUT arguments replaced, trailing blanks trimmed) and is not numbered.
TEST(Translate, CallClauseFailures) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"{CALL p OUTPUT}", u"{CALL p OUTPUT}"},
      {u"{call p(OUTPUTX, y)}", u"{call p(?     X, y)}"},
      {u"{call p(?)} x  ", u"{call p(?)} x"},
      {u"{call q} {call p(?)}", u"{call q} {call p(?)}"},  // only one call per statement
      // After "{?=call" the search for the opening has read the end of the text, so a "--" that
      // ends the statement is no longer a comment ("{call p} --" is one).
      {u"{?=call f(?)} --", u"{?=call f(?)} --"},
  };
  for (const auto& [input, expected] : cases) {
    SCOPED_TRACE(Printable(input));
    const auto legacy = Translate(input), ex = TranslateEx(input);
    for (const auto* t : {&legacy, &ex}) {
      EXPECT_EQ(t->result, 0);
      EXPECT_EQ(t->text, expected);
      EXPECT_EQ(t->markers, 0);
    }
    EXPECT_EQ(ex.reason, uint32_t(TVRNSQL_REASON_MALFORMED));
  }
}

// A single active character in a longer statement is found at the edges of the eight-unit steps
// of the whole-text checks and in the tail they leave.
TEST(Translate, ActiveCharacterAtStepEdges) {
  const Case kinds[] = {{u"\001", u" ", 0},    {u"\037", u" ", 0},
                        {u"?", u":1", 1},      {u":a", u":a", 1},
                        {u"--(*", u"--( ", 0}, {u"{escape 'x'}", u" escape 'x' ", 0}};
  std::vector<Case> cases;
  for (const Case& k : kinds) {
    for (size_t at : {0, 1, 6, 7, 8, 9, 36, 37, 38, 39, 40}) {
      const std::u16string left(at, u'x'), right(41 - at, u'y');
      cases.push_back({left + k.input + right, left + k.expected + right, k.markers});
    }
  }
  testutil::ExpectTranslations(cases);
}

// The described arrays are handed out (null without a server) only when describing; with no
// cursor there is no positions array.
TEST(Translate, ArgumentOutputs) {
  for (uint32_t option : {0u, 1u}) {
    SCOPED_TRACE(option);
    auto buf = testutil::Buffer(u"select ? from t");
    uint16_t markers = 7, refCursors = 7, *argTypes = &markers, *positions = &markers;
    uint8_t *attr32 = reinterpret_cast<uint8_t*>(&markers), *attr213 = attr32;
    ASSERT_EQ(ODBCSqlToTVRNSql(nullptr, buf.data(), &markers, &argTypes, &refCursors, &positions,
                               &attr32, &attr213, 8, 0, option, 0, nullptr),
              1);
    EXPECT_EQ(testutil::Text(buf.data()), u"select :1 from t");
    EXPECT_EQ(markers, 1);
    EXPECT_EQ(refCursors, 0);
    EXPECT_EQ(positions, &markers);
    EXPECT_EQ((argTypes == nullptr) + (attr32 == nullptr) + (attr213 == nullptr), 3 * option);
  }
}

TEST(TranslateEx, Capacity) {
  const struct {
    std::u16string input;
    long capacity, result, reason, required, markers;
    std::u16string expected;
  } cases[] = {
      {u"a ? b", 7, 1, 0, 7, 1, u"a :1 b"},
      {u"a ? b", 6, 0, TVRNSQL_REASON_NO_ROOM, 7, testutil::kUnwritten16, u"a ? b"},
      {u"a   ", 5, 1, 0, 2, 0, u"a"},
      // Not terminated within the capacity (with none, the required capacity is not checked).
      {u"a?c", 3, 0, TVRNSQL_REASON_MALFORMED, 0, 0, u"a?c"},
      {u"a?c", 0, 0, TVRNSQL_REASON_MALFORMED, 0, testutil::kUnwritten16, u"a?c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.input) + " / " + std::to_string(c.capacity));
    auto buf = testutil::Buffer(c.input, 8);
    const auto before = buf;
    const auto t = TranslateEx(buf, c.capacity);
    EXPECT_EQ(t.result, c.result);
    EXPECT_EQ(t.reason, c.reason);
    EXPECT_TRUE(c.capacity == 0 || t.required == c.required) << t.required;
    EXPECT_EQ(t.markers, c.markers);
    EXPECT_EQ(t.text, c.expected);
    EXPECT_TRUE(c.result == 1 || buf == before);  // a failure here writes not one unit
    // After a success every unit past the text is a terminator, trimmed blanks included.
    EXPECT_TRUE(c.result == 0 || std::count(buf.begin() + t.text.size(), buf.end(), 0) ==
                                     long(buf.size() - t.text.size()));
  }
}

// 9999 markers number; the 10000th becomes ':' and fails with 59, the rest stays, and the count
// handed back is the one from before the pass.
TEST(TranslateEx, MarkerNumbersRunOut) {
  std::u16string numbered;
  std::vector<size_t> upTo = {0};  // length of the numbers 1..n
  for (int i = 1; i <= 9999; ++i) {
    for (char ch : ":" + std::to_string(i)) numbered += char16_t(ch);
    upTo.push_back(numbered.size());
  }
  std::vector<size_t> counts = {9999};
  for (size_t n = 120; n <= 400; n += 7) counts.push_back(n);  // around the inline working room
  for (size_t n : counts) {
    SCOPED_TRACE(n);
    const auto t = TranslateEx(std::u16string(n, u'?'), upTo[n]);
    EXPECT_EQ(t.result, 1);
    EXPECT_EQ(t.markers, n);
    EXPECT_TRUE(t.text == numbered.substr(0, upTo[n]));
  }
  // The partial translation is copied back where it fits (by the legacy entry point always);
  // where it does not, nothing is written. The reason stays 59 either way.
  const std::u16string input = std::u16string(10000, u'?') + u" ?", partial = numbered + u": ?";
  const auto legacy = Translate(input, numbered.size());
  const auto room = TranslateEx(input, numbered.size()), noRoom = TranslateEx(input, 0);
  for (const auto& t : {legacy, room, noRoom}) EXPECT_EQ(t.result, 0);
  EXPECT_TRUE(legacy.text == partial && room.text == partial && noRoom.text == input);
  EXPECT_EQ(legacy.markers + room.markers, 0);
  EXPECT_EQ(noRoom.markers, testutil::kUnwritten16);
  for (const auto& t : {room, noRoom}) {
    EXPECT_EQ(t.reason, TVRNSQL_REASON_MALFORMED);
    EXPECT_EQ(t.required, partial.size() + 1);
  }
}

}  // namespace
