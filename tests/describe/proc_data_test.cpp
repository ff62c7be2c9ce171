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

// Caller entries built from texts: "a" is a plain argument; {"A", "B"} a group.
struct Entries {
  std::vector<std::u16string> texts;
  std::vector<CallArgument> list;
  Entries(std::initializer_list<std::vector<std::u16string>> entries, std::vector<int> literal) {
    for (const auto& e : entries) {
      std::u16string t;
      for (const auto& item : e) t += item + u'\0';
      if (e.size() > 1) t += u'\0';
      texts.push_back(t);
    }
    for (size_t i = 0; i < texts.size(); ++i) {
      const bool group = entries.begin()[i].size() > 1;
      list.push_back(CallArgument{uint16_t(group ? 1 : 0), int16_t(group ? 1 : 0),
                                  reinterpret_cast<uint16_t*>(texts[i].data()), 0,
                                  uint16_t(group ? entries.begin()[i].size() : 0),
                                  literal[i]});
    }
  }
};

struct Text {
  uint16_t data[256] = {};
  CallText text{data, 0, 256, false};
  std::u16string str() const { return testutil::Text(data); }
};

TEST(ProcData, AppendRoutines) {
  // Items 1, 2, 3 and a cursor argument RC as third formal argument.
  Entries plain({{u"1"}, {u"2"}, {u"3"}}, {1, 0, 1});
  std::vector<ProcArgument> e(4);
  Text t;
  uint16_t consumed = 0, listEmpty = 1;
  const std::u16string rc = u"RC";
  bcoAppendArgsUpTo(&consumed, 3, plain.list.data(), reinterpret_cast<const uint16_t*>(rc.c_str()),
                    &t.text, &listEmpty, 0, 3, e.data(), e.size());
  EXPECT_EQ(Printable(t.str()), "1, 2, :RC");
  EXPECT_EQ(consumed, 2);
  EXPECT_EQ(e[0].literalArg, 1);
  EXPECT_EQ(e[1].literalArg, 0);
  bcoAppendArgsAfter(&consumed, 3, plain.list.data(), &t.text, &listEmpty, 1, 4, e.data(),
                     e.size());
  EXPECT_EQ(Printable(t.str()), "1, 2, :RC, 3");
  EXPECT_EQ(e[3].literalArg, 1);  // after the marker's element

  // No entries: only the marker, after a separator when something was written.
  Text m;
  consumed = 0, listEmpty = 0;
  bcoAppendArgsUpTo(&consumed, 0, nullptr, reinterpret_cast<const uint16_t*>(rc.c_str()), &m.text,
                    &listEmpty, 0, 1, e.data(), e.size());
  EXPECT_EQ(Printable(m.str()), ", :RC");

  // A group A, B then C: the group's mark lands on B's element.
  Entries mixed({{u"A", u"B"}, {u"C"}}, {1, 0});
  std::vector<ProcArgument> g(3);
  Text all;
  bcoAppendCallArgs(2, mixed.list.data(), &all.text, g.data(), g.size());
  EXPECT_EQ(Printable(all.str()), "A, B, C");
  EXPECT_EQ(g[0].literalArg, 0);
  EXPECT_EQ(g[1].literalArg, 1);
  // More items than elements: nothing is written past them.
  Text few;
  bcoAppendCallArgs(2, mixed.list.data(), &few.text, g.data(), 1);
  EXPECT_EQ(Printable(few.str()), "A, B, C");

  // A group split by a marker: its later items follow the marker.
  Text split;
  consumed = 0, listEmpty = 1;
  bcoAppendArgsUpTo(&consumed, 2, mixed.list.data(), reinterpret_cast<const uint16_t*>(rc.c_str()),
                    &split.text, &listEmpty, 0, 2, g.data(), g.size());
  bcoAppendArgsAfter(&consumed, 2, mixed.list.data(), &split.text, &listEmpty, 1, 4, g.data(),
                     g.size());
  EXPECT_EQ(Printable(split.str()), "A, :RC, B, C");
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
    ASSERT_EQ(e[0].count, c.positionsAfter.size());
    for (size_t i = 0; i < c.positionsAfter.size(); ++i) EXPECT_EQ(e[i].position, c.positionsAfter[i]);
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
