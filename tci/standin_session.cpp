// Sessions of the stand-in server library: the catalog schema, the connects that open a catalog
// (empty, built from SQL text or a .sql file, or an SQLite file opened read-only) and hand a
// program the environment, error and service-context handles a translation borrows, the SQL a
// test runs to build a catalog, the injected-failure hook, and the disconnect.
#include <sqlite3.h>
#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tci/standin_handles.h"
#include "tci/standin_names.h"

using namespace standin;

namespace {

// The four dictionary tables. The dictionary queries of a translation run on them unchanged;
// the constraints catch a catalog written by hand that the describe operation could not serve.
constexpr const char kSchema[] = R"(
-- Every procedure, function, package and synonym; a synonym's target is in ALL_SYNONYMS.
CREATE TABLE ALL_OBJECTS (
  OWNER TEXT NOT NULL,          -- the schema; PUBLIC for a public synonym
  OBJECT_NAME TEXT NOT NULL,
  OBJECT_TYPE TEXT NOT NULL
    CHECK (OBJECT_TYPE IN ('PROCEDURE', 'FUNCTION', 'PACKAGE', 'SYNONYM')),
  OBJECT_ID INTEGER PRIMARY KEY,
  UNIQUE (OWNER, OBJECT_NAME)
) STRICT;

CREATE TABLE ALL_SYNONYMS (
  OWNER TEXT NOT NULL,          -- PUBLIC for a public synonym
  SYNONYM_NAME TEXT NOT NULL,
  TABLE_OWNER TEXT,             -- the target's schema
  TABLE_NAME TEXT NOT NULL,     -- the target: a procedure, function or package
  PRIMARY KEY (OWNER, SYNONYM_NAME)
) STRICT;

-- One row per standalone procedure or function, and one per sub-program of a package.
CREATE TABLE ALL_PROCEDURES (
  OWNER TEXT NOT NULL,
  OBJECT_NAME TEXT NOT NULL,    -- the package, or the standalone procedure or function
  PROCEDURE_NAME TEXT,          -- the package's sub-program; NULL for a standalone one
  OBJECT_ID INTEGER NOT NULL,   -- ALL_OBJECTS.OBJECT_ID of OBJECT_NAME
  SUBPROGRAM_ID INTEGER NOT NULL  -- the sub-programs' order in their package
) STRICT;

-- One row per argument at DATA_LEVEL 0 (and per field of a composite argument below it). A
-- procedure without arguments has no rows; a function has its result at POSITION 0.
CREATE TABLE ALL_ARGUMENTS (
  OWNER TEXT NOT NULL,
  OBJECT_ID INTEGER NOT NULL,   -- the package's for a packaged sub-program, else the procedure's
  PACKAGE_NAME TEXT,            -- NULL for a standalone procedure or function
  OBJECT_NAME TEXT NOT NULL,    -- the procedure or function (sub-program)
  ARGUMENT_NAME TEXT,           -- NULL for a function's result
  POSITION INTEGER NOT NULL CHECK (POSITION BETWEEN 0 AND 65535),  -- 0 the result, 1.. arguments
  DATA_LEVEL INTEGER NOT NULL DEFAULT 0,
  DATA_TYPE TEXT,               -- NUMBER, VARCHAR2, DATE, REF CURSOR, ...
  TYPE_CODE INTEGER CHECK (TYPE_CODE BETWEEN 0 AND 65535),  -- describe attribute 2; 102 REF CURSOR
  ATTR32 INTEGER NOT NULL DEFAULT 0 CHECK (ATTR32 BETWEEN 0 AND 255),    -- describe attribute 32
  ATTR213 INTEGER NOT NULL DEFAULT 0 CHECK (ATTR213 BETWEEN 0 AND 255),  -- describe attribute 213
  IN_OUT TEXT CHECK (IN_OUT IN ('IN', 'OUT', 'IN/OUT'))
) STRICT;

CREATE INDEX ALL_ARGUMENTS_BY_OBJECT ON ALL_ARGUMENTS (OBJECT_ID, OBJECT_NAME);
)";

/// Largest .sql catalog read; far above any hand-written one.
constexpr long kMaxCatalogFile = 64L << 20;

/// Why the last connect of this thread failed, for TCIStandinErrorGet(NULL, ...).
thread_local ErrorRecord connectFailure;

