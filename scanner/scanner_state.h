// The clause scanner: cuts the text of an escape clause into the tokens that the date and time,
// scalar-function and call translators read (clause openings and terminators, names, numbers,
// strings, punctuation, keyword words), and records the text positions they rewrite the statement
// by. Each translator creates a ScannerState, points it at the statement, restarts it wherever it
// needs to scan, and destroys it before it returns. The scanner never writes to the text.
#pragma once

#include <cstdint>
#include <cstdio>

/// Token codes returned by nextToken. Any other single character comes back as its own code
/// ('{', '-', '*', the double quote, ...); 0 is the end of the text. 258, 259, 262, 271, 276, 279,
/// 283 and 288 belong to the same numbering and are never returned.
inline constexpr int32_t T_NAME = 257;           ///< name, quoted name or keyword word
inline constexpr int32_t T_NUMBER = 260;         ///< number; its text is in numberText
inline constexpr int32_t T_STRING = 261;         ///< string literal, quotes (and N) included
inline constexpr int32_t T_BEGIN = 263;          ///< BEGIN
inline constexpr int32_t T_COMMENT_OPEN = 264;   ///< "/*" and the one character after it
inline constexpr int32_t T_COMMENT_CLOSE = 265;  ///< "*/"
inline constexpr int32_t T_CALL = 266;           ///< "{call" or the long opening with CALL
inline constexpr int32_t T_RETCALL = 267;        ///< "{?=call", white space allowed between
inline constexpr int32_t T_COLON = 268;
inline constexpr int32_t T_COMMA = 269;
inline constexpr int32_t T_DATE = 270;  ///< "{d" or the long opening with D
inline constexpr int32_t T_DOT = 272;
inline constexpr int32_t T_END = 273;  ///< END
inline constexpr int32_t T_EQUALS = 274;
inline constexpr int32_t T_ESCAPE = 275;  ///< "{escape" or the long opening with ESCAPE
inline constexpr int32_t T_FN = 277;      ///< "{fn" or the long opening with FN
inline constexpr int32_t T_LPAREN = 278;
inline constexpr int32_t T_QMARK = 280;
inline constexpr int32_t T_CLAUSE_END = 281;  ///< "}" or "*)--"; see terminatorLength
inline constexpr int32_t T_RPAREN = 282;
inline constexpr int32_t T_RESULTSET = 284;  ///< "{resultset" or the long opening with RESULTSET
inline constexpr int32_t T_SEMICOLON = 285;
inline constexpr int32_t T_TIME = 286;       ///< "{t" or the long opening with T
inline constexpr int32_t T_TIMESTAMP = 287;  ///< "{ts" or the long opening with TS

/// Returned by nextToken when one match, with the characters read ahead of it, does not fit
/// matchText. The scanner has written "Input string too long, limit 4096" to its diagnostic
/// stream; every further nextToken returns this code again until restartAt. Users fail the
/// clause as malformed (reason 59).
inline constexpr int32_t kTokenOverflow = -2;

/// Capacities in characters, terminator included.
inline constexpr uint32_t kMatchCapacity = 4096;      ///< matchText, and so the longest match
inline constexpr uint32_t kPushbackCapacity = 4096;   ///< pushback
inline constexpr uint32_t kTokenTextCapacity = 4096;  ///< tokenText, prevTokenText (the user's)
inline constexpr uint32_t kNumberTextCapacity = 32;   ///< numberText

/// What peekChar and stepBack return for the terminating null (and stepBack at textStart).
inline constexpr int32_t kNoChar = -1;

struct ParseStack;

/// The automaton's own working storage, allocated with the state.
struct LexWork {
  FILE* diagnostics;  ///< where the overflow message goes: the process's standard output
  uint32_t endHeld;   ///< pushback entries (at its bottom) that stand for the end of the text
  int32_t failed;     ///< a match overflowed: nextToken returns kTokenOverflow until restartAt
};

