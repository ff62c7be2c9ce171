// The query operations of the stand-in server library: prepare, define, execute and fetch, as a
// translation runs its dictionary queries (a count, the argument rows, a synonym's target). The
// SQL is prepared by SQLite on the session's catalog exactly as given, and each fetched row is
// copied column by column into the caller's defines, row i at the define's array offsets.
#include <sqlite3.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "tci/standin_handles.h"

using namespace standin;

namespace {

// The live statement's session, checked against the service context an operation also names:
// a statement runs on the catalog of its own environment.
[[nodiscard]] int32_t sameSession(ErrorRecord* err, const char* operation, HandleRecord* a,
                                  HandleRecord* b) {
  if (sessionOf(a) == sessionOf(b)) return TCI_STANDIN_OK;
  return recordFailure(err, TCI_STANDIN_BAD_ARGUMENT, operation,
                       "the %s and the %s handles belong to different sessions", typeName(a->type),
                       typeName(b->type));
}

[[nodiscard]] int32_t sqlFailure(ErrorRecord* err, const char* operation, sqlite3* db) {
  return recordFailure(err, TCI_STANDIN_SQL_ERROR, operation, "%s", sqlite3_errmsg(db));
}

void putUint16(unsigned char* at, uint16_t value) { std::memcpy(at, &value, sizeof value); }
void putInt16(unsigned char* at, int16_t value) { std::memcpy(at, &value, sizeof value); }

// Where one fetched row's column goes: the define's addresses advanced to row `row`.
struct Slot {
  unsigned char* value;
  unsigned char* indicator;
  unsigned char* length;
  unsigned char* code;
};

Slot slotFor(const DefineRecord& d, uint32_t row) {
  auto at = [row](unsigned char* base, uint32_t skip) {
    return base == nullptr ? nullptr : base + size_t(row) * skip;
  };
  return {at(d.buffer, d.valueSkip), at(d.indicator, d.indicatorSkip),
          at(d.returnedLength, d.lengthSkip), at(d.returnCode, d.codeSkip)};
}

void putStatus(const Slot& slot, int16_t indicator, uint16_t length, uint16_t code) {
  if (slot.indicator != nullptr) putInt16(slot.indicator, indicator);
  if (slot.length != nullptr) putUint16(slot.length, length);
  if (slot.code != nullptr) putUint16(slot.code, code);
}

// A column as a 16-bit unsigned number: an integer, or a real without a fraction (COUNT(*) is
// an integer, but a catalog file may hold POSITION as 3.0). NULL gives 0 and indicator -1.
[[nodiscard]] int32_t fetchNumber(ErrorRecord* err, sqlite3_stmt* stmt, const DefineRecord& d,
                                  const Slot& slot, uint32_t row) {
  int column = int(d.position) - 1;
  int64_t value = 0;
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
      putUint16(slot.value, 0);
      putStatus(slot, -1, 0, 0);
      return TCI_STANDIN_OK;
    case SQLITE_INTEGER:
      value = sqlite3_column_int64(stmt, column);
      break;
    case SQLITE_FLOAT: {
      double real = sqlite3_column_double(stmt, column);
      if (real != std::floor(real) || real < 0 || real > 65535)
        value = -1;
      else
        value = int64_t(real);
      break;
    }
    default:
      return recordFailure(err, TCI_STANDIN_SQL_ERROR, "TCIStmtFetch",
                           "column %u of row %u is not a number", unsigned(d.position),
                           unsigned(row + 1));
  }
  if (value < 0 || value > 65535) {
    return recordFailure(err, TCI_STANDIN_SQL_ERROR, "TCIStmtFetch",
                         "column %u of row %u does not fit a 16-bit unsigned number",
                         unsigned(d.position), unsigned(row + 1));
  }
  putUint16(slot.value, uint16_t(value));
  putStatus(slot, 0, 2, 0);
  return TCI_STANDIN_OK;
}

