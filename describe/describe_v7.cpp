// Description by dictionary queries: the name is resolved (a procedure of the default schema, a
// package's procedure, a package name that is really an owner, a private or public synonym for a
// procedure or a package) by counting rows of ALL_OBJECTS, ALL_ARGUMENTS and ALL_SYNONYMS; the
// argument rows are fetched; the call is rewritten with ":NAME" markers for the cursor-reference
// arguments the caller left out, and ":L_RefCursor := " for a function returning a cursor.
// Names and queries are bounded by their slots (owner and package 31 characters, procedure 191,
// a query 767); a longer one fails with 59.
#include "describe/describe_v7.h"

#include <cstring>

#include "call/call_argument.h"
#include "describe/describe_shared.h"
#include "describe/upper_case.h"
#include "driver/memory.h"
#include "driver/scratch.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "tci/tci.h"

namespace {

// The query pieces, each exactly as the dictionary needs it; names go between them.
constexpr char kProcInPackage[] =
    "SELECT /*+ RULE */ COUNT(*) FROM ALL_ARGUMENTS WHERE DATA_LEVEL=0 AND OBJECT_NAME='";
constexpr char kPackageName[] = "' AND PACKAGE_NAME='";
constexpr char kStandaloneCallable[] =
    "SELECT /*+ RULE */ COUNT(*) FROM ALL_OBJECTS WHERE (OBJECT_TYPE='PROCEDURE' OR "
    "OBJECT_TYPE='FUNCTION') AND OBJECT_NAME='";
constexpr char kOwner[] = "' AND OWNER='";
constexpr char kClosingQuote[] = "'";
constexpr char kSynonymCount[] =
    "SELECT /*+ RULE */ COUNT(*) FROM ALL_SYNONYMS WHERE (OWNER='PUBLIC' OR OWNER='";
constexpr char kSynonymTarget[] =
    "SELECT /*+ RULE */ TABLE_OWNER, TABLE_NAME FROM ALL_SYNONYMS WHERE (OWNER='PUBLIC' OR "
    "OWNER='";
constexpr char kSynonymName[] = "') AND SYNONYM_NAME='";
constexpr char kPackageObject[] =
    "SELECT /*+ RULE */ COUNT(*) FROM ALL_OBJECTS WHERE OBJECT_TYPE='PACKAGE' AND OBJECT_NAME='";
constexpr char kStandaloneTail[] = "FROM ALL_ARGUMENTS A WHERE DATA_LEVEL=0 AND OBJECT_NAME='";
constexpr char kNoPackage[] = "' AND PACKAGE_NAME IS NULL";
constexpr char kStandaloneOrder[] = " ORDER BY 1";
constexpr char kPackagedTail[] =
    "FROM ALL_ARGUMENTS A, ALL_OBJECTS B WHERE A.OBJECT_ID=B.OBJECT_ID AND "
    "B.OBJECT_TYPE='PACKAGE' AND A.DATA_LEVEL=0 AND A.OBJECT_NAME='";
constexpr char kPackageObjectName[] = "' AND B.OBJECT_NAME='";
constexpr char kPackageOwner[] = "' AND B.OWNER='";
constexpr char kPackagedOrder[] = "' ORDER BY 1";
constexpr char kArgumentCount[] = "SELECT /*+ RULE */ COUNT(*) ";
constexpr char kArgumentRows[] = "SELECT /*+ RULE */ A.POSITION, A.DATA_TYPE, A.ARGUMENT_NAME ";

constexpr uint16_t kRefCursor = TCI_TYPE_REF_CURSOR;

// The work area of one description, 1024 wide characters obtained zero-filled.
struct WorkArea {
  uint16_t query[768];  // the query being run (its second half held the tail in the original
                        // layout; the tail has its own slot here)
  uint16_t owner[32];
  uint16_t package[32];
  uint16_t procedure[192];
};
static_assert(sizeof(WorkArea) == 2048);

// An empty slot as a bounded text (CallText): appends past it set overflow.
template <size_t N>
CallText emptySlot(uint16_t (&data)[N]) {
  data[0] = 0;
  return CallText{data, 0, uint32_t(N), false};
}
void append(CallText& t, const uint16_t* s) { callTextAppend(&t, s, bcuLength(s)); }

// A name inside a quoted SQL literal of a query: each quote doubled, so that a name such as
// "O'X" stays one literal instead of changing the query.
struct SqlName {
  const uint16_t* text;
};
void append(CallText& t, SqlName name) {
  for (const uint16_t* p = name.text; *p != 0; ++p) {
    callTextAppend(&t, p, 1);
    if (*p == '\'') callTextAppend(&t, p, 1);
  }
}
void append(CallText& t, const char* s) { callTextAppend(&t, s); }

// Copies a name into its slot; false when it does not fit.
template <size_t N>
bool setSlot(uint16_t (&slotData)[N], const uint16_t* name) {
  CallText t = emptySlot(slotData);
  if (name != nullptr) append(t, name);
  return !t.overflow;
}

bool quoted(const uint16_t* name) { return name != nullptr && name[0] == '"'; }

// Unquoted names go to the server upper-cased; a quoted name is used exactly as written.
void upperUnlessQuoted(uint16_t* name) {
  if (name != nullptr && !quoted(name)) bcuUpperBuffer(name, bcuLength(name));
}

bool hasRefCursor(const uint16_t* typeName) {
  return bcuFstristr_SkipLiteral(typeName, "REF CURSOR") != nullptr;
}

struct HandleScope {
  void* handle = nullptr;
  ~HandleScope() {
    if (handle != nullptr) (void)TCIHandleFree(handle, TCI_HTYPE_STMT);
  }
};

struct Description {
  ConversionContext* ctx;
  WorkArea* area;
  bool noPackage = true;
  Status failed = kOk;

