// Differential checking of the translate entry point: the real translation and the reference
// translation (driver/reference.h, the same steps executed the plainest way) run on the same
// statement, and every observable of the two must be equal. Shared by the generated-statement
// test and the differential fuzz target.
//
// The statements come from a generator that favours what makes position and length bookkeeping
// go wrong: clauses that rebuild the statement nested in one another and in clauses that keep
// their length, date literals inside functions, CONVERT, INSERT and REPEAT over clause arguments,
// call clauses with function-call and OUTPUT arguments, outer-join clauses after and around other
// clauses and in subqueries, markers everywhere, long forms mixed with brace forms, and padding
// that makes a statement a few hundred thousand units long. Its choices come from a Choices
// source: a seeded random engine in the test, the fuzzer's bytes in the fuzz target.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "driver/reference.h"
#include "tvrnsql.h"

namespace differential {

/// Where the generator's choices come from.
class Choices {
 public:
  virtual ~Choices() = default;
  /// A number below n (n > 0).
  virtual uint32_t below(uint32_t n) = 0;
  bool chance(uint32_t percent) { return below(100) < percent; }
};

/// Choices from a seeded engine: the same seed gives the same statements.
class SeededChoices final : public Choices {
 public:
  explicit SeededChoices(uint64_t seed) : engine_(seed) {}
  uint32_t below(uint32_t n) override { return uint32_t(engine_() % n); }

 private:
  std::mt19937_64 engine_;
};

/// Choices read from bytes, one byte each; 0 once they run out, which ends every repetition.
class ByteChoices final : public Choices {
 public:
  ByteChoices(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t below(uint32_t n) override { return at_ < size_ ? data_[at_++] % n : 0; }

 private:
  const uint8_t* data_;
  size_t size_, at_ = 0;
};

/// Builds statements; `depthLimit` bounds the nesting of clauses in one another.
class Generator {
 public:
  explicit Generator(Choices& choices, int depthLimit = 3) : c_(choices), depthLimit_(depthLimit) {}

  /// One statement of about `padding` more units than its clauses need.
  std::u16string statement(size_t padding = 0) {
    out_.clear();
    padding_ = padding;
    switch (c_.below(8)) {
      case 0:
      case 1:
        call();
        break;
      case 2:
      case 3:
        outerJoinSelect(0);
        break;
      case 4:
        put("UPDATE t SET a = ");
        expression(0);
        put(", b = ?");
        where();
        break;
      default:
        select();
        break;
    }
    if (c_.chance(10)) put(pick({"   ", " -- end", ";", " \t"}));
    return out_;
  }

 private:
  struct Function {
    const char* name;
    int arity;  // -1: none or "()" at will
  };

  void put(std::u16string_view s) { out_ += s; }
  void put(const char* s) {
    while (*s != 0) out_.push_back(char16_t(static_cast<unsigned char>(*s++)));
  }
  const char* pick(std::initializer_list<const char*> options) {
    return options.begin()[c_.below(uint32_t(options.size()))];
  }

  // A long single-quoted literal or a long name, the padding that makes statements large.
  void pad() {
    if (padding_ == 0) return put("x");
    const size_t n = padding_ / 2 + c_.below(uint32_t(padding_ / 2 + 1));
    padding_ -= std::min(padding_, n);
    const bool literal = c_.chance(50);
    out_.push_back(literal ? u'\'' : u'c');
    for (size_t i = 0; i < n; ++i) out_.push_back(i % 61 == 60 ? u' ' : char16_t(u'a' + i % 26));
    if (literal) out_.push_back(u'\'');
  }

  void atom(int depth) {
    switch (c_.below(14)) {
      case 0:
      case 1:
        put("?");
        break;
      case 2:
        put(pick({"x", "t1.a", "\"Quoted Name\"", "s", "d", "col_1", "\"{oj t}\"",
                  "\"{call p(a OUTPUT)}\"", "\"{fn x}\"", "'*/ {oj t} '",
                  "\"{call p(a OUTPUT)}OUTPUT\"", "\"{?=call f(a\"\" OUTPUT)}\"",
                  "\"{call p(a output, b OUTPUT)}\""}));
        break;
      case 3:
        out_ += u"\u00c9T\u00c9";  // a name outside ASCII
        break;
      case 4:
        put(pick({"1", "2", "3.5", "10"}));
        break;
      case 5:
        put(pick({"'a,b'", "'x}y'", "'it''s'", "'{fn x}'", "'(('", "'2001-02-03 12:30:00.5'"}));
        break;
      case 6:
        dateLiteral();
        break;
      case 7:
        pad();
        break;
      default:
        if (depth < depthLimit_) {
          function(depth + 1);
        } else {
          put("?");
        }
        break;
    }
  }

