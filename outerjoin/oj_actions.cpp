// The outer-join grammar's actions: table references into joinText, ON conditions into
// joinCondition, and the comparison writer that puts the native outer-join marker "(+)" after
// the columns of the optional side: t1.a = t2.b under LEFT becomes "t1.a = t2.b(+)".
#include "outerjoin/oj_actions.h"

#include <algorithm>
#include <cstring>

#include "call/call_actions.h"
#include "driver/scratch.h"

namespace {

constexpr uint32_t kMaxText = uint32_t(1) << 30;  // characters; a longer text is no memory

bool fail(OuterJoinScanState* s, uint32_t reason) {
  s->failure = reason;
  return false;
}

bool append(OuterJoinScanState* s, OjText* text, const uint16_t* chars, uint32_t length) {
  return ojAppend(s->pool, text, chars, length) || fail(s, kReasonNoMemory);
}
bool append(OuterJoinScanState* s, OjText* text, const char* ascii) {
  return ojAppend(s->pool, text, ascii) || fail(s, kReasonNoMemory);
}
bool append(OuterJoinScanState* s, OjText* text, const OjText& more) {
  return append(s, text, more.data, more.length);
}

// A name, string or number cut by its token field cannot be written: the clause fails as
// malformed instead of being rewritten with a shortened name.
bool value(OuterJoinScanState* s, OjText* text, const uint16_t* chars, int32_t tooLong) {
  if (tooLong != 0) return fail(s, kReasonMalformed);
  if (chars == nullptr) return true;
  uint32_t length = 0;
  while (chars[length] != 0) ++length;
  return append(s, text, chars, length);
}

bool name(OuterJoinScanState* s, OjText* text) {
  if (s->tokenTooLong != 0) return fail(s, kReasonMalformed);
  return append(s, text, s->tokenText, s->tokenLength);
}

// Untraced, a text starts at the size of a typical clause's and grows as it needs.
constexpr uint32_t kUntracedTextStart = 128;

bool obtain(OuterJoinScanState* s, OjText* text, uint32_t capacity) {
  uint32_t bytes = 0;
  text->data = static_cast<uint16_t*>(bcoObtain(
      s->pool,
      {uint32_t(capacity * sizeof(uint16_t)), Fill::kZeroed,
       uint32_t(std::min(capacity, kUntracedTextStart) * sizeof(uint16_t)), Fill::kUninitialised},
      &bytes));
  text->length = 0;
  text->capacity = bytes / sizeof(uint16_t);
  if (text->data == nullptr) return false;
  text->data[0] = 0;
  return true;
}

}  // namespace

bool ojAllocateTexts(OuterJoinScanState* s) {
  if (!obtain(s, &s->joinText, kJoinTextStart) || !obtain(s, &s->tableName, kTableNameStart) ||
      !obtain(s, &s->joinCondition, kJoinConditionStart) ||
      !obtain(s, &s->comparisonText, kComparisonTextStart) ||
      !obtain(s, &s->leftOperand, kLeftOperandStart) ||
      !obtain(s, &s->rightPart, kRightPartStart) || !obtain(s, &s->funcArgs, kFuncArgsStart) ||
      !obtain(s, &s->funcArg, kFuncArgStart)) {
    return false;
  }
  s->joinTypeStack = static_cast<int32_t*>(bcoObtain(s->pool, kJoinTypeStackStart * sizeof(int32_t),
                                                     Fill::kZeroed, Fill::kUninitialised));
  s->joinTypeCapacity = s->joinTypeStack == nullptr ? 0 : kJoinTypeStackStart;
  return s->joinTypeStack != nullptr;
}

bool ojAppend(ScratchPool* pool, OjText* text, const uint16_t* chars, uint32_t length) {
  const uint64_t needed = uint64_t(text->length) + length + 1;
  if (needed > text->capacity) {
    if (needed > kMaxText ||
        bcoGrowText(pool, uint32_t(needed), &text->data, &text->capacity) != kOk)
      return false;
  }
  if (length != 0) std::memcpy(text->data + text->length, chars, length * sizeof(uint16_t));
  text->length += length;
  text->data[text->length] = 0;
  return true;
}

