// Driver routines the entry points cannot reach on their own: the shared text routines, the call
// form the dispatcher records, the trace line and its sequence for one translation, and the
// zero-filling traced allocation.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <sstream>

#include "driver/clause_search.h"
#include "driver/markers.h"
#include "driver/memory.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/unit_scan.h"
#include "driver/work_buffer.h"
#include "outerjoin/oj_scanner.h"
#include "scanner/scanner_state.h"
#include "support/trace.h"
#include "support/translate.h"

using testutil::Buffer;
using testutil::CaptureTrace;
using testutil::Printable;
using testutil::Text;

namespace {

// Each routine on a terminated text t: a position (-1 for null), a count, 1/0 for equal names or
// a cut; the trim gets its length from arg.
enum Routine { kFind, kNames, kCount, kVendor, kTrim, kNullEnd };
long RunRoutine(Routine routine, uint16_t* t, const char* a) {
  const auto pos = [t](const uint16_t* p) { return p == nullptr ? -1L : long(p - t); };
  switch (routine) {  // clang-format off
    case kFind: return pos(bcuFstristr_SkipLiteral(t, a));
    case kNames: return bcuNamesEqual(t, Buffer(std::u16string(a, a + std::strlen(a))).data());
    case kCount: return a ? bcuNumCharClauses(t, a) : bcuNumEscapeClauses(t);  // null: openings
    case kVendor: return pos(bcuVerifyVendorFindType(t));
    case kTrim: return bcuTrimBlanksW(t, std::atol(a)), 0;
    case kNullEnd: return bcoNullEndSQL(t, bcuLength(t)) == kOk;
  }  // clang-format on
  return -2;
}

TEST(TextRoutines, Table) {
  const struct {
    Routine routine;
    std::u16string text;
    const char* arg;
    long expected;
    const char16_t* after = nullptr;  // the text afterwards; null: unchanged
  } rows[] = {
      // clang-format off
      {kFind, u"'abc'", "'AB", 0},  // a match may begin on the opening quote
      {kFind, u"x'{'{", "{", 4},    {kFind, u"'abc", "c", -1},   {kFind, u"ab", "abc", -1},
      {kFind, u"'a*/{", "{", 4},    // "*/" ends a literal ...
      {kFind, u"'a*/", "*/", -1},   {kFind, u"'a*/", "/", 3},  // ... the search steps past '*' only
      {kFind, u"'x'y'", "'y", -1},     // the closing quote is no match start
      {kNames, u"abc\"x", "ABC", 1},   // a name ends at a quote
      {kNames, u"\"ABC\"", "ABC", 1},  // a leading quote on either side makes both exact
      {kNames, u"\"abc\"", "ABC", 0}, {kNames, u"ABC", "\"abc\"", 0}, {kNames, u"ab", "abc", 0},
      {kCount, u"'{' { --(*--(*", nullptr, 3},
      {kCount, u"'aa' aAaa", "aa", 2},  // matches never overlap
      {kVendor, u"vendor(Microsoft),product(ODBC) fn x", nullptr, 32},
      {kVendor, u" \tVENDOR ( microsoft ) , PRODUCT\n( odbc )\v\fescape", nullptr, 43},
      {kVendor, u"vendor(Microsoft)product(ODBC) fn", nullptr, -1},
      {kVendor, u"vendor(Microsoftx),product(ODBC) fn", nullptr, -1},
      {kTrim, u"a \t", "3", 0},  // blanks only
      {kTrim, u"  ", "2", 0, u""},  {kTrim, u"a ", "-1", 0},
      {kTrim, u"a  b", "3", 0, u"a"},  // from the given length on
      {kNullEnd, u"ab  ", nullptr, 1, u"ab"},
      {kNullEnd, u"a ", nullptr, 0},  // only the first character is not blank
      {kNullEnd, u"   ", nullptr, 0}, {kNullEnd, u"", nullptr, 0}, {kNullEnd, u"ab\t", nullptr, 0},
      // clang-format on
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(Printable(r.text) + " / " + (r.arg ? r.arg : "-"));
    auto buf = Buffer(r.text, 0);
    EXPECT_EQ(RunRoutine(r.routine, buf.data(), r.arg), r.expected);
    EXPECT_EQ(Text(buf.data()), r.after ? r.after : r.text);
  }
}

// The clause search over a context set up as the entry point sets it up; callForm is not an
// output of the entry points. 256: a call with a result marker (also with no CALL after "?="),
// 512: a plain call.
TEST(ClauseSearch, CallForm) {
  const std::pair<std::u16string, int32_t> cases[] = {
      {u"{?=foo(a OUTPUT)}", 256},   {u"{ CALL p}", 512},
      {u"{call q} {?=call p}", 256}, {u"{?=call p} {call q}", 256},
      {u"{c} {escape 'x'}", 0},      {u"--(*vendor(Microsoft),product(ODBC) ?=call p*)--", 256}};
  for (const auto& [input, callForm] : cases) {
    SCOPED_TRACE(Printable(input));
    ServerLink link{};
    WorkBuffer wb;
    ConversionContext ctx{};
    ctx.link = &link, ctx.work = &wb;
    ASSERT_EQ(wbInit(&wb, std::vector<uint16_t>(input.begin(), input.end())), kOk);
    (void)bcuReplaceVendorStrings(&ctx);  // "{call q} {?=call p}" does not parse
    EXPECT_EQ(ctx.callForm, callForm);
    bcoRelease(&ctx.scratch, ctx.rewrittenText);
    wbRelease(&wb);
    bcoReleasePool(&ctx.scratch);
  }
}

TEST(Trace, LineFormat) {
  auto line = [](uint32_t level, const std::string& label, uint32_t value) {
    const auto buf = Buffer(std::u16string(label.begin(), label.end()), 0);
    return CaptureTrace([&] { bcuTraceLine(level, buf.data(), value); });
  };
  // Dots by level (& 2: none, else & 4: four, else eight); labels padded to 32 columns.
  const std::string s31(31, 'a');
  EXPECT_EQ(line(8, s31, 0), "........" + s31 + " 00000000\n");
  EXPECT_EQ(line(4, s31, 0x1A), "...." + s31 + " 0X00001A\n");
  EXPECT_EQ(line(6, s31, 0xDEADBEEF), s31 + " 0XDEADBEEF\n");
  EXPECT_EQ(line(0, s31, 0), "........" + s31 + " 00000000\n");
  // A label of 32 or more: no value, pieces of 70 on lines of their own.
  EXPECT_EQ(line(8, s31 + "b", 5), "........" + s31 + "b\n");
  std::string s141;
  for (int i = 0; i < 141; ++i) s141 += char('A' + i % 26);
  EXPECT_EQ(line(8, s141, 5), "........" + s141.substr(0, 70) + "\n........" + s141.substr(70, 70) +
                                  "\n........" + s141.substr(140) + "\n");
  EXPECT_EQ(line(8, "", 1), "");
  EXPECT_EQ(CaptureTrace([&] { bcuTraceLine(8, static_cast<const uint16_t*>(nullptr), 1); }), "");
}

// The steps a translation traces: each line's label, with " 0" when its value is 0 (the other
// values are addresses).
std::vector<std::string> TraceSteps(std::u16string_view statement) {
  std::istringstream lines(CaptureTrace([&] { testutil::Translate(statement); }));
  std::vector<std::string> steps;
  for (std::string line; std::getline(lines, line);) {
    std::string label = line.substr(8, 32);
    label.erase(label.find_last_not_of(' ') + 1);
    steps.push_back(label + (line.ends_with(" 00000000") ? " 0" : ""));
  }
  return steps;
}

TEST(Trace, StepsOfATranslation) {
  // The first search finds no "--(*"; the marker pass allocates its scratch buffer.
  const std::vector<std::string> oneClause = {
      "bcuRemoveControlChars",     "bcuReplaceVendorStrings", "bcuReplaceEscapeClause",
      "bcuFstristr_SkipLiteral 0", "bcuReplaceShorthandExt",  "bcuFstristr_SkipLiteral 0",
      "bcuFstristr_SkipLiteral 0", "bcoConvertStrings",       "bcuFstristr_SkipLiteral 0",
      "bcuTrimBlanksW 0",          "bcoParseParmMarkers",     "pMEMAlloc (size)",
      "pMEMAlloc (addr)",          "bcoNullEndSQL 0",         "MEMFree (addr)"};
  EXPECT_EQ(TraceSteps(u"{escape 'x'}"), oneClause);
  // One line per search of the literal algorithm, which searches again from the start of the
  // text after every clause; the clauses right of a long form go to the dispatcher twice.
  for (const auto& [input, searches, conversions] :
       {std::tuple<std::u16string, long, long>{u"{escape 'a'} {escape 'b'}", 7, 2},
        {u"--(*vendor(Microsoft),product(ODBC) x *)-- {y}", 9, 3}}) {
    SCOPED_TRACE(Printable(input));
    const auto steps = TraceSteps(input);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "bcuFstristr_SkipLiteral 0"), searches);
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "bcoConvertStrings"), conversions);
  }
}

