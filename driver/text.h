// Wide-text routines shared by the translators: the case-ignoring search that skips quoted
// literals, blank trimming and filling, identifier comparison, clause counting, control-character
// blanking and the OUTPUT-argument rewrite of a call. Text is null-terminated uint16_t.
#pragma once

#include <cstdint>
#include <span>

/// White space as the clause search sees it: blank, tab, line feed, vertical tab, form feed and
/// carriage return. No other character counts, whatever the host's locale.
inline bool bcuIsSpace(uint16_t c) { return c == ' ' || (c >= 9 && c <= 13); }

/// Upper-cases one code unit (ASCII letters; every other unit stays).
inline uint16_t bcuUpper(uint16_t c) { return (c >= 'a' && c <= 'z') ? uint16_t(c - 32) : c; }

/// The first unit at or after p that is not white space.
inline uint16_t* bcuSkipSpace(uint16_t* p) {
  while (bcuIsSpace(*p)) ++p;
  return p;
}
inline const uint16_t* bcuSkipSpace(const uint16_t* p) {
  while (bcuIsSpace(*p)) ++p;
  return p;
}

/// First match of needle (ASCII, case ignored) in haystack, or null. A single-quoted literal is
/// skipped from its opening quote to the next quote or to the next star-slash; a match may begin on
/// an opening quote but never inside a literal. An empty haystack yields null. Traces itself.
const uint16_t* bcuFstristr_SkipLiteral(const uint16_t* haystack, const char* needle);
/// The same without the trace line, for callers that account for trace lines themselves.
const uint16_t* bcuFindSkipLiteral(const uint16_t* haystack, const char* needle);

/// True when the text at p starts with needle, ASCII letters compared without case. Never reads
/// past a terminator in p.
bool bcuStartsWithNoCase(const uint16_t* p, const char* needle);

/// Replaces blanks (U+0020 only) with terminators from text[length - 1] towards the start until
/// a non-blank; length <= 0 does nothing. Traces itself.
void bcuTrimBlanksW(uint16_t* text, int64_t length);

/// Writes count copies of c from dest on; returns dest.
uint16_t* bcuFillW(uint16_t* dest, uint16_t c, size_t count);

/// Compares two identifiers: exactly when either begins with '"' (that quote skipped), else
/// upper-cased; a name ends at its terminator or a '"'. Returns 1 when equal, 0 otherwise.
int bcuNamesEqual(const uint16_t* a, const uint16_t* b);

/// Count of "--(*" and '{' openings, found with the literal-skipping search. Traces itself.
uint32_t bcuNumEscapeClauses(const uint16_t* text);
/// Count of non-overlapping occurrences of needle, found with the literal-skipping search.
uint32_t bcuNumCharClauses(const uint16_t* text, const char* needle);

/// Outside single-quoted literals, turns characters 1..31 into blanks; CR LF becomes blank LF.
/// The trace line shows tracedAddress (the text's place in the caller's buffer) when given.
void bcuRemoveControlChars(std::span<uint16_t> text, const void* tracedAddress = nullptr);

/// Turns each OUTPUT argument of a call's argument list ("x OUTPUT") into "?" and blanks. Returns
/// true when it changed the text. The trace line shows tracedAddress when given. With plain set it
/// walks back over earlier rewrites and searches again from each "?" as the reference translation
/// does; otherwise it skips what it already rewrote (the same result in linear time).
bool bcuReplaceOutputParams(uint16_t* callText, const void* tracedAddress = nullptr,
                            bool plain = false);

/// Told of each OUTPUT argument bcuReplaceOutputParamsBefore rewrites: it wrote only blanks and
/// one '?' in the range [from, to] (to inclusive); literalEdge when it blanked a '\'', '*' or '/'.
using OutputRewriteNote = void (*)(void* cookie, const uint16_t* from, const uint16_t* to,
                                   bool literalEdge);
/// bcuReplaceOutputParams (not plain) for a caller that knows that no "OUTPUT" (any case, literals
/// or not) starts at or after limit, a position of the same text: it reads nothing from limit on
/// (a '(' found there, or a match, could change nothing) and reports every rewrite to note. A
/// caller that knows that the search, standing outside a literal at stopAt (or null), finds no
/// match from there on has it stop there. *searchStart (when given) receives the '(' the search
/// started from; it is left alone when there is none before limit (and nothing changes).
bool bcuReplaceOutputParamsBefore(uint16_t* callText, const uint16_t* limit,
                                  const uint16_t* stopAt, OutputRewriteNote note, void* cookie,
                                  const uint16_t** searchStart);

/// Checks the vendor prefix of a long-form clause ("vendor(Microsoft),product(ODBC)", white space
/// allowed between the tokens, case ignored) in the text after "--(*". Returns the keyword start
/// after the prefix and its white space, or null. Traces itself.
uint16_t* bcuVerifyVendorFindType(uint16_t* text);

/// Length of a terminated text in code units.
size_t bcuLength(const uint16_t* text);
