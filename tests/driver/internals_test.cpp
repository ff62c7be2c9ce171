// Driver routines the entry points cannot reach on their own: the shared text routines, the call
// form the dispatcher records, the trace line and its sequence for one translation, and the
// zero-filling traced allocation.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "driver/clause_search.h"
#include "driver/markers.h"
#include "driver/memory.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/work_buffer.h"
#include "support/translate.h"

using testutil::Buffer;
using testutil::Text;
using testutil::Utf8;

namespace {

// One table for the routines that take a text: what the routine returns (a position, -1 for
// null; a count; 1/0 for equal names or a cut; the length given to the trim) and the text after.
enum Routine { kFind, kNames, kCount, kVendor, kTrim, kNullEnd };
struct Row {
  Routine routine;
  std::u16string text;
  const char* arg;  // needle, other name; null: count the escape-clause openings
  long expected;
  const char16_t* after = nullptr;  // null: unchanged
};

TEST(TextRoutines, Table) {
  const Row rows[] = {
      {kFind, u"", "a", -1},
      {kFind, u"'abc'", "'ab", 0},  // a match may begin on the opening quote
      {kFind, u"x'{'{", "{", 4},
      {kFind, u"'a*/{", "{", 4},   // "*/" ends a literal ...
      {kFind, u"'a*/", "*/", -1},  // ... and the search steps past its '*'
      {kFind, u"'a*/", "/", 3},
      {kFind, u"'abc", "c", -1},
      {kFind, u"xSeLeCt", "select", 1},
      {kFind, u"ab", "abc", -1},
      {kFind, u"'x'y'", "'y", -1},  // the closing quote is no match start
      {kNames, u"abc", "ABC", 1},
      {kNames, u"\"ABC\"", "ABC", 1},  // a leading quote makes both exact
      {kNames, u"\"abc\"", "ABC", 0},
      {kNames, u"ABC", "\"abc\"", 0},
      {kNames, u"abc\"x", "ABC", 1},  // a name ends at a quote
      {kNames, u"ab", "abc", 0},
      {kNames, u"\"\"", "", 1},
      {kCount, u"{ { --(* --(*", nullptr, 4},
      {kCount, u"'{' --(*--(*", nullptr, 2},
      {kCount, u"aaaa", "aa", 2},  // matches never overlap
      {kCount, u"aaa", "aa", 1},
      {kCount, u"'?' ? ?", "?", 2},
      {kCount, u"OUTPUT output", "Output", 2},
      {kVendor, u"vendor(Microsoft),product(ODBC) fn x", nullptr, 32},
      {kVendor, u" \tVENDOR ( microsoft ) , PRODUCT\n( odbc )\v\fescape", nullptr, 43},
      {kVendor, u"vendor(Microsoft),product(ODBC)", nullptr, 31},
      {kVendor, u"vendor(Microsoft)product(ODBC) fn", nullptr, -1},
      {kVendor, u"vendor(Microsoftx),product(ODBC) fn", nullptr, -1},
      {kVendor, u"vendor(Microsoft),product(ODBCX) fn", nullptr, -1},
      {kVendor, u"vendor(Other),product(ODBC) fn", nullptr, -1},
      {kTrim, u"a \t", nullptr, 3},  // blanks only
      {kTrim, u"a  ", nullptr, 3, u"a"},
      {kTrim, u"  ", nullptr, 2, u""},
      {kTrim, u" a ", nullptr, 2},  // starts at the given length
      {kTrim, u"a  b", nullptr, 3, u"a"},
      {kTrim, u"a ", nullptr, -1},
      {kNullEnd, u"ab  ", nullptr, 1, u"ab"},
      {kNullEnd, u" a ", nullptr, 1, u" a"},
      {kNullEnd, u"a ", nullptr, 0},  // only the first character is not blank
      {kNullEnd, u"   ", nullptr, 0},
      {kNullEnd, u"", nullptr, 0},
      {kNullEnd, u"ab", nullptr, 0},
      {kNullEnd, u"a\t", nullptr, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Utf8(r.text) + " / " + (r.arg ? r.arg : "-"));
    auto buf = Buffer(r.text, 0);
    uint16_t* t = buf.data();
    auto at = [t](const uint16_t* p) { return p == nullptr ? -1L : long(p - t); };
    long got = 0;
    switch (r.routine) {
      case kFind:
        got = at(bcuFstristr_SkipLiteral(t, r.arg));
        break;
      case kNames:
        got = bcuNamesEqual(t, Buffer(std::u16string(r.arg, r.arg + std::strlen(r.arg))).data());
        break;
      case kCount:
        got = r.arg ? bcuNumCharClauses(t, r.arg) : bcuNumEscapeClauses(t);
        break;
      case kVendor:
        got = at(bcuVerifyVendorFindType(t));
        break;
      case kTrim:
        got = r.expected;
        bcuTrimBlanksW(t, got);
        break;
      case kNullEnd:
        got = bcoNullEndSQL(t, r.text.size()) == kOk ? 1 : 0;
        break;
    }
    EXPECT_EQ(got, r.expected);
    EXPECT_EQ(Utf8(Text(t)), Utf8(r.after ? std::u16string(r.after) : r.text));
  }
  auto buf = Buffer(u"abcde", 0);
  EXPECT_EQ(bcuFillW(buf.data() + 1, u'x', 3), buf.data() + 1);
  EXPECT_EQ(bcuFillW(buf.data(), u'y', 0), buf.data());
  EXPECT_EQ(Text(buf.data()), u"axxxe");
}

// The clause search over a context set up as the entry point sets it up; callForm is not an
// output of the entry points.
TEST(ClauseSearch, CallForm) {
  struct {
    std::u16string input;
    int32_t callForm;
    std::u16string expected;
  } const cases[] = {
      {u"{?=foo(a OUTPUT)}", 256, u"{?=foo(a OUTPUT)}"},  // 256 although no CALL follows
      {u"{? = call p}", 256, u"{? = call p}"},
      {u"{?xcall p(a OUTPUT)}", 256, u"{?xcall p(?       )}"},
      {u"{ CALL p(a OUTPUT)}", 512, u"{ CALL p(?       )}"},
      {u"{call q} {?=call p}", 256, u"{call q} {?=call p}"},
      {u"{?=call p} {call q}", 256, u"{?=call p} {call q}"},
      {u"{c} {escape 'x'}", 0, u"{c}  escape 'x'"},
      {u"--(*vendor(Microsoft),product(ODBC) ?=call p*)--", 256,
       u"--(*vendor(Microsoft),product(ODBC) ?=call p*)--"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.input));
    ConversionContext ctx{};
    ctx.rewriteOutputArgs = 1;
    ServerLink link{};
    ctx.link = &link;
    WorkBuffer wb;
    const auto text = Buffer(c.input, 0);
    ASSERT_EQ(wbInit(&wb, {text.data(), c.input.size()}), kOk);
    ctx.work = &wb;
    EXPECT_EQ(bcuReplaceVendorStrings(&ctx), kOk);
    EXPECT_EQ(ctx.callForm, c.callForm);
    std::vector<uint16_t> out(wbLength(&wb) + 1);
    wbCopyOut(&wb, out.data());
    EXPECT_EQ(Utf8(Text(out.data())), Utf8(c.expected));
    wbRelease(&wb);
  }
}

