// The steps of one match of the clause scanner, shared by its rules (clause_scanner.re, which re2c
// turns into the automaton) and its state routines (scanner_state.cpp): fetching characters for
// the automaton, and finishing a match with the action of the rule that won. Only the scanner's
// own files include this header.
#pragma once

#include <cstdint>

#include "scanner/scanner_state.h"

/// One match in progress. The automaton runs over matchText, and a character is fetched into it
/// (from pushback, else from the text) only when the automaton asks for one beyond those it has:
/// exactly the characters a longest-match automaton reads are taken. Whatever it read past the
/// rule that won goes back to pushback when the match ends.
struct Match {
  uint32_t cursor = 0;   ///< the automaton's position in matchText
  uint32_t fetched = 0;  ///< characters fetched into matchText
  uint32_t marker = 0;   ///< cursor at the last accepting state passed, for backing up
  uint32_t firstEnd = kMatchCapacity;  ///< first fetched character standing for the end of the
                                       ///< text (the end blank or the end value), if any
  bool overflow = false;  ///< the automaton wanted a character matchText has no room for
};

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

/// The value the automaton sees for the end of the text once the end blank has been read.
inline constexpr uint8_t kEndCode = 0;

/// The input routine: the character at inputPos, advancing past it. Characters outside
/// 0x20-0x7E, tab, LF and CR read as 'Z' and set foreignSeen. At the terminating null (which it
/// never passes) it yields one blank the first time, setting endSeen, and -1 afterwards.
int32_t readInput(ScannerState* s);

/// The automaton's next character: from pushback if it holds any, else through the input
/// routine; appended to matchText.
inline uint8_t fetchChar(ScannerState* s, Match& m) {
  if (m.fetched >= kMatchCapacity - 1) {  // the terminator needs the last place
    m.overflow = true;
    return kEndCode;  // no state but the start goes on with it, so the automaton stops
  }
  uint16_t c;
  if (s->pushbackTop > 0) {
    // Entries at the bottom of pushback stand for the end; nothing real comes after them.
    if (s->pushbackTop <= s->lexWork->endHeld) {
      --s->lexWork->endHeld;
      if (m.firstEnd > m.fetched) m.firstEnd = m.fetched;
    }
    c = s->pushback[--s->pushbackTop];
  } else {
    const uint16_t* before = s->inputPos;
    const int32_t read = readInput(s);
    if (s->inputPos == before && m.firstEnd > m.fetched) m.firstEnd = m.fetched;
    c = read < 0 ? kEndCode : uint16_t(read);
  }
  s->matchText[m.fetched++] = c;
  return uint8_t(c);
}

/// Ends the match at m.cursor: gives the characters read past it back to pushback, cuts and
/// terminates matchText, and runs the action. Returns the token, kSkipped, or kTokenOverflow.
int32_t acceptMatch(ScannerState* s, const Match& m, Action action, int32_t token);
