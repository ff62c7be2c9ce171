// How the stand-in reads an object name it is asked to describe, and the connected user's name:
// dot-separated parts, each either in double quotes (exact) or upper-cased. Internal to tci/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#pragma GCC visibility push(hidden)

namespace standin {

/// Splits `length` bytes of UTF-8 into at most `maxParts` parts at the dots outside double
/// quotes. A part in double quotes is taken exactly, without its quotes and with each doubled
/// quote inside made one ("a""b" is a"b); any other part is upper-cased code point by code point
/// (simple case mapping: "straße" is STRAßE). Returns TCI_STANDIN_OK with the parts, or
/// TCI_STANDIN_BAD_TEXT for invalid UTF-8 or TCI_STANDIN_BAD_ARGUMENT for a malformed name (an
/// empty part, an unpaired quote, a terminator within the length, too many parts), with a
/// static message in *why.
[[nodiscard]] int32_t splitName(const char* text, size_t length, size_t maxParts,
                                std::vector<std::string>* parts, const char** why);

}  // namespace standin

#pragma GCC visibility pop
