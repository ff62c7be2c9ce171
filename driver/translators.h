// The clause translators the dispatcher hands clauses to, and the dispatcher itself. Positions
// point into the working buffer's right part, which holds the clause and everything after it up
// to the terminator. A translator changes the statement only inside [opening, end) (in place, or
// with wbReplace, noting in-place writes with wbNoteEdit); one that needs the whole statement
// flattens the buffer first (wbFlatten), reserves room before it lengthens the text
// (wbReserveFlat) and hands it back with wbAdoptFlat, which tells the clause search to look at the
// statement afresh.
#pragma once

#include <cstdint>

#include "driver/context.h"

struct CallArgument;

/// Chooses the translator by the first letter of the keyword and returns its status; a keyword
/// no rule accepts leaves the clause unchanged with kOk. Handles {escape ...} itself.
[[nodiscard]] Status bcoConvertStrings(ConversionContext* ctx, const ClausePositions& clause);
/// True when bcoConvertStrings leaves a clause with this keyword alone whatever else the statement
/// holds, changing nothing ("{resultset 1, a}", "{fn\tx}", "{calls}"): the clause search need
/// not hand it over again.
bool bcoKeywordIsInert(const uint16_t* keyword);

/// Date (kind 1), time (2) and timestamp (3) literals.
[[nodiscard]] Status bcoConvertDateTime(ConversionContext* ctx, int kind, uint16_t* opening,
                                        uint16_t* keywordStart, uint16_t* closing, uint16_t* end);
/// Scalar functions; name is the first character of the function name.
[[nodiscard]] Status bcoConvertScalarFunction(ConversionContext* ctx, uint16_t* opening,
                                              uint16_t* writePos, uint16_t* name, uint16_t* closing,
                                              uint16_t* end);
/// Outer joins: rewrites every outer-join clause of the statement (outerjoin/), which is the
/// working buffer's flat text; it finds the clauses itself.
[[nodiscard]] Status bcoTranslateOuterJoin(ConversionContext* ctx, uint16_t* statement);
/// Parses a call clause of the flattened statement into an anonymous block (rewrittenText), the
/// procedure name (into nameBuffer, 256 characters), the counts and the argument list, which the
/// caller releases with bcoFreeCallArgs on success; on failure the parser releases it.
[[nodiscard]] Status bcoParseCallClause(ConversionContext* ctx, uint16_t* statement,
                                        uint16_t* nameBuffer, uint16_t* markerCount,
                                        uint16_t* valueCount, int32_t* listCount,
                                        CallArgument** list);
/// Releases the first count entries' texts and the list; a null list is ignored.
uint16_t bcoFreeCallArgs(ScratchPool* pool, CallArgument* list, int32_t count);

/// A call clause at the start of the working text (the right part of the buffer, clause points at
/// its '{'), alone in the statement but for trailing blanks, of the shape "{call p(?, ?)}" or
/// "{?=call owner.f(?)}": a name of one to three plain parts and markers only (the OUTPUT rewrite
/// changes no such clause: an OUTPUT in a name has no "(" before it).
/// Writes the block and the counts the call parser would (rewrittenText, marker and value counts)
/// and returns true; false, with nothing changed, for any other clause (or without memory for
/// the block).
bool bcoTranslatePlainCall(ConversionContext* ctx, const uint16_t* clause);
/// Describes the called procedure through the server and rewrites the call.
[[nodiscard]] Status bcoDescribeProcedure(ConversionContext* ctx, uint16_t* name,
                                          uint16_t* statement, int32_t listCount,
                                          CallArgument* list);
