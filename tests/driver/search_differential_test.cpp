// The clause search keeps its openings and closings between clauses and works in a gap buffer;
// this test runs it against the plain search that rescans the statement from its start for
// every clause, on random statements made of clause fragments, literals and comment ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "driver/clause_search.h"
#include "driver/context.h"
#include "driver/memory.h"
#include "driver/text.h"
#include "driver/work_buffer.h"
#include "scanner/scanner_buffers.h"
#include "support/utf16.h"

namespace {

using testutil::Printable;
using Text = std::vector<uint16_t>;  // always terminated

constexpr size_t kNone = std::u16string::npos;

size_t Find(const Text& s, size_t from, const char* needle) {
  if (from >= s.size() - 1) return kNone;
  const uint16_t* m = bcuFindSkipLiteral(s.data() + from, needle);
  return m == nullptr ? kNone : size_t(m - s.data());
}

size_t FindPlain(const Text& s, size_t from, const char* needle) {
  while (from + 1 < s.size() && !bcuStartsWithNoCase(s.data() + from, needle)) ++from;
  return from + 1 < s.size() ? from : kNone;
}

// The last opening before bound, searching again from one needle length past each match.
size_t LastBefore(const Text& s, size_t from, size_t bound, const char* needle, size_t step) {
  size_t last = kNone;
  for (size_t m = Find(s, from, needle); m < bound; m = Find(s, m + step, needle)) last = m;
  return last;
}

size_t SkipSpace(const Text& s, size_t i) {
  while (bcuIsSpace(s[i])) ++i;
  return i;
}

// The dispatcher's text changes that this test models: {escape} loses its delimiters, a call
// clause gets its OUTPUT arguments rewritten (and the statement's trailing blanks, which the end
// trims anyway), and the one date fragment is replaced. Whether the call parser accepts the
// statement is not modelled: a round whose translation fails is not compared. Any other
// clause that a translator takes (d, t, fn, oj) makes the outcome unknown, and the round is not
// compared.
void Dispatch(Text& s, size_t open, size_t keyword, size_t close, size_t end, bool& known) {
  size_t k = keyword;
  if (s[k] == '?') k = SkipSpace(s, SkipSpace(s, k + 1) + 1);  // "?=call", '=' not checked
  if (bcuStartsWithNoCase(s.data() + k, "CALL")) {
    bcuReplaceOutputParams(s.data() + k);
  } else if (k == keyword && bcuStartsWithNoCase(s.data() + k, "ESCAPE")) {
    std::fill(s.begin() + open, s.begin() + keyword, ' ');
    std::fill(s.begin() + close, s.begin() + end, ' ');
  } else if (std::u16string(s.begin() + open, s.begin() + end) == u"{d '2001-01-01'}") {
    // The one date clause of the fragments, which changes the statement's length: the trailing
    // blanks after it go, then the clause is replaced.
    size_t length = s.size() - 1;
    while (length > end && s[length - 1] == ' ') --length;
    s.resize(length);
    const std::u16string date = u" TO_DATE('2001-01-01','YYYY-MM-DD') ";
    s.erase(s.begin() + open, s.begin() + end);
    s.insert(s.begin() + open, date.begin(), date.end());
    s.push_back(0);
  } else if (const uint16_t c = bcuUpper(s[keyword]); c == 'D' || c == 'T' ||
             ((c == 'F' || c == 'O') && s[keyword + 2] == ' ')) {
    known = false;
  }
}

void Shorthand(Text& s, size_t start, bool& known) {
  for (size_t open = s.size() - 1; (open = LastBefore(s, start, open, "{", 1)) != kNone;) {
    const size_t close = FindPlain(s, open + 1, "}");
    if (close != kNone) Dispatch(s, open, SkipSpace(s, open + 1), close, close + 1, known);
  }
}

bool Reference(Text& s) {
  bool known = true;
  for (size_t open = s.size() - 1; (open = LastBefore(s, 0, open, "--(*", 4)) != kNone;) {
    Shorthand(s, open, known);
    const size_t close = FindPlain(s, open + 4, "*)--");
    const uint16_t* keyword = bcuVerifyVendorFindType(s.data() + open + 4);
    if (close == kNone) {
      s[open + 3] = ' ';  // only the '*' goes
    } else if (keyword == nullptr) {
      std::fill(s.begin() + open, s.begin() + close + 4, ' ');  // another vendor's clause
    } else {
      Dispatch(s, open, size_t(keyword - s.data()), close, close + 4, known);
    }
  }
  Shorthand(s, 0, known);
  size_t length = s.size() - 1;
  while (length > 0 && s[length - 1] == ' ') s[--length] = 0;
  s.resize(length + 1);
  return known;
}

std::u16string Random(std::mt19937& rng) {
  // clang-format off
  static const char16_t* const kFragments[] = {
      u"{escape '\\'}", u"{ escape 'x' }", u"{", u"}", u"'", u"''", u"*/", u"{fn x}",
      u"{call p(a OUTPUT, b)}", u"{?=call f(x output)}", u" ", u"  ", u"a", u"select b ",
      u"--(*vendor(Microsoft),product(ODBC) escape '!' *)--", u"--(*", u"*)--",
      u"--(*vendor(Other),product(ODBC) fn x *)--", u"--(* vendor ( microsoft ) , product ( odbc ) ",
      u"'{'", u"x like 'a%' ", u"\t", u"{d '2001-01-01'}", u"{oj t}", u"?", u"{escape"};
  // clang-format on
  std::uniform_int_distribution<size_t> pick(0, std::size(kFragments) - 1);
  std::uniform_int_distribution<int> count(0, 14);
  std::u16string s;
  for (int n = count(rng); n > 0; --n) s += kFragments[pick(rng)];
  return s;
}

TEST(ClauseSearch, MatchesTheSearchThatRescansFromTheStart) {
  std::mt19937 rng(20261205);
  int compared = 0, calls = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::u16string input = Random(rng);
    SCOPED_TRACE(Printable(input));
    Text expected = testutil::Buffer(input, 0);
    if (!Reference(expected)) continue;

    ServerLink link{};
    ConversionContext ctx{};
    ctx.link = &link;
    ctx.rewriteOutputArgs = 1;
    WorkBuffer wb;
    ASSERT_EQ(wbInit(&wb, std::vector<uint16_t>(input.begin(), input.end())), kOk);
    ctx.work = &wb;
    const Status status = bcuReplaceVendorStrings(&ctx);
    Text actual(wbLength(&wb) + 1);
    wbCopyOut(&wb, actual.data());
    wbRelease(&wb);
    if (ctx.rewrittenText != nullptr) {
      calls += status == kOk;
      bcoRelease(&ctx.scratch, ctx.rewrittenText);
    }
    bcoReleaseScratch(&ctx);
    if (status != kOk) continue;
    ++compared;
    ASSERT_EQ(Printable(testutil::Text(actual.data())), Printable(testutil::Text(expected.data())));
  }
  EXPECT_GT(compared, 8000);
  EXPECT_GT(calls, 500);
  std::printf("compared %d rounds, %d with a call clause\n", compared, calls);
}

}  // namespace
