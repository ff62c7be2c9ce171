// Option parsing for tvrnsql, driven by one table: long name, short letter, value name, help
// line and the function that applies the option. Accepted forms: --name, --name=value,
// --name value, -x, -x value, -xyz (flags bundled), and "--" to end the options so that a
// statement may begin with "-".
#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

namespace {

using Apply = bool (*)(Options&, std::string_view value, std::string& error);

struct OptionRow {
  const char* longName;   // without the leading "--"
  char shortName;         // 0: no short form
  const char* valueName;  // null: a flag that takes no value
  const char* help;
  Apply apply;
};

bool setSelectMode(Options& o, uint16_t mode, std::string& error) {
  if (o.selectMode != kTranslate && o.selectMode != mode) {
    error = "--select-update and --select-insert cannot be combined";
    return false;
  }
  o.selectMode = mode;
  return true;
}

// long name, short letter, value name (null: a flag), help line, what it sets
constexpr OptionRow kOptions[] = {
    {"json", 'j', nullptr, "print one JSON object per statement",
     [](Options& o, std::string_view, std::string&) { return o.json = true; }},
    {"lines", 'l', nullptr, "read standard input as one statement per line",
     [](Options& o, std::string_view, std::string&) { return o.lines = true; }},
    {"select-update", 'u', nullptr,
     "derive a SELECT from an UPDATE statement; print it and the table name",
     [](Options& o, std::string_view, std::string& e) {
       return setSelectMode(o, kSelectFromUpdate, e);
     }},
    {"select-insert", 'i', nullptr,
     "derive a SELECT from an INSERT statement; print it and the table name",
     [](Options& o, std::string_view, std::string& e) {
       return setSelectMode(o, kSelectFromInsert, e);
     }},
    {"describe", 'd', nullptr,
     "describe called procedures through the server and rewrite the call (first describe option)",
     [](Options& o, std::string_view, std::string&) { return o.describe = true; }},
    {"describe-lists-only", 0, nullptr,
     "describe called procedures for their argument lists only (second describe option)",
     [](Options& o, std::string_view, std::string&) { return o.listsOnly = true; }},
    {"catalog", 'c', "FILE",
     "the server's catalog: SQL text (*.sql) or an SQLite database; default: the sample catalog",
     [](Options& o, std::string_view v, std::string&) {
       o.catalog = std::string(v);
       return true;
     }},
    {"schema", 's', "NAME", "default schema of the session (and its connected user)",
     [](Options& o, std::string_view v, std::string&) {
       o.schema = std::string(v);
       return true;
     }},
    {"server-version", 'v', "N", "the server's major version: 7 describes by dictionary queries",
     [](Options& o, std::string_view v, std::string& e) {
       unsigned value = 0;
       const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
       if (ec != std::errc() || end != v.data() + v.size() || value > 65535) {
         e = "--server-version needs a number from 0 to 65535";
         return false;
       }
       o.serverVersion = uint16_t(value);
       return true;
     }},
    {"trace", 't', nullptr, "write the library's trace lines to standard error",
     [](Options& o, std::string_view, std::string&) { return o.trace = true; }},
    {"help", 'h', nullptr, "print this help and exit",
     [](Options& o, std::string_view, std::string&) { return o.help = true; }},
};

static_assert(
    [] {
      for (size_t i = 0; i < std::size(kOptions); ++i) {
        for (size_t j = i + 1; j < std::size(kOptions); ++j) {
          if (std::string_view(kOptions[i].longName) == kOptions[j].longName) return false;
          if (kOptions[i].shortName != 0 && kOptions[i].shortName == kOptions[j].shortName) {
            return false;
          }
        }
      }
      return true;
    }(),
    "option names must be unique");

const OptionRow* findLong(std::string_view name) {
  for (const OptionRow& row : kOptions) {
    if (name == row.longName) return &row;
  }
  return nullptr;
}

const OptionRow* findShort(char c) {
  for (const OptionRow& row : kOptions) {
    if (row.shortName != 0 && c == row.shortName) return &row;
  }
  return nullptr;
}

// Walks argv, handing option values to their table rows and collecting the operands.
class Parser {
 public:
  Parser(int argc, const char* const* argv, Options& options, std::string& error)
      : argc_(argc), argv_(argv), options_(options), error_(error) {}

  bool run() {
    bool optionsEnded = false;
    for (next_ = 1; next_ < argc_;) {
      std::string_view arg = argv_[next_++];
      if (optionsEnded || !looksLikeOption(arg)) {
        options_.statements.emplace_back(arg);
      } else if (arg == "--") {
        optionsEnded = true;
      } else if (arg[1] == '-') {
        if (!longOption(arg.substr(2))) return false;
      } else if (!shortOptions(arg.substr(1))) {
        return false;
      }
    }
    return checkCombination();
  }

