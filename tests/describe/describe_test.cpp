// Procedure description through both translate entry points, on a stand-in server over a small
// catalog: the rewritten call block, the counts, the per-argument lists and the cursor positions,
// for servers of version 7 (dictionary queries) and 8 (the describe operation).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/utf16.h"
#include "tci/session.h"
#include "tvrnsql.h"

namespace {

using standin_test::Session;
using testutil::Printable;

// The connected user APP owns P1(RC REF CURSOR), F1(A NUMBER) RETURN REF CURSOR,
// P2(A NUMBER, RC1 REF CURSOR, B VARCHAR2, RC2 REF CURSOR), P3(X NUMBER, Y DATE),
// P5(C1, C2, C3: all REF CURSOR), "MixedP"(RC REF CURSOR), the package APK with
// SUB(RC REF CURSOR, N NUMBER, D DATE), G(A NUMBER) RETURN NUMBER and the private synonym SYNP
// for OWN.OP, and a procedure named X..P1. OWN owns
// OP(A NUMBER, RC REF CURSOR) and the package PK with PP(A NUMBER, RC REF CURSOR); the PUBLIC
// synonym PUBPK names OWN.PK. Every ATTR213 is distinct and ATTR32 is ATTR213 + 100, so each
// list entry shows which argument it came from.
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
  const char* what;
  uint16_t version;
  uint32_t options[3];
  const char16_t* schema;
  const char16_t* sql;
  int32_t result;
  uint32_t reason;       // Ex only
  const char16_t* text;  // on success
  uint16_t markers, refCursors;
  std::vector<int> positions;  // the leading refCursors entries
  uint32_t callForm;
  uint16_t valueCount, parsedMarkers, parsedValues;
  bool described;          // the lists exist
  std::vector<int> types;  // argTypes
  std::vector<int> attr213;  // version 8 only; version 7 leaves attr32/attr213 null
};

constexpr uint32_t kRewrite[3] = {1, 0, 0};

