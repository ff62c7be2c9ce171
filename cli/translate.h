// The command's calls into the library: one statement translated with ODBCSqlToTVRNSqlEx, or a
// SELECT derived with ParseSQLStrEx, each with its buffers sized and grown once on demand.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tvrnsql.h"

/// The outcome of translating one statement.
struct Translation {
  bool ok = false;
  uint32_t reason = 0;       ///< the library's reason code after a failure
  uint16_t markerCount = 0;  ///< bind markers, as the library counted them
  TVRNSqlCallInfo call{};    ///< the call clause's form and value count
  std::u16string output;     ///< the native statement; empty after a failure
  bool described = false;    ///< a describe option was given: the lists below were handed out
  std::vector<uint16_t> argTypes;  ///< one type code per described argument
  std::vector<uint8_t> attr32, attr213;
  std::vector<uint16_t> refCursorPositions;  ///< 1-based positions of the inserted cursor binds
};

/// How statements are translated: the server version, the describe options and, when describing,
/// the server session whose three handles the library borrows for each call.
struct TranslateSettings {
  uint16_t serverVersion = 8;
  uint32_t describeOptions[3] = {0, 0, 0};
  void** handles = nullptr;      ///< environment, error, service context; null when not describing
  std::u16string defaultSchema;  ///< passed as the default schema (empty: none)
};

/// Translates `statement`. The buffer starts at twice the statement's length plus 256 units and
/// is enlarged once to the capacity the library reports when the result does not fit. A statement
/// containing U+0000 is cut there, as the library reads up to the first terminator; callers
/// reject such input first.
Translation translateStatement(std::u16string_view statement, const TranslateSettings& settings);

/// The outcome of deriving a SELECT from an UPDATE or INSERT statement.
struct Derivation {
  bool ok = false;
  std::u16string select;
  std::u16string table;
};

/// Derives the SELECT and table name of `statement` with ParseSQLStrEx in `mode` (2: UPDATE,
/// 4: INSERT), enlarging the SELECT buffer once if the library asks for more room.
Derivation deriveSelect(std::u16string_view statement, uint16_t mode);
