// The actions of the call-clause grammar (call_grammar.y), run while a call clause is parsed:
// they build the anonymous block, the procedure name, the argument list and the marker and value
// counts in the call parser's fields of the ScannerState. Each returns false to stop the parse,
// with the reason (59 for a text past its bound, 83 for memory) left in state->call.failure.
#pragma once

#include <cstdint>

#include "driver/context.h"
#include "scanner/scanner_state.h"

/// Grows a wide-text work buffer in place to make room beyond `used` characters: the new
/// capacity is 2C, or C + used + 256 when 2C is less than used + 256 (C the old capacity); the
/// whole old buffer is copied and released (bcoObtain / bcoRelease from pool). kFail with nothing
/// changed when the allocation fails or the capacity would pass 2^30 characters.
[[nodiscard]] Status bcoGrowText(ScratchPool* pool, uint32_t used, uint16_t** buffer,
                                 uint32_t* capacity);

/// Parses the call clause at the scanner's position through the end of the text, running the
/// actions below. 0 when the clause was accepted; 1 after a syntax error, a stopping action or
/// stacks that could not grow.
int bcoCallParser(ScannerState* state);

// The clause.
bool beginBlock(ScannerState* s);       ///< after "{call": the block is "BEGIN "
bool beginReturnCall(ScannerState* s);  ///< after "{?=call": the return value's marker
bool endBlock(ScannerState* s);         ///< after the closer: "; END;"

// The argument list.
bool openArgList(ScannerState* s);   ///< "(" of a non-empty list
bool closeArgList(ScannerState* s);  ///< ")": groups learn how many groups the call has
bool appendComma(ScannerState* s);   ///< "," between arguments or group items
bool addArgument(ScannerState* s);   ///< an argument is complete: list entry and block text

// One argument into argText.
bool markerArgument(ScannerState* s);        ///< "?": the next marker number
bool numberArgument(ScannerState* s);        ///< a number as written
bool tokenArgument(ScannerState* s);         ///< a string (with its quotes) or a name
bool appendNumberArgument(ScannerState* s);  ///< the number after a name: "x-1"
bool colonNumberArgument(ScannerState* s);   ///< ":3" kept as written
bool colonNameArgument(ScannerState* s);     ///< ":a" kept as written
bool functionCallArgument(ScannerState* s);  ///< "f(...)": read from the text through its ")"

// Resultset groups.
bool openGroup(ScannerState* s);        ///< "{resultset": the group's list entry
bool setGroupNumber(ScannerState* s);   ///< the number after "{resultset"
bool firstGroupItem(ScannerState* s);   ///< the pool starts over with this item
bool nextGroupItem(ScannerState* s);    ///< each further item
bool closeGroupItems(ScannerState* s);  ///< the group entry takes the pool's items
bool closeGroup(ScannerState* s);       ///< the group's "}"

// Names.
bool singleName(ScannerState* s);     ///< "p"
bool nameWithDot(ScannerState* s);    ///< "owner."
bool appendName(ScannerState* s);     ///< "owner.p"
bool appendDotName(ScannerState* s);  ///< "owner.package.p"
bool procNameDone(ScannerState* s);   ///< the first name is the procedure, later ones functions
