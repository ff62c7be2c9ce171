// SELECT derivation from UPDATE and INSERT statements, and the exported ParseSQLStr and
// ParseSQLStrEx. The source is only scanned: keywords are found with the case-ignoring search
// that skips quoted literals, and the SELECT text is assembled from the pieces between them.
// Both outputs go through bounded writers, so the capacity-aware entry point never writes past
// the caller's room and can still report the room the SELECT text needs.
#include "selectgen/select_derive.h"

#include <algorithm>
#include <limits>

#include "driver/text.h"
#include "driver/trace.h"
#include "tvrnsql.h"

namespace {

constexpr uint16_t kModeUpdate = 2;
constexpr uint16_t kModeInsert = 4;
// The legacy entry point has no capacities: its caller sized the buffers (see tvrnsql.h).
constexpr size_t kUnbounded = std::numeric_limits<size_t>::max();

void put(BoundedWriter& w, uint16_t c) {
  if (w.count < w.capacity) w.data[w.count] = c;
  ++w.count;
}

void appendAscii(BoundedWriter& w, const char* text) {
  for (; *text != 0; ++text) put(w, static_cast<unsigned char>(*text));
}

// Appends the units of [first, last). Those beyond the room are counted without being read, so
// a long name costs nothing once the buffer is full.
void appendRange(BoundedWriter& w, const uint16_t* first, const uint16_t* last) {
  const size_t length = static_cast<size_t>(last - first);
  const size_t room = w.count < w.capacity ? w.capacity - w.count : 0;
  const size_t stored = std::min(length, room);
  if (stored != 0) std::copy_n(first, stored, w.data + w.count);
  w.count += length;
}

bool isNameDelimiter(uint16_t c) { return bcuIsSpace(c) || c == ','; }

// Appends the column that the '=' at e assigns: the word left of it, back to white space or a
// ','. "SET a = 1" lists "a"; in "SET a=b=c" the second '=' lists "a=b", because '=' does not
// end a word. Neither walk goes left of set, the blank that opens " SET "; the "SET" after it is
// never white space, so a name is never empty.
//
// The assignments come in order and the word of each ends after the previous '=', so the last
// delimiter before a word's end is found by a scan that only moves forward: "SET a=a=a=...=1"
// costs its length, not the square of it, even when the SELECT is only measured.
struct ColumnNames {
  const uint16_t* set;
  const uint16_t* scanned;    // every position before it was looked at
  const uint16_t* lastDelim;  // the last delimiter among them

  explicit ColumnNames(const uint16_t* setBlank)
      : set(setBlank), scanned(setBlank), lastDelim(setBlank) {}

  void append(BoundedWriter& select, const uint16_t* e) {
    const uint16_t* end = e - 1;
    while (end > set && bcuIsSpace(*end)) --end;
    const uint16_t* start = end;
    if (end > set && end >= scanned) {
      for (; scanned < end; ++scanned) {
        if (isNameDelimiter(*scanned)) lastDelim = scanned;
      }
      start = lastDelim + 1;
    } else {
      while (start > set && !isNameDelimiter(start[-1])) --start;
    }
    appendRange(select, start, end + 1);
  }
};

// The '=' of the next assignment after the one at e, or null when the SET list ends first: at
// the terminator, at where (" WHERE ", may be null) or in an unterminated literal. A quote opens
// a literal that is skipped whole, so "SET a='x=y', b=2" has two assignments. After a literal
// the scan goes on with the character after its closing quote, which may be where itself:
// "SET b='x' WHERE c=2" does not list c. A literal that jumps over where (one the keyword search
// saw as closed by "*/") does not reach it, and the scan goes on.
const uint16_t* nextAssignment(const uint16_t* e, const uint16_t* where) {
  for (const uint16_t* p = e + 1; *p != 0; ++p) {
    if (p == where) return nullptr;
    if (*p == '\'') {
      do {
        ++p;
        if (*p == 0) return nullptr;
      } while (*p != '\'');
    } else if (*p == '=') {
      return p;
    }
  }
  return nullptr;
}

// Copies the table name from p on into both writers and terminates both. White space right at
// p is skipped first; the name then runs to white space, the terminator or one of the two stop
// positions, so "INTO t(a)" names "t".
void copyTableName(const uint16_t* p, const uint16_t* stopA, const uint16_t* stopB,
                   BoundedWriter& select, BoundedWriter& table) {
  while (bcuIsSpace(*p)) ++p;
  for (; *p != 0 && !bcuIsSpace(*p) && p != stopA && p != stopB; ++p) {
    put(table, *p);
    put(select, *p);
  }
  put(table, 0);
  put(select, 0);
}

// Runs the derivation that mode names; any other mode fails at once without writing.
[[nodiscard]] Status deriveSelect(const uint16_t* source, uint16_t mode, BoundedWriter& select,
                                  BoundedWriter& table) {
  switch (mode) {
    case kModeUpdate:
      return bcoSelectStmtFromUpd(source, select, table);
    case kModeInsert:
      return bcoSelectStmtFromIns(source, select, table);
    default:
      return kFail;
  }
}

uint32_t clampToU32(size_t n) {
  return n > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                  : static_cast<uint32_t>(n);
}

}  // namespace

