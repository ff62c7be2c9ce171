// SELECT derivation: the second entry point. From the text of an UPDATE or INSERT statement it
// writes a SELECT over the same table and columns, and the table name on its own, by scanning
// the text with the literal-skipping keyword search; nothing is parsed and nothing reaches the
// server. ParseSQLStr and ParseSQLStrEx (include/tvrnsql.h) sit on top of the two steps here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/context.h"

/// An output buffer of a derivation. Every unit appended is counted; only those that fall
/// within capacity are stored, so a short buffer is never overrun and the count still tells the
/// room the whole text needs. The buffer belongs to the caller; data may be null when capacity
/// is 0.
struct BoundedWriter {
  uint16_t* data;
  size_t capacity;  ///< code units that may be stored
  size_t count;     ///< code units appended so far, stored or not
};

/// A writer over data with room for capacity units and nothing appended yet.
inline BoundedWriter bwOpen(uint16_t* data, size_t capacity) { return {data, capacity, 0}; }

/// True when everything appended so far was stored.
inline bool bwFits(const BoundedWriter& w) { return w.count <= w.capacity; }

/// Derives "SELECT <assigned columns> FROM <table>" from an UPDATE statement, and the table
/// name. Writes "SELECT " first; the columns are the words left of each '=' of the SET list up to
/// " WHERE ". kFail when " SET ", an '=' after it or "UPDATE" is missing: select then holds the
/// text written so far without a terminator, and table has not been written. On kOk both texts
/// are terminated (counted in their writers). source is read up to its terminator only.
[[nodiscard]] Status bcoSelectStmtFromUpd(const uint16_t* source, BoundedWriter& select,
                                          BoundedWriter& table);

/// Derives "SELECT <column list> FROM <table>" (or "SELECT * FROM <table>" when the statement
/// has no column list before VALUES) from an INSERT statement, and the table name. kFail when
/// '(', "VALUES", the ')' closing a column list or "INTO" is missing, with the same partial
/// output as bcoSelectStmtFromUpd.
[[nodiscard]] Status bcoSelectStmtFromIns(const uint16_t* source, BoundedWriter& select,
                                          BoundedWriter& table);
