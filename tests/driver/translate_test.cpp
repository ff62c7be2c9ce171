// The translation driver through the C entry points: control characters, the escape-clause search
// in brace and long form, {escape}, keywords left alone, trailing blanks, parameter markers, the
// OUTPUT arguments of call clauses, the outputs and the capacity rules of the Ex entry point.
#include "support/translate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testutil::Blanks;
using testutil::Translate;
using testutil::TranslateEx;
using testutil::Utf8;

namespace {

struct Case {
  std::u16string input;
  std::u16string expected;
  uint16_t markers;
};

// Every case must succeed with the same text and count through both entry points.
void RunTable(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.input));
    const auto legacy = Translate(c.input);
    EXPECT_EQ(legacy.result, 1);
    EXPECT_EQ(Utf8(legacy.text), Utf8(c.expected));
    EXPECT_EQ(legacy.markers, c.markers);
    EXPECT_EQ(legacy.refCursors, 0);
    const auto ex = TranslateEx(c.input);
    EXPECT_EQ(ex.result, 1);
    EXPECT_EQ(ex.reason, 0u);
    EXPECT_EQ(Utf8(ex.text), Utf8(c.expected));
    EXPECT_EQ(ex.markers, c.markers);
    EXPECT_EQ(ex.required, c.expected.size() + 1);
  }
}

const std::u16string kPrefix = u"--(*vendor(Microsoft),product(ODBC) ";
const size_t kP = kPrefix.size();

TEST(Translate, ControlCharactersAndTrailingBlanks) {
  RunTable({
      {u"a\tb\nc\rd\ve\ff\001g\037h\177", u"a b c d e f g h\177", 0},
      // CR LF: blank + the line feed; CR CR LF: two blanks + LF; LF CR: two blanks.
      {u"a\r\nb\r\r\nc\n\rd", u"a \nb  \nc  d", 0},
      {u"select 1\r\n", u"select 1 \n", 0},  // a line feed at the end is not trimmed
      // Inside literals nothing changes; a doubled quote toggles twice.
      {u"'a\tb\r\nc\001' \t'x''\ty'", u"'a\tb\r\nc\001'  'x''\ty'", 0},
      {u"x '\t ", u"x '\t", 0},  // only blanks are trimmed: the literal's tab stays
      {u"a  \t ", u"a", 0},
      {u"  \t ", u"", 0},
      {u"", u"", 0},
  });
}

TEST(Translate, BraceClauseSearchAndEscape) {
  RunTable({
      {u"a like 'x' {escape '\\'}", u"a like 'x'  escape '\\'", 0},
      {u"{ ESCAPE '\\' }x", u"  ESCAPE '\\'  x", 0},
      {u"{escape 'x'}\r\n", u" escape 'x'  \n", 0},
      {u"{escapement}", u" escapement", 0},           // only the first six letters are checked
      {u"'{escape 'x'}'", u"'{escape 'x'}'", 0},      // the brace lies in a literal
      {u"'*/{escape 'a'}'", u"'*/ escape 'a' '", 0},  // ... that "*/" ended
      {u"{escape '}'}", u" escape ' '}", 0},          // the closing search ignores literals
      {u"{escape '{'}", u" escape '{'", 0},
      {u"{escape 'a'} {x", u" escape 'a'  {x", 0},
      {u"{ {escape 'a'}", u"{  escape 'a'", 0},
      {u"{escape {escape 'a'}}", u" escape  escape 'a'", 0},
      {u"{escape 'a' {x} }", u" escape 'a' {x  }", 0},
      {u"{x '}'} {escape 'a'}", u"{x '}'}  escape 'a'", 0},
      {u"{escape 'a'} 'x {escape 'b'}", u" escape 'a'  'x {escape 'b'}", 0},
      // Keywords no rule accepts, and fn/oj followed by a tab (kept by the literal around them).
      {u"{resultset 1} {xyz} {} { } {9} {escap 'a'}", u"{resultset 1} {xyz} {} { } {9} {escap 'a'}",
       0},
      {u"'*/{fn\tUCASE(x)}'", u"'*/{fn\tUCASE(x)}'", 0},
      {u"'*/{oj\tt LEFT OUTER JOIN u ON t.a=u.a}'", u"'*/{oj\tt LEFT OUTER JOIN u ON t.a=u.a}'", 0},
  });
}

