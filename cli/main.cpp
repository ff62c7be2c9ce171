// The tvrnsql command: translates SQL statements given as arguments or on standard input into
// the server's native dialect, or derives a SELECT from UPDATE and INSERT statements, and prints
// the results. Each statement goes from UTF-8 to UTF-16, through the library, and back.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/report.h"
#include "cli/session.h"
#include "cli/translate.h"
#include "cli/utf8.h"
#include "tvrnsql.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Statement {
  std::string label;  // names the statement in messages
  std::string text;   // UTF-8 as given, not yet checked
};

[[nodiscard]] bool readAll(std::FILE* in, std::string& out) {
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) out.append(chunk, n);
  return std::ferror(in) == 0;
}

// One statement per line; a final line without a newline counts, "\r\n" counts as a newline.
// Empty lines stay statements, so that output lines follow input lines.
std::vector<Statement> splitLines(const std::string& input) {
  std::vector<Statement> statements;
  size_t start = 0;
  for (size_t number = 1; start < input.size(); ++number) {
    size_t end = input.find('\n', start);
    const size_t next = end == std::string::npos ? input.size() : end + 1;
    if (end == std::string::npos) end = input.size();
    if (end > start && input[end - 1] == '\r') --end;
    statements.push_back({"line " + std::to_string(number), input.substr(start, end - start)});
    start = next;
  }
  return statements;
}

// The whole input is one statement; its final line break belongs to the file, not to it.
std::vector<Statement> wholeInput(std::string input) {
  if (input.empty()) return {};
  if (input.back() == '\n') input.pop_back();
  if (!input.empty() && input.back() == '\r') input.pop_back();
  return {{"standard input", std::move(input)}};
}

// Runs one statement and reports it; false when it failed.
bool run(const Options& options, const TranslateSettings& settings, const Statement& s) {
  if (const size_t nul = s.text.find('\0'); nul != std::string::npos) {
    reportBadInput(options, s.label, s.text,
                   "contains a NUL character at byte offset " + std::to_string(nul));
    return false;
  }
  std::u16string text;
  std::string problem;
  if (!utf8ToUtf16(s.text, text, problem)) {
    reportBadInput(options, s.label, s.text, problem);
    return false;
  }
  if (options.selectMode != kTranslate) {
    const Derivation d = deriveSelect(text, options.selectMode);
    reportDerivation(options, s.label, s.text, d);
    return d.ok;
  }
  const Translation t = translateStatement(text, settings);
  reportTranslation(options, s.label, s.text, t);
  return t.ok;
}

int runAll(const Options& options) {
  std::vector<Statement> statements;
  if (!options.statements.empty()) {
    for (size_t i = 0; i < options.statements.size(); ++i) {
      statements.push_back({"argument " + std::to_string(i + 1), options.statements[i]});
    }
  } else {
    std::string input;
    if (!readAll(stdin, input)) {
      std::fprintf(stderr, "tvrnsql: cannot read standard input: %s\n", std::strerror(errno));
      return kExitFailed;
    }
    statements = options.lines ? splitLines(input) : wholeInput(std::move(input));
  }

  Session session;
  TranslateSettings settings;
  std::string error;
  if (!prepareSettings(options, session, settings, error)) {
    std::fprintf(stderr, "tvrnsql: %s\n", error.c_str());
    return kExitFailed;
  }
  if (options.trace) TVRNSqlSetTrace(TVRNSQL_TRACE_ON, stderr);
  bool failed = false;
  for (const Statement& s : statements) {
    if (!run(options, settings, s)) failed = true;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tvrnsql: cannot write standard output: %s\n", std::strerror(errno));
    return kExitFailed;
  }
  return failed ? kExitFailed : kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
      std::fprintf(stderr, "tvrnsql: %s\nTry 'tvrnsql --help' for more information.\n",
                   error.c_str());
      return kExitUsage;
    }
    if (options.help) {
      std::fputs(usageText().c_str(), stdout);
      return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
    }
    return runAll(options);
  } catch (const std::bad_alloc&) {
    std::fputs("tvrnsql: out of memory\n", stderr);
    return kExitFailed;
  }
}
