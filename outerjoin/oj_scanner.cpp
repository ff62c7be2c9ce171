// The outer-join scanner's state and the steps around its automaton: creating and releasing the
// state, the input routine, moving about in the text, and the end of each match: giving back
// what was read ahead, the scanning mode, text capture, numbers and the marked opener and closer.
#include <algorithm>
#include <cstring>

#include "driver/scratch.h"
#include "outerjoin/oj_scanner_steps.h"

namespace {

int32_t classed(uint16_t c) {
  if (c == 0) return -1;
  return c > 0x7E ? 'Z' : c;
}

void releaseText(ScratchPool* pool, OjText* text) {
  bcoRelease(pool, text->data);
  *text = OjText{};
}

// Names, quoted names and strings, the previous one moving to prevTokenText. The text is taken
// from the statement itself, where the automaton saw characters above U+007E as 'Z', so that
// "naïve" is captured as written (also when the wide character was read ahead of the token
// before, as in "T1"ä, where wideSeen was already cleared again). A text longer than the field
// keeps its first 255 characters and sets tokenTooLong; the grammar's actions refuse such a text.
void captureText(OuterJoinScanState* s) {
  std::memcpy(s->prevTokenText, s->tokenText, (s->tokenLength + 1) * sizeof(uint16_t));
  s->prevTokenLength = s->tokenLength;
  s->prevTokenTooLong = s->tokenTooLong;
  const uint32_t length = uint32_t(s->matchLength);
  const uint16_t* from = ojAfterToken(s) - length;
  s->wideSeen = 0;
  const uint32_t kept = std::min(length, kOjTokenTextCapacity - 1);
  std::memcpy(s->tokenText, from, kept * sizeof(uint16_t));
  s->tokenText[kept] = 0;
  s->tokenLength = kept;
  s->tokenTooLong = kept < length ? 1 : 0;
}

// A name is a table name among the table references, a function argument inside a function
// call's parentheses, and otherwise a column name, after which a "(" opens a function call.
int32_t nameToken(OuterJoinScanState* s, int32_t tableCode, int32_t columnCode) {
  captureText(s);
  if (s->scanMode == kModeTable) return tableCode;
  if (s->scanMode == kModeFunction) return oj::ARG_NAME;
  s->scanMode = kModeColumn;
  s->nameJustSeen = 1;
  return columnCode;
}

}  // namespace

OuterJoinScanState* ojScanCreate(ScratchPool* pool) {
  ScratchPtr<OuterJoinScanState> state(pool, sizeof(OuterJoinScanState), Fill::kZeroed,
                                       Fill::kZeroed);
  if (!state) return nullptr;
  // Both buffers are written before they are read.
  constexpr uint32_t kBytes = kAutomatonCapacity * sizeof(uint16_t);
  ScratchPtr<uint16_t> matchText(pool, kBytes, Fill::kUninitialised, Fill::kUninitialised);
  if (!matchText) return nullptr;
  ScratchPtr<uint16_t> pushback(pool, kBytes, Fill::kUninitialised, Fill::kUninitialised);
  if (!pushback) return nullptr;
  state->pool = pool;
  state->lex.diagnostics = stdout;
  state->lex.room = kAutomatonCapacity;
  state->parseStack.limit = kParseStackStart;
  matchText.get()[0] = 0;
  state->matchText = matchText.release();
  state->pushback = pushback.release();
  return state.release();
}

void ojScanFree(OuterJoinScanState* state) {
  if (state == nullptr) return;
  for (OjText* text :
       {&state->joinText, &state->tableName, &state->joinCondition, &state->comparisonText,
        &state->leftOperand, &state->rightPart, &state->funcArgs, &state->funcArg}) {
    releaseText(state->pool, text);
  }
  ScratchPool* pool = state->pool;
  bcoRelease(pool, state->joinTypeStack);
  parseStackRelease(&state->parseStack);
  bcoRelease(pool, state->matchText);
  bcoRelease(pool, state->pushback);
  bcoRelease(pool, state);
}

void ojRestartAt(OuterJoinScanState* state, const uint16_t* position) {
  state->inputPos = position;
  state->pushbackTop = 0;
  state->lex.endHeld = 0;
  state->lex.failed = 0;
}

const uint16_t* ojAfterToken(const OuterJoinScanState* s) { return textAfterMatch(s); }

int32_t ojPeekChar(const OuterJoinScanState* state) { return classed(*state->inputPos); }

int32_t ojStepBack(OuterJoinScanState* state) { return stepBackMapped(state, classed); }

void ojStopOnOverflow(OuterJoinScanState* s) { stopOnOverflow(s); }

int32_t ojAccept(OuterJoinScanState* s, const Match& m, OjAction action, int32_t token,
                 int32_t mode) {
  if (!endMatch(s, m)) return oj::kOverflow;
  if (mode != kNoModeChange) s->scanMode = mode;
  if (s->logMatches == kLogWithAnchor && s->matchCount != 0) {
    // "x  ( ( (\n {oj": the parentheses and blanks before a clause may take more matches than
    // the ring keeps; the match before them is remembered apart.
    const uint16_t first = s->matchText[0];
    const bool parenOrBlank =
        action == OjAction::kOpenParen ||
        (action == OjAction::kBlank && (first == ' ' || first == '\t' || first == '\n'));
    if (!parenOrBlank) {
      const uint32_t* entry = s->matchRing[(s->matchCount - 1) % kMatchRing];
      s->anchor[0] = entry[0];
      s->anchor[1] = entry[1] & kRingOffset;
      s->anchorSet = 1;
    }
  }

  switch (action) {
    case OjAction::kToken:
      return token;
    case OjAction::kOwnCode:
      return s->matchText[0];
    case OjAction::kBlank:
      if (s->scanMode == kModeColumn) s->scanMode = kModeTable;
      return kOjSkipped;
    case OjAction::kSkip:
      return kOjSkipped;
    case OjAction::kName:
      return nameToken(s, oj::TABLE_NAME, oj::COLUMN_NAME);
    case OjAction::kQuotedName:
      return nameToken(s, oj::QUOTED_TABLE_NAME, oj::QUOTED_COLUMN_NAME);
    case OjAction::kString:
      captureText(s);
      return token;
    case OjAction::kNumber:
      // A number too long for numberText even without its blanks: the actions refuse it.
      s->numberTooLong = copyNumberText(s->matchText, m.cursor, s->numberText,
                                        kOjNumberTextCapacity, &s->numberLength)
                             ? 1
                             : 0;
      return token;
    case OjAction::kOpener:
      // "{oj" or "--(*vendor(...),product(...) oj": the clause starts at its '{' or first '-'.
      if (s->markOpener != 0) s->clauseStart = ojAfterToken(s) - m.cursor;
      return token;
    case OjAction::kCloser:
      if (s->markCloser != 0) {
        s->closerSeen = 1;
        s->clauseEnd = ojAfterToken(s);
      }
      return token;
    case OjAction::kOpenParen:
      // "nvl(": the parentheses of a function call; "nvl (" is no call.
      if (s->scanMode == kModeColumn && s->nameJustSeen != 0) {
        s->scanMode = kModeFunction;
        s->nameJustSeen = 0;
      }
      return token;
    case OjAction::kEnd:
      clearMatch(s);
      return 0;
  }
  return token;
}