TEST(Translate, LongFormClauses) {
  const std::u16string other = u"--(*vendor(Other),product(ODBC) escape 'x'*)--";
  const std::u16string nested =
      u"--(*vendor(X),product(Y) a --(*vendor(X),product(Y) b *)-- c *)--";
  const std::u16string quoted = u"--(*vendor(X),product(Y) 'a *)--";
  const std::u16string jdbc = u"--(*vendor(Microsoft),product(JDBC) {escape 'x'} *)--";
  const std::u16string spaced = u"--(* VENDOR ( microsoft ) , PRODUCT ( odbc )  ";
  RunTable({
      // The prefix and "*)--" become blanks; the marker after it is no longer in a comment.
      {u"a " + kPrefix + u"escape '\\' *)-- ?",
       u"a " + Blanks(kP) + u"escape '\\' " + Blanks(4) + u" :1", 1},
      {spaced + u"escape 'x'*)--", Blanks(spaced.size()) + u"escape 'x'", 0},
      {u"a " + other + u" b", u"a " + Blanks(other.size()) + u" b", 0},
      {jdbc + u" b", Blanks(jdbc.size()) + u" b", 0},
      {u"x " + nested + u" y", u"x " + Blanks(nested.size()) + u" y", 0},
      // Blanking the other vendor's clause removes a quote: the brace clause is then found.
      {quoted + u" {escape 'x'} '", Blanks(quoted.size()) + u"  escape 'x'  '", 0},
      {u"a " + kPrefix + u"escape 'x' b", u"a --( vendor(Microsoft),product(ODBC) escape 'x' b", 0},
      {kPrefix + u"escape {escape 'x'} *)-- b",
       Blanks(kP) + u"escape  escape 'x'  " + Blanks(4) + u" b", 0},
      // The plain "*)--" search finds one in a literal.
      {kPrefix + u"escape '*)--' *)--", Blanks(kP) + u"escape '    ' *)--", 0},
      {kPrefix + u"escape 'a' " + kPrefix + u"escape 'b' *)--",
       u"--( vendor(Microsoft),product(ODBC) escape 'a' " + Blanks(kP) + u"escape 'b'", 0},
      {kPrefix + u"escape 'a' *)-- " + kPrefix + u"escape 'b'",
       Blanks(kP) + u"escape 'a' " + Blanks(4) + u" --( vendor(Microsoft),product(ODBC) escape 'b'",
       0},
      {u"'--(*vendor(X),product(Y) a *)--'", u"'--(*vendor(X),product(Y) a *)--'", 0},
      // Long forms go before the brace clauses around them.
      {u"{escape 'a' " + kPrefix + u"escape 'b' *)-- }",
       u" escape 'a' " + Blanks(kP) + u"escape 'b'", 0},
      {u"{escape 'a' --(*vendor(X),product(Y) } *)-- b", u"{escape 'a' " + Blanks(31) + u" b", 0},
      {u"--(*vendor(X),product(Y) {escape 'a' *)-- }", u"", 0},
      {u"--(*--(*vendor(X),product(Y)*)--", u"--(", 0},
  });
}