  void dateLiteral() {
    // Mostly the shapes applications send; now and then one at the edge of that shape (case,
    // blanks, tabs, lengths, fractions, a doubled quote, text after the literal).
    if (c_.chance(70)) {
      opening(pick({"d '2001-02-03'", "t '12:30:00'", "ts '2001-02-03 12:30:00'",
                     "ts '2001-02-03 12:30:00.125'"}));
      return;
    }
    opening(pick({"TS  '2001-02-03 12:30:00' ", "D '2001-02-3'", "d ''", "t '12:30'",
                  "ts '2001-02-03 12:30:00.123456789'", "ts '2001-02-03 12:30:00.12345678901'",
                  "d '2001-02-03''x'", "d\t'2001-02-03'", "date '2001-02-03'",
                  "d '2001-02-03'x", "d 'ab-cd-efgh'", "d '2001-02-03 '", "T '1:2:3 4.5'",
                  "d'2001-02-03'", "ts '2001-02-03 12:30:00'  ", "d '\u00e9001-02-03'"}));
  }

  // A whole clause around body, in braces or in the long form.
  void opening(const char* body) {
    const bool longForm = c_.chance(20);
    put(longForm ? "--(*vendor(Microsoft),product(ODBC) " : "{");
    put(body);
    put(longForm ? " *)--" : "}");
  }

  void expression(int depth) {
    atom(depth);
    if (c_.chance(25)) {
      put(pick({" + ", " || ", "*", " - "}));
      atom(depth);
    }
  }

  void function(int depth) {
    static constexpr Function kFunctions[] = {// rebuilding
                                              {"HOUR", 1},
                                              {"minute", 1},
                                              {"SECOND", 1},
                                              {"week", 1},
                                              {"MONTH", 1},
                                              {"quarter", 1},
                                              {"YEAR", 1},
                                              {"DAYOFWEEK", 1},
                                              {"dayofmonth", 1},
                                              {"DAYOFYEAR", 1},
                                              {"MONTHNAME", 1},
                                              {"dayname", 1},
                                              {"CURDATE", -1},
                                              {"curtime", -1},
                                              {"NOW", -1},
                                              {"DATABASE", -1},
                                              {"PI", -1},
                                              {"REPEAT", 2},
                                              {"INSERT", 4},
                                              {"CONVERT", 0},
                                              // kept or renamed in place
                                              {"UCASE", 1},
                                              {"lcase", 1},
                                              {"ABS", 1},
                                              {"CEILING", 1},
                                              {"LOG", 1},
                                              {"IFNULL", 2},
                                              {"SUBSTRING", 3},
                                              {"LTRIM", 1},
                                              {"MOD", 2},
                                              // rearranged in place
                                              {"CONCAT", 2},
                                              {"LEFT", 2},
                                              {"RIGHT", 2},
                                              {"LOCATE", 2},
                                              {"LOCATE", 3},
                                              {"LOG10", 1},
                                              {"SPACE", 1},
                                              {"USER", -1},
                                              // failures: unknown name, missing list
                                              {"FOO", 1},
                                              {"HOUR", -2}};
    const Function& f =
        kFunctions[c_.below(uint32_t(std::size(kFunctions)) - (c_.chance(95) ? 2 : 0))];
    const bool longForm = c_.chance(15);
    put(longForm ? "--(*vendor(Microsoft),product(ODBC) fn " : "{fn ");
    put(f.name);
    if (f.arity == -1) {
      if (c_.chance(50)) put("()");
    } else if (f.arity == 0) {
      put("(");
      if (c_.chance(30)) {
        put(pick({"'2001-02-03'", "'2001-02-03 12:30:00.5'", "'2001-02-03 12:30:00'"}));
      } else {
        expression(depth);
      }
      put(", ");
      put(pick({"SQL_CHAR", "SQL_INTEGER", "SQL_DOUBLE", "SQL_DATE", "SQL_TIMESTAMP", "sql_varchar",
                "SQL_BIT", "SQL_FOO"}));
      put(")");
    } else if (f.arity > 0) {
      put("(");
      for (int i = 0; i < f.arity; ++i) {
        if (i != 0) put(c_.chance(50) ? ", " : ",");
        expression(depth);
      }
      put(")");
    }
    // Now and then something between the list and the closing: a name or number the scanner
    // reads the closing ahead of, blanks, a sign that starts a number.
    if (c_.chance(8)) put(pick({" ", "a", "1", " x ", "+ ", ".", ")", "?", " ;"}));
    put(longForm ? " *)--" : "}");
  }

