// The steps of one match of the outer-join scanner, shared by its rules (oj_scanner.re, which re2c
// turns into the automaton) and its state routines (oj_scanner.cpp): the input routine and
// finishing a match with the action of the rule that won; fetching characters is the automaton's
// common step (scanner/automaton.h). Only the scanner's own files include this header.
#pragma once

#include <cstdint>

#include "outerjoin/oj_scanner.h"

/// What the rule that won does with its match.
enum class OjAction : uint8_t {
  kToken,       ///< returns the token
  kOwnCode,     ///< returns the character's own code
  kBlank,       ///< one white-space character: skipped; mode 2 becomes mode 0
  kSkip,        ///< a line comment: skipped
  kName,        ///< a name: TABLE_NAME, ARG_NAME or COLUMN_NAME by mode, text captured
  kQuotedName,  ///< a double-quoted name: likewise with the quoted codes
  kString,      ///< a string literal: text captured
  kNumber,      ///< numberText
  kOpener,      ///< OJ_OPEN: clauseStart when markOpener is set
  kCloser,      ///< OJ_CLOSE: closerSeen and clauseEnd when markCloser is set
  kOpenParen,   ///< "(": after a column name, the parentheses of a function call
  kEnd,         ///< the end of the text
};

/// Mode argument of ojAccept for rules that leave the mode alone.
inline constexpr int32_t kNoModeChange = -1;

/// What ojAccept returns for a skipped match; never leaves ojNextToken.
inline constexpr int32_t kOjSkipped = INT32_MIN;

/// The input routine: the character at the read position, advancing past it; characters above
/// U+007E read as 'Z' and set wideSeen. At the terminating null (never passed) it yields one
/// blank the first time, setting endSeen, and -1 afterwards. A text waiting to go in place there
/// goes in first. Inline: the automaton reads every character through it.
inline int32_t readInput(OuterJoinScanState* s) {
  if (s->inputPos == s->holdAt) s->holdHook(s);
  return readMapped(s, &s->wideSeen, [](uint16_t c) { return c <= 0x7E; });
}

/// The state's LexWork, for the automaton's common steps.
inline LexWork& lexOf(OuterJoinScanState* s) { return s->lex; }
inline const LexWork& lexOf(const OuterJoinScanState* s) { return s->lex; }

/// Notes a match's start in matchRing when the translator keeps a log (inline: every match comes
/// here).
inline void ojBeginMatch(OuterJoinScanState* s) {
  if (s->logMatches == 0) return;
  uint32_t* entry = s->matchRing[s->matchCount++ % kMatchRing];
  entry[0] = uint32_t(textAfterMatch(s) - s->textStart);
  const uint64_t read = uint64_t(s->inputPos - s->textStart);
  entry[1] =
      uint32_t(read < kRingOffset ? read : kRingOffset) | (s->endSeen != 0 ? kRingEndRead : 0);
}

/// Ends the match at m.cursor: gives the characters read past it back to pushback, cuts and
/// terminates matchText, applies the mode change and runs the action. Returns the token,
/// kOjSkipped, or oj::kOverflow.
int32_t ojAccept(OuterJoinScanState* s, const Match& m, OjAction action, int32_t token,
                 int32_t mode);