TEST(Translate, ParameterMarkers) {
  std::u16string twelve, twelveOut;
  for (int i = 1; i <= 12; ++i) {
    twelve += u"?,";
    for (char ch : ":" + std::to_string(i) + ",") twelveOut += char16_t(ch);
  }
  RunTable({
      {u"? ? ?", u":1 :2 :3", 3},
      {u":a ?, ?", u":a :1, :2", 3},
      {twelve, twelveOut, 12},
      {u"'?' \"?\" /* ? */ -- ?\r\n?", u"'?' \"?\" /* ? */ -- ? \n:1", 1},
      // A line comment running to the end stops on its last character, which is then looked at.
      {u"a -- ?\n?", u"a -- ? :1", 1},
      {u"a -- x?", u"a -- x:1", 1},
      {u"a -- ? x", u"a -- ? x", 0},
      {u"a -- ?\n", u"a -- :1", 1},
      {u"a -- ?\r\n", u"a -- ? \n", 0},
      {u"?--", u":1--", 1},
      // The character right after "*/" is looked at by the marker checks only.
      {u"/* c */?", u"/* c */:1", 1},
      {u"/* c */:a", u"/* c */:a", 1},
      {u"/**/'?' ?", u"/**/':1' ?", 1},
      {u"/**/\"?\" ?", u"/**/\":1\" ?", 1},
      {u"'a'?", u"'a':1", 1},
      {u"'?''?' ?", u"'?''?' :1", 1},
      {u"? '?", u":1 '?", 1},
      {u"? \"?", u":1 \"?", 1},
      {u"? /* ?", u":1 /* ?", 1},
      {u"/*/ ?", u"/*/ ?", 0},
      // Trigger records, assignments and colons without a name.
      {u":NEW.a :old.b : NEW.c :New.d :NEWX :NEW", u":NEW.a :old.b : NEW.c :New.d :NEWX :NEW", 2},
      {u"x := 1, y : = 2", u"x := 1, y : = 2", 0},
      {u"a :\r\n", u"a : \n", 0},
      {u"a : ?", u"a : :1", 2},
      {u"a :?", u"a ::1", 2},
      {u":'?'", u":':1'", 2},
      // Each check looks at the position the one before it left: no second look at "--" or "/*".
      {u"/**/--? x", u"/**/--:1 x", 1},
      {u"/**//*?*/", u"/**//*:1*/", 1},
      {u":--? x", u":--:1 x", 2},
  });
}

// A single active character anywhere in a longer statement is found, whatever its alignment.
TEST(Translate, ActiveCharacterAtEveryPosition) {
  std::vector<Case> cases;
  for (const Case& k : std::initializer_list<Case>{{u"\001", u" ", 0},
                                                   {u"?", u":1", 1},
                                                   {u":a", u":a", 1},
                                                   {u"--(*", u"--( ", 0},
                                                   {u"{escape 'x'}", u" escape 'x' ", 0}}) {
    for (size_t at = 0; at <= 40; ++at) {
      const std::u16string left(at, u'x'), right(41 - at, u'y');
      cases.push_back({left + k.input + right, left + k.expected + right, k.markers});
    }
  }
  RunTable(cases);
}

// The dispatcher turns OUTPUT arguments of a call into "?" before the call parser runs.
TEST(Translate, OutputArgumentsOfCalls) {
  RunTable({
      {u"{call p(x OUTPUT, y)}", u"{call p(:1       , y)}", 1},
      {u"{call p(a OUTPUT,b output)}", u"{call p(:1       ,:2       )}", 2},
      {u"{call p(x, y OUTPUT)}", u"{call p(x,:1        )}", 1},
      {u"{call p('OUTPUT', x)}", u"{call p('OUTPUT', x)}", 0},
      {u"{call p(OUTPUTX, y)}", u"{call p(:1     X, y)}", 1},
      {u"{call p(a 'x OUTPUT' OUTPUT)}", u"{call p(:1" + Blanks(18) + u")}", 1},
      {u"{?=call f(a OUTPUT)}", u"{:1=call f(:2       )}", 2},
      {u"{?=x f(a OUTPUT)}", u"{:1=x f(a OUTPUT)}", 1},
      {u"{CALL p OUTPUT}", u"{CALL p OUTPUT}", 0},
      {u"{call p(x OUTPUT)} {escape 'a'}", u"{call p(:1       )}  escape 'a'", 1},
  });
}

TEST(Translate, ArgumentOutputs) {
  for (uint32_t option : {0u, 1u}) {
    SCOPED_TRACE(option);
    auto buf = testutil::Buffer(u"select ? from t");
    uint16_t markers = 7, refCursors = 7;
    uint16_t* argTypes = reinterpret_cast<uint16_t*>(&markers);
    uint16_t* positions = argTypes;
    uint8_t* attr32 = reinterpret_cast<uint8_t*>(&markers);
    uint8_t* attr213 = attr32;
    ASSERT_EQ(ODBCSqlToTVRNSql(nullptr, buf.data(), &markers, &argTypes, &refCursors, &positions,
                               &attr32, &attr213, 8, 0, option, 0, nullptr),
              1);
    EXPECT_EQ(testutil::Text(buf.data()), u"select :1 from t");
    EXPECT_EQ(markers, 1);
    EXPECT_EQ(refCursors, 0);
    EXPECT_EQ(positions, reinterpret_cast<uint16_t*>(&markers));  // no cursor, no array
    const bool nulled = option != 0;
    EXPECT_EQ(argTypes == nullptr, nulled);
    EXPECT_EQ(attr32 == nullptr, nulled);
    EXPECT_EQ(attr213 == nullptr, nulled);
  }
}

