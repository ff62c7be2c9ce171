// Procedure description through both translate entry points on a stand-in server, for servers
// of version 7 (dictionary queries) and 8 (the describe operation): the rewritten call block, the
// counts, the per-argument lists and the cursor positions.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/utf16.h"
#include "tci/session.h"
#include "tvrnsql.h"

namespace {

using standin_test::Session;
using testutil::Printable;

// The connected user APP owns procedures, functions, the package APK and the private synonym SYNP
// for OWN.OP; OWN owns OP and the package PK, which the PUBLIC synonym PUBPK names. Every ATTR213
// is distinct and ATTR32 is ATTR213 + 100, so each list entry shows which argument it came from.
constexpr const char kCatalog[] = R"(
INSERT INTO ALL_OBJECTS VALUES
  ('APP','P1','PROCEDURE',1), ('APP','F1','FUNCTION',2), ('APP','P2','PROCEDURE',3),
  ('APP','P3','PROCEDURE',4), ('APP','P5','PROCEDURE',5), ('APP','MixedP','PROCEDURE',6),
  ('APP','APK','PACKAGE',7), ('APP','SYNP','SYNONYM',8), ('APP','G','FUNCTION',9),
  ('APP','X..P1','PROCEDURE',12),
  ('OWN','OP','PROCEDURE',10), ('OWN','PK','PACKAGE',11), ('PUBLIC','PUBPK','SYNONYM',20);
INSERT INTO ALL_SYNONYMS VALUES ('APP','SYNP','OWN','OP'), ('PUBLIC','PUBPK','OWN','PK');
INSERT INTO ALL_PROCEDURES VALUES ('APP','APK','SUB',7,1), ('OWN','PK','PP',11,1);
INSERT INTO ALL_ARGUMENTS (OWNER, OBJECT_ID, PACKAGE_NAME, OBJECT_NAME, ARGUMENT_NAME, POSITION,
                           DATA_LEVEL, DATA_TYPE, TYPE_CODE, ATTR32, ATTR213) VALUES
  ('APP',1,NULL,'P1','RC',1,0,'REF CURSOR',102,111,11),
  ('APP',2,NULL,'F1',NULL,0,0,'REF CURSOR',102,121,21),
  ('APP',2,NULL,'F1','A',1,0,'NUMBER',2,122,22),
  ('APP',3,NULL,'P2','A',1,0,'NUMBER',2,131,31),
  ('APP',3,NULL,'P2','RC1',2,0,'REF CURSOR',102,132,32),
  ('APP',3,NULL,'P2','B',3,0,'VARCHAR2',1,133,33),
  ('APP',3,NULL,'P2','RC2',4,0,'REF CURSOR',102,134,34),
  ('APP',4,NULL,'P3','X',1,0,'NUMBER',2,141,41),
  ('APP',4,NULL,'P3','Y',2,0,'DATE',12,142,42),
  ('APP',5,NULL,'P5','C1',1,0,'REF CURSOR',102,151,51),
  ('APP',5,NULL,'P5','C2',2,0,'REF CURSOR',102,152,52),
  ('APP',5,NULL,'P5','C3',3,0,'REF CURSOR',102,153,53),
  ('APP',6,NULL,'MixedP','RC',1,0,'REF CURSOR',102,161,61),
  ('APP',7,'APK','SUB','RC',1,0,'REF CURSOR',102,171,71),
  ('APP',7,'APK','SUB','N',2,0,'NUMBER',2,172,72),
  ('APP',7,'APK','SUB','D',3,0,'DATE',12,173,73),
  ('APP',9,NULL,'G',NULL,0,0,'NUMBER',2,195,95),
  ('APP',9,NULL,'G','A',1,0,'NUMBER',2,196,96),
  ('APP',12,NULL,'X..P1','RC',1,0,'REF CURSOR',102,112,12),
  ('OWN',10,NULL,'OP','A',1,0,'NUMBER',2,181,81),
  ('OWN',10,NULL,'OP','RC',2,0,'REF CURSOR',102,182,82),
  ('OWN',11,'PK','PP','A',1,0,'NUMBER',2,191,91),
  ('OWN',11,'PK','PP','RC',2,0,'REF CURSOR',102,192,92);
)";

