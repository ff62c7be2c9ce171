// The clause scanner's state and the steps around its automaton: creating and releasing the
// state, the input routine that maps statement characters to the automaton's 7-bit codes, moving
// about in the text (peekChar, stepBack, restartAt), and the end of each match: giving back what
// was read ahead, text capture, numbers, and the positions recorded for the translators.
#include <algorithm>
#include <cstring>

#include "call/parse_stack.h"
#include "driver/scratch.h"
#include "scanner/keywords.h"
#include "scanner/scanner_steps.h"

namespace {

int32_t mapped(uint16_t c) {
  if (c == 0) return kNoChar;
  return scannerPasses(c) ? c : 'Z';
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

}  // namespace

ScannerState* createScanner(ScratchPool* pool, uint32_t room) {
  room = room < kMatchCapacity ? room : kMatchCapacity;
  ScratchPtr<ScannerState> state(pool, sizeof(ScannerState), Fill::kZeroed, Fill::kZeroed);
  if (!state) return nullptr;
  // Both buffers are written before they are read: no need to zero 16 KB per state.
  // Traced, the documented 4096 characters each; untraced, the room the text needs.
  uint32_t bytes = 0;
  ScratchPtr<uint16_t> matchText(pool,
                                 {kMatchCapacity * sizeof(uint16_t), Fill::kUninitialised,
                                  room * uint32_t(sizeof(uint16_t)), Fill::kUninitialised},
                                 &bytes);
  if (!matchText) return nullptr;
  uint32_t pushbackBytes = 0;
  ScratchPtr<uint16_t> pushback(pool,
                                {kPushbackCapacity * sizeof(uint16_t), Fill::kUninitialised,
                                 room * uint32_t(sizeof(uint16_t)), Fill::kUninitialised},
                                &pushbackBytes);
  if (!pushback) return nullptr;
  ScratchPtr<ParseStack> parse(pool, sizeof(ParseStack), Fill::kZeroed, Fill::kZeroed);
  if (!parse) return nullptr;
  ScratchPtr<LexWork> work(pool, sizeof(LexWork), Fill::kZeroed, Fill::kZeroed);
  if (!work) return nullptr;

  work->diagnostics = stdout;
  const uint32_t units =
      (bytes < pushbackBytes ? bytes : pushbackBytes) / uint32_t(sizeof(uint16_t));
  work->room = uint16_t(units < kMatchCapacity ? units : kMatchCapacity);
  parse->limit = kParseStackStart;
  matchText.get()[0] = 0;
  state->matchText = matchText.release();
  state->pushback = pushback.release();
  state->parserWork = parse.release();
  state->lexWork = work.release();
  state->pool = pool;
  return state.release();
}

uint32_t scannerRoom(const ScannerState* state) { return state->lexWork->room; }

void destroyScanner(ScannerState* state) {
  if (state == nullptr) return;
  ScratchPool* pool = state->pool;
  bcoRelease(pool, state->matchText);
  bcoRelease(pool, state->pushback);
  parseStackRelease(state->parserWork);
  bcoRelease(pool, state->parserWork);
  bcoRelease(pool, state->lexWork);
  bcoRelease(pool, state);
}

void resetScanner(ScannerState* state) {
  // Everything but the owned buffers and the user's two text buffers is per scan.
  ScannerState kept = *state;
  std::memset(static_cast<void*>(state), 0, sizeof(ScannerState));
  state->pool = kept.pool;
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
const uint16_t* afterToken(const ScannerState* s) { return textAfterMatch(s); }

void restartAt(ScannerState* state, const uint16_t* position) {
  state->inputPos = position;
  state->pushbackTop = 0;
  state->lexWork->endHeld = 0;
  state->lexWork->failed = 0;
}

bool scannerClean(const ScannerState* state) {
  return state->pushbackTop == 0 && state->lexWork->endHeld == 0 && state->lexWork->failed == 0;
}

int32_t peekChar(ScannerState* state) { return mapped(*state->inputPos); }

int32_t stepBack(ScannerState* state) { return stepBackMapped(state, mapped); }

int32_t acceptMatch(ScannerState* s, const Match& m, Action action, int32_t token) {
  if (!endMatch(s, m)) return kTokenOverflow;

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
      // A number too long for numberText even without its blanks is marked for the users that
      // need its text.
      s->numberTruncated = copyNumberText(s->matchText, m.cursor, s->numberText,
                                          kNumberTextCapacity, &s->numberLength)
                               ? 1
                               : 0;
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
      clearMatch(s);
      return 0;
  }
  return token;
}
