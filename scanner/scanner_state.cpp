// The clause scanner's state and the steps around its automaton: creating and releasing the
// state, the input routine that maps statement characters to the automaton's 7-bit codes, moving
// about in the text (peekChar, stepBack, restartAt), and the end of each match: giving back what
// was read ahead, text capture, numbers, and the positions recorded for the translators.
#include <algorithm>
#include <cstring>

#include "call/parse_stack.h"
#include "driver/memory.h"
#include "scanner/keywords.h"
#include "scanner/scanner_steps.h"

namespace {

// Tab, line feed, carriage return and 0x20-0x7E reach the automaton as they are; everything else
// (control characters, 0x7F, every character above it) reads as the letter 'Z'.
bool passes(uint16_t c) { return (c >= 0x20 && c <= 0x7E) || c == '\t' || c == '\n' || c == '\r'; }

int32_t mapped(uint16_t c) {
  if (c == 0) return kNoChar;
  return passes(c) ? c : 'Z';
}

int32_t overflow(ScannerState* s) {
  std::fprintf(s->lexWork->diagnostics, "Input string too long, limit %d\n", int(kMatchCapacity));
  std::fflush(s->lexWork->diagnostics);
  s->lexWork->failed = 1;
  s->pushbackTop = 0;
  s->lexWork->endHeld = 0;
  s->matchLength = 0;
  s->matchText[0] = 0;
  return kTokenOverflow;
}

// Names, quoted names and strings. After a character outside the passed set was read, the text
// comes from the statement itself, so that "aé" is captured as written, not as "aZ".
void captureText(ScannerState* s) {
  if (s->tokenText == nullptr) return;
  if (s->prevTokenText != nullptr) {
    std::memcpy(s->prevTokenText, s->tokenText, (s->tokenLength + 1) * sizeof(uint16_t));
    s->prevTokenLength = s->tokenLength;
  }
  const uint32_t length = uint32_t(s->matchLength);
  const uint16_t* from = s->matchText;
  if (s->foreignSeen != 0) {
    from = afterToken(s) - length;
    s->foreignSeen = 0;
  }
  std::memcpy(s->tokenText, from, length * sizeof(uint16_t));
  s->tokenText[length] = 0;
  s->tokenLength = length;
}

// A number as written, blanks before its digits included (" 5", "- 5"). One that is too long
// for numberText loses those blanks and tabs first ("-", 40 blanks, "5" becomes "-5"), since
// they mean nothing to the server; if it still does not fit, numberText keeps its first 31
// characters and numberTruncated tells the users that need the number's text.
void copyNumber(ScannerState* s) {
  const uint32_t length = uint32_t(s->matchLength);
  s->numberTruncated = 0;
  if (length < kNumberTextCapacity) {
    std::memcpy(s->numberText, s->matchText, length * sizeof(uint16_t));
    s->numberText[length] = 0;
    s->numberLength = length;
    return;
  }
  uint32_t kept = 0;
  for (uint32_t i = 0; i < length; ++i) {
    const uint16_t c = s->matchText[i];
    if (c == ' ' || c == '\t') continue;
    if (kept == kNumberTextCapacity - 1) {
      s->numberTruncated = 1;
      break;
    }
    s->numberText[kept++] = c;
  }
  s->numberText[kept] = 0;
  s->numberLength = kept;
}

}  // namespace

ScannerState* createScanner() {
  MemPtr<ScannerState> state(static_cast<ScannerState*>(pMEMAlloc(sizeof(ScannerState), 0)));
  if (!state) return nullptr;
  // Both buffers are written before they are read: no need to zero 16 KB per state.
  MemPtr<uint16_t> matchText(
      static_cast<uint16_t*>(pMEMAlloc(kMatchCapacity * sizeof(uint16_t), 1)));
  if (!matchText) return nullptr;
  MemPtr<uint16_t> pushback(
      static_cast<uint16_t*>(pMEMAlloc(kPushbackCapacity * sizeof(uint16_t), 1)));
  if (!pushback) return nullptr;
  MemPtr<ParseStack> parse(static_cast<ParseStack*>(pMEMAlloc(sizeof(ParseStack), 0)));
  if (!parse) return nullptr;
  MemPtr<LexWork> work(static_cast<LexWork*>(pMEMAlloc(sizeof(LexWork), 0)));
  if (!work) return nullptr;

  work->diagnostics = stdout;
  parse->limit = kParseStackStart;
  matchText.get()[0] = 0;
  state->matchText = matchText.release();
  state->pushback = pushback.release();
  state->parserWork = parse.release();
  state->lexWork = work.release();
  return state.release();
}

