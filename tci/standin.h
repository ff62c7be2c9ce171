/*
 * What the stand-in server library offers besides the operations of tci/tci.h: its status codes,
 * sessions over a catalog held in an embedded SQLite database (connect, run SQL on it, inject a
 * failure, disconnect), and a way to read the message a failing operation left in an error
 * handle. Programs and tests use these to set up the handles a translation borrows; the
 * translation library never calls them.
 *
 * The catalog is four tables (TCIStandinSchema gives their SQL): ALL_OBJECTS, ALL_SYNONYMS,
 * ALL_PROCEDURES and ALL_ARGUMENTS. Dictionary queries prepared through TCIStmtPrepare run on
 * them as the SQL they are; TCIDescribeAny resolves names against them.
 */
#ifndef TVRNSQL_TCI_STANDIN_H
#define TVRNSQL_TCI_STANDIN_H

#include <stddef.h>
#include <stdint.h>

#include "tci/tci.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses of the stand-in. Each fits in 16 bits and differs from the translation library's own
 * reason codes (59, 83, 123), so the reason a translation reports names the failure exactly.
 * BAD_ARGUMENT covers an unknown type, code or attribute, an index or size out of range, a
 * missing out pointer and a malformed name; SQL_ERROR covers SQL that fails to prepare or run and
 * a catalog value that does not fit, with SQLite's message or the reason in the error handle. */
#define TCI_STANDIN_OK 0
#define TCI_STANDIN_BAD_HANDLE 9001     /* null, freed or foreign handle, or the wrong type */
#define TCI_STANDIN_NO_SUCH_OBJECT 9002 /* the catalog has no object of that name and kind */
#define TCI_STANDIN_NO_DATA 9003        /* no more rows, no such list entry, nothing described */
#define TCI_STANDIN_NOT_SUPPORTED 9004  /* an environment without a catalog (not connected) */
#define TCI_STANDIN_BAD_ARGUMENT 9005   /* a wrong argument (above) */
#define TCI_STANDIN_NO_MEMORY 9006      /* an allocation failed */
#define TCI_STANDIN_BAD_TEXT 9007       /* a text conversion met invalid input or lacked room */
#define TCI_STANDIN_SQL_ERROR 9008      /* failing SQL or an unusable catalog value (above) */

/* Return code a fetch leaves for a column whose text was cut to the define's capacity. */
#define TCI_STANDIN_CODE_TRUNCATED 9009

/* The SQL that creates the four catalog tables in an empty database: the schema of every
 * catalog. A static, terminated UTF-8 text. */
const char *TCIStandinSchema(void);

/* Opens a session: allocates an environment, an error and a service-context handle into
 * handles[0], handles[1] and handles[2], the triple a translation takes as its `handles`.
 * catalog: null for an empty in-memory catalog (the schema only); a path ending in ".sql" for an
 *   in-memory catalog made by running the schema, then that file's SQL (UTF-8); any other path
 *   for an SQLite database file that holds the four tables, opened read-only.
 * user: the connected user, the schema that one-part names resolve in before the PUBLIC
 *   synonyms; written like a name part (upper-cased unless in double quotes: "scott" is SCOTT).
 *   Null for no schema of one's own: one-part names then resolve through PUBLIC synonyms only.
 *   A translation's default schema (the dictionary-query path) is set separately, by the program.
 * Returns TCI_STANDIN_OK, or a failure status with all three slots set to null and nothing held;
 * TCIStandinErrorGet with a null error handle then gives the reason. Release the handles with
 * TCIStandinDisconnect. One session serves one thread at a time; sessions are independent. */
int32_t TCIStandinConnect(const char *catalog, const char *user, void *handles[3]);

/* TCIStandinConnect for an in-memory catalog made by running the schema, then `sqlUtf8` (null
 * or empty for none). */
int32_t TCIStandinConnectSql(const char *sqlUtf8, const char *user, void *handles[3]);

/* Runs SQL (any number of statements) on the session's catalog, for building one. Returns
 * TCI_STANDIN_OK; TCI_STANDIN_SQL_ERROR with SQLite's message in the session's error handle (a
 * file catalog is read-only: every change fails); TCI_STANDIN_BAD_HANDLE for handles that are
 * not a live session. Not a TCI operation: TCIStandinFailAfter does not count it. */
int32_t TCIStandinExecute(void *handles[3], const char *sqlUtf8);

/* Test hook, in the manner of an allocation-failure countdown: the countdown-th TCI operation on
 * this session from now on (1: the next) does nothing and fails with `status`, recorded in its
 * error handle; then the hook is off again. 0 turns it off at once. Counted: TCIHandleAlloc
 * under the session's environment (no error handle: the status only) and every operation that
 * takes an error handle, once its handles have been checked; not TCIHandleFree, the text
 * conversions or the TCIStandin functions. Returns TCI_STANDIN_BAD_ARGUMENT for a countdown
 * with status 0, TCI_STANDIN_BAD_HANDLE for handles that are not a live session. */
int32_t TCIStandinFailAfter(void *handles[3], uint32_t countdown, int32_t status);

/* Frees the handles of TCIStandinConnect (and any handle still allocated under the environment),
 * closes the catalog and sets the three slots to null. Null slots, or a null array, are
 * accepted. */
void TCIStandinDisconnect(void *handles[3]);

/* The last failure recorded in an error handle: its status into *statusOut (may be null) and its
 * message, in English and UTF-8, into message, truncated to capacity bytes with the terminator.
 * A handle with no failure recorded gives status 0 and an empty message. A null error handle
 * gives the last failed connect of the calling thread.
 * Returns TCI_STANDIN_OK, or TCI_STANDIN_BAD_HANDLE when error is neither null nor a live error
 * handle. */
int32_t TCIStandinErrorGet(TCIHandle error, int32_t *statusOut, char *message, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* TVRNSQL_TCI_STANDIN_H */
