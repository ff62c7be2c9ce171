// How tvrnsql shows its results: plain text or one JSON object per statement on standard
// output, and a message naming the statement and the reason on standard error for every
// statement that fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "cli/translate.h"

/// What a reason code of ODBCSqlToTVRNSqlEx means, e.g. "malformed clause or statement";
/// any code the library does not name is a server status: "server call interface status N".
std::string reasonText(uint32_t reason);

/// `text` (UTF-8) as a JSON string literal, quotes included.
std::string jsonString(std::string_view text);

/// Reports one translated statement. `label` names it in messages ("argument 2", "line 7");
/// `input` is its UTF-8 text.
void reportTranslation(const Options& options, const std::string& label, std::string_view input,
                       const Translation& t);

/// Reports one SELECT derivation (--select-update, --select-insert).
void reportDerivation(const Options& options, const std::string& label, std::string_view input,
                      const Derivation& d);

/// Reports a statement that never reached the library: `problem` says why ("is not valid UTF-8 at
/// byte offset 3"). `input` may be ill-formed; the JSON form shows it with U+FFFD in place of
/// the bad bytes.
void reportBadInput(const Options& options, const std::string& label, std::string_view input,
                    const std::string& problem);
