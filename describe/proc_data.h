// The formal arguments of a procedure being described, one ProcArgument per argument in one
// array, and the routines that write the caller's own arguments into the rewritten call text
// around the markers the description inserts for the arguments the caller left out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/context.h"

struct CallArgument;

/// What a fetch leaves for one column: the returned length, the return code, the indicator.
struct FetchStatus {
  uint16_t returnedLength;
  uint16_t returnCode;
  int16_t indicator;
};

/// One formal argument. The array is zero-filled; the argument query's rows land in it with the
/// element size as stride (position, typeName, argName).
struct ProcArgument {
  uint16_t count;          ///< element 0 only: the number of valid elements
  uint16_t position;       ///< 0 is a function's result
  uint16_t typeCode;       ///< the server's type code; 102 a cursor reference
  uint8_t attr32;          ///< describe attribute 32
  uint8_t attr213;         ///< describe attribute 213
  uint16_t typeName[14];   ///< DATA_TYPE, terminated (dictionary queries)
  uint16_t argName[31];    ///< ARGUMENT_NAME, terminated; empty for a function's result
  FetchStatus fetchStatus[3];
  int32_t literalArg;  ///< the caller passed this argument as a literal or an expression
};

/// A call text being built: a terminated wide string with its length and capacity (terminator
/// included). An append that would pass the capacity grows a `grows` text (general allocator;
/// without memory it sets `noMemory` too) and otherwise writes nothing and sets `overflow`.
struct CallText {
  uint16_t* data;
  uint32_t length;
  uint32_t capacity;
  bool overflow;
  bool grows = false;
  bool noMemory = false;
};

/// Appends text, or an ASCII literal.
void callTextAppend(CallText* text, const uint16_t* s, size_t length);
void callTextAppend(CallText* text, const char* ascii);

/// Obtains `count` zero-filled elements (bcoObtain) with element 0's count set; traces
/// "bcoAllocateProcData - Elements". kFail without memory (the caller reports 83).
[[nodiscard]] Status bcoAllocateProcData(ProcArgument** array, uint16_t count);
/// Traces "bcoFreeProcData" and releases the array; null is accepted.
void bcoFreeProcData(ProcArgument* array);

// In the three routines below, `elements` is the element of the first caller item and
// elementCount the elements from there on: a literal mark that would land past them is dropped,
// so that a call with more items than the procedure has arguments writes no element it lacks.

/// Appends every caller item, separated by ", "; each entry's literal mark goes to the element of
/// its last item (a group of n items covers n elements, an empty group one). Returns 0.
uint16_t bcoAppendCallArgs(int32_t argCount, const CallArgument* args, CallText* text,
                           ProcArgument* elements, size_t elementCount);

/// Appends the caller items numbered (from 1) above *consumed and below stopItem, then the
/// marker ":name" of the cursor argument at stopItem; *consumed counts the items written.
uint16_t bcoAppendArgsUpTo(uint16_t* consumed, int32_t argCount, const CallArgument* args,
                           const uint16_t* name, CallText* text, uint16_t* listEmpty,
                           int32_t cursorsBefore, int32_t stopItem, ProcArgument* elements,
                           size_t elementCount);

/// Appends the caller items after the first *consumed while *consumed + cursorsBefore < total.
uint16_t bcoAppendArgsAfter(uint16_t* consumed, int32_t argCount, const CallArgument* args,
                            CallText* text, uint16_t* listEmpty, int32_t cursorsBefore,
                            uint16_t total, ProcArgument* elements, size_t elementCount);