 private:
  // "-j", "--json" and "--" are options; "--(*vendor(...) ...", "-- note" and "-5" are
  // statements, so a long-form clause or a comment can start an argument.
  static bool looksLikeOption(std::string_view arg) {
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (arg.size() < 2 || arg[0] != '-') return false;
    if (arg[1] != '-') return letter(arg[1]);
    return arg.size() == 2 || letter(arg[2]);
  }

  bool longOption(std::string_view body) {
    const size_t eq = body.find('=');
    const std::string_view name = body.substr(0, eq);
    const OptionRow* row = findLong(name);
    if (row == nullptr) return fail("unknown option '--" + std::string(name) + "'");
    if (row->valueName == nullptr) {
      if (eq != std::string_view::npos) {
        return fail("option '--" + std::string(name) + "' takes no value");
      }
      return row->apply(options_, {}, error_);
    }
    if (eq != std::string_view::npos) return row->apply(options_, body.substr(eq + 1), error_);
    return withNextValue(*row, "--" + std::string(name));
  }

  // "-jl" is "-j -l"; a short option with a value takes the rest of the word or the next one.
  bool shortOptions(std::string_view letters) {
    for (size_t i = 0; i < letters.size(); ++i) {
      const OptionRow* row = findShort(letters[i]);
      if (row == nullptr) return fail("unknown option '-" + std::string(1, letters[i]) + "'");
      if (row->valueName == nullptr) {
        if (!row->apply(options_, {}, error_)) return false;
        continue;
      }
      if (i + 1 < letters.size()) return row->apply(options_, letters.substr(i + 1), error_);
      return withNextValue(*row, "-" + std::string(1, letters[i]));
    }
    return true;
  }

  bool withNextValue(const OptionRow& row, const std::string& shown) {
    if (next_ >= argc_) return fail("option '" + shown + "' needs a value");
    return row.apply(options_, argv_[next_++], error_);
  }

  bool checkCombination() {
    if (options_.lines && !options_.statements.empty()) {
      return fail("--lines reads standard input and takes no statement arguments");
    }
    return true;
  }

  bool fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  int argc_;
  const char* const* argv_;
  Options& options_;
  std::string& error_;
  int next_ = 1;
};

}  // namespace

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
  return Parser(argc, argv, options, error).run();
}

std::string usageText() {
  std::string text =
      "Usage: tvrnsql [options] [statement...]\n"
      "\n"
      "Rewrites SQL statements written in the ODBC escape syntax into the server's native\n"
      "dialect and numbers their ? markers. Each statement argument is translated; without\n"
      "statement arguments, standard input is read as one statement, or as one statement per\n"
      "line with --lines. Each result is printed on a line of its own; a statement that fails\n"
      "prints nothing on standard output and its reason on standard error. Text is UTF-8.\n"
      "\n"
      "Options:\n";
  for (const OptionRow& row : kOptions) {
    std::string left = "  ";
    left += row.shortName != 0 ? std::string{'-', row.shortName, ',', ' '} : "    ";
    left += "--";
    left += row.longName;
    if (row.valueName != nullptr) left += std::string(" ") + row.valueName;
    left.resize(std::max<size_t>(left.size() + 2, 24), ' ');
    text += left + row.help + "\n";
  }
  text +=
      "  --                    end of options; later arguments are statements\n"
      "\n"
      "With --json each statement gives one line:\n"
      "  {\"input\":...,\"output\":...,\"result\":1,\"markerCount\":N,\"valueCount\":V}\n"
      "where V counts the values of a call clause (arguments, return value, resultset items),\n"
      "and a failure has \"output\":null,\"result\":0 and its \"reason\" and \"message\".\n"
      "With --select-update or --select-insert the plain result is the SELECT, a tab and the\n"
      "table name; the JSON object has \"select\" and \"table\" instead of \"output\".\n"
      "\n"
      "Examples:\n"
      "  tvrnsql \"select * from t where a = ? and b like 'x%' {escape '\\'}\"\n"
      "  tvrnsql \"{?=call pkg.f(?, 'x')}\"      (prints BEGIN :1 := pkg.f(:2,'x'); END;)\n"
      "  tvrnsql \"select * from {oj a left outer join b on a.id = b.aid}\"\n"
      "                                      (prints select * from a, b WHERE ((a.id = b.aid(+))))\n"
      "  printf '%s\\n' \"select ?\" \"delete from t where a = ?\" | tvrnsql --lines --json\n"
      "  tvrnsql --select-update \"UPDATE t SET a=1, b='x' WHERE c=2\"\n"
      "\n"
      "Exit status:\n"
      "  0  every statement was translated\n"
      "  1  a statement failed, or the input could not be read or was not valid UTF-8\n"
      "  2  usage error\n";
  return text;
}
