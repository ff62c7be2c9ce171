// The actions of the outer-join grammar (oj_grammar.y): they build the clause's table list
// (joinText) and its rewritten ON conditions (joinCondition) in the state while the clause is
// parsed, and write each comparison with "(+)" after the columns of the optional side. Every action
// returns false when it cannot go on (a name, string or number cut by its token field: reason 59;
// no memory for a growing text: 83), leaving the reason in the state's failure field.
#pragma once

#include <cstdint>

#include "outerjoin/oj_scanner.h"

/// Runs the parser from the scanner's read position: 0 when the clause ended the statement, 1
/// on a syntax error (which may be the statement text after the clause), a stopping action or
/// stacks that could not grow.
int ojParse(OuterJoinScanState* s);

/// First capacities of the grammar's texts, in characters with the terminator; they grow.
inline constexpr uint32_t kJoinTextStart = 2048;
inline constexpr uint32_t kTableNameStart = 2048;
inline constexpr uint32_t kJoinConditionStart = 8192;
inline constexpr uint32_t kComparisonTextStart = 8192;
inline constexpr uint32_t kLeftOperandStart = 8192;
inline constexpr uint32_t kRightPartStart = 4096;
inline constexpr uint32_t kFuncArgsStart = 4096;
inline constexpr uint32_t kFuncArgStart = 1024;
/// First depth of joinTypeStack; it grows.
inline constexpr int32_t kJoinTypeStackStart = 127;

/// Obtains the grammar's texts (empty; traced with the capacities above, untraced smaller,
/// growing as needed) and joinTypeStack from the state's pool, in the order of the state's
/// fields. false when memory runs out; ojScanFree releases whatever was obtained.
[[nodiscard]] bool ojAllocateTexts(OuterJoinScanState* s);

/// Appends to a text, growing it; false without memory.
[[nodiscard]] bool ojAppend(ScratchPool* pool, OjText* text, const uint16_t* chars,
                            uint32_t length);
[[nodiscard]] bool ojAppend(ScratchPool* pool, OjText* text, const char* ascii);
/// Empties a text.
inline void ojClear(OjText* text) {
  text->length = 0;
  if (text->data != nullptr) text->data[0] = 0;
}

// Join types and ON clauses.
bool pushJoinType(OuterJoinScanState* s, int32_t type);  ///< LEFT ... INNER (also no join type)
bool openOnClause(OuterJoinScanState* s);   ///< after ON: " AND " between ON clauses, "("
bool closeOnClause(OuterJoinScanState* s);  ///< after its condition: ")", the join type popped
bool appendCondition(OuterJoinScanState* s, const char* text);  ///< " OR ", " AND ", "(", ")"
bool writeComparison(OuterJoinScanState* s);  ///< a whole comparison, by its join type

// Operands. `name` is the last name or string (tokenText), `number` the last number.
bool setName(OuterJoinScanState* s, OjText* text, const char* suffix);  ///< text = name + suffix
bool appendName(OuterJoinScanState* s, OjText* text);                   ///< text += name
bool appendText(OuterJoinScanState* s, OjText* text, const char* ascii);
bool appendArithOp(OuterJoinScanState* s, OjText* text);  ///< text += arithOp
bool appendNumber(OuterJoinScanState* s, OjText* text);   ///< text += number
/// A literal, host variable or marker on the left: leftOperand = prefix + value (value may be
/// null); the left side is no column.
bool leftValue(OuterJoinScanState* s, const char* prefix, const uint16_t* value, int32_t tooLong);
/// The same on the right: rightPart = compOp + prefix + value + suffix; the right side is no
/// column.
bool rightValue(OuterJoinScanState* s, const char* prefix, const uint16_t* value, int32_t tooLong,
                const char* suffix);
bool setRightColumn(OuterJoinScanState* s);    ///< rightPart = compOp + name
void endColumnOperand(OuterJoinScanState* s);  ///< a column on the left is complete
void endRightSide(OuterJoinScanState* s);      ///< a column on the right is complete

// Function calls in a condition: nvl(t1.a, 0).
bool openLeftCall(OuterJoinScanState* s);   ///< leftOperand += "("; the left side is no column
bool openRightCall(OuterJoinScanState* s);  ///< rightPart += "("; the right side is no column
bool appendFuncArgs(OuterJoinScanState* s, OjText* text);  ///< text += funcArgs
bool closeCall(OuterJoinScanState* s, OjText* text);       ///< text += ")"
bool setArg(OuterJoinScanState* s, const char* prefix, const uint16_t* value, int32_t tooLong);
bool firstFuncArg(OuterJoinScanState* s);  ///< funcArgs = funcArg
bool nextFuncArg(OuterJoinScanState* s);   ///< funcArgs += ", " + funcArg

/// How a table reference is written to joinText.
enum class TableForm : uint8_t {
  kPlain,    ///< t1, owner.t1
  kAlias,    ///< t1 x: the table, two blanks, the alias
  kAsAlias,  ///< t1 AS x
};
/// Writes a table reference, after ", " when one was written before. pathValue is oj::DOT when
/// the table has an owner part.
bool writeTable(OuterJoinScanState* s, TableForm form, int32_t pathValue);
