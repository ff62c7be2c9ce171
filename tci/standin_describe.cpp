// The describe operation of the stand-in server library: resolves a name against the catalog
// (the connected user's schema, an owner's, the PUBLIC synonyms) and builds the parameter tree a
// translation reads with TCIAttrGet and TCIParamGet: the object, its argument list or, for a
// package, its sub-program list with an argument list each; for a synonym, its target's name.
#include <sqlite3.h>

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "tci/standin_handles.h"
#include "tci/standin_names.h"

using namespace standin;

namespace {

constexpr const char* kOp = "TCIDescribeAny";

// The catalog lookups of a describe, each with the columns it returns (read by index below).
constexpr const char kFindObject[] =  // OBJECT_ID, OBJECT_TYPE
    "SELECT OBJECT_ID, OBJECT_TYPE FROM ALL_OBJECTS WHERE OWNER = ?1 AND OBJECT_NAME = ?2"
    " AND OBJECT_TYPE IN ('PROCEDURE', 'FUNCTION', 'PACKAGE')"
    " AND (?3 = 0 OR OBJECT_TYPE = 'PACKAGE') ORDER BY OBJECT_ID LIMIT 1";
constexpr const char kFindSynonym[] =  // TABLE_OWNER, TABLE_NAME
    "SELECT TABLE_OWNER, TABLE_NAME FROM ALL_SYNONYMS WHERE OWNER = ?1 AND SYNONYM_NAME = ?2"
    " LIMIT 1";
constexpr const char kArguments[] =  // ARGUMENT_NAME, POSITION, TYPE_CODE, ATTR32, ATTR213
    "SELECT ARGUMENT_NAME, POSITION, TYPE_CODE, ATTR32, ATTR213 FROM ALL_ARGUMENTS"
    " WHERE OBJECT_ID = ?1 AND DATA_LEVEL = 0 AND (?2 IS NULL OR OBJECT_NAME = ?2)"
    " ORDER BY POSITION";
constexpr const char kSubprograms[] =  // PROCEDURE_NAME
    "SELECT PROCEDURE_NAME FROM ALL_PROCEDURES WHERE OBJECT_ID = ?1"
    " AND PROCEDURE_NAME IS NOT NULL ORDER BY SUBPROGRAM_ID";

/// What a name resolved to.
struct Found {
  uint8_t kind = 0;
  int64_t id = 0;     ///< OBJECT_ID of a procedure, function or package
  std::string owner;  ///< the object's owner; a synonym's target owner
  std::string name;   ///< the object's name; a synonym's target name
};

/// One DATA_LEVEL 0 row of ALL_ARGUMENTS.
struct ArgumentRow {
  std::string name;
  uint16_t position = 0, typeCode = 0;
  uint8_t attr32 = 0, attr213 = 0;
};

class Query {
 public:
  Query(sqlite3* db, ErrorRecord* err) : db_(db), err_(err) {}
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  ~Query() { sqlite3_finalize(stmt_); }