TEST(Memory, AllocationIsZeroFilledWithSlack) {
  for (uint32_t size : {1u, 13u, 1000u}) {
    for (int32_t uninitialised : {0, 1}) {
      SCOPED_TRACE(testing::Message() << size << "/" << uninitialised);
      void* dirty = std::malloc(size);  // dirty memory for the allocator to hand out again
      std::memset(dirty, 0xA5, malloc_usable_size(dirty));
      std::free(dirty);
      auto* block = static_cast<unsigned char*>(pMEMAlloc(size, uninitialised));
      ASSERT_NE(block, nullptr);
      for (size_t i = uninitialised != 0 ? size : 0; i < malloc_usable_size(block); ++i)
        ASSERT_EQ(block[i], 0) << i;
      MEMFree(block);
    }
  }
  // The requested size is the first value; MEMFree traces null too.
  const std::string trace = CaptureTrace([] {
    MEMFree(pMEMAlloc(20, 0));
    MEMFree(nullptr);
  });
  EXPECT_TRUE(trace.starts_with("........pMEMAlloc (size)                0X000014\n")) << trace;
  EXPECT_TRUE(trace.ends_with("\n........MEMFree (addr)                  00000000\n")) << trace;
}

}  // namespace

// The vector search for any of a few units agrees with a plain loop at every length, start and
// place of the first hit, and reads nothing outside its span (a block of exactly its size).
TEST(UnitScan, FindAnyUnitMatchesAPlainLoop) {
  static constexpr uint16_t kFew[] = {'{', '?'};
  static constexpr uint16_t kMany[] = {'{', '?', 'a', 'b', 'c', 'd', 'e', 'f', 'g'};
  // The set as a span (any size) and as an array known where it is called (the vector form).
  const auto find = [](std::span<const uint16_t> text, size_t from, bool few, bool array) {
    if (array) return few ? bcuFindAnyUnit(text, from, kFew) : bcuFindAnyUnit(text, from, kMany);
    return bcuFindAnyUnit(text, from,
                          few ? std::span<const uint16_t>(kFew) : std::span<const uint16_t>(kMany));
  };
  for (bool few : {true, false}) {
    const std::span<const uint16_t> units = few ? std::span<const uint16_t>(kFew) : kMany;
    for (size_t n = 0; n <= 40; ++n) {
      for (size_t hit = 0; hit <= n; ++hit) {  // hit == n: none
        std::unique_ptr<uint16_t[]> block(new uint16_t[n]);
        std::fill_n(block.get(), n, uint16_t('x'));
        if (hit < n) block[hit] = units[hit % units.size()];
        const std::span<const uint16_t> text(block.get(), n);
        for (size_t from = 0; from <= n; ++from) {
          const size_t expected = hit >= from && hit < n ? hit : n;
          for (bool array : {true, false}) {
            ASSERT_EQ(find(text, from, few, array), expected)
                << "length " << n << ", from " << from << ", hit " << hit << ", array " << array;
          }
        }
      }
    }
  }
}