bool ojAppend(ScratchPool* pool, OjText* text, const char* ascii) {
  uint16_t wide[16];
  uint32_t length = 0;
  while (ascii[length] != 0 && length < 16) {
    wide[length] = uint8_t(ascii[length]);
    ++length;
  }
  return ojAppend(pool, text, wide, length);
}

bool pushJoinType(OuterJoinScanState* s, int32_t type) {
  if (s->joinTypeDepth == s->joinTypeCapacity) {
    // Joins nested deeper than the stack: it doubles.
    const uint64_t bigger = 2 * uint64_t(s->joinTypeCapacity);
    if (bigger * sizeof(int32_t) > kMaxText) return fail(s, kReasonNoMemory);
    auto* grown = static_cast<int32_t*>(bcoObtain(s->pool, uint32_t(bigger * sizeof(int32_t)),
                                                  Fill::kUninitialised, Fill::kUninitialised));
    if (grown == nullptr) return fail(s, kReasonNoMemory);
    std::memcpy(grown, s->joinTypeStack, size_t(s->joinTypeDepth) * sizeof(int32_t));
    bcoRelease(s->pool, s->joinTypeStack);
    s->joinTypeStack = grown;
    s->joinTypeCapacity = int32_t(bigger);
  }
  s->joinTypeStack[s->joinTypeDepth++] = type;
  return true;
}

// Each ON clause's condition is written in parentheses, and two of them are joined by " AND "
// in the order the ON clauses appear: "(c2) AND (c1)" for t1 LEFT JOIN (t2 JOIN t3 ON c2) ON c1.
bool openOnClause(OuterJoinScanState* s) {
  if (s->onCount >= 1 && s->separatorWritten == 0) {
    if (!append(s, &s->joinCondition, " AND ")) return false;
    s->separatorWritten = 1;
  }
  return append(s, &s->joinCondition, "(");
}

bool closeOnClause(OuterJoinScanState* s) {
  if (!append(s, &s->joinCondition, ")")) return false;
  ++s->onCount;
  if (s->joinTypeDepth > 0) --s->joinTypeDepth;
  s->separatorWritten = 0;
  return true;
}

bool appendCondition(OuterJoinScanState* s, const char* text) {
  return append(s, &s->joinCondition, text);
}

// The join type of one comparison: that of its ON clause when both sides are columns; a literal,
// marker, host variable or function call on one side makes the other side the optional one
// (t1.a = 5 is written t1.a(+) = 5 whatever the join), and on both sides no side is optional.
bool writeComparison(OuterJoinScanState* s) {
  int32_t type = oj::INNER;
  switch (s->nonColumnSides) {
    case 0:
      if (s->joinTypeDepth > 0) type = s->joinTypeStack[s->joinTypeDepth - 1];
      break;
    case 1:
      type = oj::LEFT;
      break;
    case 2:
      type = oj::RIGHT;
      break;
    default:
      break;
  }
  OjText* out = &s->comparisonText;
  const OjText& left = s->leftOperand;
  const OjText& right = s->rightPart;
  bool ok = true;
  switch (type) {
    case oj::LEFT:  // t1.a = t2.b(+)
      ok = append(s, out, left) && append(s, out, right) && append(s, out, "(+)");
      break;
    case oj::RIGHT:  // t1.a(+) = t2.b
      ok = append(s, out, left) && append(s, out, "(+)") && append(s, out, right);
      break;
    case oj::FULL:  // (t1.a = t2.b(+) OR t1.a(+) = t2.b)
      ok = append(s, out, "(") && append(s, out, left) && append(s, out, right) &&
           append(s, out, "(+)") && append(s, out, " OR ") && append(s, out, left) &&
           append(s, out, "(+)") && append(s, out, right) && append(s, out, ")");
      break;
    default:  // INNER: t1.a = t2.b
      ok = append(s, out, left) && append(s, out, right);
      break;
  }
  if (!ok || !append(s, &s->joinCondition, *out)) return false;
  ojClear(&s->leftOperand);
  ojClear(&s->rightPart);
  ojClear(out);
  s->nonColumnSides = 0;
  return true;
}

