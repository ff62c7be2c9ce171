// The steps of one match of the clause scanner, shared by its rules (clause_scanner.re, which re2c
// turns into the automaton) and its state routines (scanner_state.cpp): the input routine, and
// finishing a match with the action of the rule that won; fetching characters is the automaton's
// common step (automaton.h). Only the scanner's own files include this header.
#pragma once

#include <cstdint>

#include "scanner/automaton.h"
#include "scanner/scanner_state.h"

static_assert(kMatchCapacity == kAutomatonCapacity && kPushbackCapacity == kAutomatonCapacity);

/// The clause scanner's LexWork, for the automaton's common steps.
inline LexWork& lexOf(const ScannerState* s) { return *s->lexWork; }

/// What the rule that won does with its match.
enum class Action : uint8_t {
  kToken,        ///< returns the token
  kOwnCode,      ///< returns the character's own code
  kSkip,         ///< white space and line comments: matches again
  kCapture,      ///< quoted name or string: text capture
  kName,         ///< name or keyword word: function code, text capture
  kNumber,       ///< numberText
  kOpening,      ///< clause opening of FN, D, T, TS, ESCAPE: openingPos, afterKeyword
  kCallOpening,  ///< BEGIN and the call openings: clauseStart in prescan mode
  kTerminator,   ///< "}" or "*)--": terminatorLength
  kEnd,          ///< the end of the text
};

/// What acceptMatch returns for a skipped match; never leaves nextToken.
inline constexpr int32_t kSkipped = INT32_MIN;

/// Tab, line feed, carriage return and 0x20-0x7E reach the automaton as they are; everything else
/// (control characters, 0x7F, every character above it) reads as the letter 'Z'.
inline bool scannerPasses(uint16_t c) {
  return (c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\n' || c == '\r';
}

/// The input routine: the character at inputPos, advancing past it. Characters outside
/// 0x20-0x7E, tab, LF and CR read as 'Z' and set foreignSeen. At the terminating null (which it
/// never passes) it yields one blank the first time, setting endSeen, and -1 afterwards. Inline:
/// the automaton reads every character through it.
inline int32_t readInput(ScannerState* s) { return readMapped(s, &s->foreignSeen, scannerPasses); }

/// Ends the match at m.cursor: gives the characters read past it back to pushback, cuts and
/// terminates matchText, and runs the action. Returns the token, kSkipped, or kTokenOverflow.
int32_t acceptMatch(ScannerState* s, const Match& m, Action action, int32_t token);
