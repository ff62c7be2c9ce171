// Call-clause parser: block, called name, counts and argument list for plain, value-returning,
// long-form and BEGIN ... END; calls; malformed clauses; the name bound; growth and tracing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "call/call_actions.h"
#include "call/call_argument.h"
#include "driver/context.h"
#include "driver/memory.h"
#include "driver/translators.h"
#include "support/trace.h"
#include "support/utf16.h"

using namespace std::string_literals;
using testutil::Buffer;
using testutil::Text;

namespace {

// One list entry. A group's text holds each item with its terminator, then one more terminator.
struct Arg {
  std::u16string text;
  int32_t literal;
  uint16_t isGroup = 0;
  int16_t groupNumber = 0;
  uint16_t itemCount = 0;
  bool operator==(const Arg&) const = default;
};
void PrintTo(const Arg& a, std::ostream* os) {
  *os << testing::PrintToString(a.text) << " literal " << a.literal << " group " << a.isGroup
      << '/' << a.groupNumber << '/' << a.itemCount;
}

struct Outcome {
  Status status = 0;
  uint32_t reason = 0;
  std::u16string statement, block, name;
  uint16_t markers = 0, values = 0;
  std::vector<Arg> args;
  int32_t blockCapacity = 0;
  bool blockBufferKept = false;
};

// Parses with a zeroed server link whose first describe option is `option`, and a replacement
// buffer of `capacity` units when nonzero; copies every output and releases what it was handed.
Outcome Parse(std::u16string_view input, uint32_t option = 0, uint16_t* name = nullptr,
              int32_t capacity = 0) {
  ConversionContext ctx{};
  ServerLink link{};
  link.describeOptions[0] = option;
  ctx.link = &link;
  if (capacity > 0) ctx.rewrittenText = static_cast<uint16_t*>(pMEMAlloc(capacity * 2u, 0));
  ctx.rewrittenCapacity = capacity;
  const uint16_t* before = ctx.rewrittenText;
  std::vector<uint16_t> statement = Buffer(input);
  uint16_t ownName[256] = {};
  if (name == nullptr) name = ownName;
  int32_t count = 0;
  CallArgument* list = nullptr;
  Outcome out;
  out.status = bcoParseCallClause(&ctx, statement.data(), name, &out.markers, &out.values, &count,
                                  &list);
  out.reason = ctx.reason;
  out.statement = Text(statement.data());
  out.name = Text(name);
  if (ctx.rewrittenText != nullptr) out.block = Text(ctx.rewrittenText);
  out.blockCapacity = ctx.rewrittenCapacity;
  out.blockBufferKept = before != nullptr && ctx.rewrittenText == before;
  bcoRelease(&ctx.scratch, ctx.rewrittenText);
  for (int32_t i = 0; out.status == kOk && i < count; ++i) {
    const CallArgument& a = list[i];
    const bool group = a.itemCount > 0;
    size_t n = 0;  // to the terminator, or a group's final one
    while (a.text[n] != 0 || (group && (n == 0 || a.text[n - 1] != 0))) ++n;
    EXPECT_EQ(a.textLength, n - a.itemCount) << "entry " << i << ": characters only";
    out.args.push_back({std::u16string(a.text, a.text + n + group), a.literal, a.isGroup,
                        a.groupNumber, a.itemCount});
  }
  if (out.status == kOk) bcoFreeCallArgs(&ctx.scratch, list, count);
  bcoReleasePool(&ctx.scratch);
  return out;
}

TEST(CallClause, Rewrites) {
  const struct {
    std::u16string input;
    uint32_t option;  // first describe option
    std::u16string block, name;
    uint16_t markers, values;
    std::vector<Arg> args;
    std::u16string after = {};  // the statement afterwards; empty: unchanged
  } rows[] = {
      {u"{call p}", 0, u"BEGIN p; END;", u"p", 0, 0, {}},
      {u"{call p()}", 0, u"BEGIN p; END;", u"p", 0, 0, {}},
      // A number keeps the blanks before its digits; a string keeps its quotes as written.
      {u"{call p(?, 'x', 5)}", 0, u"BEGIN p(:1,'x', 5); END;", u"p", 1, 3,
       {{u":1", 0}, {u"'x'", 1}, {u" 5", 1}}},
      {u"{call p(a, N'(?)', 'it''s', -2.5e+3, default)}", 0,
       u"BEGIN p(a,N'(?)','it''s',-2.5e+3,default); END;", u"p", 0, 5,
       {{u"a", 1}, {u"N'(?)'", 1}, {u"'it''s'", 1}, {u"-2.5e+3", 1}, {u"default", 1}}},
      // A name and a number are one argument; the number brings its sign and the blanks after that.
      {u"{call p(x-1, y - 2, z 5)}", 0, u"BEGIN p(x-1,y- 2,z 5); END;", u"p", 0, 3,
       {{u"x-1", 1}, {u"y- 2", 1}, {u"z 5", 1}}},
      // The caller's own named markers are counted but take no number.
      {u"{?=call f(:3, :a, ?)}", 0, u"BEGIN :1 := f(:3,:a,:2); END;", u"f", 4, 4,
       {{u"=:1", 0}, {u":3", 0}, {u":a", 0}, {u":2", 0}}},
      {u"{ ? = call f}", 0, u"BEGIN :1 := f; END;", u"f", 1, 1, {{u"=:1", 0}}},
      // Unless option 1 is exactly 1, a '?' inside a function call stays as written.
      {u"{call p(g(?), ?)}", 0, u"BEGIN p(g(?),:1); END;", u"p", 1, 2, {{u"g(?)", 1}, {u":1", 0}}},
      {u"{call p(g(?), ?)}", 2, u"BEGIN p(g(?),:1); END;", u"p", 1, 2, {{u"g(?)", 1}, {u":1", 0}}},
      {u"{?=call f(?, g(?))}", 1, u"BEGIN :1 := f(:2,g(:3)); END;", u"f", 3, 3,
       {{u"=:1", 0}, {u":2", 0}, {u"g(:3)", 0}}},
      // Nested parentheses, blanks before '(' dropped, '(' and '?' inside a literal ignored; the
      // second function call has no marker, so it is a literal.
      {u"{call p(g  (h(?, (1)), '(?', ?), k(1))}", 1,
       u"BEGIN p(g(h(:1, (1)), '(?', :2),k(1)); END;", u"p", 2, 2,
       {{u"g(h(:1, (1)), '(?', :2)", 0}, {u"k(1)", 1}}},
      {u"{call exec(user, left(s, 1))}", 0, u"BEGIN exec(user,left(s, 1)); END;", u"exec", 0, 2,
       {{u"user", 1}, {u"left(s, 1)", 1}}},
      // Dotted function names do not replace the called procedure's name.
      {u"{call s.p(t.f(1), a.b.c(?))}", 1, u"BEGIN s.p(t.f(1),a.b.c(:1)); END;", u"s.p", 1, 2,
       {{u"t.f(1)", 1}, {u"a.b.c(:1)", 0}}},
      {u"{call owner.pkg.proc(1)}", 0, u"BEGIN owner.pkg.proc(1); END;", u"owner.pkg.proc", 0, 1,
       {{u"1", 1}}},
      {u"{call \"My Pkg\".\"Proc\"(?)}", 0, u"BEGIN \"My Pkg\".\"Proc\"(:1); END;",
       u"\"My Pkg\".\"Proc\"", 1, 1, {{u":1", 0}}},
      // A group's items join the block's argument list; the group's number does not.
      {u"{call p(?, {resultset 2, a, b})}", 0, u"BEGIN p(:1,a,b); END;", u"p", 1, 3,
       {{u":1", 0}, {u"a\0b\0\0"s, 0, 1, 2, 2}}},
      // Number 0 leaves isGroup 0 but still counts as a group; a number as first item keeps the
      // group number; items carry no literal mark; entries stay in text order.
      {u"{call p({resultset 0, ?}, {resultset 3, 7, x-1, g(?)}, ?)}", 1,
       u"BEGIN p(:1, 7,x-1,g(:2),:3); END;", u"p", 3, 5,
       {{u":1\0\0"s, 0, 0, 0, 1}, {u" 7\0x-1\0g(:2)\0\0"s, 0, 2, 3, 3}, {u":3", 0}}},
      {u"--(*vendor(Microsoft),product(ODBC) call p(?) *)--", 0, u"BEGIN p(:1); END;", u"p", 1, 1,
       {{u":1", 0}}},
      // The opening is found as a token: not inside a literal or a line comment.
      {u"'{call q}' -- {call r}\n {call p}", 0, u"BEGIN p; END;", u"p", 0, 0, {}},
      {u"{call p(?)} -- done\n", 0, u"BEGIN p(:1); END;", u"p", 1, 1, {{u":1", 0}}},
      // Only trailing U+0020 blanks go, in place; a tab stays.
      {u"{call p} \t  ", 0, u"BEGIN p; END;", u"p", 0, 0, {}, u"{call p} \t"},
      // BEGIN ... END; gets only what the call itself adds to the block.
      {u"BEGIN p(?, 1); END;  ", 0, u"p(:1, 1)", u"p", 1, 2, {{u":1", 0}, {u" 1", 1}},
       u"BEGIN p(?, 1); END;"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.input) + " option " + std::to_string(row.option));
    const Outcome out = Parse(row.input, row.option);
    ASSERT_EQ(out.status, kOk) << "reason " << out.reason;
    EXPECT_EQ(out.block, row.block);
    EXPECT_EQ(out.name, row.name);
    EXPECT_EQ(out.markers, row.markers);
    EXPECT_EQ(out.values, row.values);
    EXPECT_EQ(out.statement, row.after.empty() ? row.input : row.after);
    EXPECT_EQ(out.args, row.args);
  }
}