bool setName(OuterJoinScanState* s, OjText* text, const char* suffix) {
  ojClear(text);
  return name(s, text) && append(s, text, suffix);
}

bool appendName(OuterJoinScanState* s, OjText* text) { return name(s, text); }

bool appendText(OuterJoinScanState* s, OjText* text, const char* ascii) {
  return append(s, text, ascii);
}

bool appendArithOp(OuterJoinScanState* s, OjText* text) {
  return append(s, text, s->arithOp == nullptr ? "" : s->arithOp);
}

bool appendNumber(OuterJoinScanState* s, OjText* text) {
  return value(s, text, s->numberText, s->numberTooLong);
}

bool leftValue(OuterJoinScanState* s, const char* prefix, const uint16_t* chars, int32_t tooLong) {
  s->nonColumnSides += 1;
  ojClear(&s->leftOperand);
  return append(s, &s->leftOperand, prefix) && value(s, &s->leftOperand, chars, tooLong);
}

bool rightValue(OuterJoinScanState* s, const char* prefix, const uint16_t* chars, int32_t tooLong,
                const char* suffix) {
  s->nonColumnSides += 2;
  OjText* out = &s->rightPart;
  ojClear(out);
  return append(s, out, s->compOp) && append(s, out, prefix) && value(s, out, chars, tooLong) &&
         append(s, out, suffix);
}

bool setRightColumn(OuterJoinScanState* s) {
  ojClear(&s->rightPart);
  return append(s, &s->rightPart, s->compOp) && name(s, &s->rightPart);
}

void endColumnOperand(OuterJoinScanState* s) { s->nameJustSeen = 0; }
void endRightSide(OuterJoinScanState* s) { s->nameJustSeen = 0; }

bool openLeftCall(OuterJoinScanState* s) {
  s->nonColumnSides += 1;
  return append(s, &s->leftOperand, "(");
}

bool openRightCall(OuterJoinScanState* s) {
  s->nonColumnSides += 2;
  return append(s, &s->rightPart, "(");
}

bool appendFuncArgs(OuterJoinScanState* s, OjText* text) { return append(s, text, s->funcArgs); }

bool closeCall(OuterJoinScanState* s, OjText* text) {
  if (!append(s, text, ")")) return false;
  s->nameJustSeen = 0;
  return true;
}

bool setArg(OuterJoinScanState* s, const char* prefix, const uint16_t* chars, int32_t tooLong) {
  ojClear(&s->funcArg);
  return append(s, &s->funcArg, prefix) && value(s, &s->funcArg, chars, tooLong);
}

bool firstFuncArg(OuterJoinScanState* s) {
  ojClear(&s->funcArgs);
  return append(s, &s->funcArgs, s->funcArg);
}

bool nextFuncArg(OuterJoinScanState* s) {
  return append(s, &s->funcArgs, ", ") && append(s, &s->funcArgs, s->funcArg);
}

bool writeTable(OuterJoinScanState* s, TableForm form, int32_t pathValue) {
  OjText* out = &s->joinText;
  if (s->tableCount > 0 && !append(s, out, ", ")) return false;
  bool ok = true;
  switch (form) {
    case TableForm::kPlain:
      ok = append(s, out, s->tableName);
      break;
    case TableForm::kAlias:
      // "t2 x": the table was reduced with the alias already read, so without an owner part its
      // name is the token before the alias.
      if (pathValue == oj::DOT) {
        ok = append(s, out, s->tableName);
      } else {
        ok = s->prevTokenTooLong == 0 ? append(s, out, s->prevTokenText, s->prevTokenLength)
                                      : fail(s, kReasonMalformed);
      }
      ok = ok && append(s, out, "  ") && name(s, out);
      break;
    case TableForm::kAsAlias:
      ok = append(s, out, s->tableName) && append(s, out, " AS ") && name(s, out);
      break;
  }
  if (!ok) return false;
  ++s->tableCount;
  return true;
}