Status bcoSelectStmtFromUpd(const uint16_t* source, BoundedWriter& select, BoundedWriter& table) {
  bcuTrace("bcoSelectStmtFromUpd", 0u);
  appendAscii(select, "SELECT ");
  const uint16_t* set = bcuFstristr_SkipLiteral(source, " SET ");
  if (set == nullptr) return kFail;
  const uint16_t* e = bcuFstristr_SkipLiteral(set, "=");
  if (e == nullptr) return kFail;
  const uint16_t* where = bcuFstristr_SkipLiteral(e, " WHERE ");
  ColumnNames columns(set);
  for (;;) {
    columns.append(select, e);
    e = nextAssignment(e, where);
    if (e == nullptr) break;
    put(select, ',');
  }
  appendAscii(select, " FROM ");
  const uint16_t* update = bcuFstristr_SkipLiteral(source, "UPDATE");
  if (update == nullptr) return kFail;
  copyTableName(update + 6, set, set, select, table);
  return kOk;
}

Status bcoSelectStmtFromIns(const uint16_t* source, BoundedWriter& select, BoundedWriter& table) {
  bcuTrace("bcoSelectStmtFromIns", 0u);
  appendAscii(select, "SELECT ");
  const uint16_t* open = bcuFstristr_SkipLiteral(source, "(");
  if (open == nullptr) return kFail;
  const uint16_t* values = bcuFstristr_SkipLiteral(source, "VALUES");
  if (values == nullptr) return kFail;
  if (open > values) {
    // "INSERT INTO t VALUES (1)": the first '(' opens the values, so there is no column list.
    appendAscii(select, "* FROM ");
  } else {
    // "INSERT INTO t (a, b) VALUES ...": the list is copied as written, blanks included.
    const uint16_t* close = bcuFstristr_SkipLiteral(open + 1, ")");
    if (close == nullptr) return kFail;
    appendRange(select, open + 1, close);
    appendAscii(select, " FROM ");
  }
  const uint16_t* into = bcuFstristr_SkipLiteral(source, "INTO");
  if (into == nullptr) return kFail;
  copyTableName(into + 4, open, values, select, table);
  return kOk;
}

extern "C" TVRNSQL_API int32_t ParseSQLStr(const uint16_t* source, uint16_t* selectOut,
                                           uint16_t* tableOut, uint16_t mode) {
  if (source == nullptr || selectOut == nullptr || tableOut == nullptr) return 0;
  BoundedWriter select = bwOpen(selectOut, kUnbounded);
  BoundedWriter table = bwOpen(tableOut, kUnbounded);
  return deriveSelect(source, mode, select, table) == kOk ? 1 : 0;
}

extern "C" TVRNSQL_API int32_t ParseSQLStrEx(const uint16_t* source, uint16_t* selectOut,
                                             uint32_t selectCapacity, uint16_t* tableOut,
                                             uint32_t tableCapacity, uint16_t mode,
                                             uint32_t* requiredSelectOut) {
  if (source == nullptr) return 0;
  // A null buffer has no room: a caller may pass one to learn the SELECT room first.
  BoundedWriter select = bwOpen(selectOut, selectOut != nullptr ? selectCapacity : 0);
  BoundedWriter table = bwOpen(tableOut, tableOut != nullptr ? tableCapacity : 0);
  if (deriveSelect(source, mode, select, table) != kOk) return 0;
  if (requiredSelectOut != nullptr) *requiredSelectOut = clampToU32(select.count);
  return bwFits(select) && bwFits(table) ? 1 : 0;
}
