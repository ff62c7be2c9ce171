// The outer-join translator called once for every "{oj" the clause search finds: after a call
// that found no clause, calls on the unchanged statement do nothing, and a change of the text by
// any other translator in between makes the next call scan again. The whole translation is
// compared with the reference translation, which scans the statement on every call.
#include <gtest/gtest.h>

#include <string>

#include "driver/context.h"
#include "driver/translators.h"
#include "driver/work_buffer.h"
#include "support/differential.h"
#include "support/utf16.h"

namespace {

void expectSame(const std::u16string& statement) {
  const differential::Outcome real = differential::translate(false, statement, {});
  const differential::Outcome reference = differential::translate(true, statement, {});
  EXPECT_TRUE(real == reference) << "\n real:      " << differential::describe(real)
                                 << "\n reference: " << differential::describe(reference);
}

TEST(OuterJoinRepeatedCalls, StatementsThatChangeBetweenCalls) {
  const char16_t* const kCases[] = {
      // Openings in quoted names only: every call finds nothing.
      u"select \"{oj t}\" , \"{oj t}\" , \"{oj t}\"",
      // A real clause after quoted openings, and one before them.
      u"select \"{oj t}\" , \"{oj u}\" from {oj a LEFT JOIN b ON a.x = b.y}",
      u"select * from {oj a LEFT JOIN b ON a.x = b.y} where \"{oj t}\" = 1 and \"{oj u}\" = 2",
      // Another vendor's long form is blanked between calls: its '"' goes, so the quoted names
      // pair up differently and a clause comes into view.
      u"SELECT * FROM --(*vendor(X),product(Y) fn \" *)-- {oj a LEFT JOIN b ON a.x = b.x} \" x "
      u"\"{oj t}\" q",
      u"SELECT * FROM --(*vendor(X),product(Y) fn \" *)-- x {oj a LEFT JOIN b ON a.x = b.x} \" x "
      u"\"{oj t}\"\" q\"",
      // A long form without its closer loses its '*' between calls.
      u"select \"{oj t}\" --(* \"{oj a LEFT JOIN b ON a.x = b.y}\"",
      // Translators that change the text between two calls.
      u"select {fn UCASE(\"{oj t}\")}, \"{oj u}\" from t where d = {d '2001-02-03'}",
      u"select \"{oj t}\" from t where b like 'x\\%' {escape '\\'} and c = {ts '2001-02-03 "
      u"12:30:00'}",
      // Trailing blanks, which the first call trims.
      u"select \"{oj t}\" , \"{oj u}\"    ",
      // A call that fails, then the same statement again.
      u"select \"{oj t}\" , {oj t1 LEFT JOIN t2} , \"{oj u}\"",
  };
  for (const char16_t* c : kCases) {
    SCOPED_TRACE(testutil::Printable(c));
    expectSame(c);
  }
}

// The dispatcher handed an outer-join clause twice on one buffer, with a change of the text
// between the calls made the ways translators make them: any change means a new scan.
enum class Change { kNone, kNotedInPlace, kReplace, kWide };

std::u16string CallTwice(const std::u16string& first, Change change, Status* second) {
  const std::vector<uint16_t> units(first.begin(), first.end());
  std::vector<uint16_t> caller(units);
  caller.push_back(0);
  ServerLink link{};
  ConversionContext ctx{};
  ctx.link = &link;
  ctx.callerText = caller.data();
  WorkBuffer wb;
  EXPECT_EQ(wbInit(&wb, units), kOk);
  ctx.work = &wb;
  // The dispatcher gets the statement's first clause; only its keyword matters to "oj".
  auto dispatch = [&] {
    uint16_t* flat = wbFlatten(&wb);
    uint16_t* open = flat;
    while (*open != '{') ++open;
    uint16_t* close = open;
    while (*close != '}') ++close;
    return bcoConvertStrings(&ctx, ClausePositions{open + 1, open, open + 1, close, close + 1});
  };
  EXPECT_EQ(dispatch(), kOk);
  // Each change turns the statement's first '"' into a blank.
  uint16_t* text = wbFlatten(&wb);
  uint32_t quote = 0;
  while (text[quote] != '"') ++quote;
  switch (change) {
    case Change::kNone:
      break;
    case Change::kNotedInPlace:
      text[quote] = ' ';
      wbNoteEdit(&wb);
      break;
    case Change::kReplace: {
      wbAdoptFlat(&wb);
      wbMoveGap(&wb, quote);
      uint16_t* at = wb.data + wb.gapEnd;
      uint16_t* moved = nullptr;
      const uint16_t blank[] = {' '};
      EXPECT_EQ(wbReplace(&wb, at, at + 1, blank, &moved), kOk);
      break;
    }
    case Change::kWide:
      text[quote] = ' ';
      wbAdoptFlat(&wb);
      break;
  }
  *second = dispatch();
  std::vector<uint16_t> out(wbLength(&wb) + 1);
  wbCopyOut(&wb, out.data());
  wbRelease(&wb);
  bcoReleasePool(&ctx.scratch);
  return testutil::Text(out.data());
}

TEST(OuterJoinRepeatedCalls, AChangedTextIsScannedAgain) {
  // The first call finds nothing: the clause stands in a quoted name. Once its opening quote is
  // a blank, the clause is in view; the closing quote, left open, stays in its table list.
  const std::u16string statement = u"select * from \"{oj a LEFT JOIN b ON a.x = b.y}\" t";
  const std::u16string rewritten = u"select * from  a, b\" t WHERE ((a.x = b.y(+))) ";
  struct Case {
    Change change;
    const char16_t* text;
  } const kCases[] = {
      {Change::kNone, statement.c_str()},
      {Change::kNotedInPlace, rewritten.c_str()},
      {Change::kReplace, rewritten.c_str()},
      {Change::kWide, rewritten.c_str()},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(int(c.change));
    Status second = kFail;
    EXPECT_EQ(testutil::Printable(CallTwice(statement, c.change, &second)),
              testutil::Printable(c.text));
    EXPECT_EQ(second, kOk);
  }
}

}  // namespace
