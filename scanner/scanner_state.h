// The clause scanner: cuts the text of an escape clause into the tokens that the date and time,
// scalar-function and call translators read (clause openings and terminators, names, numbers,
// strings, punctuation, keyword words), and records the text positions they rewrite the statement
// by. Each translator creates a ScannerState, points it at the statement, restarts it wherever it
// needs to scan, and destroys it before it returns. The scanner never writes to the text.
#pragma once

#include <cstdint>
#include <cstdio>

struct ScratchPool;

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
inline constexpr uint32_t kAutomatonCapacityUnits = 4096;  ///< createScanner's room by default
/// The room a scanner over a text of `length` characters needs in its buffers and token texts:
/// a match holds at most the text and two characters that stand for its end.
constexpr uint32_t bcoScannerRoom(uint64_t length) {
  return length + 16 < kMatchCapacity ? uint32_t(length + 16) : kMatchCapacity;
}
inline constexpr uint32_t kNumberTextCapacity = 32;  ///< numberText

/// What peekChar and stepBack return for the terminating null (and stepBack at textStart).
inline constexpr int32_t kNoChar = -1;

struct ParseStack;
struct CallArgument;
struct LexWork;
struct ServerLink;

/// Capacities of the call parser's buffers, in characters with the terminator.
inline constexpr uint32_t kBlockTextStart = 8192;      ///< blockText at first; grows
inline constexpr uint32_t kProcNameCapacity = 512;     ///< procName, and the joined-name scratch
inline constexpr uint32_t kArgTextCapacity = 4096;     ///< argText
inline constexpr uint32_t kGroupPoolStart = 5120;      ///< groupPool at first; grows
inline constexpr uint32_t kNestedTextCapacity = 2048;  ///< nestedText
inline constexpr int32_t kArgListStep = 8;             ///< argument-list entries added at a time

/// The call parser's working fields (call/): zero when the state is created or reset. The call
/// parser obtains their buffers (bcoObtain) and releases them before it releases the state.
struct CallWork {
  uint16_t* blockText;  ///< the anonymous block being built
  uint32_t blockLength;
  uint32_t blockCapacity;
  uint16_t* procName;  ///< the called procedure's name as written
  uint32_t procNameLength;
  uint16_t* argText;  ///< the argument being parsed
  uint32_t argLength;
  uint16_t* groupPool;     ///< item texts of the group being parsed, each terminated
  uint32_t groupWritePos;  ///< where the next item goes: on the pool's final extra terminator
  uint32_t groupCapacity;
  uint16_t* nestedText;  ///< a function call written as an argument
  uint32_t nestedLength;
  CallArgument* args;  ///< the argument list
  int32_t argCount;
  int32_t argCapacity;
  int32_t argFilling;  ///< index of the resultset group entry being filled
  int32_t nextMarker;  ///< number for the next parameter marker
  int32_t markersSeen;
  int32_t valuesSeen;
  int32_t groupsSeen;
  int32_t isLiteral;  ///< the argument being parsed is a literal or an expression
  int32_t procNameSeen;
  int32_t inGroup;
  uint32_t failure;  ///< reason an action stopped the parse with: 59 (a bound) or 83 (memory)
  ServerLink* link;  ///< the call's ServerLink: its first describe option numbers nested markers
  uint32_t joinedLength;
  uint16_t joinedName[kProcNameCapacity];  ///< a dotted name being assembled
};

