// The parser stacks grow by doubling out of the parser's own arrays, keep every entry, and stay
// as they were when memory runs out (the parser then fails the parse).
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "call/parse_stack.h"
#include "driver/memory.h"

namespace {

TEST(ParseStack, DoublesKeepingEntriesAndFailsWithoutMemory) {
  ParseStack record{};
  parseStackReset(&record);
  int8_t builtinStates[kParseStackStart];
  int32_t builtinValues[kParseStackStart];
  std::iota(builtinStates, builtinStates + kParseStackStart, int8_t{0});
  std::iota(builtinValues, builtinValues + kParseStackStart, 1000);
  int8_t* states = builtinStates;
  int32_t* values = builtinValues;
  ptrdiff_t depth = kParseStackStart;
  for (const ptrdiff_t expected : {300, 600, 1200}) {
    PARSE_STACK_OVERFLOW(&record, &states, &values, &depth);
    ASSERT_EQ(depth, expected);
    EXPECT_EQ(record.limit, expected);
    EXPECT_NE(states, builtinStates);
    for (int i = 0; i < kParseStackStart; ++i) {
      ASSERT_EQ(states[i], int8_t(i));
      ASSERT_EQ(values[i], 1000 + i);
    }
    states[depth - 1] = 7;  // the whole new depth is writable (checked under the sanitizers)
    values[depth - 1] = 7;
  }
  for (const uint64_t failing : {1, 2}) {  // the state stack's allocation, then the value stack's
    const int8_t* before = states;
    memFailAfter(failing);
    PARSE_STACK_OVERFLOW(&record, &states, &values, &depth);
    memFailAfter(0);
    EXPECT_EQ(depth, 1200);
    EXPECT_EQ(states, before);
    EXPECT_EQ(states[5], 5);
  }
  parseStackRelease(&record);
  EXPECT_EQ(record.states, nullptr);
}

}  // namespace
