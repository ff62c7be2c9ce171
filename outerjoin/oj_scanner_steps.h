// The steps of one match of the outer-join scanner, shared by its rules (oj_scanner.re, which re2c
// turns into the automaton) and its state routines (oj_scanner.cpp): fetching characters for the
// automaton and finishing a match with the action of the rule that won. Only the scanner's own
// files include this header.
#pragma once

#include <cstdint>

#include "outerjoin/oj_scanner.h"

/// One match in progress. The automaton runs over matchText; a character is fetched into it (from
/// pushback, else from the statement) only when the automaton asks for one beyond those it has,
/// and what it read past the winning rule goes back to pushback when the match ends.
struct OjMatch {
  uint32_t cursor = 0;   ///< the automaton's position in matchText
  uint32_t fetched = 0;  ///< characters fetched into matchText
  uint32_t marker = 0;   ///< cursor at the last accepting state passed, for backing up
  uint32_t firstEnd = kOjMatchCapacity;  ///< first fetched character standing for the end
  bool overflow = false;  ///< the automaton wanted a character matchText has no room for
};

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

/// The value the automaton sees for the end of the text once the end blank has been read.
inline constexpr uint8_t kOjEndCode = 0;

/// The input routine: the character at the read position, advancing past it; characters above
/// U+007E read as 'Z' and set wideSeen. At the terminating null (never passed) it yields one
/// blank the first time, setting endSeen, and -1 afterwards.
int32_t ojReadInput(OuterJoinScanState* s);

/// Notes a match's start in matchLog when the translator keeps one.
void ojBeginMatch(OuterJoinScanState* s);

/// The automaton's next character: from pushback if it holds any, else through the input
/// routine; appended to matchText.
inline uint8_t ojFetchChar(OuterJoinScanState* s, OjMatch& m) {
  if (m.fetched >= kOjMatchCapacity - 1) {  // the terminator needs the last place
    m.overflow = true;
    return kOjEndCode;  // no state but the start goes on with it, so the automaton stops
  }
  uint16_t c;
  if (s->pushbackTop > 0) {
    // Entries at the bottom of pushback stand for the end; nothing real comes after them.
    if (s->pushbackTop <= s->endHeld) {
      --s->endHeld;
      if (m.firstEnd > m.fetched) m.firstEnd = m.fetched;
    }
    c = s->pushback[--s->pushbackTop];
  } else {
    const uint16_t* before = s->inputPos;
    const int32_t read = ojReadInput(s);
    if (s->inputPos == before && m.firstEnd > m.fetched) m.firstEnd = m.fetched;
    c = read < 0 ? kOjEndCode : uint16_t(read);
  }
  s->matchText[m.fetched++] = c;
  return uint8_t(c);
}

/// Ends the match at m.cursor: gives the characters read past it back to pushback, cuts and
/// terminates matchText, applies the mode change and runs the action. Returns the token,
/// kOjSkipped, or oj::kOverflow.
int32_t ojAccept(OuterJoinScanState* s, const OjMatch& m, OjAction action, int32_t token,
                 int32_t mode);