/// The state of one scan. Created by createScanner with every field zero; positions point into
/// the caller's null-terminated statement, which must stay in place while the state is used.
///
/// Before the first token the user sets textStart and inputPos (and textEnd where it uses it),
/// gives tokenText and prevTokenText buffers of kTokenTextCapacity characters whose first
/// character is 0, clears functionCode where it reads it, and calls restartAt(inputPos).
///
struct ScannerState {
  ScratchPool* pool;         ///< where the state's buffers come from and go back to
  ParseStack* parserWork;    ///< owned: the stacks of a parser run over this scanner's tokens
  LexWork* lexWork;          ///< owned (scanner/automaton.h)
  CallWork call;             ///< the call parser's working fields
  uint32_t functionCode;     ///< code of the last function or type keyword matched since the user
                             ///< cleared it (names that are no such keyword leave it alone)
  int32_t terminatorLength;  ///< of the last T_CLAUSE_END: 1 for "}", 4 for "*)--"
  int32_t prescan;           ///< set by the user: call openings and BEGIN record clauseStart
  int32_t literalLength;     ///< user's scratch
  int32_t endSeen;           ///< the end of the text has been read once, as a blank; never cleared
                             ///< by restartAt, so a later scan gets the end without the blank
  int32_t foreignSeen;   ///< a character outside 0x20-0x7E, tab, LF, CR was read from the text and
                         ///< no name, quoted name or string has been captured since
  uint32_t tokenLength;  ///< length of tokenText
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
  int32_t lastToken;             ///< user's scratch
  const uint16_t* afterKeyword;  ///< after the last clause opening with a position (FN, D, T, TS,
                                 ///< ESCAPE): right after its keyword, one further for T
  const uint16_t* textEnd;       ///< user's: the end of the text, where the user needs it
  const uint16_t* inputPos;      ///< where the next character is read from the text
  const uint16_t* cursor;        ///< scratch; clause openings leave the input position here
  const uint16_t* cursor2;       ///< user's scratch
  const uint16_t* clauseStart;   ///< with prescan set: start of the last BEGIN or call opening
  const uint16_t* openingPos;    ///< start of the last clause opening with a position: its '{' or
                                 ///< the first '-' of "--(*"
  const uint16_t* textStart;     ///< user's: the start of the text; nothing before it is read
  uint16_t* matchText;   ///< owned, kMatchCapacity: the text of the last match as the automaton
                         ///< saw it (characters outside the passed set as 'Z'), terminated
  int32_t matchLength;   ///< its length
  uint32_t pushbackTop;  ///< entries in pushback
  uint16_t* pushback;    ///< owned, kPushbackCapacity: characters read ahead and given back,
                         ///< read again (last in, first out) before the text
};

/// A new state: the record, the ParseStack and lexWork zero-filled, matchText and pushback
/// allocated, all from pool (bcoObtain); diagnostics on the standard output. Untraced, the two
/// buffers hold `room` characters (at most kMatchCapacity): a text of n characters needs n + 16
/// (bcoScannerRoom). Null when an allocation fails (what was obtained is released). Release with
/// destroyScanner.
ScannerState* createScanner(ScratchPool* pool, uint32_t room = kAutomatonCapacityUnits);

/// The characters the state's buffers hold (the room createScanner gave them); token texts of
/// this many characters hold any token.
uint32_t scannerRoom(const ScannerState* state);

/// Releases what createScanner allocated and the record to the state's pool; null is accepted.
/// The user's tokenText and prevTokenText are not touched.
void destroyScanner(ScannerState* state);

/// Clears everything a scan leaves in the state (positions, flags, codes, texts, pushback, the call
/// parser's fields, which must have been released), keeping the buffers and the user's tokenText
/// and prevTokenText (emptied), so that one state can serve the next clause as if it were new.
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

/// Where the text after the last token begins: inputPos less the characters read ahead of it and
/// held in pushback. After a "(" token it is the position right after that "(".
const uint16_t* afterToken(const ScannerState* state);

/// Sets inputPos, empties the pushback and ends an overflowed scan; endSeen stays as it is.
void restartAt(ScannerState* state, const uint16_t* position);

/// True when the scanner holds nothing read ahead (empty pushback, no end held, no overflow): the
/// next tokens depend only on the text from inputPos on, and restartAt(inputPos) changes nothing.
bool scannerClean(const ScannerState* state);
