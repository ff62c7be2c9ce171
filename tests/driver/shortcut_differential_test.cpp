// The translation remembers what it found between clauses (a call parse of an unchanged text, the
// braces and "*)--" after a long form, the stretches of a clause the scanner already read) so that
// statements built to make it rescan cost linear time. With ConversionContext::reference set it
// remembers nothing; these tests run both ways on statements rich in what the shortcuts skip and
// require the same text, status, reason, counts, block and standard output. (Generated
// statements are compared with the whole reference translation in reference_differential_test.)
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver/clause_search.h"
#include "driver/context.h"
#include "driver/markers.h"
#include "driver/memory.h"
#include "driver/text.h"
#include "driver/work_buffer.h"
#include "scanner/scanner_buffers.h"
#include "support/trace.h"
#include "support/utf16.h"

namespace {

using testutil::Printable;

struct Outcome {
  Status status = kOk;
  uint32_t reason = 0;
  std::u16string text, block, out;
  uint16_t markers = 0, values = 0, parsedMarkers = 0, parsedValues = 0;
  int32_t callForm = 0;

  bool operator==(const Outcome&) const = default;
};

// The entry point's steps on the working buffer, with or without the shortcuts; standard output
// (the scanners' overflow message) is captured.
Outcome Translate(const std::u16string& input, bool reference) {
  ServerLink link{};
  ConversionContext ctx{};
  ctx.link = &link;
  ctx.rewriteOutputArgs = 1;
  ctx.reference = reference;
  WorkBuffer wb;
  EXPECT_EQ(wbInit(&wb, std::vector<uint16_t>(input.begin(), input.end())), kOk);
  ctx.work = &wb;
  Outcome o;
  testing::internal::CaptureStdout();
  bcuRemoveControlChars({wb.data, wb.gapStart});
  o.status = bcuReplaceVendorStrings(&ctx);
  if (o.status == kOk) o.status = bcoParseParmMarkers(&ctx, 1);
  const std::string out = testing::internal::GetCapturedStdout();
  o.out.assign(out.begin(), out.end());
  std::vector<uint16_t> text(wbLength(&wb) + 1);
  wbCopyOut(&wb, text.data());
  o.text = testutil::Text(text.data());
  o.reason = o.status == kOk ? 0 : ctx.reason;
  if (ctx.rewrittenText != nullptr) o.block = testutil::Text(ctx.rewrittenText);
  o.markers = ctx.markerCount, o.values = ctx.valueCount;
  o.parsedMarkers = ctx.parsedMarkerCount, o.parsedValues = ctx.parsedValueCount;
  o.callForm = ctx.callForm;
  bcoRelease(&ctx.scratch, ctx.rewrittenText);
  wbRelease(&wb);
  bcoReleaseScratch(&ctx);
  return o;
}

std::string Describe(const Outcome& o) {
  return "status " + std::to_string(o.status) + " reason " + std::to_string(o.reason) +
         " markers " + std::to_string(o.markers) + "/" + std::to_string(o.parsedMarkers) +
         " values " + std::to_string(o.values) + "/" + std::to_string(o.parsedValues) + " form " +
         std::to_string(o.callForm) + "\ntext  " + Printable(o.text) + "\nblock " +
         Printable(o.block) + "\nout   " + Printable(o.out);
}

void ExpectSame(const std::u16string& input) {
  const Outcome plain = Translate(input, true);
  const Outcome fast = Translate(input, false);
  ASSERT_TRUE(fast == plain) << Printable(input) << "\nreference: " << Describe(plain)
                             << "\nshortcuts: " << Describe(fast);
}

// Nested clauses around tokens the scanner may not read whole: a string or quoted name longer
// than its 4096-character buffer, a line comment or literal that swallows closings, "*)--",
// openings that only the scanner sees.
TEST(Shortcuts, NestedClausesAroundLongAndSwallowingTokens) {
  const std::u16string longName = u"\"" + std::u16string(5000, u'n') + u"\"";
  const std::u16string longString = u"'" + std::u16string(4095, u's') + u"'";
  const std::u16string inner[] = {u"x", longName, longString, u"'a)}", u"\"b)}",
                                  u"-- x)}\n", u"a*)--", u"/* )} */", u"' -- '", u"N'", u"x--",
                                  // openings the clause search takes for a literal's text
                                  u"a '\n{fn b ( {fn c '", u"'\n{fn d ( {t e '"};
  const std::u16string open[] = {u"{fn UCASE(", u"{fn LCASE( ", u"{fn LEFT(", u"{fn HOUR("};
  const std::u16string close[] = {u")}", u",1)}", u") }", u")}--"};
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    const int depth = 1 + int(rng() % 12);
    std::u16string s = u"select ";
    std::vector<size_t> kinds;
    for (int i = 0; i < depth; ++i) {
      kinds.push_back(rng() % std::size(open));
      s += open[kinds.back()];
      if (rng() % 4 == 0) s += inner[rng() % std::size(inner)];
    }
    s += inner[rng() % std::size(inner)];
    for (int i = depth; i-- > 0;) {
      if (rng() % 5 == 0) s += inner[rng() % std::size(inner)];
      s += kinds[size_t(i)] == 2 ? close[1] : close[rng() % std::size(close)];
    }
    ASSERT_NO_FATAL_FAILURE(ExpectSame(s));
  }
}

