// The command line of tvrnsql: what the options mean, how they are parsed, and the usage text.
// Options live in one table (options.cpp), so a new option is one row there plus a field here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// Values of Options::selectMode: the modes of ParseSQLStrEx, 0 to translate instead.
inline constexpr uint16_t kTranslate = 0;
inline constexpr uint16_t kSelectFromUpdate = 2;
inline constexpr uint16_t kSelectFromInsert = 4;

/// Everything the command line asked for.
struct Options {
  bool help = false;
  bool json = false;   ///< one JSON object per statement instead of plain text
  bool lines = false;  ///< standard input holds one statement per line
  bool trace = false;  ///< the library's trace lines go to standard error
  uint16_t selectMode = kTranslate;
  uint16_t serverVersion = 8;  ///< passed to the translation; 7 selects dictionary queries
  bool describe = false;       ///< first describe option: describe and rewrite call clauses
  bool listsOnly = false;      ///< second describe option only: the argument lists, no rewrite
  std::string catalog;         ///< the stand-in server's catalog; empty: the embedded sample
  std::string schema;          ///< default schema and connected user; empty: the catalog's own
  std::vector<std::string> statements;  ///< the operands, in order
};

/// Parses argv into `options`. Returns false with a one-line `error` for a usage error: an
/// unknown option, a missing or unexpected value, or options that cannot go together.
[[nodiscard]] bool parseOptions(int argc, const char* const* argv, Options& options,
                                std::string& error);

/// The text --help prints: synopsis, options (from the option table), examples, exit statuses.
std::string usageText();
