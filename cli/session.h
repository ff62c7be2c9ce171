// The server session of the tvrnsql command: when a describe option is given, the command
// connects to the stand-in server (the sample catalog unless --catalog names another) once and
// lends its three handles to every translation.
#pragma once

#include <string>

#include "cli/options.h"
#include "cli/translate.h"

/// The command's user and default schema with the sample catalog.
inline constexpr const char kSampleUser[] = "CLERK";

/// Owns the three handles of one stand-in session; disconnects when it goes.
struct Session {
  void* handles[3] = {nullptr, nullptr, nullptr};
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();
};

/// Fills `settings` from the options, connecting `session` when a describe option is given.
/// False with a one-line `error` when the catalog cannot be opened.
[[nodiscard]] bool prepareSettings(const Options& options, Session& session,
                                   TranslateSettings& settings, std::string& error);
