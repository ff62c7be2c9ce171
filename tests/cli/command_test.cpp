// The tvrnsql command run as a program: statements from arguments and standard input, plain and
// JSON output, SELECT derivation, failures with their exit status and message, usage errors and
// bad input. Each case runs the built command through the shell with files for its three
// standard streams.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Outcome {
  int exitCode;  // 128 + n: killed by signal n; -1: the shell was
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the command through the shell, each argument single-quoted, with files for its streams.
Outcome runCommand(const std::vector<std::string>& args, const std::string& input) {
  const std::string base = testing::TempDir() + "tvrnsql_" + std::to_string(getpid());
  std::ofstream(base + ".in", std::ios::binary) << input;
  std::string line = TVRNSQL_COMMAND;
  for (const std::string& a : args) {
    line += " '";
    for (char c : a) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += '\'';
  }
  const int status =
      std::system((line + " <" + base + ".in >" + base + ".out 2>" + base + ".err").c_str());
  Outcome o{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(base + ".out"),
            slurp(base + ".err")};
  for (const char* ext : {".in", ".out", ".err"}) std::remove((base + ext).c_str());
  return o;
}

// `count` markers, or their numbered form.
std::string markers(int count, bool numbered) {
  std::string s;
  for (int i = 1; i <= count; ++i) s += numbered ? ",:" + std::to_string(i) : ",?";
  return s.substr(1);
}

const std::string kTooMany(10000, '?');  // one marker past what the library numbers: reason 59

struct Case {
  const char* name;
  std::vector<std::string> args;
  std::string input;
  int exitCode;
  // Expected standard output, exactly, and a text standard error contains (empty: it stays empty).
  std::string out, errHas;
};

