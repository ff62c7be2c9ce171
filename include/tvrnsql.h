/*
 * tvrnsql: rewrites one SQL statement written in the portable ODBC syntax (escape clauses
 * {fn}, {d}/{t}/{ts}, {oj}, {escape}, {call}/{?=call}, brace and long vendor form) into the
 * server's native dialect, and derives a SELECT from an UPDATE or INSERT statement.
 *
 * The whole ABI of the library. C99 and C++; text is UTF-16 in uint16_t code units (the same
 * type as a 16-bit SQLWCHAR), always null-terminated. No call keeps state between calls; calls
 * on different buffers and handles may run at the same time.
 */
#ifndef TVRNSQL_H
#define TVRNSQL_H

#include <stdint.h>
#include <stdio.h>

#if defined(_WIN32)
#define TVRNSQL_API __declspec(dllexport)
#elif defined(__GNUC__)
#define TVRNSQL_API __attribute__((visibility("default")))
#else
#define TVRNSQL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Reason codes reported for a failed translation (see ODBCSqlToTVRNSqlEx). Any other value is a
 * status of the server call interface, passed on unchanged. */
#define TVRNSQL_REASON_MALFORMED 59     /* a clause or the statement is malformed */
#define TVRNSQL_REASON_NO_MEMORY 83     /* an allocation failed */
#define TVRNSQL_REASON_UNSUPPORTED 123  /* a scalar function the translator does not support */
#define TVRNSQL_REASON_NO_ROOM 65536u   /* the result does not fit the caller's buffer */

/* Translates one statement in place.
 *
 * handles: the caller's environment, error and service-context handles of the server call
 * interface (only used when a call clause is described; may be null otherwise).
 * statement: the statement, rewritten in place. There is no capacity argument: the buffer must
 * have room for the translated text, which can be longer than the input (markers gain digits,
 * a call clause becomes an anonymous block). New callers use ODBCSqlToTVRNSqlEx instead.
 * markerCountOut: receives the number of bind markers.
 * argTypesOut, attr32ListOut, attr213ListOut: written only when a describe option is nonzero;
 * they receive per-argument arrays (or null), which the caller releases with free().
 * refCursorCountOut, refCursorPositionsOut: the number of cursor-reference markers that the
 * description inserted and, when it is nonzero, a malloc'ed array of their 1-based positions.
 * Returns 1 on success, 0 on failure. After a failure the buffer may hold a partial translation:
 * the clauses right of the failing one keep their new text. */
TVRNSQL_API int32_t ODBCSqlToTVRNSql(void **handles, uint16_t *statement, uint16_t *markerCountOut,
                                     uint16_t **argTypesOut, uint16_t *refCursorCountOut,
                                     uint16_t **refCursorPositionsOut, uint8_t **attr32ListOut,
                                     uint8_t **attr213ListOut, uint16_t serverVersion,
                                     uint32_t describeOption1, uint32_t describeOption2,
                                     uint32_t describeOption3, const uint16_t *defaultSchema);

/* What a translation learnt about the statement's call clause ({call ...} or {?=call ...}). */
typedef struct TVRNSqlCallInfo {
  uint32_t callForm;          /* 0: no call clause; 256: {?=call ...}; 512: {call ...} */
  uint16_t valueCount;        /* values in the call: arguments, the return value and resultset
                               * items (adjusted by the description when one was asked for) */
  uint16_t parsedMarkerCount; /* bind markers in the call as the call parser counted them */
  uint16_t parsedValueCount;  /* values in the call as the call parser counted them */
  uint16_t argumentCount;     /* entries of the argument arrays (argTypes, attr32List,
                               * attr213List) a described call hands out; 0 without them */
} TVRNSqlCallInfo;