  // Runs the count query held in area->query.
  [[nodiscard]] bool count(uint16_t* result) {
    failed = bcoCountQuery(ctx, area->query, result);
    return failed == kOk;
  }
  // A query from pieces; false (after a report of 59) when it does not fit its slot.
  template <typename... Pieces>
  [[nodiscard]] bool query(Pieces... pieces) {
    CallText t = emptySlot(area->query);
    (append(t, pieces), ...);
    if (t.overflow) failed = bcoFail(ctx, kReasonMalformed);
    return !t.overflow;
  }
};

}  // namespace

Status bcoCountQuery(ConversionContext* ctx, const uint16_t* query, uint16_t* count) {
  HandleScope stmt;
  if (int32_t s = TCIHandleAlloc(serverEnv(ctx), &stmt.handle, TCI_HTYPE_STMT, 0, nullptr);
      s != 0) {
    stmt.handle = nullptr;
    return bcoServerFail(ctx, s);  // reported, so that the caller learns the status
  }
  void* err = serverError(ctx);
  void* define = nullptr;
  int16_t indicator = 0;
  uint16_t length = 0, code = 0;
  *count = 0;
  int32_t status =
      TCIStmtPrepare(stmt.handle, err, query, uint32_t(bcuLength(query) * sizeof(uint16_t)), 1, 0);
  if (status == 0) {
    status = TCIDefineByPos(stmt.handle, &define, err, 1, count, 2, TCI_TYPE_UINT16, &indicator,
                            &length, &code, 0);
  }
  if (status == 0) {
    status = TCIStmtExecute(serverService(ctx), stmt.handle, err, 0, 0, nullptr, nullptr, 0);
  }
  if (status == 0) status = TCIStmtFetch(stmt.handle, err, 1, TCI_FETCH_NEXT, 0);
  if (status != 0) return bcoServerFail(ctx, status);
  return kOk;
}