// A column as a terminated UTF-16 string within the define's capacity in bytes. A longer text is
// cut (never between the halves of a surrogate pair), its return code says so and its indicator
// holds the full length in bytes (-2 past 32767). NULL gives an empty string and indicator -1.
[[nodiscard]] int32_t fetchString(ErrorRecord* err, sqlite3_stmt* stmt, const DefineRecord& d,
                                  const Slot& slot) {
  int column = int(d.position) - 1;
  size_t room = size_t(d.capacity) / 2 - 1;  // units before the terminator
  if (sqlite3_column_type(stmt, column) == SQLITE_NULL) {
    putUint16(slot.value, 0);
    putStatus(slot, -1, 0, 0);
    return TCI_STANDIN_OK;
  }
  const void* text = sqlite3_column_text16(stmt, column);
  if (text == nullptr) {
    return recordFailure(err, TCI_STANDIN_NO_MEMORY, "TCIStmtFetch",
                         "no memory for column %u as text", unsigned(d.position));
  }
  size_t units = size_t(sqlite3_column_bytes16(stmt, column)) / 2;
  size_t copied = units;
  uint16_t code = 0;
  int16_t indicator = 0;
  if (units > room) {
    copied = room;
    uint16_t last = 0;
    if (copied > 0) std::memcpy(&last, static_cast<const char*>(text) + 2 * (copied - 1), 2);
    if (last >= 0xD800 && last <= 0xDBFF) --copied;  // "x😀" into 2 units keeps "x"
    code = TCI_STANDIN_CODE_TRUNCATED;
    indicator = units * 2 > INT16_MAX ? int16_t(-2) : int16_t(units * 2);
  }
  std::memcpy(slot.value, text, copied * 2);
  putUint16(slot.value + copied * 2, 0);
  putStatus(slot, indicator, uint16_t(copied * 2), code);
  return TCI_STANDIN_OK;
}

}  // namespace

extern "C" int32_t TCIStmtPrepare(TCIHandle stmt, TCIHandle err, const uint16_t* text,
                                  uint32_t byteLength, uint32_t language, uint32_t mode) {
  static constexpr const char* kOp = "TCIStmtPrepare";
  Operation op;
  if (auto s = enterOperation(err, kOp, stmt, TCI_HTYPE_STMT, &op); s != TCI_STANDIN_OK) return s;
  ErrorRecord* error = op.error;
  auto* statement = static_cast<StatementRecord*>(op.record);
  Session* session = op.session;

  // A new text replaces the old statement and its defines, also when it fails to prepare.
  releaseChildren(statement, kTypeDefine);
  sqlite3_finalize(statement->prepared);
  statement->prepared = nullptr;
  statement->cursor = Cursor::kNotExecuted;

  if (language != 1 || mode != 0) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "language %u and mode %u: only language 1 and mode 0 are known",
                         unsigned(language), unsigned(mode));
  }
  if (text == nullptr || byteLength % 2 != 0 || byteLength > INT_MAX) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "the text must be UTF-16 of an even byte length (got %u bytes%s)",
                         unsigned(byteLength), text == nullptr ? ", no text" : "");
  }
  // A terminator within the length means the caller counted it: "SELECT 1\0" with 18 bytes.
  for (uint32_t i = 0; i < byteLength / 2; ++i) {
    if (text[i] == 0) {
      return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                           "the text holds a terminator at character %u of %u: the length "
                           "counts no terminator",
                           unsigned(i), unsigned(byteLength / 2));
    }
  }
  const void* tail = nullptr;
  if (sqlite3_prepare16_v2(session->db, text, int(byteLength), &statement->prepared, &tail) !=
      SQLITE_OK) {
    return sqlFailure(error, kOp, session->db);
  }
  if (statement->prepared == nullptr) {
    return recordFailure(error, TCI_STANDIN_SQL_ERROR, kOp, "the text holds no statement");
  }
  // A second statement after the first ("SELECT 1; SELECT 2") would be silently ignored.
  int rest =
      int(byteLength) - int(static_cast<const char*>(tail) - reinterpret_cast<const char*>(text));
  if (rest > 0) {
    sqlite3_stmt* next = nullptr;
    int rc = sqlite3_prepare16_v2(session->db, tail, rest, &next, nullptr);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next != nullptr) {
      sqlite3_finalize(statement->prepared);
      statement->prepared = nullptr;
      return recordFailure(error, TCI_STANDIN_SQL_ERROR, kOp,
                           "the text holds more than one statement");
    }
  }
  return TCI_STANDIN_OK;
}