struct Row {
  uint16_t version;
  const char16_t* sql;
  const char16_t* text;  // on success, the block between "BEGIN " and " END;"
  uint16_t markers = 0;  // the caller's own, as the call parser counted them
  uint16_t refCursors = 0;
  std::vector<int> positions = {};  // of the inserted cursor markers
  uint32_t callForm = 0;
  uint16_t valueCount = 0, parsedValues = 0;
  std::vector<int> types = {};    // argTypes; empty: no lists
  std::vector<int> attr213 = {};  // version 8 only; version 7 leaves attr32 and attr213 null
  uint32_t reason = 0;            // nonzero: the call fails with it
  std::array<uint32_t, 3> options = {1, 0, 0};
  const char16_t* schema = u"APP";
};

// On version 7 the owner slot takes the default schema, so it shows in the block, and typeCode is
// 102 for a REF CURSOR and 0 for anything else.
const Row kRows[] = {
    // --- version 8: the describe operation. Lower case, only a cursor argument.
    {8, u"{call p1}", u"P1( :RC );", 0, 1, {1}, 512, 1, 0, {102}, {11}},
    // A cursor function called plain: a marker for its result; without arguments every argument
    // gets one; the caller's result marker is written over; with all arguments mode 0 keeps it.
    {8, u"{call F1(?)}", u":L_RefCursor := F1( :1 );", 1, 1, {1}, 256, 2, 1, {102, 2}, {21, 22}},
    {8, u"{call F1}", u":L_RefCursor := F1( :A );", 0, 2, {1, 2}, 256, 2, 0, {102, 2}, {21, 22}},
    {8, u"{?=call F1}", u":L_RefCursor := F1(  );", 1, 1, {1}, 256, 2, 1, {102, 2}, {21, 22}},
    {8, u"{?=call F1(?)}", u":1 := F1( :2 );", 2, 0, {}, 256, 2, 2, {102, 2}, {21, 22}},
    // Mode 2: cursor markers between and before the caller's arguments, literals dropped.
    {8, u"{call P2(?, 'x')}", u"P2( :1, :RC1, 'x', :RC2 );", 1, 2, {2, 3}, 512, 4, 2,
     {2, 102, 102}, {31, 32, 34}},
    {8, u"{call APK.SUB('a', ?)}", u"APK.SUB( :RC, 'a', :1 );", 1, 1, {1}, 512, 3, 2, {102, 12},
     {71, 73}},
    // Mode 1: a marker for every formal argument; mode 0: the literal leaves the lists.
    {8, u"{call P3}", u"P3( :X, :Y );", 0, 2, {2, 12}, 512, 2, 0, {2, 12}, {41, 42}},
    {8, u"{call P3('a', ?)}", u"P3( 'a', :1 );", 1, 0, {}, 512, 2, 2, {12}, {42}},
    // More arguments than formal ones: written as given, lists sized by the call.
    {8, u"{call P1(?, ?)}", u"P1( :1, :2 );", 2, 0, {}, 512, 2, 2, {102, 0}, {11, 0}},
    // An owner where a package goes, a PUBLIC synonym for a package, a private one for a
    // procedure, three parts upper-cased, a quoted mixed-case name.
    {8, u"{call OWN.OP(?)}", u"OWN.OP( :1, :RC );", 1, 1, {2}, 512, 2, 1, {2, 102}, {81, 82}},
    {8, u"{call PUBPK.PP(?)}", u"OWN.PK.PP( :1, :RC );", 1, 1, {2}, 512, 2, 1, {2, 102}, {91, 92}},
    {8, u"{call SYNP(?)}", u"OWN.OP( :1, :RC );", 1, 1, {2}, 512, 2, 1, {2, 102}, {81, 82}},
    {8, u"{call own.pk.pp(?)}", u"OWN.PK.PP( :1, :RC );", 1, 1, {2}, 512, 2, 1, {2, 102}, {91, 92}},
    {8, u"{call \"MixedP\"}", u"\"MixedP\"( :RC );", 0, 1, {1}, 512, 1, 0, {102}, {61}},
    // Not described, the parser's block: unquoted mixed case (upper-cased), an unknown procedure,
    // a missing package member, a package. "X..P1" is split at every dot, quoted or not, into an
    // owner without a package, which ends the description, not the call.
    {8, u"{call MixedP}", u"MixedP;", 0, 0, {}, 512, 0, 0, {}, {}},
    {8, u"{call NOPE(?)}", u"NOPE(:1);", 1, 0, {}, 512, 1, 1, {}, {}},
    {8, u"{call APK.NOPE(?)}", u"APK.NOPE(:1);", 1, 0, {}, 512, 1, 1, {}, {}},
    {8, u"{call APK}", u"APK;", 0, 0, {}, 512, 0, 0, {}, {}},
    {8, u"{call \"X..P1\"}", u"\"X..P1\";", 0, 0, {}, 512, 0, 0, {}, {}},
    // Mode 1 on a function whose result is no cursor: a nameless marker.
    {8, u"{call G}", u"G( :, :A );", 0, 2, {2, 2}, 512, 2, 0, {2, 2}, {95, 96}},
    // The second option only: lists, no rewrite; the third only: literals stay in the lists.
    {8, u"{call P1}", u"P1;", 0, 0, {}, 512, 1, 0, {102}, {11}, 0, {0, 1, 0}},
    {8, u"{call P3('a', ?)}", u"P3('a',:1);", 1, 0, {}, 512, 2, 2, {2, 12}, {41, 42}, 0, {0, 0, 1}},
    // More cursor markers than missing arguments; the result form of a procedure (index 0 fails
    // outside a plain call).
    {8, u"{call P5(?, ?)}", u"", 0, 0, {}, 0, 0, 0, {}, {}, 59},
    {8, u"{?=call P1}", u"", 0, 0, {}, 0, 0, 0, {}, {}, 9003},

    // --- version 7: dictionary queries. Without arguments only cursors get markers; the
    // caller's result marker is kept.
    {7, u"{call p1}", u"APP.P1( :RC );", 0, 1, {1}, 512, 1, 0, {102}, {}},
    {7, u"{call F1(?)}", u":L_RefCursor := APP.F1( :1 );", 1, 1, {1}, 256, 2, 1, {102, 0}, {}},
    {7, u"{call F1}", u":L_RefCursor := APP.F1(  );", 0, 1, {1}, 256, 2, 0, {102, 0}, {}},
    {7, u"{?=call F1}", u":1 := APP.F1(  );", 1, 0, {}, 256, 2, 1, {102, 0}, {}},
    {7, u"{call P2(?, 'x')}", u"APP.P2( :1, :RC1, 'x', :RC2 );", 1, 2, {2, 3}, 512, 4, 2,
     {0, 102, 102}, {}},
    {7, u"{call APK.SUB('a', ?)}", u"APP.APK.SUB( :RC, 'a', :1 );", 1, 1, {1}, 512, 3, 2,
     {102, 0}, {}},
    {7, u"{call P3}", u"APP.P3(  );", 0, 0, {}, 512, 2, 0, {0, 0}, {}},
    {7, u"{call P3('a', ?)}", u"APP.P3( 'a', :1 );", 1, 0, {}, 512, 2, 2, {0}, {}},
    // More arguments than formal ones: not described.
    {7, u"{call P1(?, ?)}", u"P1(:1,:2);", 2, 0, {}, 512, 2, 2, {}, {}},
    {7, u"{call OWN.OP(?)}", u"OWN.OP( :1, :RC );", 1, 1, {2}, 512, 2, 1, {0, 102}, {}},
    {7, u"{call PUBPK.PP(?)}", u"OWN.PK.PP( :1, :RC );", 1, 1, {2}, 512, 2, 1, {0, 102}, {}},
    {7, u"{call SYNP(?)}", u"OWN.OP( :1, :RC );", 1, 1, {2}, 512, 2, 1, {0, 102}, {}},
    {7, u"{call own.pk.pp(?)}", u"OWN.PK.PP( :1, :RC );", 1, 1, {2}, 512, 2, 1, {0, 102}, {}},
    // A quoted name keeps its quotes in the query, so it is not found.
    {7, u"{call \"MixedP\"}", u"\"MixedP\";", 0, 0, {}, 512, 0, 0, {}, {}},
    {7, u"{call APK.NOPE(?)}", u"APK.NOPE(:1);", 1, 0, {}, 512, 1, 1, {}, {}},
    {7, u"{call NOPE(?)}", u"NOPE(:1);", 1, 0, {}, 512, 1, 1, {}, {}},
    // Whichever option is set rewrites. The default schema is upper-cased in the owner slot but
    // used as given in the synonym query.
    {7, u"{call P1}", u"APP.P1( :RC );", 0, 1, {1}, 512, 1, 0, {102}, {}, 0, {0, 1, 0}},
    {7, u"{call P1}", u"APP.P1( :RC );", 0, 1, {1}, 512, 1, 0, {102}, {}, 0, {1, 0, 0}, u"app"},
    {7, u"{call SYNP(?)}", u"SYNP(:1);", 1, 0, {}, 512, 1, 1, {}, {}, 0, {1, 0, 0}, u"app"},
    // The result form of a procedure: no parentheses.
    {7, u"{?=call P1}", u":1 := APP.P1;", 1, 0, {}, 256, 1, 1, {102}, {}},
    {7, u"{call P5(?, ?)}", u"", 0, 0, {}, 0, 0, 0, {}, {}, 59},
};

