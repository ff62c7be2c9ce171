// The outer-join scanner: cuts a statement into the tokens of the outer-join grammar (keywords,
// table, column and function-argument names, numbers, strings, operators, the clause's opener and
// closer) and the keywords that end a table list's region. It reads the statement in place, never
// writes to it, and records where the clause it was asked to mark begins and ends. One state
// serves one outer-join translation (oj_translate.cpp) and the parser runs over it (oj_grammar.y).
#pragma once

#include <cstdint>
#include <cstdio>

#include "call/parse_stack.h"
#include "scanner/automaton.h"

struct ScratchPool;

/// Token codes of ojNextToken; the grammar pins the same numbers. Any other character comes back
/// as its own code (';', '{' without OJ, '!', ...); 0 is the end of the text.
namespace oj {
inline constexpr int32_t AND = 257;
inline constexpr int32_t OR = 258;
inline constexpr int32_t LEFT = 259;
inline constexpr int32_t RIGHT = 260;
inline constexpr int32_t FULL = 261;
inline constexpr int32_t INNER = 262;
inline constexpr int32_t OUTER = 263;
inline constexpr int32_t JOIN = 264;
inline constexpr int32_t ON = 265;
inline constexpr int32_t AS = 266;
inline constexpr int32_t COLUMN_NAME = 267;
inline constexpr int32_t QUOTED_COLUMN_NAME = 268;
inline constexpr int32_t ARG_NAME = 269;
inline constexpr int32_t TABLE_NAME = 270;
inline constexpr int32_t QUOTED_TABLE_NAME = 271;
inline constexpr int32_t NUMBER = 272;
inline constexpr int32_t STRING = 273;
inline constexpr int32_t PLUS = 274;      // "+"
inline constexpr int32_t COLON = 275;     // ":"
inline constexpr int32_t COMMA = 276;     // ","
inline constexpr int32_t SLASH = 277;     // "/"
inline constexpr int32_t DOT = 278;       // "."
inline constexpr int32_t EQ = 279;        // "="
inline constexpr int32_t GT = 280;        // ">"
inline constexpr int32_t GE = 281;        // ">="
inline constexpr int32_t LPAREN = 282;    // "("
inline constexpr int32_t LT = 283;        // "<"
inline constexpr int32_t LE = 284;        // "<="
inline constexpr int32_t STAR = 285;      // "*"
inline constexpr int32_t NE = 286;        // "<>"
inline constexpr int32_t OJ_OPEN = 287;   ///< "{oj" or the long opening with OJ
inline constexpr int32_t QMARK = 288;     // "?"
inline constexpr int32_t OJ_CLOSE = 289;  ///< "}" or "*)--"
inline constexpr int32_t RPAREN = 290;    // ")"
inline constexpr int32_t MINUS = 291;     // "-"
/// Keywords that end the region of a table list; no symbols of the grammar.
inline constexpr int32_t WHERE = 65537;
inline constexpr int32_t HAVING = 65538;
inline constexpr int32_t ORDER = 65539;
inline constexpr int32_t GROUP = 65540;
inline constexpr int32_t UNION = 65541;
inline constexpr int32_t INTERSECT = 65542;
/// Returned after an overflow (see OuterJoinScanState::failed); the parser takes it for an
/// invalid token.
inline constexpr int32_t kOverflow = -2;
}  // namespace oj

/// Scanning modes: what a name is taken for.
inline constexpr int32_t kModeTable = 0;     ///< table references: TABLE_NAME
inline constexpr int32_t kModeOperand = 1;   ///< an operand is expected: COLUMN_NAME
inline constexpr int32_t kModeColumn = 2;    ///< just after a column name: COLUMN_NAME
inline constexpr int32_t kModeFunction = 3;  ///< inside a function call's parentheses: ARG_NAME

/// Matches the scanner remembers the start of when asked (OuterJoinScanState::logMatches).
inline constexpr uint32_t kMatchRing = 64;
/// In a matchRing entry's read position: the end of the text had been read. The offsets below it
/// are the read position (one that does not fit reads as the farthest).
inline constexpr uint32_t kRingEndRead = 0x80000000u;
inline constexpr uint32_t kRingOffset = kRingEndRead - 1;

/// OuterJoinScanState::logMatches: the log alone, or the log and its anchor.
inline constexpr int32_t kLogAlone = 1;
inline constexpr int32_t kLogWithAnchor = 2;

/// Capacities in characters, terminator included (matchText and pushback: kAutomatonCapacity).
inline constexpr uint32_t kOjTokenTextCapacity = 256;  ///< tokenText, prevTokenText
inline constexpr uint32_t kOjNumberTextCapacity = 36;  ///< numberText

/// A wide text the grammar's actions build: terminated, growing through bcoObtain from the pool
/// of the state or translation it belongs to.
struct OjText {
  uint16_t* data;
  uint32_t length;
  uint32_t capacity;  ///< characters, terminator included
};

/// The state of one outer-join translation: the scanner's fields (zero when created), the
/// grammar's texts and counts (oj_actions.h), and the statement rewrite's positions
/// (oj_translate.cpp). Positions point into the statement, which must stay in place while a scan
/// uses them.
struct OuterJoinScanState {
  ScratchPool* pool;      ///< where the state, its buffers and texts come from (driver/scratch.h)
  ParseStack parseStack;  ///< the outer-join parser's stacks beyond its built-in ones

