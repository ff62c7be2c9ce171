// Connecting the command to the stand-in server: the embedded sample catalog, or a catalog file
// (SQL text or an SQLite database), as the user the options name.
#include "cli/session.h"

#include "cli/utf8.h"
#include "examples/sample_catalog.h"
#include "tci/standin.h"

Session::~Session() { TCIStandinDisconnect(handles); }

bool prepareSettings(const Options& options, Session& session, TranslateSettings& settings,
                     std::string& error) {
  settings.serverVersion = options.serverVersion;
  settings.describeOptions[0] = options.describe ? 1 : 0;
  settings.describeOptions[1] = options.listsOnly ? 1 : 0;
  if (!options.describe && !options.listsOnly) return true;

  const std::string user = options.schema.empty() ? std::string(kSampleUser) : options.schema;
  const int32_t status =
      options.catalog.empty()
          ? TCIStandinConnectSql(kSampleCatalog, user.c_str(), session.handles)
          : TCIStandinConnect(options.catalog.c_str(), user.c_str(), session.handles);
  if (status != TCI_STANDIN_OK) {
    char message[256] = {};
    (void)TCIStandinErrorGet(nullptr, nullptr, message, sizeof message);
    error = "cannot open the catalog" +
            (options.catalog.empty() ? std::string() : " '" + options.catalog + "'") + ": " +
            message;
    return false;
  }
  settings.handles = session.handles;
  std::string problem;
  settings.defaultSchema.clear();
  if (!utf8ToUtf16(user, settings.defaultSchema, problem)) {
    error = "--schema is not valid UTF-8";
    return false;
  }
  return true;
}