  void list(int depth, int most) {
    const int n = 1 + int(c_.below(uint32_t(most)));
    for (int i = 0; i < n; ++i) {
      if (i != 0) put(pick({", ", ",", " , "}));
      expression(depth);
    }
  }

  void where() {
    put(" WHERE ");
    expression(0);
    put(pick({" = ", " < ", " LIKE "}));
    expression(0);
    if (c_.chance(20)) put(" {escape '\\'}");
    if (c_.chance(30)) {
      put(" AND y = ");
      expression(0);
    }
  }

  void select() {
    put("SELECT ");
    list(0, 14);
    put(" FROM t");
    if (c_.chance(60)) where();
    if (c_.chance(15)) put(" ORDER BY 1");
  }

  // SELECT ... FROM {oj ...} WHERE ..., with clauses before, inside and after the outer join and
  // subqueries that hold further outer joins; now and then clauses in parentheses side by side
  // ("({oj ...}), ({oj ...}), t"), which take a pass each.
  void outerJoinSelect(int depth) {
    put("SELECT ");
    list(1, 4);
    put(" FROM ");
    if (c_.chance(25)) {
      const int clauses = 1 + int(c_.below(12));
      for (int i = 0; i < clauses; ++i) {
        if (i != 0) put(pick({", ", ",", " , ", ",\n", " "}));
        put(pick({"(", "(", "( (", "(\t"}));
        outerJoinClause(depth);
        put(pick({")", ")", ") )", " )"}));
        if (c_.chance(10)) {
          put(pick({" s", ", (SELECT 1 FROM {oj t1 LEFT JOIN t2 ON t1.a = t2.a}) s"}));
        }
      }
    } else {
      outerJoinClause(depth);
    }
    if (c_.chance(20)) put(", t9");
    if (c_.chance(70)) {
      put(pick({" WHERE ", "  WHERE ", "\tWHERE "}));
      expression(1);
      put(" = ");
      expression(1);
      if (depth < 2 && c_.chance(40)) {
        put(" AND k IN (");
        outerJoinSelect(depth + 1);
        put(")");
      }
    }
    if (c_.chance(20)) put(pick({" ORDER BY 1", " GROUP BY a", " UNION SELECT 1 FROM dual"}));
  }

  void outerJoinClause(int depth) {
    const bool longForm = c_.chance(15);
    put(longForm ? "--(*vendor(Microsoft),product(ODBC) oj " : "{oj ");
    put(pick({"t1", "s.t1 a"}));
    const int joins = 1 + int(c_.below(3));
    for (int i = 0; i < joins; ++i) {
      put(pick({" LEFT OUTER JOIN ", " RIGHT OUTER JOIN ", " FULL OUTER JOIN ", " INNER JOIN "}));
      put(pick({"t2", "t3 b", "\"T 4\""}));
      put(" ON ");
      put(pick({"t1.a", "t1.b", "?"}));
      put(" = ");
      if (c_.chance(30)) {
        function(depth + 1);
      } else {
        put(pick({"t2.a", "b.c", "1"}));
      }
    }
    put(longForm ? " *)--" : "}");
  }

  void callArgument(int depth) {
    switch (c_.below(9)) {
      case 0:
        put("x OUTPUT");
        break;
      case 1:
        put(pick({"UPPER(?)", "f(g(?), 1)", "NVL(?, 'x')"}));
        break;
      case 2:
        put("{resultset 2, a, b}");
        break;
      default:
        expression(depth);
        break;
    }
  }

  void call() {
    const bool longForm = c_.chance(15);
    put(longForm ? "--(*vendor(Microsoft),product(ODBC) " : "{");
    put(pick({"call ", "?=call ", "? = call ", "CALL "}));
    put(pick({"p", "pkg.p", "sales.order_pkg.order_report", "recent_orders", "hr.list_staff",
              "SALES.\"MixedCase\"", "next_order_id"}));
    if (c_.chance(85)) {
      put("(");
      const int n = int(c_.below(6));
      for (int i = 0; i < n; ++i) {
        if (i != 0) put(c_.chance(50) ? ", " : ",");
        callArgument(1);
      }
      put(")");
    }
    // Now and then something between the list and the closing: a name or number the scanner
    // reads the closing ahead of, blanks, a sign that starts a number.
    if (c_.chance(8)) put(pick({" ", "a", "1", " x ", "+ ", ".", ")", "?", " ;"}));
    put(longForm ? " *)--" : "}");
  }