int32_t connectFailed(int32_t status, const char* format, const char* detail) {
  return recordFailure(&connectFailure, status, "TCIStandinConnect", format, detail);
}

bool endsWithSql(const char* path) {
  size_t n = std::strlen(path);
  return n >= 4 && strcasecmp(path + n - 4, ".sql") == 0;
}

[[nodiscard]] int32_t readFile(const char* path, std::string* text) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), &std::fclose);
  if (file == nullptr) {
    return recordFailure(&connectFailure, TCI_STANDIN_BAD_ARGUMENT, "TCIStandinConnect",
                         "cannot open %s: %s", path, std::strerror(errno));
  }
  std::vector<char> chunk(1 << 16);
  size_t n = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
    text->append(chunk.data(), n);
    if (long(text->size()) > kMaxCatalogFile) {
      return connectFailed(TCI_STANDIN_BAD_ARGUMENT, "%s is larger than 64 MiB", path);
    }
  }
  if (std::ferror(file.get())) {
    return recordFailure(&connectFailure, TCI_STANDIN_BAD_ARGUMENT, "TCIStandinConnect",
                         "cannot read %s: %s", path, std::strerror(errno));
  }
  return TCI_STANDIN_OK;
}

// Runs SQL text on db; a failure's message names where: "the catalog SQL: near "INSERTT"...".
[[nodiscard]] int32_t run(sqlite3* db, const char* sql, const char* what, ErrorRecord* err,
                          const char* operation) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return TCI_STANDIN_OK;
  int32_t s = recordFailure(err, TCI_STANDIN_SQL_ERROR, operation, "%s: %s", what,
                            message != nullptr ? message : sqlite3_errmsg(db));
  sqlite3_free(message);
  return s;
}

enum class Source { kEmpty, kSqlText, kSqlFile, kDatabaseFile };

// Opens the catalog of a new session. `text` is the SQL (kSqlText) or the path (the files).
[[nodiscard]] int32_t openCatalog(Source source, const char* text, Session* session) {
  if (source == Source::kDatabaseFile) {
    if (sqlite3_open_v2(text, &session->db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      return recordFailure(&connectFailure, TCI_STANDIN_SQL_ERROR, "TCIStandinConnect",
                           "cannot open the catalog %s: %s", text,
                           session->db != nullptr ? sqlite3_errmsg(session->db) : "no memory");
    }
  } else {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(":memory:", &session->db, flags, nullptr) != SQLITE_OK) {
      return connectFailed(TCI_STANDIN_NO_MEMORY, "%s", "no memory for an in-memory catalog");
    }
    const char* op = "TCIStandinConnect";
    if (auto s = run(session->db, kSchema, "the schema", &connectFailure, op); s != 0) return s;
    if (source == Source::kSqlText && text != nullptr) {
      if (auto s = run(session->db, text, "the catalog SQL", &connectFailure, op); s != 0) {
        return s;
      }
    } else if (source == Source::kSqlFile) {
      std::string sql;
      if (auto s = readFile(text, &sql); s != TCI_STANDIN_OK) return s;
      if (auto s = run(session->db, sql.c_str(), text, &connectFailure, op); s != 0) return s;
    }
  }
  // A file that is no database, or lacks a table, fails here rather than at the first describe.
  sqlite3_stmt* probe = nullptr;
  int rc = sqlite3_prepare_v2(
      session->db, "SELECT 1 FROM ALL_OBJECTS, ALL_SYNONYMS, ALL_PROCEDURES, ALL_ARGUMENTS", -1,
      &probe, nullptr);
  sqlite3_finalize(probe);
  if (rc != SQLITE_OK) {
    return connectFailed(TCI_STANDIN_SQL_ERROR, "the catalog lacks its tables: %s",
                         sqlite3_errmsg(session->db));
  }
  return TCI_STANDIN_OK;
}

