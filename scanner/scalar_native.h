// The native texts of the scalar functions: for each ODBC function and type keyword, what the
// server gets instead and how it takes the clause's place (over the clause's own span, or
// replacing it). The scalar-function translator (scalar_function.cpp) looks them up by function
// code and fills in the arguments as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

/// How a native text takes the place of its clause.
enum class NativeWay : uint8_t {
  kArrange,        ///< written over the clause from its opening; the clause keeps its length
  kArrangeCopied,  ///< the same, assembled in the work area first because it swaps arguments
  kRebuild,        ///< replaces the clause; the statement gets longer or shorter
};

/// Where the blanks after an arranged text stop; that position itself is not blanked.
enum class PadTo : uint8_t {
  kNone,       ///< rebuilt forms
  kA1Start,    ///< "LOG(10,___x)": up to the first argument
  kA2Start,    ///< up to the second argument
  kA3Start,    ///< up to the third argument
  kParen,      ///< through the last argument, up to the ')' that closes the list
  kPastParen,  ///< through that ')', and at least over the whole text
};

/// What an arranged form does once its text and blanks are written and its terminator blanked.
enum class Finish : uint8_t {
  kNothing,
  kBlankParen,  ///< CONCAT: the ')' that closes the list becomes a blank
  kNegateLast,  ///< RIGHT: the last argument and the ')' move one place right behind a '-'
};

/// A native form. Its text is ASCII written as it stands, except for the slots %1 to %4 (the
/// arguments a1 to a4 as written, blanks included) and %L (a timestamp literal cut to its
/// seconds). The last argument a form uses runs up to the ')' that closes the list, so that a
/// date function's one argument is everything between the parentheses.
struct NativeForm {
  uint32_t code;  ///< function code (scanner/keywords.h)
  uint8_t arity;  ///< arguments the form uses; 0: the parentheses may be left out
  NativeWay way;
  PadTo pad;
  Finish finish;
  uint8_t estimateBase;  ///< REPEAT, INSERT: characters added to the work-area estimate
  const char* text;      ///< null for CONVERT, whose text is chosen by its type
};

/// A CONVERT target type and its native texts.
struct ConvertForm {
  uint32_t type;            ///< function code of the SQL type keyword
  const char* text;         ///< with %1 = a1
  const char* literalText;  ///< when a1's first token is a string literal; null: not looked at
  uint8_t literalShortest;  ///< %L: the literal alone, this many to literalLongest characters
  uint8_t literalLongest;   ///< with its quotes, cut to literalShortest; 0: a1 as written
};

/// An argument's text in the statement.
struct ArgText {
  const uint16_t* text = nullptr;
  size_t length = 0;
};

/// The texts a native text's slots stand for.
struct NativeArgs {
  ArgText arg[4];   ///< %1 to %4
  ArgText literal;  ///< %L
};

/// The name written over a function of the kept-name group, which has the length of the ODBC
/// name ("   CEIL" for CEILING); "" when the name stays as written; null for any other code.
const char* keptName(uint32_t code);

/// The forms of a function, the one with the most arguments first (LOCATE has two); empty for a
/// code that has none (kept names, SQL types, 0).
std::span<const NativeForm> nativeForms(uint32_t code);

/// The form of a CONVERT target type, or null for a code that is no type keyword.
const ConvertForm* convertForm(uint32_t type);

/// Characters of text with its slots filled.
size_t nativeLength(const char* text, const NativeArgs& args);
/// Characters of text before its first slot.
size_t nativePrefixLength(const char* text);
/// Characters of text without its slots.
size_t nativeFixedLength(const char* text);
/// Writes text with its slots filled to out (room for nativeLength characters; no terminator).
/// Arguments are moved with memmove, so out may lie over an argument's text as long as what is
/// written before that argument does not reach it.
void fillNative(const char* text, const NativeArgs& args, uint16_t* out);