// Outputs start at sentinels so that an unwritten one shows; arrays come back as kNull,
// kUnwritten or their values, as many as the row expects.
uint16_t unwritten16[1];
uint8_t unwritten8[1];
const std::vector<int> kNull{-1}, kUnwritten{-2};

template <typename T>
std::vector<int> Ints(T* p, size_t n) {
  if (p == nullptr) return kNull;
  if (static_cast<void*>(p) == unwritten16 || static_cast<void*>(p) == unwritten8) {
    return kUnwritten;
  }
  std::vector<int> values(p, p + n);
  std::free(p);
  return values;
}

std::u16string Block(const char16_t* text) { return u"BEGIN " + std::u16string(text) + u" END;"; }

struct Outcome {
  int32_t result = -1;
  uint32_t reason = 0xBEEF;
  std::u16string text;
  uint16_t markers = 0xBEEF, refCursors = 0xBEEF;
  std::vector<int> types, positions, attr32, attr213;
  TVRNSqlCallInfo info{};
};

Outcome Translate(void** handles, const Row& r, bool ex) {
  std::vector<uint16_t> buf = testutil::Buffer(r.sql, 256);
  const auto* s = reinterpret_cast<const uint16_t*>(r.schema);
  const auto& opt = r.options;
  uint16_t *types = unwritten16, *positions = unwritten16;
  uint8_t *attr32 = unwritten8, *attr213 = unwritten8;
  Outcome o;
  o.result = ex ? ODBCSqlToTVRNSqlEx(handles, buf.data(), &o.markers, &types, &o.refCursors,
                                     &positions, &attr32, &attr213, r.version, opt[0], opt[1],
                                     opt[2], s, uint32_t(buf.size()), nullptr, &o.reason, &o.info)
                : ODBCSqlToTVRNSql(handles, buf.data(), &o.markers, &types, &o.refCursors,
                                   &positions, &attr32, &attr213, r.version, opt[0], opt[1],
                                   opt[2], s);
  o.text = testutil::Text(buf.data());
  o.types = Ints(types, r.types.size());
  o.positions = Ints(positions, r.refCursors);
  o.attr32 = Ints(attr32, r.attr213.size());
  o.attr213 = Ints(attr213, r.attr213.size());
  return o;
}

