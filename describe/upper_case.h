// Upper-casing of names before they go to the server: the platform's in-place upper-casing of a
// wide-character buffer, with the simple (one character to one character) Unicode mapping of the
// Basic Multilingual Plane, independent of the host's locale.
#pragma once

#include <cstddef>
#include <cstdint>

/// The upper case of one UTF-16 code unit; units without one (surrogates included) map to
/// themselves.
uint16_t bcuUpperChar(uint16_t c);

/// Upper-cases text[0, length) in place.
void bcuUpperBuffer(uint16_t* text, size_t length);