extern "C" int32_t TCIDefineByPos(TCIHandle stmt, TCIHandle* defineOut, TCIHandle err,
                                  uint32_t position, void* buffer, int32_t capacity, uint16_t type,
                                  void* indicator, uint16_t* returnedLength, uint16_t* returnCode,
                                  uint32_t mode) {
  static constexpr const char* kOp = "TCIDefineByPos";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (defineOut == nullptr) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp, "no place for the define handle");
  }
  *defineOut = nullptr;
  auto* statement = static_cast<StatementRecord*>(expectHandle(error, kOp, stmt, TCI_HTYPE_STMT));
  if (statement == nullptr) return TCI_STANDIN_BAD_HANDLE;
  Session* session = nullptr;
  if (auto s = beginOperation(error, kOp, statement, &session); s != TCI_STANDIN_OK) return s;

  if (statement->prepared == nullptr) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp, "no statement is prepared");
  }
  unsigned columns = unsigned(sqlite3_column_count(statement->prepared));
  if (position == 0 || position > columns) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "column %u: the statement has columns 1 to %u", unsigned(position),
                         columns);
  }
  if (buffer == nullptr || mode != 0) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp, "%s",
                         buffer == nullptr ? "no buffer" : "only mode 0 is known");
  }
  bool fits =
      (type == TCI_TYPE_UINT16 && capacity == 2) || (type == TCI_TYPE_STRING && capacity >= 2);
  if (!fits) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "type %u with capacity %d: known are type %d with capacity 2 and type "
                         "%d with at least 2 bytes",
                         unsigned(type), int(capacity), TCI_TYPE_UINT16, TCI_TYPE_STRING);
  }

  std::unique_ptr<DefineRecord> define(new (std::nothrow) DefineRecord);
  if (define == nullptr) return recordFailure(error, TCI_STANDIN_NO_MEMORY, kOp, "no memory");
  define->position = position;
  define->buffer = static_cast<unsigned char*>(buffer);
  define->capacity = capacity;
  define->valueType = type;
  define->valueSkip = uint32_t(capacity);
  define->indicator = static_cast<unsigned char*>(indicator);
  define->returnedLength = reinterpret_cast<unsigned char*>(returnedLength);
  define->returnCode = reinterpret_cast<unsigned char*>(returnCode);

  // Defining a column again replaces its define.
  for (HandleRecord* child = statement->firstChild; child != nullptr; child = child->nextSibling) {
    if (child->type == kTypeDefine && static_cast<DefineRecord*>(child)->position == position) {
      release(child);
      break;
    }
  }
  DefineRecord* handle = define.get();
  if (auto s = adopt(statement, std::move(define), kTypeDefine); s != TCI_STANDIN_OK) {
    return recordFailure(error, s, kOp, "cannot register the define");
  }
  *defineOut = handle;
  return TCI_STANDIN_OK;
}

extern "C" int32_t TCIDefineArrayOfStruct(TCIHandle define, TCIHandle err, uint32_t valueSkip,
                                          uint32_t indicatorSkip, uint32_t lengthSkip,
                                          uint32_t codeSkip) {
  static constexpr const char* kOp = "TCIDefineArrayOfStruct";
  Operation op;
  if (auto s = enterOperation(err, kOp, define, kTypeDefine, &op); s != TCI_STANDIN_OK) return s;
  ErrorRecord* error = op.error;
  auto* d = static_cast<DefineRecord*>(op.record);

  // Overlapping rows would mean the caller passed the wrong stride: with a 28-byte text in a
  // 120-byte element the stride is 120, never 28 or 2.
  struct {
    const char* field;
    const void* address;
    uint32_t skip, width;
  } const skips[] = {{"value", d->buffer, valueSkip, uint32_t(d->capacity)},
                     {"indicator", d->indicator, indicatorSkip, 2},
                     {"returned length", d->returnedLength, lengthSkip, 2},
                     {"return code", d->returnCode, codeSkip, 2}};
  for (const auto& s : skips) {
    if (s.address != nullptr && s.skip < s.width) {
      return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                           "the %s skip %u is less than its width %u: rows would overlap", s.field,
                           unsigned(s.skip), unsigned(s.width));
    }
  }
  d->valueSkip = valueSkip;
  d->indicatorSkip = indicatorSkip;
  d->lengthSkip = lengthSkip;
  d->codeSkip = codeSkip;
  return TCI_STANDIN_OK;
}

