// The clause search keeps its openings and closings between clauses and works in a gap buffer;
// this test runs it against the plain search that rescans the statement from its start for
// every clause, on random statements made of clause fragments, literals and comment ends.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "driver/clause_search.h"
#include "driver/context.h"
#include "driver/text.h"
#include "driver/work_buffer.h"
#include "support/utf16.h"

namespace {

using Text = std::vector<uint16_t>;  // always terminated

size_t Find(const Text& s, size_t from, const char* needle) {
  if (from >= s.size() - 1) return std::u16string::npos;
  const uint16_t* m = bcuFindSkipLiteral(s.data() + from, needle);
  return m == nullptr ? std::u16string::npos : size_t(m - s.data());
}

size_t FindPlain(const Text& s, size_t from, const char* needle) {
  for (size_t i = from; i + 1 < s.size(); ++i) {
    if (bcuStartsWithNoCase(s.data() + i, needle)) return i;
  }
  return std::u16string::npos;
}

size_t SkipSpace(const Text& s, size_t i) {
  while (bcuIsSpace(s[i])) ++i;
  return i;
}

// The dispatcher's text changes for the clauses it handles today: {escape} loses its
// delimiters, and a call clause gets its OUTPUT arguments rewritten.
void Dispatch(Text& s, size_t open, size_t keyword, size_t close, size_t end) {
  size_t k = keyword;
  switch (bcuUpper(s[k])) {
    case '?':
      k = SkipSpace(s, k + 1);
      k = SkipSpace(s, k + 1);
      [[fallthrough]];
    case 'C':
      if (bcuStartsWithNoCase(s.data() + k, "CALL")) bcuReplaceOutputParams(s.data() + k);
      return;
    case 'E':
      if (!bcuStartsWithNoCase(s.data() + k, "ESCAPE")) return;
      for (size_t i = open; i < keyword; ++i) s[i] = ' ';
      for (size_t i = close; i < end; ++i) s[i] = ' ';
      return;
    default:
      return;
  }
}

void Shorthand(Text& s, size_t start) {
  size_t bound = s.size() - 1;
  for (;;) {
    size_t m = Find(s, start, "{");
    if (m == std::u16string::npos || m >= bound) return;
    size_t open = m;
    while ((m = Find(s, m + 1, "{")) != std::u16string::npos && m < bound) open = m;
    bound = open;
    const size_t close = FindPlain(s, open + 1, "}");
    if (close == std::u16string::npos) continue;
    Dispatch(s, open, SkipSpace(s, open + 1), close, close + 1);
  }
}

void Reference(Text& s) {
  size_t bound = s.size() - 1;
  for (;;) {
    size_t m = Find(s, 0, "--(*");
    if (m == std::u16string::npos || m >= bound) break;
    size_t open = m;
    while ((m = Find(s, m + 4, "--(*")) != std::u16string::npos && m < bound) open = m;
    Shorthand(s, open);
    bound = open;
    const size_t close = FindPlain(s, open + 4, "*)--");
    if (close == std::u16string::npos) {
      s[open + 3] = ' ';
      continue;
    }
    const uint16_t* keyword = bcuVerifyVendorFindType(s.data() + open + 4);
    if (keyword == nullptr) {
      for (size_t i = open; i < close + 4; ++i) s[i] = ' ';
      continue;
    }
    Dispatch(s, open, size_t(keyword - s.data()), close, close + 4);
  }
  Shorthand(s, 0);
  size_t length = s.size() - 1;
  while (length > 0 && s[length - 1] == ' ') s[--length] = 0;
  s.resize(length);
  s.push_back(0);
}

std::u16string Random(std::mt19937& rng) {
  static const char16_t* const kFragments[] = {
      u"{escape '\\'}", u"{ escape 'x' }", u"{", u"}", u"'", u"''", u"*/", u"{fn x}",
      u"{call p(a OUTPUT, b)}", u"{?=call f(x output)}", u" ", u"  ", u"a", u"select b ",
      u"--(*vendor(Microsoft),product(ODBC) escape '!' *)--", u"--(*", u"*)--",
      u"--(*vendor(Other),product(ODBC) fn x *)--", u"--(* vendor ( microsoft ) , product ( odbc ) ",
      u"'{'", u"x like 'a%' ", u"\t", u"{d '2001-01-01'}", u"{oj t}", u"?", u"{escape"};
  std::uniform_int_distribution<size_t> pick(0, std::size(kFragments) - 1);
  std::uniform_int_distribution<int> count(0, 14);
  std::u16string s;
  for (int n = count(rng); n > 0; --n) s += kFragments[pick(rng)];
  return s;
}

TEST(ClauseSearch, MatchesTheSearchThatRescansFromTheStart) {
  std::mt19937 rng(20261205);
  for (int round = 0; round < 20000; ++round) {
    const std::u16string input = Random(rng);
    SCOPED_TRACE(testutil::Utf8(input));
    Text expected(input.begin(), input.end());
    expected.push_back(0);
    Reference(expected);

    ConversionContext ctx{};
    ServerLink link{};
    ctx.link = &link;
    ctx.rewriteOutputArgs = 1;
    WorkBuffer wb;
    const std::vector<uint16_t> text(input.begin(), input.end());
    ASSERT_EQ(wbInit(&wb, text), kOk);
    ctx.work = &wb;
    ASSERT_EQ(bcuReplaceVendorStrings(&ctx), kOk);
    std::vector<uint16_t> actual(wbLength(&wb) + 1);
    wbCopyOut(&wb, actual.data());
    wbRelease(&wb);
    ASSERT_EQ(testutil::Utf8(testutil::Text(actual.data())),
              testutil::Utf8(testutil::Text(expected.data())));
  }
}

}  // namespace
