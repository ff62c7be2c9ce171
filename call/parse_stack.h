// The record of one run of a generated LALR(1) parser, shared by the call-clause and outer-join
// grammars. The parser starts on its own built-in stacks of kParseStackStart entries; when they
// are full it asks this record for room (the grammars define yyoverflow as parseStackGrow), which
// doubles the depth limit and keeps the grown stacks until the run ends.
#pragma once

#include <cstddef>
#include <cstdint>

/// Entries of the parser's built-in state and value stacks.
inline constexpr int64_t kParseStackStart = 150;

/// One parser run's stacks beyond the built-in ones, and its error count. Allocated with the
/// clause scanner's state (createScanner), zero-filled; parseStackReset prepares it for a run.
struct ParseStack {
  void* states;   ///< grown state stack (bcoObtain, no pool), null while the built-in one serves
  void* values;   ///< grown value stack, likewise
  int64_t limit;  ///< current depth limit: kParseStackStart, doubled on each growth
  int32_t errorCount;  ///< syntax errors reported in this run
};

/// Releases grown stacks and starts a run: limit kParseStackStart, no errors.
void parseStackReset(ParseStack* stack);

/// Releases grown stacks; the record itself stays.
void parseStackRelease(ParseStack* stack);

/// The parser's overflow hook: *states and *values hold *depth entries of stateSize and
/// valueSize bytes. Doubles *depth, moving both stacks into newly allocated ones (the first time
/// out of the parser's built-in arrays, later out of the previous grown ones, which are released).
/// When room cannot be had nothing changes, and the parser, finding its stack still full, fails
/// the parse.
void parseStackGrow(ParseStack* stack, void** states, size_t stateSize, void** values,
                    size_t valueSize, ptrdiff_t* depth);

/// For a grammar file: lets the generated parser grow its stacks through `stack`.
#define PARSE_STACK_OVERFLOW(stack, states, values, depth)                      \
  parseStackGrow((stack), reinterpret_cast<void**>(states), sizeof(**(states)), \
                 reinterpret_cast<void**>(values), sizeof(**(values)), (depth))

/// The scanner bridge, for a grammar's yylex: the end of the text (0) stays the end, a scanner
/// failure (any negative code, such as an overflowing token) becomes the grammar's invalid token
/// so that the parse fails instead of taking it for the end, and every other code is the token.
inline int parserToken(int32_t code, int invalidToken) { return code < 0 ? invalidToken : code; }

/// For a grammar's yyerror: counts the syntax error. Nothing is printed; the parse fails.
inline void parserError(ParseStack* stack) { ++stack->errorCount; }