// Each fails as malformed and leaves the statement with its trailing blanks trimmed.
TEST(CallClause, MalformedClausesFail) {
  const std::u16string rows[] = {
      u"{call p} x", u"{call p(?) } ;   ", u"{call p(g(1, 2}", u"{call p(g((1)}",
      u"{call p(g(?, '))')}  ",  // the ')' in the literal do not count
      u"{call a.b.c.d}", u"{call p(a.b)}",  // a dotted name is only allowed before '('
      u"{call p(@x)}", u"{call p(a = 1)}", u"{call p(?,)}", u"{call p(?}", u"{call}",
      u"{call p({resultset 1 a})}", u"BEGIN x := 1; END;", u"BEGIN p; END; x"};
  for (const auto& input : rows) {
    SCOPED_TRACE(testing::PrintToString(input));
    const Outcome out = Parse(input, 1);
    EXPECT_EQ(out.status, kFail);
    EXPECT_EQ(out.reason, kReasonMalformed);
    EXPECT_EQ(out.statement, input.substr(0, input.find_last_not_of(u' ') + 1));
  }
}

// The called name must fit the dispatcher's 256-unit buffer with its terminator; a longer one
// fails, and nothing is written past the buffer.
TEST(CallClause, CalledNameBound) {
  constexpr uint16_t kGuard = 0xBEEF;
  const std::u16string n127(127, u'n'), n255(255, u'n');
  const std::pair<std::u16string, bool> rows[] = {
      {n255, true},
      {n127 + u"." + n127, true},
      {n255 + u"n", false},
      {n127 + u"." + n127 + u"n", false},
      {std::u16string(600, u'n'), false},  // longer than the parser's own name buffer
  };
  for (const auto& [name, fits] : rows) {
    SCOPED_TRACE("name length " + std::to_string(name.size()));
    std::vector<uint16_t> buffer(256 + 64, kGuard);
    const Outcome out = Parse(u"{call " + name + u"(?)}", 0, buffer.data());
    EXPECT_EQ(out.status, fits ? kOk : kFail);
    EXPECT_EQ(out.reason, fits ? 0u : kReasonMalformed);
    if (fits) {
      EXPECT_EQ(out.name, name);
      EXPECT_EQ(out.block, u"BEGIN " + name + u"(:1); END;");
    }
    for (size_t i = 256; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], kGuard) << "unit " << i;
  }
}