  // The automaton.
  LexWork lex;          ///< diagnostics (standard output), end entries, overflow
  uint16_t* matchText;  ///< owned, kAutomatonCapacity: the last match as the automaton saw it
  int32_t matchLength;
  uint32_t pushbackTop;
  uint16_t* pushback;  ///< owned, kAutomatonCapacity: characters read ahead, read again first
  const uint16_t* textStart;  ///< nothing before it is read (ojStepBack stops there)
  const uint16_t* inputPos;   ///< the read position: the next character of the statement
  int32_t logMatches;         ///< when set, each match's start and the read position then go to
                              ///< matchRing, as offsets from textStart, the read position with
                       ///< kRingEndRead added when the end had been read (endSeen); the latest
                       ///< kMatchRing are kept. With kLogWithAnchor, anchor too
  uint32_t matchCount;  ///< matches logged since logMatches was set
  uint32_t matchRing[kMatchRing][2];
  /// The latest logged match that is not a "(" or a run of blanks, tabs or line feeds, as in
  /// matchRing (anchorSet tells whether there is one): where a run of those before a clause
  /// began, however many matches the run took.
  uint32_t anchor[2];
  int32_t anchorSet;

  // Token texts. A text longer than its field keeps what fits and sets its tooLong flag.
  uint16_t tokenText[kOjTokenTextCapacity];  ///< the last name, quoted name or string
  uint32_t tokenLength;
  int32_t tokenTooLong;
  uint16_t prevTokenText[kOjTokenTextCapacity];  ///< the one before it
  uint32_t prevTokenLength;
  int32_t prevTokenTooLong;
  uint16_t numberText[kOjNumberTextCapacity];  ///< the last number as written, blanks included
  uint32_t numberLength;
  int32_t numberTooLong;

  int32_t scanMode;      ///< kModeTable .. kModeFunction
  int32_t nameJustSeen;  ///< a column name was the last token (a "(" now opens a function call)
  int32_t wideSeen;      ///< a character above U+007E was read since the last text capture
  int32_t endSeen;       ///< the end has been read once, as a blank; later reads get the end
  int32_t markOpener;    ///< an OJ_OPEN records where it begins in clauseStart
  const uint16_t* clauseStart;
  int32_t markCloser;  ///< an OJ_CLOSE sets closerSeen and records the position after it
  int32_t closerSeen;
  const uint16_t* clauseEnd;
  int32_t closerAccepted;  ///< the parser took the closer as the end of the clause (not as the
                           ///< token it failed on: "{oj t1 LEFT JOIN t2}" lacks its ON clause)

  // The grammar's texts and counts (oj_actions.h).
  OjText joinText;         ///< the clause's table references, comma-separated
  OjText tableName;        ///< the table reference being read
  OjText joinCondition;    ///< the rewritten ON conditions of the pass
  OjText comparisonText;   ///< one rewritten comparison
  OjText leftOperand;      ///< the left operand being read
  OjText rightPart;        ///< comparison operator and right operand being read
  OjText funcArgs;         ///< arguments of a function called in a condition
  OjText funcArg;          ///< one such argument
  const char* compOp;      ///< the last comparison operator, " = " ...
  const char* arithOp;     ///< the last arithmetic operator, " + " ...
  int32_t* joinTypeStack;  ///< one join type per ON clause being read
  int32_t joinTypeDepth;
  int32_t joinTypeCapacity;
  int32_t onCount;           ///< ON clauses completed in this pass
  int32_t separatorWritten;  ///< " AND " between ON clauses has been written
  int32_t nonColumnSides;    ///< 1: the left side is no column, 2: the right side, 3: both
  int32_t tableCount;        ///< table references written to joinText
  uint32_t failure;          ///< reason an action stopped the parse with: 59 or 83
  int32_t lastResult;        ///< cleared by the parser's error routine

  // The statement rewrite (oj_translate.cpp).
  const uint16_t* fromEnd;     ///< last character of the table list's region
  const uint16_t* whereStart;  ///< right after the statement's own WHERE
  const uint16_t* whereEnd;    ///< last character of its condition
  int32_t clauseFound;
  int32_t whereSeen;
  int32_t regionExamined;  ///< the region after the pass's first clause has been searched
  int32_t depth;           ///< parentheses opened since the pass's first clause
  /// When set, the input routine calls holdHook before it reads the character at holdAt: the
  /// rewrite keeps text it has still to insert there and puts it in place first (holdContext is
  /// its own record).
  const uint16_t* holdAt;
  void (*holdHook)(OuterJoinScanState* state);
  void* holdContext;
};

/// A new state with every field zero, its match and pushback buffers and its parse stack, all
/// from pool (bcoObtain), diagnostics on the standard output; null when memory runs out (nothing is
/// kept). Release with ojScanFree, which also releases the grammar's texts.
OuterJoinScanState* ojScanCreate(ScratchPool* pool);
void ojScanFree(OuterJoinScanState* state);

/// Starts reading at position (pushback emptied, an overflow forgotten); endSeen stays.
void ojRestartAt(OuterJoinScanState* state, const uint16_t* position);

/// The next token code, 0 at the end of the text, or oj::kOverflow after a match that does not
/// fit matchText or pushback (the message "Input string too long, limit 4096" has been written).
/// White space and line comments are skipped.
int32_t ojNextToken(OuterJoinScanState* state);

/// Where the text after the last token begins: the read position less what waits in pushback.
const uint16_t* ojAfterToken(const OuterJoinScanState* state);

/// The character at the read position (above U+007E as 'Z'), or -1 at the end; nothing moves.
int32_t ojPeekChar(const OuterJoinScanState* state);

/// Moves the read position back one character and returns it, classed as by ojPeekChar; at
/// textStart nothing moves and it returns -1.
int32_t ojStepBack(OuterJoinScanState* state);

/// Stops the scan as a match that does not fit stops it: the message "Input string too long,
/// limit 4096" is written, and ojNextToken returns oj::kOverflow until a restart. For a caller
/// that knows the next match would not fit.
void ojStopOnOverflow(OuterJoinScanState* state);
