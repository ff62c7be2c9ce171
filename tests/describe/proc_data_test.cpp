// The routines that write the caller's arguments around the inserted markers, the final pass
// that drops literal arguments from the description, and the upper-casing of names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "call/call_argument.h"
#include "describe/describe_shared.h"
#include "describe/proc_data.h"
#include "describe/upper_case.h"
#include "support/utf16.h"

namespace {

using testutil::Printable;

// Caller entries: {u"a"} is a plain argument, {u"A", u"B"} a group; literal marks per entry.
struct Entries {
  std::vector<std::u16string> texts;
  std::vector<CallArgument> list;
  Entries(std::vector<std::vector<std::u16string>> entries, std::vector<int> literal) {
    texts.reserve(entries.size());  // the list points into the texts
    for (size_t i = 0; i < entries.size(); ++i) {
      const uint16_t items = entries[i].size() > 1 ? uint16_t(entries[i].size()) : 0;
      std::u16string& t = texts.emplace_back();
      for (const auto& item : entries[i]) t += item + u'\0';
      if (items > 0) t += u'\0';
      const auto text = reinterpret_cast<uint16_t*>(t.data());
      list.push_back({uint16_t(items > 0), int16_t(items > 0), text, 0, items, literal[i]});
    }
  }
};

struct Text {
  uint16_t data[256] = {};
  CallText text{data, 0, 256, false};
  std::string str() const { return Printable(testutil::Text(data)); }
};

TEST(ProcData, AppendRoutines) {
  const auto* rc = reinterpret_cast<const uint16_t*>(u"RC");
  // Items 1, 2, 3 and a cursor argument RC as third formal argument.
  Entries plain({{u"1"}, {u"2"}, {u"3"}}, {1, 0, 1});
  std::vector<ProcArgument> e(4);
  Text t;
  uint16_t consumed = 0, listEmpty = 1;
  bcoAppendArgsUpTo(&consumed, 3, plain.list.data(), rc, &t.text, &listEmpty, 0, 3, e.data(), 4);
  EXPECT_EQ(t.str(), "1, 2, :RC");
  EXPECT_EQ(consumed, 2);
  bcoAppendArgsAfter(&consumed, 3, plain.list.data(), &t.text, &listEmpty, 1, 4, e.data(), 4);
  EXPECT_EQ(t.str(), "1, 2, :RC, 3");
  EXPECT_EQ(std::vector<int>({e[0].literalArg, e[1].literalArg, e[3].literalArg}),
            std::vector<int>({1, 0, 1}));  // the last after the marker's element

  // No entries: only the marker, after a separator when something was written.
  Text m;
  consumed = 0, listEmpty = 0;
  bcoAppendArgsUpTo(&consumed, 0, nullptr, rc, &m.text, &listEmpty, 0, 1, e.data(), e.size());
  EXPECT_EQ(m.str(), ", :RC");

  // A group A, B then C: the group's mark lands on B's element; with fewer elements than items
  // nothing is written past them.
  Entries mixed({{u"A", u"B"}, {u"C"}}, {1, 0});
  std::vector<ProcArgument> g(3);
  Text all, few;
  bcoAppendCallArgs(2, mixed.list.data(), &all.text, g.data(), g.size());
  EXPECT_EQ(all.str(), "A, B, C");
  EXPECT_EQ(g[0].literalArg, 0);
  EXPECT_EQ(g[1].literalArg, 1);
  bcoAppendCallArgs(2, mixed.list.data(), &few.text, g.data(), 1);
  EXPECT_EQ(few.str(), "A, B, C");

  // A group split by a marker: its later items follow the marker.
  Text split;
  consumed = 0, listEmpty = 1;
  bcoAppendArgsUpTo(&consumed, 2, mixed.list.data(), rc, &split.text, &listEmpty, 0, 2, g.data(),
                    g.size());
  bcoAppendArgsAfter(&consumed, 2, mixed.list.data(), &split.text, &listEmpty, 1, 4, g.data(),
                     g.size());
  EXPECT_EQ(split.str(), "A, :RC, B, C");
}

TEST(ProcData, FinalPassDropsLiterals) {
  const struct {
    std::vector<int> literal;
    std::vector<uint16_t> positionsAfter;  // of the leading unmarked elements
  } cases[] = {
      {{0, 0, 0}, {1, 2, 3}},
      {{1, 0, 1, 0}, {2, 4}},
      {{0, 1, 0}, {1, 3}},
      {{1, 1}, {}},
  };
  for (const auto& c : cases) {
    std::vector<ProcArgument> e(c.literal.size());
    for (size_t i = 0; i < e.size(); ++i) {
      e[i].position = uint16_t(i + 1);
      e[i].literalArg = c.literal[i];
    }
    e[0].count = uint16_t(e.size());
    bcoFinalPass(e.data(), uint32_t(e.size()), uint32_t(e.size()));
    std::vector<uint16_t> after;
    for (size_t i = 0; i < e[0].count && i < e.size(); ++i) after.push_back(e[i].position);
    EXPECT_EQ(after, c.positionsAfter);
  }
}

TEST(UpperCase, SimpleMappingBeyondAscii) {
  const std::pair<uint16_t, uint16_t> cases[] = {
      {u'a', u'A'}, {u'z', u'Z'}, {u'A', u'A'}, {u'1', u'1'}, {u'é', u'É'}, {u'ÿ', u'Ÿ'},
      {u'ß', u'ß'},  // no single-character upper case
      {u'ω', u'Ω'}, {u'я', u'Я'}, {0x0101, 0x0100}, {0x0100, 0x0100}, {0xD800, 0xD800},
      {0xFF41, 0xFF21}};
  for (const auto& [from, to] : cases) EXPECT_EQ(bcuUpperChar(from), to) << std::hex << from;
}

}  // namespace