// Runs f with trace lines going to a memory stream and returns what was written.
template <typename F>
std::string CaptureTrace(F&& f) {
  char* data = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&data, &size);
  TVRNSqlSetTrace(TVRNSQL_TRACE_ON, stream);
  f();
  TVRNSqlSetTrace(0, nullptr);
  std::fclose(stream);
  std::string out(data, size);
  std::free(data);
  return out;
}

TEST(Trace, LineFormat) {
  const std::u16string l31(31, u'a'), l32(32, u'b');
  std::u16string l141;
  for (int i = 0; i < 141; ++i) l141 += char16_t(u'A' + i % 26);
  const std::string a31(31, 'a'), b32(32, 'b'), s141 = Utf8(l141);
  struct {
    uint32_t level;
    const std::u16string* label;
    uint32_t value;
    std::string expected;
  } const cases[] = {
      {8, &l31, 0, "........" + a31 + " 00000000\n"},
      {8, &l31, 0x1A, "........" + a31 + " 0X00001A\n"},
      {8, &l31, 0xDEADBEEF, "........" + a31 + " 0XDEADBEEF\n"},
      {4, &l31, 0, "...." + a31 + " 00000000\n"},
      {2, &l31, 0, a31 + " 00000000\n"},
      {6, &l31, 0, a31 + " 00000000\n"},
      {0, &l31, 0, "........" + a31 + " 00000000\n"},
      {8, &l32, 5, "........" + b32 + "\n"},
      {8, &l141, 5,
       "........" + s141.substr(0, 70) + "\n........" + s141.substr(70, 70) + "\n........" +
           s141.substr(140) + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const auto label = Buffer(*c.label, 0);
    EXPECT_EQ(CaptureTrace([&] { bcuTraceLine(c.level, label.data(), c.value); }), c.expected);
  }
  const uint16_t empty[] = {0};
  EXPECT_EQ(CaptureTrace([&] { bcuTraceLine(8, empty, 1); }), "");
  EXPECT_EQ(CaptureTrace([&] { bcuTraceLine(8, static_cast<const uint16_t*>(nullptr), 1); }), "");
}

// The labels of the trace lines a translation writes, without the allocator's own lines.
std::vector<std::string> TraceLabels(std::u16string_view statement) {
  const std::string trace = CaptureTrace([&] { testutil::Translate(statement); });
  std::vector<std::string> labels;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.substr(0, 8), "........");
    std::string label = line.substr(8, 32);
    label.erase(label.find_last_not_of(' ') + 1);
    if (label.starts_with("pMEMAlloc") || label.starts_with("MEMFree")) continue;
    if (label == "bcuFstristr_SkipLiteral" || label == "bcuTrimBlanksW" ||
        label == "bcoNullEndSQL") {
      EXPECT_EQ(line.substr(40), "00000000") << label;
    }
    labels.push_back(label);
  }
  return labels;
}

