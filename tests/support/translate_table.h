// Test helper: a table of statements that must translate, each with its expected text and marker
// count, checked through both translate entry points.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/translate.h"

namespace testutil {

struct TranslationCase {
  std::u16string input, expected;
  uint16_t markers;
};

/// Every case must succeed with the same text and marker count through both entry points (with
/// room for the input and 64 more units), with no cursor markers, reason 0 and the exact
/// required capacity.
inline void ExpectTranslations(const std::vector<TranslationCase>& cases) {
  for (const TranslationCase& c : cases) {
    SCOPED_TRACE(Printable(c.input));
    const auto legacy = Translate(c.input, c.input.size() + 64);
    const auto ex = TranslateEx(c.input, c.input.size() + 64);
    for (const auto* t : {&legacy, &ex}) {
      SCOPED_TRACE(t == &ex ? "Ex" : "legacy");
      EXPECT_EQ(t->result, 1);
      EXPECT_EQ(t->text, c.expected);
      EXPECT_EQ(t->markers, c.markers);
      EXPECT_EQ(t->refCursors, 0);
    }
    EXPECT_EQ(ex.reason, 0u);
    EXPECT_EQ(ex.required, c.expected.size() + 1);
  }
}

}  // namespace testutil