// markers is the count of the caller's own markers: they are counted in the statement before the
// rewritten block replaces it. On version 7 the owner slot takes the default schema, so it shows
// in the block, and typeCode is 102 for a REF CURSOR and 0 for anything else.
const Row kRows[] = {
    // --- version 8: the describe operation
    {"v8 lower-case standalone proc, no args, only a cursor arg", 8, {1, 0, 0}, u"APP",
     u"{call p1}", 1, 0, u"BEGIN P1( :RC ); END;", 0, 1, {1}, 512, 1, 0, 0, true, {102}, {11}},
    {"v8 cursor function called plain with its arg as a marker", 8, {1, 0, 0}, u"APP",
     u"{call F1(?)}", 1, 0, u"BEGIN :L_RefCursor := F1( :1 ); END;", 1, 1, {1}, 256, 2, 1, 1,
     true, {102, 2}, {21, 22}},
    {"v8 cursor function without args: result and every arg get markers", 8, {1, 0, 0}, u"APP",
     u"{call F1}", 1, 0, u"BEGIN :L_RefCursor := F1( :A ); END;", 0, 2, {1, 2}, 256, 2, 0, 0,
     true, {102, 2}, {21, 22}},
    {"v8 cursor result restarts the text over the caller's result marker", 8, {1, 0, 0}, u"APP",
     u"{?=call F1}", 1, 0, u"BEGIN :L_RefCursor := F1(  ); END;", 1, 1, {1}, 256, 2, 1, 1, true,
     {102, 2}, {21, 22}},
    {"v8 result marker with all args: mode 0 keeps it", 8, {1, 0, 0}, u"APP", u"{?=call F1(?)}", 1,
     0, u"BEGIN :1 := F1( :2 ); END;", 2, 0, {}, 256, 2, 2, 2, true, {102, 2}, {21, 22}},
    {"v8 mode 2: cursor markers between the caller's args, literal dropped", 8, {1, 0, 0}, u"APP",
     u"{call P2(?, 'x')}", 1, 0, u"BEGIN P2( :1, :RC1, 'x', :RC2 ); END;", 1, 2, {2, 3}, 512, 4,
     1, 2, true, {2, 102, 102}, {31, 32, 34}},
    {"v8 mode 2: caller args after the cursor, literal dropped", 8, {1, 0, 0}, u"APP",
     u"{call APK.SUB('a', ?)}", 1, 0, u"BEGIN APK.SUB( :RC, 'a', :1 ); END;", 1, 1, {1}, 512, 3,
     1, 2, true, {102, 12}, {71, 73}},
    {"v8 mode 1: a marker for every formal argument", 8, {1, 0, 0}, u"APP", u"{call P3}", 1, 0,
     u"BEGIN P3( :X, :Y ); END;", 0, 2, {2, 12}, 512, 2, 0, 0, true, {2, 12}, {41, 42}},
    {"v8 mode 0: the literal leaves the lists", 8, {1, 0, 0}, u"APP", u"{call P3('a', ?)}", 1, 0,
     u"BEGIN P3( 'a', :1 ); END;", 1, 0, {}, 512, 2, 1, 2, true, {12}, {42}},
    {"v8 more args than formal ones: written as given, lists sized by the call", 8, {1, 0, 0},
     u"APP", u"{call P1(?, ?)}", 1, 0, u"BEGIN P1( :1, :2 ); END;", 2, 0, {}, 512, 2, 2, 2, true,
     {102, 0}, {11, 0}},
    {"v8 owner written where a package goes", 8, {1, 0, 0}, u"APP", u"{call OWN.OP(?)}", 1, 0,
     u"BEGIN OWN.OP( :1, :RC ); END;", 1, 1, {2}, 512, 2, 1, 1, true, {2, 102}, {81, 82}},
    {"v8 package reached only through a PUBLIC synonym", 8, {1, 0, 0}, u"APP",
     u"{call PUBPK.PP(?)}", 1, 0, u"BEGIN OWN.PK.PP( :1, :RC ); END;", 1, 1, {2}, 512, 2, 1, 1,
     true, {2, 102}, {91, 92}},
    {"v8 private synonym for a procedure", 8, {1, 0, 0}, u"APP", u"{call SYNP(?)}", 1, 0,
     u"BEGIN OWN.OP( :1, :RC ); END;", 1, 1, {2}, 512, 2, 1, 1, true, {2, 102}, {81, 82}},
    {"v8 three-part name, upper-cased", 8, {1, 0, 0}, u"APP", u"{call own.pk.pp(?)}", 1, 0,
     u"BEGIN OWN.PK.PP( :1, :RC ); END;", 1, 1, {2}, 512, 2, 1, 1, true, {2, 102}, {91, 92}},
    {"v8 quoted mixed-case name kept as written", 8, {1, 0, 0}, u"APP", u"{call \"MixedP\"}", 1,
     0, u"BEGIN \"MixedP\"( :RC ); END;", 0, 1, {1}, 512, 1, 0, 0, true, {102}, {61}},
    {"v8 unquoted mixed case is upper-cased and so not found", 8, {1, 0, 0}, u"APP",
     u"{call MixedP}", 1, 0, u"BEGIN MixedP; END;", 0, 0, {}, 512, 0, 0, 0, false, {}, {}},
    {"v8 unknown procedure: the parser's block, no lists", 8, {1, 0, 0}, u"APP",
     u"{call NOPE(?)}", 1, 0, u"BEGIN NOPE(:1); END;", 1, 0, {}, 512, 1, 1, 1, false, {}, {}},
    {"v8 package member missing from its package", 8, {1, 0, 0}, u"APP", u"{call APK.NOPE(?)}", 1,
     0, u"BEGIN APK.NOPE(:1); END;", 1, 0, {}, 512, 1, 1, 1, false, {}, {}},
    {"v8 a package is not callable", 8, {1, 0, 0}, u"APP", u"{call APK}", 1, 0,
     u"BEGIN APK; END;", 0, 0, {}, 512, 0, 0, 0, false, {}, {}},
    {"v8 mode 1 on a function whose result is no cursor: nameless marker", 8, {1, 0, 0}, u"APP",
     u"{call G}", 1, 0, u"BEGIN G( :, :A ); END;", 0, 2, {2, 2}, 512, 2, 0, 0, true, {2, 2},
     {95, 96}},
    // "X..P1" names a procedure, but the name is split at every dot, quoted or not: owner "X,
    // an empty package and P1"; an owner without a package ends the description, not the call.
    {"v8 owner without package", 8, {1, 0, 0}, u"APP", u"{call \"X..P1\"}", 1, 0,
     u"BEGIN \"X..P1\"; END;", 0, 0, {}, 512, 0, 0, 0, false, {}, {}},
    {"v8 second option only: lists, no rewrite", 8, {0, 1, 0}, u"APP", u"{call P1}", 1, 0,
     u"BEGIN P1; END;", 0, 0, {}, 512, 1, 0, 0, true, {102}, {11}},
    {"v8 third option only: literals stay in the lists", 8, {0, 0, 1}, u"APP",
     u"{call P3('a', ?)}", 1, 0, u"BEGIN P3('a',:1); END;", 1, 0, {}, 512, 2, 1, 2, true,
     {2, 12}, {41, 42}},
    {"v8 more cursor markers than missing args", 8, {1, 0, 0}, u"APP", u"{call P5(?, ?)}", 0, 59,
     u"", 2, 0, {}, 0, 0, 0, 0, false, {}, {}},
    {"v8 result form of a procedure: index 0 fails outside a plain call", 8, {1, 0, 0}, u"APP",
     u"{?=call P1}", 0, 9003, u"", 1, 0, {}, 0, 0, 0, 0, false, {}, {}},

    // --- version 7: dictionary queries
    {"v7 lower-case standalone proc, no args, only a cursor arg", 7, {1, 0, 0}, u"APP",
     u"{call p1}", 1, 0, u"BEGIN APP.P1( :RC ); END;", 0, 1, {1}, 512, 1, 0, 0, true, {102}, {}},
    {"v7 cursor function called plain with its arg as a marker", 7, {1, 0, 0}, u"APP",
     u"{call F1(?)}", 1, 0, u"BEGIN :L_RefCursor := APP.F1( :1 ); END;", 1, 1, {1}, 256, 2, 1, 1,
     true, {102, 0}, {}},
    {"v7 cursor function without args: only cursors get markers", 7, {1, 0, 0}, u"APP",
     u"{call F1}", 1, 0, u"BEGIN :L_RefCursor := APP.F1(  ); END;", 0, 1, {1}, 256, 2, 0, 0, true,
     {102, 0}, {}},
    {"v7 caller's result marker is kept", 7, {1, 0, 0}, u"APP", u"{?=call F1}", 1, 0,
     u"BEGIN :1 := APP.F1(  ); END;", 1, 0, {}, 256, 2, 1, 1, true, {102, 0}, {}},
    {"v7 mode 2: cursor markers between the caller's args, literal dropped", 7, {1, 0, 0}, u"APP",
     u"{call P2(?, 'x')}", 1, 0, u"BEGIN APP.P2( :1, :RC1, 'x', :RC2 ); END;", 1, 2, {2, 3}, 512,
     4, 1, 2, true, {0, 102, 102}, {}},
    {"v7 mode 2: caller args after the cursor, literal dropped", 7, {1, 0, 0}, u"APP",
     u"{call APK.SUB('a', ?)}", 1, 0, u"BEGIN APP.APK.SUB( :RC, 'a', :1 ); END;", 1, 1, {1}, 512,
     3, 1, 2, true, {102, 0}, {}},
    {"v7 mode 1 without cursors inserts nothing", 7, {1, 0, 0}, u"APP", u"{call P3}", 1, 0,
     u"BEGIN APP.P3(  ); END;", 0, 0, {}, 512, 2, 0, 0, true, {0, 0}, {}},
    {"v7 mode 0: the literal leaves the list", 7, {1, 0, 0}, u"APP", u"{call P3('a', ?)}", 1, 0,
     u"BEGIN APP.P3( 'a', :1 ); END;", 1, 0, {}, 512, 2, 1, 2, true, {0}, {}},
    {"v7 more args than formal ones: not described", 7, {1, 0, 0}, u"APP", u"{call P1(?, ?)}", 1,
     0, u"BEGIN P1(:1,:2); END;", 2, 0, {}, 512, 2, 2, 2, false, {}, {}},
    {"v7 owner written where a package goes", 7, {1, 0, 0}, u"APP", u"{call OWN.OP(?)}", 1, 0,
     u"BEGIN OWN.OP( :1, :RC ); END;", 1, 1, {2}, 512, 2, 1, 1, true, {0, 102}, {}},
    {"v7 package reached only through a PUBLIC synonym", 7, {1, 0, 0}, u"APP",
     u"{call PUBPK.PP(?)}", 1, 0, u"BEGIN OWN.PK.PP( :1, :RC ); END;", 1, 1, {2}, 512, 2, 1, 1,
     true, {0, 102}, {}},
    {"v7 private synonym for a procedure", 7, {1, 0, 0}, u"APP", u"{call SYNP(?)}", 1, 0,
     u"BEGIN OWN.OP( :1, :RC ); END;", 1, 1, {2}, 512, 2, 1, 1, true, {0, 102}, {}},
    {"v7 three-part name, upper-cased", 7, {1, 0, 0}, u"APP", u"{call own.pk.pp(?)}", 1, 0,
     u"BEGIN OWN.PK.PP( :1, :RC ); END;", 1, 1, {2}, 512, 2, 1, 1, true, {0, 102}, {}},
    {"v7 quoted name keeps its quotes in the query, so not found", 7, {1, 0, 0}, u"APP",
     u"{call \"MixedP\"}", 1, 0, u"BEGIN \"MixedP\"; END;", 0, 0, {}, 512, 0, 0, 0, false, {}, {}},
    {"v7 package member missing from its package", 7, {1, 0, 0}, u"APP", u"{call APK.NOPE(?)}", 1,
     0, u"BEGIN APK.NOPE(:1); END;", 1, 0, {}, 512, 1, 1, 1, false, {}, {}},
    {"v7 unknown procedure: the parser's block, no lists", 7, {1, 0, 0}, u"APP",
     u"{call NOPE(?)}", 1, 0, u"BEGIN NOPE(:1); END;", 1, 0, {}, 512, 1, 1, 1, false, {}, {}},
    {"v7 rewrites whichever option is set", 7, {0, 1, 0}, u"APP", u"{call P1}", 1, 0,
     u"BEGIN APP.P1( :RC ); END;", 0, 1, {1}, 512, 1, 0, 0, true, {102}, {}},
    {"v7 default schema upper-cased in the owner slot", 7, {1, 0, 0}, u"app", u"{call P1}", 1, 0,
     u"BEGIN APP.P1( :RC ); END;", 0, 1, {1}, 512, 1, 0, 0, true, {102}, {}},
    {"v7 synonym query uses the default schema as given", 7, {1, 0, 0}, u"app",
     u"{call SYNP(?)}", 1, 0, u"BEGIN SYNP(:1); END;", 1, 0, {}, 512, 1, 1, 1, false, {}, {}},
    {"v7 result form of a procedure: no parentheses", 7, {1, 0, 0}, u"APP", u"{?=call P1}", 1, 0,
     u"BEGIN :1 := APP.P1; END;", 1, 0, {}, 256, 1, 1, 1, true, {102}, {}},
    {"v7 more cursor markers than missing args", 7, {1, 0, 0}, u"APP", u"{call P5(?, ?)}", 0, 59,
     u"", 2, 0, {}, 0, 0, 0, 0, false, {}, {}},
};