// 2000 arguments, markers and literals alternating: the list grows well past its first 8 entries
// and the block past its start (the statement's length + 512), nothing lost or reordered.
TEST(CallClause, TwoThousandArguments) {
  std::u16string input = u"{call p(", block = u"BEGIN p(";
  std::vector<Arg> args;
  for (int i = 0; i < 2000; ++i) {
    const std::string n = std::to_string(i / 2 + 1);
    const std::u16string number(n.begin(), n.end());
    const std::u16string arg = i % 2 == 0 ? u":" + number : u"'v" + number + u"'";
    input += (i > 0 ? u", " : u"") + (i % 2 == 0 ? u"?" : arg);
    block += (i > 0 ? u"," : u"") + arg;
    args.push_back({arg, i % 2});
  }
  input += u")}";
  block += u"); END;";
  ASSERT_GT(block.size() + 256, input.size() + 512);
  const Outcome out = Parse(input);
  ASSERT_EQ(out.status, kOk);
  EXPECT_EQ(out.block, block);
  EXPECT_EQ(out.markers, 1000);
  EXPECT_EQ(out.values, 2000);
  EXPECT_EQ(out.args, args);
}

// With tracing on, the parser's buffers are obtained in their documented order and sizes (bytes),
// right after the scanner's, and the list grows by 8 entries (24 bytes each) at a time.
TEST(CallClause, TracedBuffers) {
  std::u16string input = u"{call p(1";
  for (int i = 2; i <= 9; ++i) input += u",1";
  input += u")}";
  const std::string trace = testutil::CaptureTrace([&] { EXPECT_EQ(Parse(input).status, kOk); });
  std::string sizes;
  for (size_t at = 0; (at = trace.find("pMEMAlloc (size)", at)) != std::string::npos; ++at) {
    sizes += std::to_string(std::stoul(trace.substr(trace.find("0X", at) + 2, 8), nullptr, 16));
    sizes += ' ';
  }
  EXPECT_NE(sizes.find("8192 8192 1024 10240 8192 192 16384 4096 "), std::string::npos) << sizes;
  EXPECT_NE(sizes.find(" 384 "), std::string::npos) << sizes;  // 16 entries after the 8th
}