// Every row through both entry points on one session: the legacy one must agree with the
// capacity-aware one on everything they share.
TEST(Describe, CallRewriteAndLists) {
  Session session(kCatalog, "APP");
  for (const Row& r : kRows) {
    const bool ok = r.reason == 0, described = !r.types.empty(), v8 = described && r.version == 8;
    // A failed call writes none of the arrays; the counts keep the 0 written at the start.
    const std::vector<int>& none = ok ? kNull : kUnwritten;
    std::vector<int> attr32;
    for (int a : r.attr213) attr32.push_back(a == 0 ? 0 : a + 100);
    for (bool ex : {true, false}) {
      SCOPED_TRACE(Printable(r.sql) + " version " + std::to_string(r.version) +
                   (ex ? " Ex" : " legacy"));
      const Outcome o = Translate(session.handles, r, ex);
      ASSERT_EQ(o.result, ok ? 1 : 0) << Printable(o.text);
      EXPECT_EQ(o.text, ok ? Block(r.text) : o.text);
      EXPECT_EQ(o.reason, ex ? r.reason : 0xBEEFu);
      EXPECT_EQ(o.markers, r.markers);
      EXPECT_EQ(o.refCursors, r.refCursors);
      EXPECT_EQ(o.positions, r.refCursors > 0 ? r.positions : kUnwritten);
      EXPECT_EQ(o.types, described ? r.types : none);
      EXPECT_EQ(o.attr213, v8 ? r.attr213 : none);
      EXPECT_EQ(o.attr32, v8 ? attr32 : none);
      if (ex && ok) {
        EXPECT_EQ(o.info.callForm, r.callForm);
        EXPECT_EQ(o.info.valueCount, r.valueCount);
        EXPECT_EQ(o.info.parsedMarkerCount, r.markers);
        EXPECT_EQ(o.info.parsedValueCount, r.parsedValues);
        EXPECT_EQ(o.info.argumentCount, r.types.size());
      }
    }
  }
}

