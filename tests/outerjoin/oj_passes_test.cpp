// The passes of the outer-join rewrite. A pass resumes scanning where the previous pass's rewrite
// could first make a difference, instead of at the statement's start: random statements made of
// clauses, subqueries, parentheses, literals, comments and stray quotes must come out the same
// both ways, with the same status and reason. A failed allocation stops the rewrite between
// passes with reason 83, the passes before it kept.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "driver/context.h"
#include "driver/memory.h"
#include "driver/work_buffer.h"
#include "outerjoin/oj_translate.h"
#include "support/translate.h"
#include "support/utf16.h"

using testutil::Printable;

namespace {

struct Outcome {
  Status status;
  uint32_t reason;
  std::u16string text;
};

Outcome Rewrite(const std::u16string& input, PassStart start) {
  ServerLink link{};
  ConversionContext ctx{};
  ctx.link = &link;
  WorkBuffer wb;
  EXPECT_EQ(wbInit(&wb, std::vector<uint16_t>(input.begin(), input.end())), kOk);
  ctx.work = &wb;
  Outcome o{ojRewriteStatement(&ctx, start), ctx.reason, {}};
  std::vector<uint16_t> out(wbLength(&wb) + 1);
  wbCopyOut(&wb, out.data());
  o.text = testutil::Text(out.data());
  wbRelease(&wb);
  return o;
}

const char16_t* const kFragments[] = {
    u"SELECT * FROM ", u"{oj a LEFT JOIN b ON a.x = b.y}", u"{oj c x FULL JOIN d ON x.p = d.q}",
    u"--(*vendor(Microsoft),product(ODBC) oj e RIGHT JOIN f ON e.k = 5 *)--",
    u"{oj g JOIN (h LEFT JOIN i ON h.a = i.b) ON g.c = h.d}", u"{oj t1 LEFT JOIN t2}",
    u"{oj p LEFT JOIN q ON p.a = 'v'}",
    u"(SELECT * FROM ", u")", u"(", u"((", u" ", u", ", u" WHERE ", u"z = 1", u" AND ",
    u" ORDER BY 1", u" UNION ", u" GROUP BY z HAVING z > 1", u"'{oj s}'", u"'", u"\"",
    u"\"q{oj\"", u"-- c {oj\n", u"n", u"{oj", u"}", u"-5", u"\u00e9",
    // more blanks and parentheses before a clause than the scanner remembers matches
    u"( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ",
    u"(\n(\t( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( (",
    // openings the scanner reads inside names and comments, and subqueries to nest
    u"\"{oj t}\" , ", u"-- {oj a LEFT JOIN b ON a.x = b.y}\n", u" WHERE a.k IN (",
    u"SELECT * FROM {oj a LEFT OUTER JOIN b ON a.x = b.x} WHERE a.k IN (", u"))",
    // a quote left open reads ahead over what follows on its line
    u"x \" ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ( ",
};

TEST(OuterJoinPasses, ResumingMatchesScanningFromTheStart) {
  std::mt19937 rng(20261206);
  std::uniform_int_distribution<int> count(1, 14);
  std::uniform_int_distribution<size_t> pick(0, std::size(kFragments) - 1);
  int rewritten = 0, multiPass = 0;
  for (int round = 0; round < 6000; ++round) {
    std::u16string input;
    for (int n = count(rng); n > 0; --n) input += kFragments[pick(rng)];
    SCOPED_TRACE(Printable(input));
    const Outcome resumed = Rewrite(input, PassStart::kResume);
    const Outcome restarted = Rewrite(input, PassStart::kFromStart);
    ASSERT_EQ(resumed.status, restarted.status);
    ASSERT_EQ(resumed.reason, restarted.reason);
    ASSERT_EQ(Printable(resumed.text), Printable(restarted.text));
    if (resumed.status == kOk && resumed.text != input) {
      ++rewritten;
      multiPass += resumed.text.find(u" WHERE (") != resumed.text.rfind(u" WHERE (");
    }
  }
  EXPECT_GT(rewritten, 1000);
  EXPECT_GT(multiPass, 100);
  std::printf("%d statements rewritten, %d in more than one pass\n", rewritten, multiPass);
}

TEST(OuterJoinPasses, AllocationFailureKeepsThePassesBefore) {
  // Two clauses of one table list in the first pass, the subquery's clause in the second.
  const std::u16string input =
      u"SELECT * FROM {oj a LEFT JOIN b ON a.k = b.k}, {oj d FULL JOIN e ON d.p = e.q} WHERE a.z "
      u"IN (SELECT * FROM {oj f RIGHT JOIN g ON f.r = g.s})";
  const std::u16string head =
      u"SELECT * FROM a, b, d, e  WHERE ((a.k = b.k(+)) AND ((d.p = e.q(+) OR d.p(+) = e.q))) "
      u"AND ( a.z IN (SELECT * FROM ";
  const std::u16string firstPass = head + u"{oj f RIGHT JOIN g ON f.r = g.s}))  ";
  const std::u16string done = head + u"f, g WHERE ((f.r(+) = g.s)) ))";
  int failures = 0;
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE(n);
    ASSERT_LT(n, 1000u);
    memFailAfter(n);
    const auto t = testutil::TranslateEx(input, 2 * input.size());
    const uint64_t made = memAllocationCount();
    memFailAfter(0);
    if (t.result == 1) {
      EXPECT_EQ(Printable(t.text), Printable(done));
      if (made < n) break;
      continue;
    }
    ++failures;
    EXPECT_EQ(t.reason, TVRNSQL_REASON_NO_MEMORY);
    // A failure after the rewrite (the markers' pass) leaves it whole.
    EXPECT_TRUE(t.text == input || t.text == firstPass || t.text == done) << Printable(t.text);
  }
  EXPECT_GT(failures, 10);
}

}  // namespace
