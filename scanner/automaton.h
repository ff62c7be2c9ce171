// The steps of a longest-match automaton that the clause scanner (scanner/) and the outer-join
// scanner (outerjoin/) share: fetching characters for a match from the pushback or the text,
// giving back what the match read past its rule, the overflow of a match, and a number's text.
// Each scanner's state provides matchText, matchLength, pushback, pushbackTop, inputPos, a
// LexWork reached through lexOf(state), and an input routine readInput(state); these templates
// work on either. Only the scanners' own files include this header.
#pragma once

#include <cstdint>
#include <cstdio>

/// The longest match, and so matchText and the pushback, in characters with the terminator.
inline constexpr uint32_t kAutomatonCapacity = 4096;
static_assert(kAutomatonCapacity <= UINT16_MAX, "LexWork::room holds the capacity");

/// The automaton's own working storage.
struct LexWork {
  FILE* diagnostics;  ///< where the overflow message goes: the process's standard output
  uint16_t endHeld;   ///< pushback entries (at its bottom) that stand for the end of the text
  /// Characters matchText and pushback hold: kAutomatonCapacity, or fewer for a text too short
  /// to fill them (a match never holds more than the text and its end). Reaching it ends the
  /// scan as an overflow, so a wrong size can never write past them.
  uint16_t room;
  int32_t failed;  ///< a match overflowed: the scanner returns its overflow code until restart
};

/// One match in progress. The automaton runs over matchText, and a character is fetched into it
/// (from pushback, else from the text) only when the automaton asks for one beyond those it has:
/// exactly the characters a longest-match automaton reads are taken. Whatever it read past the
/// rule that won goes back to pushback when the match ends.
struct Match {
  uint32_t cursor = 0;   ///< the automaton's position in matchText
  uint32_t fetched = 0;  ///< characters fetched into matchText
  uint32_t marker = 0;   ///< cursor at the last accepting state passed, for backing up
  uint32_t firstEnd = kAutomatonCapacity;  ///< first fetched character standing for the end of
                                           ///< the text (the end blank or the end value), if any
  bool overflow = false;  ///< the automaton wanted a character matchText has no room for
};

/// The value the automaton sees for the end of the text once the end blank has been read.
inline constexpr uint8_t kEndCode = 0;

/// The input routine of a scanner whose automaton sees the characters `passes` accepts as they
/// are and every other one as the letter 'Z', which sets *otherSeen: the character at inputPos,
/// advancing past it. At the terminating null (never passed) it yields one blank the first time,
/// setting endSeen, so that a name or "--" at the very end is complete, and -1 afterwards (also
/// in later scans of the same text).
template <class State, class Passes>
inline int32_t readMapped(State* s, int32_t* otherSeen, Passes passes) {
  const uint16_t c = *s->inputPos;
  if (c == 0) {
    if (s->endSeen != 0) return -1;
    s->endSeen = 1;
    return ' ';
  }
  ++s->inputPos;
  if (passes(c)) return c;
  *otherSeen = 1;
  return 'Z';
}

/// Moves inputPos back one character and returns it mapped by `mapped`; at textStart nothing
/// moves and the result is -1.
template <class State, class Mapped>
inline int32_t stepBackMapped(State* s, Mapped mapped) {
  if (s->inputPos <= s->textStart) return -1;
  --s->inputPos;
  return mapped(*s->inputPos);
}

/// The automaton's next character: from pushback if it holds any, else through the input
/// routine; appended to matchText.
template <class State>
inline uint8_t fetchChar(State* s, Match& m) {
  LexWork& work = lexOf(s);
  // The terminator needs the last place.
  if (m.fetched >= kAutomatonCapacity - 1 || m.fetched + 1 >= work.room) {
    m.overflow = true;
    return kEndCode;  // no state but the start goes on with it, so the automaton stops
  }
  uint16_t c;
  if (s->pushbackTop > 0) {
    // Entries at the bottom of pushback stand for the end; nothing real comes after them.
    if (s->pushbackTop <= work.endHeld) {
      --work.endHeld;
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

/// Forgets the match and everything read ahead (an overflow, or the end of the text).
template <class State>
inline void clearMatch(State* s) {
  s->pushbackTop = 0;
  lexOf(s).endHeld = 0;
  s->matchLength = 0;
  s->matchText[0] = 0;
}

/// The overflow of a match: writes "Input string too long, limit 4096" to the diagnostics and
/// stops the scan until it is restarted.
template <class State>
inline void stopOnOverflow(State* s) {
  LexWork& work = lexOf(s);
  std::fprintf(work.diagnostics, "Input string too long, limit %d\n", int(kAutomatonCapacity));
  std::fflush(work.diagnostics);
  work.failed = 1;
  clearMatch(s);
}

/// Ends the match at m.cursor: gives the characters read past it back to pushback, newest first
/// so that they are read again in order (those standing for the end are the newest of all and go
/// to the bottom), and cuts and terminates matchText. false after an overflow (reported).
template <class State>
[[nodiscard]] inline bool endMatch(State* s, const Match& m) {
  if (m.overflow || s->pushbackTop + (m.fetched - m.cursor) > kAutomatonCapacity ||
      s->pushbackTop + (m.fetched - m.cursor) > lexOf(s).room) {
    stopOnOverflow(s);
    return false;
  }
  LexWork& work = lexOf(s);
  for (uint32_t i = m.fetched; i-- > m.cursor;) {
    if (i >= m.firstEnd) ++work.endHeld;
    s->pushback[s->pushbackTop++] = s->matchText[i];
  }
  s->matchLength = int32_t(m.cursor);
  s->matchText[m.cursor] = 0;
  return true;
}

/// Where the text after the last token begins: the read position less the characters read ahead
/// of it and held in pushback, except those standing for the end, which have no place in it.
template <class State>
inline const uint16_t* textAfterMatch(const State* s) {
  return s->inputPos - (s->pushbackTop - lexOf(s).endHeld);
}

/// A number's text as written, blanks before its digits included (" 5", "- 5"), into out of
/// capacity characters with the terminator. One that does not fit loses those blanks and tabs
/// first, since they mean nothing to the server; if it still does not fit, out keeps its first
/// capacity - 1 characters and the result is true (truncated).
bool copyNumberText(const uint16_t* text, uint32_t length, uint16_t* out, uint32_t capacity,
                    uint32_t* outLength);