/// The state of one scan. Created by createScanner with every field zero; positions point into
/// the caller's null-terminated statement, which must stay in place while the state is used.
///
/// Before the first token the user sets textStart and inputPos (and textEnd where it uses it),
/// gives tokenText and prevTokenText buffers of kTokenTextCapacity characters whose first
/// character is 0, clears functionCode where it reads it, and calls restartAt(inputPos).
///
/// The places marked "call parser" take the call parser's working fields when it is added; they
/// start zero like the rest and are released by destroyScanner.
struct ScannerState {
  ParseStack* parserWork;  ///< the call parser's stacks; null until the call parser is added
  LexWork* lexWork;        ///< owned
  // [call parser]
  uint32_t functionCode;  ///< code of the last function or type keyword matched since the user
                          ///< cleared it (names that are no such keyword leave it alone)
  // [call parser]
  int32_t terminatorLength;  ///< of the last T_CLAUSE_END: 1 for "}", 4 for "*)--"
  int32_t prescan;           ///< set by the user: call openings and BEGIN record clauseStart
  int32_t literalLength;     ///< user's scratch
  // [call parser]
  int32_t endSeen;      ///< the end of the text has been read once, as a blank; never cleared
                        ///< by restartAt, so a later scan gets the end without the blank
  int32_t foreignSeen;  ///< a character outside 0x20-0x7E, tab, LF, CR was read from the text and
                        ///< no name, quoted name or string has been captured since
  // [call parser]
  uint32_t tokenLength;      ///< length of tokenText
  uint32_t prevTokenLength;  ///< length of prevTokenText
  uint16_t* tokenText;       ///< user's buffer: the last name, quoted name or string, terminated;
                             ///< null: no text is captured
  uint16_t* prevTokenText;   ///< user's buffer: the captured token before it
  int32_t parenDepth;        ///< user's scratch
  uint32_t numberLength;     ///< length of numberText
  uint16_t numberText[kNumberTextCapacity];  ///< the last number as written, terminated; when it
                                             ///< is longer than 31 characters, see numberTruncated
  int32_t numberTruncated;  ///< the last number did not fit numberText even without the blanks
                            ///< and tabs before its digits: numberText holds its first 31
                            ///< characters, and a user that needs the text must fail the clause
  // [call parser]
  const uint16_t* afterKeyword;  ///< after the last clause opening with a position (FN, D, T, TS,
                                 ///< ESCAPE): right after its keyword, one further for T
  const uint16_t* textEnd;       ///< user's: the end of the text, where the user needs it
  // [call parser]
  const uint16_t* inputPos;     ///< where the next character is read from the text
  const uint16_t* cursor;       ///< scratch; clause openings leave the input position here
  const uint16_t* cursor2;      ///< user's scratch
  const uint16_t* clauseStart;  ///< with prescan set: start of the last BEGIN or call opening
  const uint16_t* openingPos;   ///< start of the last clause opening with a position: its '{' or
                                ///< the first '-' of "--(*"
  const uint16_t* textStart;    ///< user's: the start of the text; nothing before it is read
  // [call parser]
  int32_t lastToken;     ///< user's scratch
  uint16_t* matchText;   ///< owned, kMatchCapacity: the text of the last match as the automaton
                         ///< saw it (characters outside the passed set as 'Z'), terminated
  int32_t matchLength;   ///< its length
  uint32_t pushbackTop;  ///< entries in pushback
  uint16_t* pushback;    ///< owned, kPushbackCapacity: characters read ahead and given back,
                         ///< read again (last in, first out) before the text
};

/// A new state: the record and lexWork zero-filled, matchText and pushback allocated, all through
/// pMEMAlloc; diagnostics on the standard output. Null when an allocation fails (what was
/// obtained is released). Release with destroyScanner.
ScannerState* createScanner();

/// Releases what createScanner allocated and the record, through MEMFree; null is accepted. The
/// user's tokenText and prevTokenText are not touched.
void destroyScanner(ScannerState* state);

/// Clears everything a scan leaves in the state (positions, flags, codes, texts, pushback),
/// keeping the buffers and the user's tokenText and prevTokenText (emptied), so that one state can
/// serve the next clause as if it were new.
void resetScanner(ScannerState* state);

/// The next token: a T_ code, a character's own code, 0 at the end of the text, or
/// kTokenOverflow. Whitespace and line comments are skipped. Names, quoted names and strings are
/// captured into tokenText (the previous capture moving to prevTokenText); numbers into
/// numberText; function and type keywords set functionCode. The characters a match reads beyond
/// its token wait in pushback, so inputPos can stand past the token.
int32_t nextToken(ScannerState* state);

/// The character at inputPos as the automaton would see it (outside 0x20-0x7E, tab, LF and CR:
/// 'Z'), without advancing or touching foreignSeen; kNoChar at the terminating null.
int32_t peekChar(ScannerState* state);

/// Moves inputPos back one character and returns the character now there, mapped as by
/// peekChar. At textStart nothing moves and it returns kNoChar.
int32_t stepBack(ScannerState* state);

/// Sets inputPos, empties the pushback and ends an overflowed scan; endSeen stays as it is.
void restartAt(ScannerState* state, const uint16_t* position);