void destroyScanner(ScannerState* state) {
  if (state == nullptr) return;
  MEMFree(state->matchText);
  MEMFree(state->pushback);
  parseStackRelease(state->parserWork);
  MEMFree(state->parserWork);
  MEMFree(state->lexWork);
  MEMFree(state);
}

void resetScanner(ScannerState* state) {
  // Everything but the owned buffers and the user's two text buffers is per scan.
  ScannerState kept = *state;
  std::memset(static_cast<void*>(state), 0, sizeof(ScannerState));
  state->parserWork = kept.parserWork;
  state->lexWork = kept.lexWork;
  state->matchText = kept.matchText;
  state->pushback = kept.pushback;
  state->tokenText = kept.tokenText;
  state->prevTokenText = kept.prevTokenText;
  if (state->tokenText != nullptr) state->tokenText[0] = 0;
  if (state->prevTokenText != nullptr) state->prevTokenText[0] = 0;
  state->matchText[0] = 0;
  state->lexWork->endHeld = 0;
  state->lexWork->failed = 0;
}

// The characters held in pushback come from the text right before inputPos, except those
// standing for the end, which have no place in it.
const uint16_t* afterToken(const ScannerState* s) {
  return s->inputPos - (s->pushbackTop - s->lexWork->endHeld);
}

void restartAt(ScannerState* state, const uint16_t* position) {
  state->inputPos = position;
  state->pushbackTop = 0;
  state->lexWork->endHeld = 0;
  state->lexWork->failed = 0;
}

int32_t peekChar(ScannerState* state) { return mapped(*state->inputPos); }

int32_t stepBack(ScannerState* state) {
  if (state->inputPos <= state->textStart) return kNoChar;
  --state->inputPos;
  return mapped(*state->inputPos);
}

int32_t readInput(ScannerState* s) {
  const uint16_t c = *s->inputPos;
  if (c == 0) {
    // The end reads as one blank, so that a name or "--" at the very end is complete; after
    // that, and in every later scan of the same text, as the end itself.
    if (s->endSeen != 0) return -1;
    s->endSeen = 1;
    return ' ';
  }
  ++s->inputPos;
  if (passes(c)) return c;
  s->foreignSeen = 1;
  return 'Z';
}

int32_t acceptMatch(ScannerState* s, const Match& m, Action action, int32_t token) {
  if (m.overflow) return overflow(s);
  // Give back what was read past the match, newest first, so that it is read again in order.
  // Characters standing for the end are the newest of all; they go to the bottom.
  LexWork* work = s->lexWork;
  if (s->pushbackTop + (m.fetched - m.cursor) > kPushbackCapacity) return overflow(s);
  for (uint32_t i = m.fetched; i-- > m.cursor;) {
    if (i >= m.firstEnd) ++work->endHeld;
    s->pushback[s->pushbackTop++] = s->matchText[i];
  }
  s->matchLength = int32_t(m.cursor);
  s->matchText[m.cursor] = 0;

  switch (action) {
    case Action::kToken:
      return token;
    case Action::kOwnCode:
      return s->matchText[0];
    case Action::kSkip:
      return kSkipped;
    case Action::kName:
      if (const KeywordEntry* k = findKeyword(s->matchText, m.cursor); k && k->functionCode != 0)
        s->functionCode = k->functionCode;
      captureText(s);
      return token;
    case Action::kCapture:
      captureText(s);
      return token;
    case Action::kNumber:
      copyNumber(s);
      return token;
    case Action::kTerminator:
      s->terminatorLength = s->matchLength;  // "}" or "*)--"
      return token;
    case Action::kOpening: {
      // "{fn CONCAT(": openingPos at "{", afterKeyword at the blank after FN. The time opening
      // has read one character past T to see whether S follows: afterKeyword is past it too.
      const uint16_t* end = afterToken(s);
      const uint32_t readAhead = std::min(m.fetched, m.firstEnd) - m.cursor;
      s->openingPos = end - m.cursor;
      s->afterKeyword = end + readAhead;
      s->cursor = s->inputPos;
      return token;
    }
    case Action::kCallOpening:
      if (s->prescan != 0) {
        s->clauseStart = afterToken(s) - m.cursor;
        s->cursor = s->inputPos;
      }
      return token;
    case Action::kEnd:
      s->pushbackTop = 0;
      work->endHeld = 0;
      s->matchLength = 0;
      s->matchText[0] = 0;
      return 0;
  }
  return token;
}
