// One entry of a call clause's argument list, as the call parser builds it and the procedure
// description reads it: an argument, the return value of {?=call}, or a {resultset} group.
#pragma once

#include <cstdint>

/// Entries are contiguous in one array (bcoObtain) that bcoFreeCallArgs releases with their texts.
struct CallArgument {
  uint16_t isGroup;     ///< a group entry: the number of groups in the call; 0 otherwise
  int16_t groupNumber;  ///< the number after "{resultset" (low 16 bits); 0 for an argument
  uint16_t* text;       ///< owned (bcoObtain): the rewritten text; for a group each item with its
                        ///< terminator, back to back, then one more terminator
  uint16_t textLength;  ///< without terminator; for a group the sum of its items' lengths
  uint16_t itemCount;   ///< items of a group; 0 otherwise
  int32_t literal;      ///< 1: a literal or expression; 0: a parameter marker
};