// clang-format off
const Case kCases[] = {
    // Where statements come from.
    {"arguments in order, after --, one larger than the first buffer",
     {"--", "-x '\U0001F600' ?", "update t set a = ?, b = ?", markers(5000, false)}, "", 0,
     "-x '\U0001F600' :1\nupdate t set a = :1, b = :2\n" + markers(5000, true) + "\n", ""},
    {"stdin is one statement", {}, "select ?\nfrom t\r\n", 0, "select :1 from t\n", ""},
    {"empty stdin", {}, "", 0, "", ""},
    {"stdin by lines, one failing", {"--lines"}, "select ?\r\n\n" + kTooMany + "\nselect ?, ?", 1,
     "select :1\n\nselect :1, :2\n",
     "line 3: translation failed: malformed clause or statement (reason 59)"},
    {"trace to stderr only", {"--trace", "select ?"}, "", 0, "select :1\n", "bcoParseParmMarkers"},

    // JSON.
    {"json escapes", {"--json", "select \"c\\d\"\t, ? from t"}, "", 0,
     "{\"input\":\"select \\\"c\\\\d\\\"\\t, ? from t\",\"output\":\"select \\\"c\\\\d\\\" , :1 "
     "from t\",\"result\":1,\"markerCount\":1,\"valueCount\":0}\n", ""},
    {"call clause: the block, json with the counts",
     {"-j", "{?=call pkg.f(?, 'x', {resultset 1, a, b})}"}, "", 0,
     "{\"input\":\"{?=call pkg.f(?, 'x', {resultset 1, a, b})}\",\"output\":\"BEGIN :1 := "
     "pkg.f(:2,'x',a,b); END;\",\"result\":1,\"markerCount\":2,\"valueCount\":5}\n", ""},
    {"outer join, and one without its ON clause",
     {"SELECT o.id FROM {oj orders o LEFT OUTER JOIN lines l ON o.id = l.order_id} ORDER BY 1",
      "SELECT * FROM {oj t1 LEFT JOIN t2}"}, "", 1,
     "SELECT o.id FROM orders  o, lines  l  WHERE ((o.id = l.order_id(+))) ORDER BY 1\n",
     "argument 2: translation failed: malformed clause or statement (reason 59)"},
    {"json failure", {"-j", kTooMany}, "", 1,
     "{\"input\":\"" + kTooMany + "\",\"output\":null,\"result\":0,\"markerCount\":0,\"valueCount\":0,"
     "\"reason\":59,"
     "\"message\":\"malformed clause or statement\"}\n", "argument 1: translation failed"},

    // Described calls against the embedded sample catalog, a catalog file, and one that fails.
    {"describe: cursor markers inserted", {"-d", "{call sales.order_pkg.order_report(?, ?, ?)}"},
     "", 0, "BEGIN SALES.ORDER_PKG.ORDER_REPORT( :1, :2, :P_HEADERS, :3, :P_LINES ); END;\n", ""},
    {"describe, json: the lists", {"-d", "-j", "{call recent_orders(5)}"}, "", 0,
     "{\"input\":\"{call recent_orders(5)}\",\"output\":\"BEGIN :L_RefCursor := "
     "SALES.RECENT_ORDERS( 5 ); END;\",\"result\":1,\"markerCount\":0,\"valueCount\":2,"
     "\"argTypes\":[102],\"attr32\":[1],\"attr213\":[0],\"refCursorPositions\":[1]}\n", ""},
    {"lists only: no rewrite, literals stay in the lists", {"--describe-lists-only", "-j", "{call staff(10, ?)}"}, "", 0,
     "{\"input\":\"{call staff(10, ?)}\",\"output\":\"BEGIN staff(10,:1); END;\",\"result\":1,"
     "\"markerCount\":1,\"valueCount\":2,\"argTypes\":[2,102],\"attr32\":[0,1],"
     "\"attr213\":[0,0],\"refCursorPositions\":[]}\n", ""},
    {"dictionary queries of version 7", {"-d", "-v", "7", "-s", "SALES", "{call open_orders(?)}"},
     "", 0, "BEGIN SALES.OPEN_ORDERS( :1, :P_ORDERS ); END;\n", ""},
    {"a catalog file", {"-d", "--catalog", TVRNSQL_SAMPLE_CATALOG, "{call my_tasks}"}, "", 0,
     "BEGIN MY_TASKS( :P_TASKS ); END;\n", ""},
    {"a catalog that cannot be opened", {"-d", "-c", "/nonexistent/catalog.db", "{call p}"}, "", 1,
     "", "cannot open the catalog '/nonexistent/catalog.db'"},
    {"a bad server version", {"-v", "x", "{call p}"}, "", 2, "", "--server-version"},

    // SELECT derivation.
    {"select from update, one without its keywords",
     {"--select-update", "UPDATE t SET a=1, b='x' WHERE c=2", "DELETE FROM t"}, "", 1,
     "SELECT a,b FROM t\tt\n", "argument 2: no SELECT derived"},
    {"select from insert, json", {"-i", "-j", "INSERT INTO t (a, b) VALUES (1, 2)"}, "", 0,
     "{\"input\":\"INSERT INTO t (a, b) VALUES (1, 2)\",\"select\":\"SELECT a, b FROM t\","
     "\"table\":\"t\",\"result\":1}\n", ""},

    // Usage errors.
    {"unknown option in a group", {"-jz", "select ?"}, "", 2, "", "unknown option '-z'"},
    {"both select modes", {"-u", "-i", "x"}, "", 2, "", "cannot be combined"},
    {"--lines with arguments", {"--lines", "select ?"}, "", 2, "", "--lines"},

    // Input the library never sees.
    {"encoded surrogate on stdin", {}, "select '\xed\xa0\x80'", 1, "",
     "standard input: input is not valid UTF-8 at byte offset 8"},
    {"cut-off UTF-8, json", {"-j", "a\xc3"}, "", 1,
     "{\"input\":\"a\xef\xbf\xbd\",\"output\":null,\"result\":0,\"markerCount\":0,"
     "\"valueCount\":0,\"message\":\"input is not valid UTF-8 at byte offset 1\"}\n", "not valid UTF-8"},
    {"NUL on stdin", {}, std::string("select ?\0 x", 11), 1, "", "NUL character at byte offset 8"},
};
// clang-format on

TEST(Command, Cases) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Outcome o = runCommand(c.args, c.input);
    EXPECT_EQ(o.exitCode, c.exitCode);
    EXPECT_EQ(o.out, c.out);
    EXPECT_TRUE(c.errHas.empty() ? o.err.empty() : o.err.find(c.errHas) != std::string::npos)
        << o.err;
  }
}

TEST(Command, HelpListsOptionsAndExitStatuses) {
  const Outcome o = runCommand({"-h"}, "");
  EXPECT_EQ(o.exitCode, 0);
  for (const char* part : {"Usage: tvrnsql", "--select-insert", "Exit status:"})
    EXPECT_NE(o.out.find(part), std::string::npos) << part;
}

}  // namespace