// The vector check for a statement with nothing to translate agrees with a plain reading at
// every length and every place of an active unit or of "--(*" (whole or cut by the end).
TEST(UnitScan, NothingToTranslateMatchesAPlainReading) {
  auto plain = [](std::u16string_view t) {
    for (size_t i = 0; i < t.size(); ++i) {
      if ((t[i] >= 1 && t[i] <= 31) || t[i] == '{' || t[i] == '?' || t[i] == ':') return false;
      if (t.substr(i, 4) == u"--(*") return false;
    }
    return true;
  };
  for (std::u16string_view piece :
       {u"{", u"?", u":", u"\x01", u"\t", u"--(*", u"--(", u"-", u"- (*"}) {
    for (size_t n = 0; n <= 40; ++n) {
      for (size_t at = 0; at <= n; ++at) {
        std::u16string s(n, u'a');
        s.replace(at, std::min(piece.size(), n - at), piece.substr(0, n - at));
        std::unique_ptr<uint16_t[]> block(new uint16_t[s.size()]);
        std::copy(s.begin(), s.end(), block.get());
        ASSERT_EQ(bcuHasNothingToTranslate({block.get(), s.size()}), plain(s))
            << "length " << n << ", at " << at;
      }
    }
  }
}

// The records whose allocations the trace shows keep the sizes it shows ("pMEMAlloc (size)
// 0X000588" for a clause scanner's state): a field added to one changes every trace.
TEST(Trace, RecordSizesTheTraceShows) {
  EXPECT_EQ(sizeof(ScannerState), 0x588u);
  EXPECT_EQ(sizeof(ParseStack), 0x20u);
  EXPECT_EQ(sizeof(LexWork), 0x10u);
  EXPECT_EQ(sizeof(OuterJoinScanState), 0x800u);
}