// Call clauses inside quoted names, each with an OUTPUT argument: the rewrite of each changes
// only the name's inside, so the parse of the statement is repeated instead of run again. Units
// are repeated side by side, alone and in pairs, with what must make the translation parse again:
// a rewrite that crosses a quote or the clause's closing, a name with an inner quote, a name the
// scanner reads ahead into, a real call, an OUTPUT the rewrite skips as a literal.
TEST(Shortcuts, QuotedCallsWithOutputArguments) {
  const std::u16string units[] = {
      u"\"{call p(a OUTPUT)}\" ,",          u"\"{call p(a output, b OUTPUT)}\",",
      u"\"{call p(a OUTPUT OUTPUT)}\" ",    u"\"{?=call f(OUTPUT)}\" ,",
      u"\"{call p(a OUTPUT)}OUTPUT\" ,",    u"\"{call p(a OUTPUT\")} ,",
      u"\"{call p(a\"\" OUTPUT)}\" ,",      u"\"{call q OUTPUT}\" (b OUTPUT) ,",
      u"\"{call p(a OUTPUT)}\n\" ,",        u"\"{call p(a OUTPUT)} ,",
      u"--(*vendor(\"{call p(x) OUTPUT)}\" ", u"/* \"{call p(a OUTPUT)}\" */",
      u"'\"{call p(a OUTPUT)}\"' ,",        u"\"{call p(x)}\" ,",
      u"\"{call p(a OUTPUT,\" OUTPUT)} ,",  u"\"(a OUTPUT\" ,",
      u"\"{call p(a OUTPUT)}\" --\n",       u"\"{call p( OUTPUT)} {call r}\" ,",
      u"{call p(\"{call q(a OUTPUT)}\")}", u"{?=call f(\"{call q(a OUTPUT)}\")}",
      u"\"{call p\" (\"x OUTPUT\") ,",        u"\"{call p(x' OUTPUT)}\" ,",
      u"\"{call p('a' OUTPUT)}\",",         u"\"{call p(x*/ OUTPUT)}\" ,",
      u"'OUTPUT' \"{call p(a OUTPUT)}\" ,"};
  const std::u16string ends[] = {u"", u" 'OUTPUT'", u" {call p(?)}", u" \"x\"", u"  ",
                                 u" , \"{call r}\"", u" '\"(b OUTPUT)\"' x OUTPUT'"};
  for (const auto& a : units) {
    for (const auto& b : units) {
      for (const int count : {1, 2, 5, 40}) {
        for (const auto& end : ends) {
          std::u16string s = u"select ";
          for (int i = 0; i < count; ++i) s += i % 3 == 2 ? b : a;
          ASSERT_NO_FATAL_FAILURE(ExpectSame(s + end));
        }
      }
    }
  }
}

// The long-form loop writes the trace lines of the brace passes it skips.
TEST(Shortcuts, SkippedBracePassesStillTraced) {
  const std::u16string statements[] = {
      u"select --(*vendor(Microsoft),product(ODBC) fn UCASE(x) *)-- , --(*vendor(Microsoft),"
      u"product(ODBC) escape 'x' *)-- {fn LCASE(y)} --(* a",
      u"--(* --(*vendor(Microsoft),product(ODBC) d '2001-01-01'*)-- {x} --(*"};
  for (const auto& s : statements) {
    SCOPED_TRACE(Printable(s));
    // Addresses differ from run to run: every value but the allocation sizes is masked.
    auto traced = [&](bool reference) {
      std::istringstream lines(testutil::CaptureTrace([&] { (void)Translate(s, reference); }));
      std::string masked;
      for (std::string line; std::getline(lines, line);) {
        if (line.find("(size)") == std::string::npos)
          line = std::regex_replace(line, std::regex("0X[0-9A-F]+"), "address");
        masked += line + "\n";
      }
      return masked;
    };
    EXPECT_EQ(traced(false), traced(true));
  }
}

}  // namespace
