// A pass of the outer-join rewrite resumes scanning where the previous pass's rewrite could first
// make a difference, instead of at the statement's start. Random statements made of clauses,
// subqueries, parentheses, literals, comments and stray quotes must come out the same both ways,
// with the same status and reason.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "driver/context.h"
#include "driver/memory.h"
#include "driver/work_buffer.h"
#include "outerjoin/oj_translate.h"
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

}  // namespace
