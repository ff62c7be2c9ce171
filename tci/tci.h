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
#define TCI_TYPE_STRING 5   /* terminated string within the given byte capacity */
#define TCI_TYPE_UINT16 68  /* 16-bit unsigned number (capacity 2) */

/* Describe object types, and the pointer type of a name. */
#define TCI_OTYPE_NAME 1
#define TCI_PTYPE_UNK 0
#define TCI_PTYPE_PROC_OR_FUNC 5
#define TCI_PTYPE_PKG_OR_SYN 7

/* Object kinds (attribute 123). */
#define TCI_KIND_PROCEDURE 3
#define TCI_KIND_FUNCTION 4
#define TCI_KIND_SYNONYM 7

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

int32_t TCIHandleAlloc(const void *parent, TCIHandle *handleOut, uint32_t type, size_t extraMem,
                       void **userMem);
int32_t TCIHandleFree(TCIHandle handle, uint32_t type);
int32_t TCIStmtPrepare(TCIHandle stmt, TCIHandle err, const uint16_t *text, uint32_t byteLength,
                       uint32_t language, uint32_t mode);
int32_t TCIDefineByPos(TCIHandle stmt, TCIHandle *defineOut, TCIHandle err, uint32_t position,
                       void *buffer, int32_t capacity, uint16_t type, void *indicator,
                       uint16_t *returnedLength, uint16_t *returnCode, uint32_t mode);
int32_t TCIDefineArrayOfStruct(TCIHandle define, TCIHandle err, uint32_t valueSkip,
                               uint32_t indicatorSkip, uint32_t lengthSkip, uint32_t codeSkip);
int32_t TCIStmtExecute(TCIHandle service, TCIHandle stmt, TCIHandle err, uint32_t iterations,
                       uint32_t rowOffset, const void *snapIn, void *snapOut, uint32_t mode);
int32_t TCIStmtFetch(TCIHandle stmt, TCIHandle err, uint32_t rows, uint16_t orientation,
                     uint32_t mode);
int32_t TCIDescribeAny(TCIHandle service, TCIHandle err, void *name, uint32_t byteLength,
                       uint8_t nameType, uint8_t infoLevel, uint8_t objectType,
                       TCIHandle describe);
int32_t TCIAttrSet(TCIHandle target, uint32_t targetType, void *value, uint32_t size,
                   uint32_t attribute, TCIHandle err);
int32_t TCIAttrGet(const void *target, uint32_t targetType, void *valueOut, uint32_t *sizeOut,
                   uint32_t attribute, TCIHandle err);
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