TEST(Trace, StepsOfATranslation) {
  const std::vector<std::string> oneClause = {
      "bcuRemoveControlChars",   "bcuReplaceVendorStrings", "bcuReplaceEscapeClause",
      "bcuFstristr_SkipLiteral",  // no "--(*"
      "bcuReplaceShorthandExt",  "bcuFstristr_SkipLiteral", "bcuFstristr_SkipLiteral",
      "bcoConvertStrings",       "bcuFstristr_SkipLiteral", "bcuTrimBlanksW",
      "bcoParseParmMarkers",     "bcoNullEndSQL",
  };
  EXPECT_EQ(TraceLabels(u"{escape 'x'}"), oneClause);

  // One line per search of the literal algorithm, which searches again from the start of the
  // text after every clause and stops at the first match at or after the bound; one line per
  // clause handed to the dispatcher (those right of a long form go there twice).
  struct {
    std::u16string input;
    long searches, conversions;
  } const cases[] = {
      {u"x", 2, 0},
      {u"'{' {escape 'a'}", 4, 1},
      {u"{escape 'a'} {escape 'b'}", 7, 2},
      {u"{x} {y}", 7, 2},
      {u"{escape {escape 'a'}}", 7, 2},
      {u"--(*vendor(Microsoft),product(ODBC) escape 'a' *)--", 5, 1},
      {u"--(*vendor(Microsoft),product(ODBC) x *)--", 5, 1},
      {u"--(*vendor(Microsoft),product(ODBC) escape {escape 'x'} *)--", 7, 2},
      {u"--(*vendor(Microsoft),product(ODBC) x *)-- {y}", 9, 3},
      {u"{call p(a OUTPUT)} {escape 'x'}", 9, 2},  // 2 searches by the OUTPUT rewrite
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.input));
    const auto labels = TraceLabels(c.input);
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "bcuFstristr_SkipLiteral"), c.searches);
    EXPECT_EQ(std::count(labels.begin(), labels.end(), "bcoConvertStrings"), c.conversions);
  }
}

TEST(Memory, AllocationIsZeroFilledWithSlack) {
  for (uint32_t size : {1u, 7u, 13u, 24u, 100u, 1000u}) {
    for (int32_t uninitialised : {0, 1}) {
      SCOPED_TRACE(std::to_string(size) + "/" + std::to_string(uninitialised));
      // Leave dirty memory for the allocator to hand out again.
      void* dirty = std::malloc(size);
      std::memset(dirty, 0xA5, malloc_usable_size(dirty));
      std::free(dirty);
      auto* block = static_cast<unsigned char*>(pMEMAlloc(size, uninitialised));
      ASSERT_NE(block, nullptr);
      const size_t usable = malloc_usable_size(block);
      ASSERT_GE(usable, size);
      for (size_t i = uninitialised != 0 ? size : 0; i < usable; ++i) ASSERT_EQ(block[i], 0) << i;
      MEMFree(block);
    }
  }
  // Both allocation lines, the requested size as the first value; MEMFree traces null too.
  const std::string trace = CaptureTrace([] {
    MEMFree(pMEMAlloc(20, 0));
    MEMFree(nullptr);
  });
  std::vector<std::string> lines;
  std::istringstream in(trace);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "........pMEMAlloc (size)                0X000014");
  EXPECT_EQ(lines[1].substr(0, 40), "........pMEMAlloc (addr)                ");
  EXPECT_EQ(lines[2].substr(0, 40), "........MEMFree (addr)                  ");
  EXPECT_EQ(lines[3], "........MEMFree (addr)                  00000000");
}

}  // namespace
