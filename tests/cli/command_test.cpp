// The tvrnsql command run as a program: statements from arguments and standard input, plain and
// JSON output, SELECT derivation, failures with their exit status and message, usage errors and
// bad input. Each case spawns the built command with files for its three standard streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Outcome {
  int exitCode;  // -1: killed by a signal
  std::string out;
  std::string err;
};

std::string tempPath(const char* tag) {
  std::string path = testing::TempDir() + "tvrnsql_" + tag + "_XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd >= 0) close(fd);
  return path;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

Outcome runCommand(const std::vector<std::string>& args, const std::string& input) {
  const std::string in = tempPath("in"), out = tempPath("out"), err = tempPath("err");
  std::ofstream(in, std::ios::binary) << input;

  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_TRUNC, 0);
  posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_TRUNC, 0);
  std::vector<char*> argv{const_cast<char*>(TVRNSQL_COMMAND)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  Outcome o{-1, {}, {}};
  pid_t pid = 0;
  int status = 0;
  if (posix_spawn(&pid, TVRNSQL_COMMAND, &files, nullptr, argv.data(), environ) == 0 &&
      waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    o.exitCode = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&files);
  o.out = slurp(out);
  o.err = slurp(err);
  for (const std::string& p : {in, out, err}) std::remove(p.c_str());
  return o;
}

// `count` markers separated by commas, and their numbered form.
std::string markers(int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += i == 0 ? "?" : ",?";
  return s;
}
std::string numbered(int count) {
  std::string s;
  for (int i = 1; i <= count; ++i) s += (i == 1 ? ":" : ",:") + std::to_string(i);
  return s;
}

const std::string kTooMany(10000, '?');  // one marker past what the library numbers: reason 59

struct Case {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  int exitCode;
  std::string out;     // expected standard output, exactly
  std::string errHas;  // text standard error contains; empty: standard error stays empty
};

// clang-format off
const Case kCases[] = {
    // Where statements come from.
    {"argument", {"select ? from t where a = ? and b like 'x%' {escape '\\'}"}, "", 0,
     "select :1 from t where a = :2 and b like 'x%'  escape '\\'\n", ""},
    {"arguments in order", {"select ?", "update t set a = ?, b = ?"}, "", 0,
     "select :1\nupdate t set a = :1, b = :2\n", ""},
    {"stdin is one statement", {}, "select ?\nfrom t\r\n", 0, "select :1 from t\n", ""},
    {"empty stdin", {}, "", 0, "", ""},
    {"stdin by lines", {"--lines"}, "select ?\r\n\nselect ?, ?", 0, "select :1\n\nselect :1, :2\n",
     ""},
    {"-- ends the options", {"--", "-x ?"}, "", 0, "-x :1\n", ""},
    {"characters beyond the BMP", {"select '\U0001F600' from t where a = ?"}, "", 0,
     "select '\U0001F600' from t where a = :1\n", ""},
    {"result larger than the first buffer", {markers(5000)}, "", 0, numbered(5000) + "\n", ""},

    // JSON.
    {"json escapes", {"--json", "select \"c\\d\"\t, ? from t"}, "", 0,
     "{\"input\":\"select \\\"c\\\\d\\\"\\t, ? from t\",\"output\":\"select \\\"c\\\\d\\\" , :1 "
     "from t\",\"result\":1,\"markerCount\":1}\n",
     ""},
    {"json failure", {"-j", kTooMany}, "", 1,
     "{\"input\":\"" + kTooMany +
         "\",\"output\":null,\"result\":0,\"markerCount\":0,\"reason\":59,"
         "\"message\":\"malformed clause or statement\"}\n",
     "argument 1: translation failed: malformed clause or statement (reason 59)"},

    // Failures: no partial text on standard output, the reason on standard error.
    {"failing statement", {kTooMany}, "", 1, "",
     "argument 1: translation failed: malformed clause or statement (reason 59)"},
    {"one failing line among good ones", {"-l"}, "select ?\n" + kTooMany + "\nselect ?, ?\n", 1,
     "select :1\nselect :1, :2\n", "line 2: translation failed"},

    // SELECT derivation.
    {"select from update", {"--select-update", "UPDATE t SET a=1, b='x' WHERE c=2"}, "", 0,
     "SELECT a,b FROM t\tt\n", ""},
    {"select from insert, json", {"-i", "-j", "INSERT INTO t (a, b) VALUES (1, 2)"}, "", 0,
     "{\"input\":\"INSERT INTO t (a, b) VALUES (1, 2)\",\"select\":\"SELECT a, b FROM t\","
     "\"table\":\"t\",\"result\":1}\n",
     ""},
    {"select without its keywords", {"-u", "DELETE FROM t"}, "", 1, "", "no SELECT derived"},

    // Usage (--help is checked on its own below).
    {"unknown long option", {"--bogus", "select ?"}, "", 2, "", "unknown option '--bogus'"},
    {"unknown short option", {"-jz"}, "", 2, "", "unknown option '-z'"},
    {"flag given a value", {"--json=1"}, "", 2, "", "takes no value"},
    {"both select modes", {"-u", "-i", "x"}, "", 2, "", "cannot be combined"},
    {"--lines with arguments", {"--lines", "select ?"}, "", 2, "", "--lines"},

    // Input the library never sees.
    {"invalid UTF-8 on stdin", {}, "select \xff ?", 1, "",
     "standard input: input is not valid UTF-8 at byte offset 7"},
    {"encoded surrogate", {"-l"}, "select ?\nselect '\xed\xa0\x80'\n", 1, "select :1\n",
     "line 2: input is not valid UTF-8 at byte offset 8"},
    {"invalid UTF-8, json", {"-j", "a\xc3"}, "", 1,
     "{\"input\":\"a\xef\xbf\xbd\",\"output\":null,\"result\":0,\"markerCount\":0,"
     "\"message\":\"input is not valid UTF-8 at byte offset 1\"}\n",
     "not valid UTF-8"},
    {"NUL on stdin", {}, std::string("select ?\0 x", 11), 1, "", "NUL character at byte offset 8"},

    // Tracing goes to standard error only.
    {"trace", {"--trace", "select ?"}, "", 0, "select :1\n", "bcoParseParmMarkers"},
};
// clang-format on

TEST(Command, Cases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Outcome o = runCommand(c.args, c.input);
    EXPECT_EQ(o.exitCode, c.exitCode);
    EXPECT_EQ(o.out, c.out);
    if (c.errHas.empty()) {
      EXPECT_EQ(o.err, "");
    } else {
      EXPECT_NE(o.err.find(c.errHas), std::string::npos) << o.err;
    }
  }
}

TEST(Command, HelpListsOptionsAndExitStatuses) {
  const Outcome o = runCommand({"-h"}, "");
  EXPECT_EQ(o.exitCode, 0);
  for (const char* part : {"Usage: tvrnsql", "--json", "--lines", "--select-update",
                           "--select-insert", "--trace", "Examples:", "Exit status:"}) {
    EXPECT_NE(o.out.find(part), std::string::npos) << part;
  }
}

}  // namespace