Status bcoFetchArguments(ConversionContext* ctx, const uint16_t* query, ProcArgument* elements,
                         uint16_t rows) {
  int32_t status = 0;
  {
    HandleScope stmt;
    if (int32_t s = TCIHandleAlloc(serverEnv(ctx), &stmt.handle, TCI_HTYPE_STMT, 0, nullptr);
        s != 0) {
      stmt.handle = nullptr;
      return bcoServerFail(ctx, s);
    }
    void* err = serverError(ctx);
    status = TCIStmtPrepare(stmt.handle, err, query, uint32_t(bcuLength(query) * sizeof(uint16_t)),
                            1, 0);
    struct Column {
      void* buffer;
      int32_t capacity;
      uint16_t type;
    };
    ProcArgument& e = elements[0];
    const Column columns[] = {{&e.position, 2, TCI_TYPE_UINT16},
                              {e.typeName, sizeof e.typeName, TCI_TYPE_STRING},
                              {e.argName, sizeof e.argName, TCI_TYPE_STRING}};
    constexpr uint32_t kStride = sizeof(ProcArgument);
    for (uint32_t c = 0; c < 3 && status == 0; ++c) {
      void* define = nullptr;
      FetchStatus& fs = e.fetchStatus[c];
      status =
          TCIDefineByPos(stmt.handle, &define, err, c + 1, columns[c].buffer, columns[c].capacity,
                         columns[c].type, &fs.indicator, &fs.returnedLength, &fs.returnCode, 0);
      if (status == 0) {
        status = TCIDefineArrayOfStruct(define, err, kStride, kStride, kStride, kStride);
      }
    }
    if (status == 0) {
      status = TCIStmtExecute(serverService(ctx), stmt.handle, err, 0, 0, nullptr, nullptr, 0);
    }
    if (status == 0) status = TCIStmtFetch(stmt.handle, err, rows, TCI_FETCH_NEXT, 0);
  }  // the handle is freed before the status is reported
  if (status != 0) return bcoServerFail(ctx, status);
  return kOk;
}

