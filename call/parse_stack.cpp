// Growth of a generated parser's stacks: double the depth, move both stacks, release the old ones
// unless they are the parser's built-in arrays.
#include "call/parse_stack.h"

#include <cstring>

#include "driver/scratch.h"

void parseStackRelease(ParseStack* stack) {
  bcoRelease(nullptr, stack->states);
  bcoRelease(nullptr, stack->values);
  stack->states = nullptr;
  stack->values = nullptr;
}

void parseStackReset(ParseStack* stack) {
  parseStackRelease(stack);
  stack->limit = kParseStackStart;
  stack->errorCount = 0;
}

void parseStackGrow(ParseStack* stack, void** states, size_t stateSize, void** values,
                    size_t valueSize, ptrdiff_t* depth) {
  const uint64_t used = uint64_t(*depth);
  const uint64_t grown = used * 2;
  // Both stacks together stay far below 4 GB: a parse this deep fails instead.
  if (grown * (stateSize + valueSize) > UINT32_MAX / 2) return;
  // Deep parses only: outside the call's pool, a block of their own.
  ScratchPtr<uint8_t> newStates(nullptr, uint32_t(grown * stateSize), Fill::kUninitialised,
                                Fill::kUninitialised);
  if (!newStates) return;
  ScratchPtr<uint8_t> newValues(nullptr, uint32_t(grown * valueSize), Fill::kUninitialised,
                                Fill::kUninitialised);
  if (!newValues) return;
  std::memcpy(newStates.get(), *states, used * stateSize);
  std::memcpy(newValues.get(), *values, used * valueSize);
  // The first growth leaves the parser's built-in arrays, which are not ours to release.
  parseStackRelease(stack);
  stack->states = newStates.release();
  stack->values = newValues.release();
  *states = stack->states;
  *values = stack->values;
  *depth = ptrdiff_t(grown);
  stack->limit = int64_t(grown);
}