// Growth: twice the capacity, or capacity + used + 256 when that is more.
TEST(CallClause, GrowTextRule) {
  const struct {
    uint32_t capacity, used, grown;
  } cases[] = {{8192, 7937, 16384}, {8192, 16200, 24648}, {100, 0, 356}, {5120, 5000, 10240}};
  for (const auto& c : cases) {
    uint16_t* text = static_cast<uint16_t*>(pMEMAlloc(c.capacity * 2, 0));
    text[0] = 'x';
    uint32_t capacity = c.capacity;
    ASSERT_EQ(bcoGrowText(nullptr, c.used, &text, &capacity), kOk);
    EXPECT_EQ(capacity, c.grown);
    EXPECT_EQ(text[0], 'x');
    MEMFree(text);
  }
}

// The block goes into the context's replacement buffer, kept when it has room for the block's
// 13 characters and terminator, else replaced.
TEST(CallClause, ReplacementBufferReuse) {
  for (const int32_t capacity : {14, 13}) {
    const Outcome out = Parse(u"{call p}", 0, nullptr, capacity);
    EXPECT_EQ(out.block, u"BEGIN p; END;");
    EXPECT_GE(out.blockCapacity, 14);
    EXPECT_TRUE(out.blockBufferKept || capacity == 13) << capacity;
  }
}

}  // namespace
