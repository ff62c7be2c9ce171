// Parameter markers: numbering of "?" as ":1", ":2", ... and counting of all bind markers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/context.h"

/// Bytes of the scratch buffer the marker pass allocates for the digits of one number.
inline constexpr uint32_t kMarkerScratchBytes = 20;

/// Numbers the positional markers of the working statement from firstNumber on and sets
/// ctx->markerCount to the number of bind markers. A "?" that would need a number above 9999
/// becomes ":" and fails the pass with reason 59 (markerCount unchanged); 83 when the scratch
/// buffer or room for the digits cannot be had.
[[nodiscard]] Status bcoParseParmMarkers(ConversionContext* ctx, uint32_t firstNumber);

/// Cuts the trailing blanks of text (length units before its terminator); kOk when it cut any. A
/// text whose only non-blank character is its first is left as it is (kFail), as is an empty or
/// all-blank one.
Status bcoNullEndSQL(uint16_t* text, size_t length);