  Choices& c_;
  int depthLimit_;
  size_t padding_ = 0;
  std::u16string out_;
};

/// Everything a caller sees of one translation through ODBCSqlToTVRNSqlEx.
struct Outcome {
  int32_t result = -1;
  uint32_t reason = 0, required = 0, firstRequired = 0;
  uint16_t markers = 0, refCursors = 0;
  std::u16string text;
  TVRNSqlCallInfo call{};
  std::vector<uint16_t> argTypes, positions;
  std::vector<uint8_t> attr32, attr213;

  bool operator==(const Outcome& o) const {
    return result == o.result && reason == o.reason && required == o.required &&
           firstRequired == o.firstRequired && markers == o.markers && refCursors == o.refCursors &&
           text == o.text && call.callForm == o.call.callForm &&
           call.valueCount == o.call.valueCount &&
           call.parsedMarkerCount == o.call.parsedMarkerCount &&
           call.parsedValueCount == o.call.parsedValueCount &&
           call.argumentCount == o.call.argumentCount && argTypes == o.argTypes &&
           positions == o.positions && attr32 == o.attr32 && attr213 == o.attr213;
  }
};

/// The options of a run: server version, describe options, and the session that answers.
struct Options {
  uint16_t version = 8;
  uint32_t describe[2] = {0, 0};
  void** handles = nullptr;
  const uint16_t* schema = nullptr;
};

/// Translates statement once on a buffer of its own size, and again with the room the first call
/// asked for when the result did not fit.
inline Outcome translate(bool reference, const std::u16string& statement, const Options& o) {
  Outcome out;
  auto once = [&](uint32_t capacity) {
    std::vector<uint16_t> buffer(statement.begin(), statement.end());
    buffer.resize(std::max<size_t>(capacity, statement.size() + 1), 0);
    uint16_t* argTypes = nullptr;
    uint16_t* positions = nullptr;
    uint8_t *attr32 = nullptr, *attr213 = nullptr;
    out = Outcome{};
    auto* entry = reference ? bcoTranslateReference : ODBCSqlToTVRNSqlEx;
    out.result = entry(o.handles, buffer.data(), &out.markers, &argTypes, &out.refCursors,
                       &positions, &attr32, &attr213, o.version, o.describe[0], o.describe[1], 0,
                       o.schema, capacity, &out.required, &out.reason, &out.call);
    for (size_t i = 0; i < capacity && buffer[i] != 0; ++i) out.text.push_back(buffer[i]);
    const size_t args = out.result == 1 ? out.call.argumentCount : 0;
    if (argTypes != nullptr) out.argTypes.assign(argTypes, argTypes + args);
    if (attr32 != nullptr) out.attr32.assign(attr32, attr32 + args);
    if (attr213 != nullptr) out.attr213.assign(attr213, attr213 + args);
    if (positions != nullptr) out.positions.assign(positions, positions + out.refCursors);
    std::free(argTypes);
    std::free(attr32);
    std::free(attr213);
    std::free(positions);
  };
  const uint32_t size = uint32_t(statement.size() + 1);
  once(size);
  const uint32_t first = out.required;
  if (out.reason == TVRNSQL_REASON_NO_ROOM || (out.result == 0 && first > size)) once(first);
  out.firstRequired = first;
  return out;
}

/// A readable account of an outcome, for failure messages.
inline std::string describe(const Outcome& o) {
  std::string s = "result " + std::to_string(o.result) + ", reason " + std::to_string(o.reason) +
                  ", required " + std::to_string(o.required) + "/" +
                  std::to_string(o.firstRequired) + ", markers " + std::to_string(o.markers) +
                  ", ref cursors " + std::to_string(o.refCursors) + ", values " +
                  std::to_string(o.call.valueCount) + ", arguments " +
                  std::to_string(o.argTypes.size()) + ", text: ";
  for (char16_t ch : o.text.substr(0, 2000)) s.push_back(ch < 0x80 ? char(ch) : '?');
  return s;
}

}  // namespace differential