int32_t connect(Source source, const char* text, const char* user, void* handles[3]) {
  connectFailure.status = 0;
  connectFailure.message[0] = '\0';
  if (handles == nullptr) return connectFailed(TCI_STANDIN_BAD_ARGUMENT, "%s", "no handle array");
  handles[0] = handles[1] = handles[2] = nullptr;

  std::unique_ptr<Session> session(new (std::nothrow) Session);
  if (session == nullptr) return connectFailed(TCI_STANDIN_NO_MEMORY, "%s", "no memory");
  try {
    if (user != nullptr) {
      std::vector<std::string> parts;
      const char* why = "";
      if (auto s = splitName(user, std::strlen(user), 1, &parts, &why); s != TCI_STANDIN_OK) {
        return connectFailed(s, "the user name: %s", why);
      }
      session->user = parts[0];
    }
    if (auto s = openCatalog(source, text, session.get()); s != TCI_STANDIN_OK) return s;
  } catch (const std::bad_alloc&) {
    return connectFailed(TCI_STANDIN_NO_MEMORY, "%s", "no memory");
  }

  TCIHandle env = nullptr, err = nullptr, service = nullptr;
  if (int32_t s = TCIHandleAlloc(nullptr, &env, TCI_HTYPE_ENV, 0, nullptr); s != TCI_STANDIN_OK) {
    return connectFailed(s, "%s", "cannot allocate the environment");
  }
  static_cast<EnvironmentRecord*>(env)->session = std::move(session);
  int32_t s = TCIHandleAlloc(env, &err, TCI_HTYPE_ERROR, 0, nullptr);
  if (s == TCI_STANDIN_OK) s = TCIHandleAlloc(env, &service, TCI_HTYPE_SVCCTX, 0, nullptr);
  if (s != TCI_STANDIN_OK) {
    (void)TCIHandleFree(env, TCI_HTYPE_ENV);  // takes the error handle and the catalog with it
    return connectFailed(s, "%s", "cannot allocate the error and service-context handles");
  }
  handles[0] = env;
  handles[1] = err;
  handles[2] = service;
  return TCI_STANDIN_OK;
}

// The session of a connect's handle triple, or null.
Session* sessionOfHandles(void* handles[3]) {
  if (handles == nullptr) return nullptr;
  return sessionOf(findHandle(handles[0], TCI_HTYPE_ENV));
}

}  // namespace

extern "C" const char* TCIStandinSchema(void) { return kSchema; }

extern "C" int32_t TCIStandinConnect(const char* catalog, const char* user, void* handles[3]) {
  Source source = catalog == nullptr     ? Source::kEmpty
                  : endsWithSql(catalog) ? Source::kSqlFile
                                         : Source::kDatabaseFile;
  return connect(source, catalog, user, handles);
}

extern "C" int32_t TCIStandinConnectSql(const char* sqlUtf8, const char* user, void* handles[3]) {
  return connect(Source::kSqlText, sqlUtf8, user, handles);
}

extern "C" int32_t TCIStandinExecute(void* handles[3], const char* sqlUtf8) {
  Session* session = sessionOfHandles(handles);
  if (session == nullptr) return TCI_STANDIN_BAD_HANDLE;
  ErrorRecord* error = errorRecord(handles[1]);
  if (sqlUtf8 == nullptr) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, "TCIStandinExecute", "no SQL");
  }
  return run(session->db, sqlUtf8, "the SQL", error, "TCIStandinExecute");
}

extern "C" int32_t TCIStandinFailAfter(void* handles[3], uint32_t countdown, int32_t status) {
  Session* session = sessionOfHandles(handles);
  if (session == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (countdown > 0 && status == TCI_STANDIN_OK) return TCI_STANDIN_BAD_ARGUMENT;
  session->failCountdown = countdown;
  session->failStatus = status;
  return TCI_STANDIN_OK;
}

extern "C" void TCIStandinDisconnect(void* handles[3]) {
  if (handles == nullptr) return;
  // Children first, each by its own type: a slot the caller already freed, or filled with
  // something else, is then simply not found.
  (void)TCIHandleFree(handles[2], TCI_HTYPE_SVCCTX);
  (void)TCIHandleFree(handles[1], TCI_HTYPE_ERROR);
  (void)TCIHandleFree(handles[0], TCI_HTYPE_ENV);
  handles[0] = handles[1] = handles[2] = nullptr;
}

extern "C" int32_t TCIStandinErrorGet(TCIHandle error, int32_t* statusOut, char* message,
                                      size_t capacity) {
  ErrorRecord* err = error == nullptr ? &connectFailure : errorRecord(error);
  if (err == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (statusOut != nullptr) *statusOut = err->status;
  if (message != nullptr && capacity > 0) std::snprintf(message, capacity, "%s", err->message);
  return TCI_STANDIN_OK;
}