Status bcoDescribeProcedureV7(ConversionContext* ctx, uint16_t* owner, uint16_t* procedure,
                              uint16_t* package, int32_t argCount, CallArgument* args) {
  bcuTrace("bcoDescribeProcedureV7", ctx);
  bcuTrace("Package Name", package);
  bcuTrace("Procedure Name", procedure);
  ServerLink* link = ctx->link;
  if (link->statementHandle == nullptr) {
    if (int32_t s =
            TCIHandleAlloc(serverEnv(ctx), &link->statementHandle, TCI_HTYPE_STMT, 0, nullptr);
        s != 0) {
      link->statementHandle = nullptr;
      return bcoServerFail(ctx, s);
    }
  }
  ScratchPtr<WorkArea> area(nullptr, uint32_t(sizeof(WorkArea)), Fill::kZeroed, Fill::kZeroed);
  if (!area) return bcoFail(ctx, kReasonNoMemory);
  if (procedure == nullptr) return bcoFail(ctx, kReasonMalformed);

  upperUnlessQuoted(procedure);
  upperUnlessQuoted(package);
  upperUnlessQuoted(owner);
  if (!setSlot(area->procedure, procedure) || !setSlot(area->package, package) ||
      !setSlot(area->owner, owner)) {
    return bcoFail(ctx, kReasonMalformed);
  }
  Description d{ctx, area.get()};
  const bool packageGiven = package != nullptr;
  d.noPackage = !packageGiven;
  WorkArea& w = *area;

  if (owner == nullptr) {
    // The owner is the default schema, upper-cased.
    if (!setSlot(w.owner, link->defaultSchema)) return bcoFail(ctx, kReasonMalformed);
    bcuUpperBuffer(w.owner, bcuLength(w.owner));
    uint16_t n = 0;
    const bool built = packageGiven
                           ? d.query(kProcInPackage, SqlName{w.procedure}, kPackageName,
                                     SqlName{w.package}, kOwner, SqlName{w.owner}, kClosingQuote)
                           : d.query(kStandaloneCallable, SqlName{w.procedure}, kOwner,
                                     SqlName{w.owner}, kClosingQuote);
    if (!built || !d.count(&n)) return d.failed;
    if (n == 0 && packageGiven) {
      // "pkg.proc" where pkg is an owner: a standalone proc in schema pkg.
      std::memcpy(w.owner, w.package, sizeof w.package);
      if (!d.query(kStandaloneCallable, SqlName{w.procedure}, kOwner, SqlName{w.owner},
                   kClosingQuote) ||
          !d.count(&n)) {
        return d.failed;
      }
      if (n > 0) {
        w.package[0] = 0;
        d.noPackage = true;
      }
    }
    if (n == 0) {
      // A synonym, private to the default schema or public, for the package or the procedure.
      d.noPackage = true;
      const uint16_t* synonym = packageGiven ? w.package : w.procedure;
      static constexpr uint16_t kNoSchema[] = {0};
      const uint16_t* schema = link->defaultSchema != nullptr ? link->defaultSchema : kNoSchema;
      if (!d.query(kSynonymCount, SqlName{schema}, kSynonymName, SqlName{synonym}, kClosingQuote) ||
          !d.count(&n)) {
        return d.failed;
      }
      if (n == 0) return kOk;
      // Its target: TABLE_OWNER into the owner slot, TABLE_NAME into the package slot.
      uint16_t synonymName[192];
      std::memcpy(synonymName, synonym, (bcuLength(synonym) + 1) * sizeof(uint16_t));
      if (!d.query(kSynonymTarget, SqlName{schema}, kSynonymName, SqlName{synonymName},
                   kClosingQuote)) {
        return d.failed;
      }
      void* err = serverError(ctx);
      void* stmt = link->statementHandle;
      int32_t status =
          TCIStmtPrepare(stmt, err, w.query, uint32_t(bcuLength(w.query) * sizeof(uint16_t)), 1, 0);
      FetchStatus fs[2] = {};
      void* define = nullptr;
      w.owner[0] = w.package[0] = 0;
      if (status == 0) {
        status = TCIDefineByPos(stmt, &define, err, 1, w.owner, 31, TCI_TYPE_STRING,
                                &fs[0].indicator, &fs[0].returnedLength, &fs[0].returnCode, 0);
      }
      if (status == 0) {
        status = TCIDefineByPos(stmt, &define, err, 2, w.package, 31, TCI_TYPE_STRING,
                                &fs[1].indicator, &fs[1].returnedLength, &fs[1].returnCode, 0);
      }
      if (status == 0) {
        status = TCIStmtExecute(serverService(ctx), stmt, err, 0, 0, nullptr, nullptr, 0);
      }
      if (status == 0) status = TCIStmtFetch(stmt, err, 1, TCI_FETCH_NEXT, 0);
      if (status != 0) return bcoServerFail(ctx, status);
      // A target owner or name cut to its 31 bytes could name another object: the call is left
      // as it is.
      if (fs[0].returnCode != 0 || fs[1].returnCode != 0) return kOk;
      // What the synonym stands for: a package (the procedure name stays), or a standalone
      // procedure (its name replaces the procedure's).
      if (!d.query(kPackageObject, SqlName{w.package}, kOwner, SqlName{w.owner}, kClosingQuote) ||
          !d.count(&n)) {
        return d.failed;
      }
      if (n > 0) {
        d.noPackage = false;
      } else {
        if (!d.query(kStandaloneCallable, SqlName{w.package}, kOwner, SqlName{w.owner},
                     kClosingQuote) ||
            !d.count(&n)) {
          return d.failed;
        }
        if (n > 0) {
          std::memcpy(w.procedure, w.package, sizeof w.package);
          w.package[0] = 0;
        }
      }
    }
  }

  // The FROM and WHERE part of both argument queries.
  uint16_t tailData[384];
  CallText tail = emptySlot(tailData);
  if (d.noPackage) {
    append(tail, kStandaloneTail);
    if (w.procedure[0] != 0) append(tail, SqlName{w.procedure});
    append(tail, kOwner);
    append(tail, SqlName{w.owner});
    append(tail, kNoPackage);
    append(tail, kStandaloneOrder);
  } else {
    append(tail, kPackagedTail);
    if (w.procedure[0] != 0) append(tail, SqlName{w.procedure});
    append(tail, kPackageObjectName);
    append(tail, SqlName{w.package});
    append(tail, kPackageOwner);
    append(tail, SqlName{w.owner});
    append(tail, kPackagedOrder);
  }
  if (tail.overflow) return bcoFail(ctx, kReasonMalformed);
  uint16_t rows = 0;
  if (!d.query(kArgumentCount, tailData) || !d.count(&rows)) return d.failed;
  if (rows < 1 || rows < ctx->valueCount) return kOk;

  ProcArgument* rawElements = nullptr;
  if (bcoAllocateProcData(&rawElements, rows) != kOk) return bcoFail(ctx, kReasonNoMemory);
  struct ElementsScope {
    ProcArgument* p;
    ~ElementsScope() { bcoFreeProcData(p); }
  } elementsScope{rawElements};
  ProcArgument* elements = rawElements;
  if (!d.query(kArgumentRows, tailData)) return d.failed;
  if (Status s = bcoFetchArguments(ctx, w.query, elements, rows); s != kOk) return s;

  // The rewrite: the call text in its own buffer (the statement's room, not the query slot).
  CallTextBuffer buffer;
  if (!buffer.obtain(bcoCallTextUnits(argCount, args, 2 * 32 + 192, rows))) {
    return bcoFail(ctx, kReasonNoMemory);
  }
  CallText& text = buffer.text;
  append(text, "BEGIN ");
  size_t first = 0;  // element of the first caller item
  const CallArgument* list = args;
  int32_t listCount = argCount;
  int resultForm = 0;
  uint32_t inserted = 0;
  if (listCount > 0 && list[0].text != nullptr && list[0].text[0] == '=') {
    append(text, list[0].text + 1);
    append(text, " := ");
    ++list;
    --listCount;
    resultForm = 1;
    first = 1;
  } else if (elements[0].argName[0] == 0 && hasRefCursor(elements[0].typeName)) {
    append(text, ":L_RefCursor := ");
    elements[0].typeCode = kRefCursor;
    ++ctx->markerCount;
    ++inserted;
    resultForm = 2;
    first = 1;
  }
  for (uint16_t i = 0; i < rows; ++i) {
    if (hasRefCursor(elements[i].typeName)) elements[i].typeCode = kRefCursor;
  }
  if (elements[0].typeCode == kRefCursor && elements[0].argName[0] == 0) {
    ctx->callForm = kCallFormReturn;
  }
  int mode = 0;
  if (rows > ctx->valueCount) {
    if (!(resultForm == 2 && rows <= ctx->valueCount + 1)) mode = ctx->valueCount == 0 ? 1 : 2;
    ctx->valueCount = rows;
  }
  if (w.owner[0] != 0) {
    append(text, w.owner);
    append(text, ".");
  }
  if (w.package[0] != 0) {
    append(text, w.package);
    append(text, ".");
  }
  append(text, w.procedure);
  const bool parentheses =
      elements[0].typeName[0] != 0 && ((ctx->callForm == kCallFormPlain && ctx->valueCount >= 1) ||
                                       (ctx->callForm == kCallFormReturn && ctx->valueCount >= 2));
  if (parentheses) append(text, "( ");
  ProcArgument* callerElements = elements + first;
  const size_t callerElementCount = rows - first;
  if (mode == 0) bcoAppendCallArgs(listCount, list, &text, callerElements, callerElementCount);

  uint16_t consumed = 0, listEmpty = 1;
  int32_t cursors = 0;  // markers written in the walk
  if (mode != 0) {
    const uint32_t start = ctx->callForm == kCallFormPlain ? 1 : 0;
    for (uint32_t p = start; p < start + rows; ++p) {
      ProcArgument& e = elements[p - start];
      if (e.typeCode != kRefCursor) continue;
      if (p == start && e.argName[0] == 0) continue;  // the result, written above
      if (mode == 2) {
        bcoAppendArgsUpTo(&consumed, listCount, list, e.argName, &text, &listEmpty, cursors,
                          int32_t(p) - cursors, callerElements, callerElementCount);
      } else {
        if (p != start && !(resultForm == 2 && p == start + 1)) append(text, ", ");
        append(text, ":");
        append(text, e.argName);
      }
      ++cursors;
      ++inserted;
      ++ctx->markerCount;
    }
    if (int32_t(ctx->markerCount) - int32_t(ctx->parsedMarkerCount) >
        int32_t(rows) - int32_t(ctx->parsedValueCount)) {
      return bcoFail(ctx, kReasonMalformed);
    }
  }
  if (mode == 2 && consumed + inserted < ctx->valueCount) {
    bcoAppendArgsAfter(&consumed, listCount, list, &text, &listEmpty, cursors, ctx->valueCount,
                       callerElements, callerElementCount);
  }
  if (parentheses) append(text, " )");
  append(text, "; END;");
  if (Status s = bcoStoreCallText(ctx, text); s != kOk) return s;
  if (inserted > 0) ctx->refCursorCount = uint16_t(inserted);

  bcoFinalPass(elements, rows, ctx->valueCount);
  if (bcoMakeLists(ctx, elements, false) != kOk) return bcoFail(ctx, kReasonNoMemory);
  return kOk;
}