  [[nodiscard]] int32_t prepare(const char* sql) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr) == SQLITE_OK) return TCI_STANDIN_OK;
    return failure();
  }
  void bind(int index, const std::string& text) {
    sqlite3_bind_text(stmt_, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
  }
  void bind(int index, int64_t number) { sqlite3_bind_int64(stmt_, index, number); }
  /// Steps to the next row: *row tells whether there is one.
  [[nodiscard]] int32_t step(bool* row) {
    int rc = sqlite3_step(stmt_);
    *row = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? TCI_STANDIN_OK : failure();
  }
  int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string text(int column) const {
    const auto* p = sqlite3_column_text(stmt_, column);
    return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
  }
  /// An integer column within [0, max]; NULL is 0. A value out of range is the catalog's fault.
  [[nodiscard]] int32_t number(int column, int64_t max, int64_t* out) const {
    *out = sqlite3_column_int64(stmt_, column);
    if (*out >= 0 && *out <= max) return TCI_STANDIN_OK;
    return recordFailure(err_, TCI_STANDIN_SQL_ERROR, kOp,
                         "the catalog's %s %lld is outside 0 to %lld",
                         sqlite3_column_name(stmt_, column), static_cast<long long>(*out),
                         static_cast<long long>(max));
  }

 private:
  int32_t failure() const {
    return recordFailure(err_, TCI_STANDIN_SQL_ERROR, kOp, "catalog lookup: %s",
                         sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  ErrorRecord* err_;
  sqlite3_stmt* stmt_ = nullptr;
};

uint8_t kindOf(const std::string& objectType) {
  if (objectType == "PROCEDURE") return TCI_KIND_PROCEDURE;
  if (objectType == "FUNCTION") return TCI_KIND_FUNCTION;
  return TCI_KIND_PACKAGE;
}

/// Looks names up in one session's catalog and builds the parameters of one describe handle.
class Describer {
 public:
  Describer(Session* session, DescribeRecord* describe, ErrorRecord* err)
      : session_(session), describe_(describe), err_(err) {}

  [[nodiscard]] int32_t resolve(const std::vector<std::string>& parts, uint8_t objectType,
                                std::optional<Found>* found);
  [[nodiscard]] int32_t build(const Found& found, ParamRecord** object);

 private:
  [[nodiscard]] int32_t findObject(const std::string& owner, const std::string& name,
                                   bool packageOnly, std::optional<Found>* found);
  [[nodiscard]] int32_t findSynonym(const std::string& owner, const std::string& name,
                                    std::optional<Found>* found);
  [[nodiscard]] int32_t arguments(int64_t id, const std::string* subprogram,
                                  std::vector<ArgumentRow>* rows);
  [[nodiscard]] int32_t newParam(Shape shape, ParamRecord** param);
  [[nodiscard]] int32_t argumentList(int64_t id, const std::string* subprogram, ParamRecord** list,
                                     bool* hasResult);
  [[nodiscard]] int32_t checkCount(size_t entries);

  Session* session_;
  DescribeRecord* describe_;
  ErrorRecord* err_;
};

int32_t Describer::findObject(const std::string& owner, const std::string& name, bool packageOnly,
                              std::optional<Found>* found) {
  Query q(session_->db, err_);
  if (auto s = q.prepare(kFindObject); s != TCI_STANDIN_OK) return s;
  q.bind(1, owner);
  q.bind(2, name);
  q.bind(3, int64_t{packageOnly});
  bool row = false;
  if (auto s = q.step(&row); s != TCI_STANDIN_OK || !row) return s;
  Found f;
  f.id = q.integer(0);
  f.kind = kindOf(q.text(1));
  f.owner = owner;
  f.name = name;
  found->emplace(std::move(f));
  return TCI_STANDIN_OK;
}

int32_t Describer::findSynonym(const std::string& owner, const std::string& name,
                               std::optional<Found>* found) {
  Query q(session_->db, err_);
  if (auto s = q.prepare(kFindSynonym); s != TCI_STANDIN_OK) return s;
  q.bind(1, owner);
  q.bind(2, name);
  bool row = false;
  if (auto s = q.step(&row); s != TCI_STANDIN_OK || !row) return s;
  Found f;
  f.kind = TCI_KIND_SYNONYM;
  f.owner = q.text(0);
  f.name = q.text(1);
  found->emplace(std::move(f));
  return TCI_STANDIN_OK;
}

// Where each object type looks:
//   parts  type 0 (any)                          type 5 (package)  type 7 (synonym)
//   N      user's object, user's synonym, PUBLIC  user's package    user's synonym, PUBLIC
//   O.N    O's object, O's synonym                O's package       O's synonym (O may be PUBLIC)
//   A.B.C  nothing: a package member is found by walking its package
// Without a connected user, N looks among the PUBLIC synonyms only; attribute 250 non-zero skips
// the user's synonyms.
int32_t Describer::resolve(const std::vector<std::string>& parts, uint8_t objectType,
                           std::optional<Found>* found) {
  if (parts.size() > 2) return TCI_STANDIN_OK;
  const bool onePart = parts.size() == 1;
  const std::string& owner = onePart ? session_->user : parts[0];
  const std::string& name = parts.back();
  const bool ownSynonyms = !onePart || describe_->publicOnly == 0;
  int32_t s = TCI_STANDIN_OK;
  switch (objectType) {
    case TCI_PTYPE_ANY:
      if (!owner.empty()) s = findObject(owner, name, false, found);
      if (s == TCI_STANDIN_OK && !*found && !owner.empty() && ownSynonyms) {
        s = findSynonym(owner, name, found);
      }
      if (s == TCI_STANDIN_OK && !*found && onePart) s = findSynonym("PUBLIC", name, found);
      return s;
    case TCI_PTYPE_PACKAGE:
      return owner.empty() ? TCI_STANDIN_OK : findObject(owner, name, true, found);
    default:  // TCI_PTYPE_SYNONYM
      if (!owner.empty() && ownSynonyms) s = findSynonym(owner, name, found);
      if (s == TCI_STANDIN_OK && !*found && onePart) s = findSynonym("PUBLIC", name, found);
      return s;
  }
}

int32_t Describer::arguments(int64_t id, const std::string* subprogram,
                             std::vector<ArgumentRow>* rows) {
  Query q(session_->db, err_);
  if (auto s = q.prepare(kArguments); s != TCI_STANDIN_OK) return s;
  q.bind(1, id);
  if (subprogram != nullptr) q.bind(2, *subprogram);
  for (;;) {
    bool row = false;
    if (auto s = q.step(&row); s != TCI_STANDIN_OK || !row) return s;
    ArgumentRow a;
    int64_t position = 0, typeCode = 0, attr32 = 0, attr213 = 0;
    if (auto s = q.number(1, 65535, &position); s != TCI_STANDIN_OK) return s;
    if (auto s = q.number(2, 65535, &typeCode); s != TCI_STANDIN_OK) return s;
    if (auto s = q.number(3, 255, &attr32); s != TCI_STANDIN_OK) return s;
    if (auto s = q.number(4, 255, &attr213); s != TCI_STANDIN_OK) return s;
    a.name = q.text(0);
    a.position = uint16_t(position);
    a.typeCode = uint16_t(typeCode);
    a.attr32 = uint8_t(attr32);
    a.attr213 = uint8_t(attr213);
    rows->push_back(std::move(a));
  }
}

int32_t Describer::newParam(Shape shape, ParamRecord** param) {
  std::unique_ptr<ParamRecord> record(new (std::nothrow) ParamRecord);
  if (record == nullptr) return recordFailure(err_, TCI_STANDIN_NO_MEMORY, kOp, "no memory");
  record->shape = shape;
  record->generation = describe_->generation;
  *param = record.get();
  if (auto s = adopt(describe_, std::move(record), kTypeParam); s != TCI_STANDIN_OK) {
    return recordFailure(err_, s, kOp, "cannot register a parameter");
  }
  return TCI_STANDIN_OK;
}

// Attribute 121 is 16 bits wide.
int32_t Describer::checkCount(size_t entries) {
  if (entries <= 65535) return TCI_STANDIN_OK;
  return recordFailure(err_, TCI_STANDIN_SQL_ERROR, kOp,
                       "the catalog gives a list of %zu entries; at most 65535 fit", entries);
}

// A function's list starts with its result (POSITION 0) at index 0; a procedure's list has no
// entry 0, its arguments are entries 1 to n. A translation tells the two apart by index 0.
int32_t Describer::argumentList(int64_t id, const std::string* subprogram, ParamRecord** list,
                                bool* hasResult) {
  std::vector<ArgumentRow> rows;
  if (auto s = arguments(id, subprogram, &rows); s != TCI_STANDIN_OK) return s;
  if (auto s = checkCount(rows.size()); s != TCI_STANDIN_OK) return s;
  if (auto s = newParam(Shape::kArgumentList, list); s != TCI_STANDIN_OK) return s;
  *hasResult = !rows.empty() && rows[0].position == 0;
  (*list)->firstIndex = *hasResult ? 0 : 1;
  (*list)->entries.reserve(rows.size());
  for (ArgumentRow& row : rows) {
    ParamRecord* argument = nullptr;
    if (auto s = newParam(Shape::kArgument, &argument); s != TCI_STANDIN_OK) return s;
    argument->name = std::move(row.name);
    argument->position = row.position;
    argument->typeCode = row.typeCode;
    argument->attr32 = row.attr32;
    argument->attr213 = row.attr213;
    (*list)->entries.push_back(argument);
  }
  return TCI_STANDIN_OK;
}

int32_t Describer::build(const Found& found, ParamRecord** object) {
  if (auto s = newParam(Shape::kObject, object); s != TCI_STANDIN_OK) return s;
  ParamRecord& o = **object;
  o.kind = found.kind;
  o.name = found.name;
  o.owner = found.owner;
  bool hasResult = false;
  if (found.kind == TCI_KIND_PROCEDURE || found.kind == TCI_KIND_FUNCTION) {
    return argumentList(found.id, nullptr, &o.list, &hasResult);
  }
  if (found.kind != TCI_KIND_PACKAGE) return TCI_STANDIN_OK;  // a synonym: its target's names

  std::vector<std::string> names;
  Query q(session_->db, err_);
  if (auto s = q.prepare(kSubprograms); s != TCI_STANDIN_OK) return s;
  q.bind(1, found.id);
  for (;;) {
    bool row = false;
    if (auto s = q.step(&row); s != TCI_STANDIN_OK) return s;
    if (!row) break;
    names.push_back(q.text(0));
  }
  if (auto s = checkCount(names.size()); s != TCI_STANDIN_OK) return s;
  if (auto s = newParam(Shape::kSubprogramList, &o.list); s != TCI_STANDIN_OK) return s;
  o.list->entries.reserve(names.size());
  for (std::string& name : names) {
    ParamRecord* sub = nullptr;
    if (auto s = newParam(Shape::kSubprogram, &sub); s != TCI_STANDIN_OK) return s;
    o.list->entries.push_back(sub);
    if (auto s = argumentList(found.id, &name, &sub->list, &hasResult); s != TCI_STANDIN_OK) {
      return s;
    }
    sub->kind = hasResult ? TCI_KIND_FUNCTION : TCI_KIND_PROCEDURE;
    sub->name = std::move(name);
    sub->owner = found.owner;
  }
  return TCI_STANDIN_OK;
}

// Frees the parameters of earlier describes, and this describe's unless it succeeded.
void dropParameters(DescribeRecord* d, bool keepCurrent) {
  HandleRecord* child = d->firstChild;
  while (child != nullptr) {
    HandleRecord* next = child->nextSibling;
    if (child->type == kTypeParam &&
        !(keepCurrent && static_cast<ParamRecord*>(child)->generation == d->generation)) {
      release(child);
    }
    child = next;
  }
}

const char* objectTypeName(uint8_t objectType) {
  switch (objectType) {
    case TCI_PTYPE_PACKAGE:
      return "package";
    case TCI_PTYPE_SYNONYM:
      return "synonym";
    default:
      return "procedure, function, package or synonym";
  }
}

// Validates the request, resolves the name and builds the parameters of this describe.
int32_t describeName(ErrorRecord* error, Session* session, DescribeRecord* d, const char* text,
                     uint32_t byteLength, uint8_t nameType, uint8_t infoLevel, uint8_t objectType) {
  if (nameType != TCI_OTYPE_NAME || infoLevel != 0) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "name type %u and level %u: only name type %d and level 0 are known",
                         unsigned(nameType), unsigned(infoLevel), TCI_OTYPE_NAME);
  }
  if (objectType != TCI_PTYPE_ANY && objectType != TCI_PTYPE_PACKAGE &&
      objectType != TCI_PTYPE_SYNONYM) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "object type %u: known are %d (any), %d (package), %d (synonym)",
                         unsigned(objectType), TCI_PTYPE_ANY, TCI_PTYPE_PACKAGE, TCI_PTYPE_SYNONYM);
  }
  try {
    std::vector<std::string> parts;
    const char* why = "";
    if (auto s = splitName(text, byteLength, 3, &parts, &why); s != TCI_STANDIN_OK) {
      return recordFailure(error, s, kOp, "%s", why);
    }
    Describer describer(session, d, error);
    std::optional<Found> found;
    if (auto s = describer.resolve(parts, objectType, &found); s != TCI_STANDIN_OK) return s;
    if (!found) {
      // "no package ORDERS for the user CLERK", "no synonym X.Y"
      std::string where;
      if (parts.size() == 3) {
        where = " (a package member is described through its package)";
      } else if (parts.size() == 1) {
        where = session->user.empty() ? " among the PUBLIC synonyms (no connected user)"
                                      : " for the user " + session->user;
      }
      return recordFailure(error, TCI_STANDIN_NO_SUCH_OBJECT, kOp, "no %s %.*s%s",
                           objectTypeName(objectType), int(byteLength), text, where.c_str());
    }
    ParamRecord* object = nullptr;
    if (auto s = describer.build(*found, &object); s != TCI_STANDIN_OK) return s;
    d->described = object;
    return TCI_STANDIN_OK;
  } catch (const std::bad_alloc&) {
    return recordFailure(error, TCI_STANDIN_NO_MEMORY, kOp, "no memory");
  }
}

}  // namespace