uint16_t unwritten16[1];
uint8_t unwritten8[1];

// What one translation handed back. Outputs start at sentinels so an unwritten one shows.
struct Outcome {
  int32_t result = -1;
  uint32_t reason = 0xBEEF;
  std::u16string text;
  uint16_t markers = 0xBEEF, refCursors = 0xBEEF;
  uint16_t* types = unwritten16;
  uint16_t* positions = unwritten16;
  uint8_t* attr32 = unwritten8;
  uint8_t* attr213 = unwritten8;
  TVRNSqlCallInfo info{};
  Outcome() = default;
  Outcome(const Outcome&) = delete;
  Outcome& operator=(const Outcome&) = delete;
  ~Outcome() {
    if (types != unwritten16) std::free(types);
    if (positions != unwritten16) std::free(positions);
    if (attr32 != unwritten8) std::free(attr32);
    if (attr213 != unwritten8) std::free(attr213);
  }
};

void Translate(void** handles, uint16_t version, const uint32_t* options, const char16_t* schema,
               const char16_t* sql, bool ex, Outcome* o) {
  std::vector<uint16_t> buf = testutil::Buffer(sql, 256);
  const auto* s = reinterpret_cast<const uint16_t*>(schema);
  if (ex) {
    o->result = ODBCSqlToTVRNSqlEx(handles, buf.data(), &o->markers, &o->types, &o->refCursors,
                                   &o->positions, &o->attr32, &o->attr213, version, options[0],
                                   options[1], options[2], s, uint32_t(buf.size()), nullptr,
                                   &o->reason, &o->info);
  } else {
    o->result = ODBCSqlToTVRNSql(handles, buf.data(), &o->markers, &o->types, &o->refCursors,
                                 &o->positions, &o->attr32, &o->attr213, version, options[0],
                                 options[1], options[2], s);
  }
  o->text = testutil::Text(buf.data());
}