// A server status injected at the k-th server operation, for every k. Per k: F fails with the
// status's low 16 bits (A: with reason 0), U succeeds with the parser's block and no lists (name
// resolution failed), R succeeds with the full rewrite. On version 8 a failure at index 0 of a
// plain call's argument list is the sign of a procedure, so it still rewrites; on version 7 every
// failure fails the call. Under a sanitizer: no exit path leaks or double-frees.
TEST(Describe, ServerFailureAtEachOperation) {
  constexpr int32_t kStatus = 0x10000 + 4242;
  const struct {
    Row row;
    const char16_t* block;  // the parser's
    std::string outcomes;   // per k from 1
  } cases[] = {
      // alloc, describe P2, read 124, read 123, read 108, read 121, index 0 (no entry anyway),
      // then 5 reads per argument and the name of each of the two cursors.
      {{8, u"{call P2(?, 'x')}", u"P2( :1, :RC1, 'x', :RC2 );"}, u"P2(:1,'x');",
       "FUUUFFR" + std::string(22, 'F') + "R"},
      // describe handle, the link's statement handle, then three queries, each: alloc,
      // prepare, defines (1, or 3 with their array strides), execute, fetch.
      {{7, u"{call P1}", u"APP.P1( :RC );"}, u"P1;", std::string(22, 'F') + "R"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.row.sql));
    std::string seen;
    for (size_t k = 1; k <= c.outcomes.size(); ++k) {
      SCOPED_TRACE(k);
      Session session(kCatalog, "APP");
      ASSERT_EQ(TCIStandinFailAfter(session.handles, uint32_t(k), kStatus), TCI_STANDIN_OK);
      const Outcome o = Translate(session.handles, c.row, true);
      if (o.result == 0) {
        seen += o.reason == 0 ? 'A' : o.reason == 4242 ? 'F' : '?';
        EXPECT_EQ(o.types, kUnwritten);
      } else if (o.text == Block(c.row.text) && o.types != kNull) {
        seen += 'R';
      } else if (o.text == Block(c.block) && o.types == kNull) {
        seen += 'U';
      } else {
        seen += '?';
        ADD_FAILURE() << Printable(o.text);
      }
    }
    EXPECT_EQ(seen, c.outcomes);
  }
}

}  // namespace