extern "C" int32_t TCIDescribeAny(TCIHandle service, TCIHandle err, void* name, uint32_t byteLength,
                                  uint8_t nameType, uint8_t infoLevel, uint8_t objectType,
                                  TCIHandle describe) {
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  HandleRecord* svc = expectHandle(error, kOp, service, TCI_HTYPE_SVCCTX);
  if (svc == nullptr) return TCI_STANDIN_BAD_HANDLE;
  auto* d = static_cast<DescribeRecord*>(expectHandle(error, kOp, describe, TCI_HTYPE_DESCRIBE));
  if (d == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (sessionOf(svc) != sessionOf(d)) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "the service context and the describe handle belong to different "
                         "sessions");
  }
  Session* session = nullptr;
  if (auto s = beginOperation(error, kOp, svc, &session); s != TCI_STANDIN_OK) return s;

  // Describing again ends the previous description, also when this one fails. Its parameters
  // are freed once the new ones exist, so that no new parameter takes the address of an old
  // one: a caller still holding an old parameter then gets TCI_STANDIN_BAD_HANDLE.
  d->described = nullptr;
  ++d->generation;
  int32_t status = describeName(error, session, d, static_cast<const char*>(name), byteLength,
                                nameType, infoLevel, objectType);
  dropParameters(d, status == TCI_STANDIN_OK);
  return status;
}

// The one attribute set on a describe handle: 250, a 32-bit number.
extern "C" int32_t TCIAttrSet(TCIHandle target, uint32_t targetType, void* value, uint32_t size,
                              uint32_t attribute, TCIHandle err) {
  static constexpr const char* kSetOp = "TCIAttrSet";
  Operation op;
  if (auto s = enterOperation(err, kSetOp, target, targetType, &op); s != TCI_STANDIN_OK) return s;
  ErrorRecord* error = op.error;
  HandleRecord* record = op.record;
  if (targetType != TCI_HTYPE_DESCRIBE || attribute != TCI_ATTR_DESC_PUBLIC) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kSetOp,
                         "attribute %u cannot be set on a %s handle", unsigned(attribute),
                         typeName(targetType));
  }
  if (value == nullptr || size != sizeof(int32_t)) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kSetOp,
                         "attribute %u takes a 32-bit number (size %u given%s)",
                         unsigned(attribute), unsigned(size), value == nullptr ? ", no value" : "");
  }
  std::memcpy(&static_cast<DescribeRecord*>(record)->publicOnly, value, sizeof(int32_t));
  return TCI_STANDIN_OK;
}