TEST(TranslateEx, Capacity) {
  struct CapacityCase {
    std::u16string input;
    uint32_t capacity;
    int32_t result;
    uint32_t reason;
    uint32_t required;
    std::u16string expected;
  };
  const CapacityCase cases[] = {
      {u"a ? b", 7, 1, 0, 7, u"a :1 b"},
      {u"a ? b", 6, 0, TVRNSQL_REASON_NO_ROOM, 7, u"a ? b"},
      {u"a   ", 5, 1, 0, 2, u"a"},
      {u"{escape 'x'} ?", 15, 0, TVRNSQL_REASON_NO_ROOM, 16, u"{escape 'x'} ?"},
  };
  for (const CapacityCase& c : cases) {
    SCOPED_TRACE(Utf8(c.input) + " / " + std::to_string(c.capacity));
    auto buf = testutil::Buffer(c.input, 8);
    const auto before = buf;
    const auto t = TranslateEx(buf, c.capacity);
    EXPECT_EQ(t.result, c.result);
    EXPECT_EQ(t.reason, c.reason);
    EXPECT_EQ(t.required, c.required);
    EXPECT_EQ(Utf8(t.text), Utf8(c.expected));
    if (c.result == 0) {
      EXPECT_EQ(buf, before);  // not one unit written
      EXPECT_EQ(t.markers, testutil::kUnwritten16);
    }
  }
  // Not terminated within the capacity: malformed, and left as it is.
  for (uint32_t capacity : {0u, 3u}) {
    std::vector<uint16_t> buf = {'a', '?', 'c', 0};
    const auto t = TranslateEx(buf, capacity);
    EXPECT_EQ(t.result, 0);
    EXPECT_EQ(t.reason, TVRNSQL_REASON_MALFORMED);
    EXPECT_EQ(t.text, u"a?c");
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
  ASSERT_EQ(numbered.size(), 9999u + 9 * 1 + 90 * 2 + 900 * 3 + 9000 * 4);
  for (size_t n = 120; n <= 400; n += 7) {  // around the room of short statements
    SCOPED_TRACE(n);
    const auto t = Translate(std::u16string(n, u'?'), upTo[n]);
    EXPECT_EQ(t.markers, n);
    EXPECT_TRUE(t.text == numbered.substr(0, upTo[n]));
  }
  const auto ok = TranslateEx(std::u16string(9999, u'?'), numbered.size());
  EXPECT_EQ(ok.result, 1);
  EXPECT_EQ(ok.markers, 9999);
  EXPECT_TRUE(ok.text == numbered);

  // The partial translation is copied back where it fits (by the legacy entry point always);
  // where it does not, nothing is written. The reason stays 59 either way.
  const std::u16string input = std::u16string(10000, u'?') + u" ?";
  const std::u16string partial = numbered + u": ?";
  const auto legacy = Translate(input, numbered.size());
  EXPECT_EQ(legacy.result, 0);
  EXPECT_EQ(legacy.markers, 0);
  EXPECT_TRUE(legacy.text == partial);
  for (size_t slack : {numbered.size(), size_t(0)}) {
    auto buf = testutil::Buffer(input, slack);
    const auto ex = TranslateEx(buf, uint32_t(buf.size()));
    EXPECT_EQ(ex.result, 0);
    EXPECT_EQ(ex.reason, TVRNSQL_REASON_MALFORMED);
    EXPECT_EQ(ex.required, partial.size() + 1);
    EXPECT_EQ(ex.markers, slack != 0 ? 0 : testutil::kUnwritten16);
    EXPECT_TRUE(ex.text == (slack != 0 ? partial : input));
  }
}

}  // namespace
