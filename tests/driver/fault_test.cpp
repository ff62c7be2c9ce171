// Allocation failures in the manner of a fault simulator: a translation is rerun with its first,
// second, ... allocation failing until a run makes no failed allocation. Every run must succeed
// with the normal result or fail with reason 83, leaving the statement either as it was or as a
// translation stopped at one clause: the clauses right of it translated, the ones left untouched,
// or every clause translated and the trailing blanks cut but no marker numbered.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver/memory.h"
#include "support/translate.h"

using testutil::Printable;
using testutil::TranslateEx;

namespace {

struct Piece {
  std::u16string before, after;  // equal for text that is not a clause
};

// The statement as a failing translation may leave it, clauses being translated right to left:
// [0] every clause translated, [pieces.size()] the statement as it was; then each of them with its
// trailing blanks trimmed (the end of the search, or a call parser that failed, trims them).
std::vector<std::u16string> AllowedAfterFailure(const std::vector<Piece>& pieces) {
  std::vector<std::u16string> allowed;
  for (size_t from = 0; from <= pieces.size(); ++from) {
    std::u16string s;
    for (size_t i = 0; i < pieces.size(); ++i) s += i < from ? pieces[i].before : pieces[i].after;
    allowed.push_back(s);
  }
  for (size_t i = 0, n = allowed.size(); i < n; ++i) {
    allowed.push_back(allowed[i].substr(0, allowed[i].find_last_not_of(u' ') + 1));
  }
  return allowed;
}

// Each statement reaches allocations the others do not: the quiet path's marker scratch; the
// call clause's name buffer, parser buffers, argument texts and the block; the scanners, token
// buffers and work areas of date literals and scalar functions; the heap working buffer, a grown
// position list and the marker expansion of a long statement (600 units, 40 openings).
std::vector<std::vector<Piece>> Statements() {
  std::vector<Piece> many;
  for (int i = 0; i < 40; ++i) {
    many.push_back({u"{escape 'a'}", u" escape 'a' "});
    many.push_back({u" ? ", u" ? "});
  }
  return {{{u"select a from t", u"select a from t"}},
          {{u"{escape 'z'}", u" escape 'z' "},
           {u" ", u" "},
           {u"{call p.q(x OUTPUT, ?, f(?), {resultset 1, a, b}) }  ",
            u"{call p.q(?       , ?, f(?), {resultset 1, a, b}) }  "}},
          {{u"{d '2001-02-03'}", u" TO_DATE('2001-02-03','YYYY-MM-DD') "},
           {u" ", u" "},
           {u"{ts '2001-02-03 12:30:00.5'}",
            u" TO_DATE('2001-02-03 12:30:00','YYYY-MM-DD HH24:MI:SS') "}},
          {{u"{fn HOUR(d)}", u" TO_NUMBER(TO_CHAR(d,'HH24')) "},
           {u" ", u" "},
           {u"{fn UCASE(a)}", u"    UPPER(a) "}},
          many};
}

TEST(AllocationFailure, EveryRunSucceedsOrFailsCleanly) {
  for (const auto& pieces : Statements()) {
    const auto allowed = AllowedAfterFailure(pieces);
    const std::u16string input = allowed[pieces.size()];
    SCOPED_TRACE(Printable(input));
    const auto expected = TranslateEx(input, 2 * input.size() + 64);
    ASSERT_EQ(expected.result, 1);
    for (uint64_t n = 1;; ++n) {
      SCOPED_TRACE(n);
      ASSERT_LT(n, 10000u);
      memFailAfter(n);
      const auto t = TranslateEx(input, 2 * input.size() + 64);
      const uint64_t made = memAllocationCount();
      memFailAfter(0);
      if (made < n || t.result == 1) {
        EXPECT_EQ(t.result, 1);
        EXPECT_EQ(Printable(t.text), Printable(expected.text));
        EXPECT_EQ(t.markers, expected.markers);
        if (made < n) {
          EXPECT_GE(n, 3u);  // at least the link and the marker scratch buffer were failed
          break;
        }
        continue;
      }
      EXPECT_EQ(t.result, 0);
      EXPECT_EQ(t.reason, TVRNSQL_REASON_NO_MEMORY);
      EXPECT_NE(std::find(allowed.begin(), allowed.end(), t.text), allowed.end())
          << Printable(t.text);
      // The first allocation is the server link: the statement stays as it was. A failing marker
      // pass hands back the count the call parser left, otherwise nothing was counted.
      EXPECT_TRUE(n == 1 ? t.text == input : t.markers <= expected.markers);
    }
  }
}

// When the server link (the first allocation) cannot be had, the call returns 0 and changes
// neither the statement nor any output; the Ex entry point's outputs behave as the legacy one's.
TEST(AllocationFailure, LinkFailureChangesNothing) {
  for (bool ex : {false, true}) {
    SCOPED_TRACE(ex ? "Ex" : "legacy");
    memFailAfter(1);
    const auto t = ex ? TranslateEx(u"a ? b\t") : testutil::Translate(u"a ? b\t");
    memFailAfter(0);
    EXPECT_EQ(t.result, 0);
    EXPECT_TRUE(t.text == u"a ? b\t");
    EXPECT_EQ(t.markers, testutil::kUnwritten16);
    EXPECT_EQ(t.refCursors, testutil::kUnwritten16);
    EXPECT_EQ(t.reason, ex ? TVRNSQL_REASON_NO_MEMORY : testutil::kUnwritten32);
  }
}

}  // namespace