template <typename T>
std::vector<int> Ints(const T* p, size_t n) {
  return p == nullptr ? std::vector<int>{-1} : std::vector<int>(p, p + n);
}

void Check(const Row& r, const Outcome& o, bool ex) {
  ASSERT_EQ(o.result, r.result) << Printable(o.text);
  if (ex) {
    EXPECT_EQ(o.reason, r.reason);
  }
  if (r.result == 0) {
    // A failed call writes none of the arrays; the counts keep the 0 written at the start.
    EXPECT_EQ(o.types, unwritten16);
    EXPECT_EQ(o.attr32, unwritten8);
    EXPECT_EQ(o.attr213, unwritten8);
    EXPECT_EQ(o.positions, unwritten16);
    EXPECT_EQ(o.refCursors, 0);
    EXPECT_EQ(o.markers, 0);
    return;
  }
  EXPECT_EQ(Printable(o.text), Printable(r.text));
  EXPECT_EQ(o.markers, r.markers);
  EXPECT_EQ(o.refCursors, r.refCursors);
  if (r.refCursors == 0) {
    EXPECT_EQ(o.positions, unwritten16);
  } else {
    EXPECT_EQ(Ints(o.positions, r.refCursors), r.positions);
  }
  if (!r.described) {
    EXPECT_EQ(o.types, nullptr);
    EXPECT_EQ(o.attr32, nullptr);
    EXPECT_EQ(o.attr213, nullptr);
  } else {
    ASSERT_NE(o.types, unwritten16);
    EXPECT_EQ(Ints(o.types, r.types.size()), r.types);
    if (r.version == 7) {
      EXPECT_EQ(o.attr32, nullptr);
      EXPECT_EQ(o.attr213, nullptr);
    } else {
      std::vector<int> attr32;
      for (int a : r.attr213) attr32.push_back(a == 0 ? 0 : a + 100);
      EXPECT_EQ(Ints(o.attr213, r.attr213.size()), r.attr213);
      EXPECT_EQ(Ints(o.attr32, attr32.size()), attr32);
    }
  }
  if (ex) {
    EXPECT_EQ(o.info.callForm, r.callForm);
    EXPECT_EQ(o.info.valueCount, r.valueCount);
    EXPECT_EQ(o.info.parsedMarkerCount, r.parsedMarkers);
    EXPECT_EQ(o.info.parsedValueCount, r.parsedValues);
    EXPECT_EQ(o.info.argumentCount, r.described ? r.types.size() : 0u);
  }
}

