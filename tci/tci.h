/*
 * The server call interface (TCI) as this library uses it: handle types, attribute codes and the
 * operations that describe a called procedure. A deployment links the server's own library; the
 * project builds a stand-in (tci/standin.cpp) for tests and the command. Every operation returns
 * a status: 0 is success, and the low 16 bits of any other status are reported as the reason.
 */
#ifndef TVRNSQL_TCI_H
#define TVRNSQL_TCI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void *TCIHandle;

/* Handle types. */
#define TCI_HTYPE_ENV 1
#define TCI_HTYPE_ERROR 2
#define TCI_HTYPE_SVCCTX 3
#define TCI_HTYPE_STMT 4
#define TCI_HTYPE_DESCRIBE 7
#define TCI_DTYPE_PARAM 53

/* Define types. */
#define TCI_TYPE_STRING 5  /* terminated string within the given byte capacity */
#define TCI_TYPE_UINT16 68 /* 16-bit unsigned number (capacity 2) */

/* Name type of TCIDescribeAny (the name is text), and the object types it describes. */
#define TCI_OTYPE_NAME 1
#define TCI_PTYPE_ANY 0     /* a procedure, function, package or synonym */
#define TCI_PTYPE_PACKAGE 5 /* a package only */
#define TCI_PTYPE_SYNONYM 7 /* a synonym only */

/* Object kinds (attribute 123). */
#define TCI_KIND_PROCEDURE 3
#define TCI_KIND_FUNCTION 4
#define TCI_KIND_PACKAGE 5
#define TCI_KIND_SYNONYM 7

/* Fetch orientation: the next rows. */
#define TCI_FETCH_NEXT 2

/* Attributes. */
#define TCI_ATTR_NAME 4
#define TCI_ATTR_DATA_TYPE 2
#define TCI_ATTR_SCHEMA_NAME 9
#define TCI_ATTR_POSITION 11
#define TCI_ATTR_BYTE32 32
#define TCI_ATTR_LIST_ARGUMENTS 108
#define TCI_ATTR_LIST_SUBPROGRAMS 109
#define TCI_ATTR_NUM_PARAMS 121
#define TCI_ATTR_PTYPE 123
#define TCI_ATTR_PARAM 124
#define TCI_ATTR_BYTE213 213
#define TCI_ATTR_DESC_PUBLIC 250

/* Type code of a cursor-reference argument. */
#define TCI_TYPE_REF_CURSOR 102

/* A new handle of `type` (TCI_HTYPE_ENV with a null parent; the others under an environment),
 * freed with TCIHandleFree or with its environment. */
int32_t TCIHandleAlloc(const void *parent, TCIHandle *handleOut, uint32_t type, size_t extraMem,
                       void **userMem);
/* Frees a handle and everything that belongs to it (a statement's defines, a describe handle's
 * parameters). */
int32_t TCIHandleFree(TCIHandle handle, uint32_t type);
/* Prepares the SQL of `text`, exactly byteLength bytes of UTF-16 without a terminator; language
 * 1, mode 0. Replaces any statement prepared before on the handle, and its defines. */
int32_t TCIStmtPrepare(TCIHandle stmt, TCIHandle err, const uint16_t *text, uint32_t byteLength,
                       uint32_t language, uint32_t mode);
/* Defines where column `position` (from 1) of each fetched row goes: TCI_TYPE_UINT16 with
 * capacity 2, or TCI_TYPE_STRING, a terminated UTF-16 string within `capacity` bytes. The
 * indicator (int16_t: -1 for NULL), returned length (bytes, no terminator) and return code (0,
 * or non-zero when the text was cut) may be null. The define belongs to the statement. */
int32_t TCIDefineByPos(TCIHandle stmt, TCIHandle *defineOut, TCIHandle err, uint32_t position,
                       void *buffer, int32_t capacity, uint16_t type, void *indicator,
                       uint16_t *returnedLength, uint16_t *returnCode, uint32_t mode);
/* Row i of a fetch goes to the define's buffer + i * valueSkip, its indicator, returned length
 * and return code likewise with their own skips. */
int32_t TCIDefineArrayOfStruct(TCIHandle define, TCIHandle err, uint32_t valueSkip,
                               uint32_t indicatorSkip, uint32_t lengthSkip, uint32_t codeSkip);
/* Runs the prepared statement; a query (0 iterations) is left before its first row. */
int32_t TCIStmtExecute(TCIHandle service, TCIHandle stmt, TCIHandle err, uint32_t iterations,
                       uint32_t rowOffset, const void *snapIn, void *snapOut, uint32_t mode);
/* Fetches up to `rows` rows (orientation TCI_FETCH_NEXT) into the defines, row i at the define's
 * array offsets. Fewer rows left than asked: those are fetched and the status is "no data". */
int32_t TCIStmtFetch(TCIHandle stmt, TCIHandle err, uint32_t rows, uint16_t orientation,
                     uint32_t mode);
/* Describes the object named by `name` (UTF-8, byteLength bytes, nameType TCI_OTYPE_NAME,
 * infoLevel 0) as one of the TCI_PTYPE_ kinds into `describe`; its parameter is attribute
 * TCI_ATTR_PARAM of the describe handle. Fails when no such object exists. */
int32_t TCIDescribeAny(TCIHandle service, TCIHandle err, void *name, uint32_t byteLength,
                       uint8_t nameType, uint8_t infoLevel, uint8_t objectType, TCIHandle describe);
/* Sets an attribute of a handle (on a describe handle: TCI_ATTR_DESC_PUBLIC, 32 bits). */
int32_t TCIAttrSet(TCIHandle target, uint32_t targetType, void *value, uint32_t size,
                   uint32_t attribute, TCIHandle err);
/* Reads an attribute of a handle or parameter: numbers into valueOut at their width, handles
 * and parameters as a pointer, names as a UTF-8 pointer (owned by the parameter) with their
 * byte length in *sizeOut. */
int32_t TCIAttrGet(const void *target, uint32_t targetType, void *valueOut, uint32_t *sizeOut,
                   uint32_t attribute, TCIHandle err);
/* Entry `index` of a parameter list (a parameter of type TCI_DTYPE_PARAM). */
int32_t TCIParamGet(const void *list, uint32_t listType, TCIHandle err, void **paramOut,
                    uint32_t index);

/* UTF-16 to UTF-8 into out (capacity bytes, 3 per character suffice); returns the bytes
 * written; the caller terminates. */
size_t lxgucs2utf(uint8_t *out, size_t capacity, const uint16_t *text, size_t length,
                  int32_t *status);
/* UTF-8 to UTF-16 into out (capacity in bytes); returns the characters written; the caller
 * terminates. */
size_t lxgutf2ucs(uint16_t *out, size_t capacity, const uint8_t *text, size_t length,
                  int32_t *status);

#ifdef __cplusplus
}
#endif

#endif /* TVRNSQL_TCI_H */