// A query (a statement with result columns) takes 0 iterations and is left before its first
// row, which is stepped to here so that a failing query fails its execute. Any other statement
// takes 1 iteration and runs to completion.
extern "C" int32_t TCIStmtExecute(TCIHandle service, TCIHandle stmt, TCIHandle err,
                                  uint32_t iterations, uint32_t rowOffset, const void* snapIn,
                                  void* snapOut, uint32_t mode) {
  static constexpr const char* kOp = "TCIStmtExecute";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  HandleRecord* svc = expectHandle(error, kOp, service, TCI_HTYPE_SVCCTX);
  if (svc == nullptr) return TCI_STANDIN_BAD_HANDLE;
  auto* statement = static_cast<StatementRecord*>(expectHandle(error, kOp, stmt, TCI_HTYPE_STMT));
  if (statement == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = sameSession(error, kOp, svc, statement); s != TCI_STANDIN_OK) return s;
  Session* session = nullptr;
  if (auto s = beginOperation(error, kOp, statement, &session); s != TCI_STANDIN_OK) return s;

  statement->cursor = Cursor::kNotExecuted;
  if (statement->prepared == nullptr) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp, "no statement is prepared");
  }
  if (rowOffset != 0 || snapIn != nullptr || snapOut != nullptr || mode != 0) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "row offset, snapshots and mode must be 0");
  }
  bool query = sqlite3_column_count(statement->prepared) > 0;
  if (iterations != (query ? 0u : 1u)) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "%u iterations: a query takes 0 (fetch its rows), another statement 1",
                         unsigned(iterations));
  }
  sqlite3_reset(statement->prepared);
  int rc = sqlite3_step(statement->prepared);
  while (!query && rc == SQLITE_ROW) rc = sqlite3_step(statement->prepared);
  if (rc == SQLITE_ROW) {
    statement->cursor = Cursor::kRowReady;
  } else if (rc == SQLITE_DONE) {
    statement->cursor = Cursor::kDone;
  } else {
    return sqlFailure(error, kOp, session->db);
  }
  return TCI_STANDIN_OK;
}

extern "C" int32_t TCIStmtFetch(TCIHandle stmt, TCIHandle err, uint32_t rows, uint16_t orientation,
                                uint32_t mode) {
  static constexpr const char* kOp = "TCIStmtFetch";
  Operation op;
  if (auto s = enterOperation(err, kOp, stmt, TCI_HTYPE_STMT, &op); s != TCI_STANDIN_OK) return s;
  ErrorRecord* error = op.error;
  auto* statement = static_cast<StatementRecord*>(op.record);
  Session* session = op.session;

  if (orientation != TCI_FETCH_NEXT || mode != 0 || rows == 0) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "%u rows, orientation %u, mode %u: fetch 1 or more rows with "
                         "orientation %d and mode 0",
                         unsigned(rows), unsigned(orientation), unsigned(mode), TCI_FETCH_NEXT);
  }
  if (statement->cursor == Cursor::kNotExecuted) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp, "the statement is not executed");
  }
  for (uint32_t row = 0; row < rows; ++row) {
    // The next row is stepped to only when asked for, so that a failure past the rows a fetch
    // asked for belongs to the next fetch.
    if (statement->cursor == Cursor::kNeedStep) {
      int rc = sqlite3_step(statement->prepared);
      if (rc == SQLITE_ROW) {
        statement->cursor = Cursor::kRowReady;
      } else if (rc == SQLITE_DONE) {
        statement->cursor = Cursor::kDone;
      } else {
        statement->cursor = Cursor::kDone;
        return sqlFailure(error, kOp, session->db);
      }
    }
    if (statement->cursor == Cursor::kDone) {
      return recordFailure(error, TCI_STANDIN_NO_DATA, kOp, "no more rows (%u of %u fetched)",
                           unsigned(row), unsigned(rows));
    }
    for (HandleRecord* child = statement->firstChild; child != nullptr;
         child = child->nextSibling) {
      if (child->type != kTypeDefine) continue;
      const auto& d = *static_cast<DefineRecord*>(child);
      Slot slot = slotFor(d, row);
      int32_t s = d.valueType == TCI_TYPE_UINT16
                      ? fetchNumber(error, statement->prepared, d, slot, row)
                      : fetchString(error, statement->prepared, d, slot);
      if (s != TCI_STANDIN_OK) return s;
    }
    statement->cursor = Cursor::kNeedStep;
  }
  return TCI_STANDIN_OK;
}