// Every row through both entry points on one session: the legacy one must agree with the
// capacity-aware one on everything they share.
TEST(Describe, CallRewriteAndLists) {
  Session session(kCatalog, "APP");
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.what);
    for (bool ex : {true, false}) {
      SCOPED_TRACE(ex ? "ODBCSqlToTVRNSqlEx" : "ODBCSqlToTVRNSql");
      Outcome o;
      Translate(session.handles, r.version, r.options, r.schema, r.sql, ex, &o);
      Check(r, o, ex);
    }
  }
}

// A server status injected at the k-th server operation, for every k: the outcome per k is
// F (fails with the status's low 16 bits, also when a statement handle cannot be allocated),
// U (name resolution failed: succeeds with the parser's block, no lists) or R (succeeds with the
// full rewrite); A would be a failure with reason 0. On version 8 a
// failure at index 0 of a plain call's argument list is the expected sign of a procedure, so it
// still rewrites; on version 7 every failure fails the call. Run under a sanitizer, this also
// shows that no exit path leaks or double-frees.
TEST(Describe, ServerFailureAtEachOperation) {
  constexpr int32_t kStatus = 0x10000 + 4242;
  const struct {
    uint16_t version;
    const char16_t* sql;
    const char16_t* block;      // the parser's block
    const char16_t* rewritten;  // the full rewrite
    std::string outcomes;       // per k from 1
  } cases[] = {
      // alloc, describe P2, read 124, read 123, read 108, read 121, index 0 (no entry anyway),
      // then 5 reads per argument and the name of each of the two cursors.
      {8, u"{call P2(?, 'x')}", u"BEGIN P2(:1,'x'); END;",
       u"BEGIN P2( :1, :RC1, 'x', :RC2 ); END;", "FUUUFFR" + std::string(22, 'F') + "R"},
      // describe handle, the link's statement handle, then three queries, each: alloc,
      // prepare, defines (1, or 3 with their array strides), execute, fetch.
      {7, u"{call P1}", u"BEGIN P1; END;", u"BEGIN APP.P1( :RC ); END;",
       "FFFFFFFFFFFFFFFFFFFFFFR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Printable(c.sql));
    std::string seen;
    for (size_t k = 1; k <= c.outcomes.size(); ++k) {
      SCOPED_TRACE(k);
      Session session(kCatalog, "APP");
      ASSERT_EQ(TCIStandinFailAfter(session.handles, uint32_t(k), kStatus), TCI_STANDIN_OK);
      Outcome o;
      Translate(session.handles, c.version, kRewrite, u"APP", c.sql, true, &o);
      if (o.result == 0) {
        seen += o.reason == 0 ? 'A' : o.reason == 4242 ? 'F' : '?';
        EXPECT_EQ(o.types, unwritten16);
      } else if (o.text == c.rewritten && o.types != nullptr) {
        seen += 'R';
      } else if (o.text == c.block && o.types == nullptr) {
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