/* The capacity-aware form of ODBCSqlToTVRNSql: the same 13 parameters, then
 * statementCapacity: the room of the statement buffer in code units, terminator included;
 * requiredCapacityOut (may be null): receives the capacity the result needs, terminator
 * included, whether or not it fits;
 * reasonOut (may be null): receives the reason of a failure: TVRNSQL_REASON_MALFORMED,
 * TVRNSQL_REASON_NO_MEMORY, TVRNSQL_REASON_UNSUPPORTED, a server status, or
 * TVRNSQL_REASON_NO_ROOM; 0 on success. A called procedure the server cannot resolve (unknown,
 * or neither callable nor a synonym) is not a failure: the call stays as the parser wrote it.
 * When the result does not fit, the call returns 0 with TVRNSQL_REASON_NO_ROOM, writes the needed
 * capacity, leaves the statement buffer unchanged, writes no other output and releases any
 * argument arrays it built: call again with a larger buffer. After any other failure the partial
 * translation is copied back (as ODBCSqlToTVRNSql does) and the outputs behave as for
 * ODBCSqlToTVRNSql; a partial translation that does not fit leaves the buffer and the outputs
 * unchanged, with the failure's own reason. A statement that is not terminated within
 * statementCapacity fails with TVRNSQL_REASON_MALFORMED and a required capacity of 0 (unknown),
 * and is left unchanged.
 * callInfoOut (may be null): receives what the translation learnt about a call clause; written
 * on success only. */
TVRNSQL_API int32_t ODBCSqlToTVRNSqlEx(
    void **handles, uint16_t *statement, uint16_t *markerCountOut, uint16_t **argTypesOut,
    uint16_t *refCursorCountOut, uint16_t **refCursorPositionsOut, uint8_t **attr32ListOut,
    uint8_t **attr213ListOut, uint16_t serverVersion, uint32_t describeOption1,
    uint32_t describeOption2, uint32_t describeOption3, const uint16_t *defaultSchema,
    uint32_t statementCapacity, uint32_t *requiredCapacityOut, uint32_t *reasonOut,
    TVRNSqlCallInfo *callInfoOut);

/* Derives a SELECT statement from an UPDATE (mode 2) or INSERT (mode 4) statement by scanning
 * its text: "UPDATE t SET a=1, b='x' WHERE c=2" gives "SELECT a,b FROM t" and the table name "t".
 * Any other mode returns 0 and writes nothing. Returns 1 on success, 0 when a keyword is missing;
 * after a failure selectOut may hold a partial text without a terminator.
 * Neither buffer has a capacity argument. tableOut needs the source's length + 1 code units.
 * selectOut needs TVRNSQL_SELECT_CAPACITY(n) code units for a source of n code units: the
 * column names of an UPDATE are words left of each '=', and with '=' inside expressions they can
 * overlap, so the text can be longer than the source. Callers that cannot size it so use
 * ParseSQLStrEx. */
TVRNSQL_API int32_t ParseSQLStr(const uint16_t *source, uint16_t *selectOut, uint16_t *tableOut,
                                uint16_t mode);

/* Room ParseSQLStr may need in selectOut for a source of n code units (terminator included). */
#define TVRNSQL_SELECT_CAPACITY(n) ((uint64_t)(n) * ((uint64_t)(n) + 3u) / 2u + 16u)

/* ParseSQLStr with capacities (code units, terminator included). When an output would not fit,
 * returns 0, writes nothing past either capacity (selectOut then holds a truncated text without a
 * terminator) and, if requiredSelectOut is not null, stores there the room the SELECT text needs
 * (terminator included, capped at UINT32_MAX); it is also stored on success. A null buffer with
 * capacity 0 asks for the room only. After a missing keyword or with an unknown mode,
 * requiredSelectOut is left untouched. */
TVRNSQL_API int32_t ParseSQLStrEx(const uint16_t *source, uint16_t *selectOut,
                                  uint32_t selectCapacity, uint16_t *tableOut,
                                  uint32_t tableCapacity, uint16_t mode,
                                  uint32_t *requiredSelectOut);

/* Returns p + 1, also when p points at the terminator. */
TVRNSQL_API uint16_t *CharNextW(const uint16_t *p);

/* Tracing. Bit 8 of the mask turns trace lines on; they go to the stream (UTF-8 text, one
 * flush per line). A null stream turns them off. Set this before translating: the settings are
 * process-wide and only read by the translations. */
#define TVRNSQL_TRACE_ON 8u
TVRNSQL_API void TVRNSqlSetTrace(uint8_t mask, FILE *stream);

#ifdef __cplusplus
}
#endif

#endif /* TVRNSQL_H */
