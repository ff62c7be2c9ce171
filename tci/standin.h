/*
 * What the stand-in server library offers besides the operations of tci/tci.h: its status codes,
 * a connect and disconnect that hand out the environment, error and service-context handles a
 * translation borrows, and a way to read the message a failing operation left in an error
 * handle. Programs use these to set up the handles; the translation library never calls them.
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
 * reason codes (59, 83, 123), so the reason a translation reports names the failure exactly. */
#define TCI_STANDIN_OK 0
#define TCI_STANDIN_BAD_HANDLE 9001     /* null, freed or foreign handle, or the wrong type */
#define TCI_STANDIN_NO_SUCH_OBJECT 9002 /* the catalog has no object of that name */
#define TCI_STANDIN_NO_DATA 9003        /* a fetch found no more rows */
#define TCI_STANDIN_NOT_SUPPORTED 9004  /* the stand-in does not implement the operation */
#define TCI_STANDIN_BAD_ARGUMENT 9005   /* an unknown type or code, or a missing out pointer */
#define TCI_STANDIN_NO_MEMORY 9006      /* an allocation failed */
#define TCI_STANDIN_BAD_TEXT 9007       /* a text conversion met invalid input or lacked room */

/* Opens a session: allocates an environment, an error and a service-context handle into
 * handles[0], handles[1] and handles[2], the triple a translation takes as its `handles`.
 * catalogPath: the catalog to serve; null for an empty in-memory one (the only kind this
 * version offers: any path gives TCI_STANDIN_NOT_SUPPORTED).
 * Returns TCI_STANDIN_OK, or a failure status with all three slots set to null and nothing
 * held. Release the handles with TCIStandinDisconnect. */
int32_t TCIStandinConnect(const char *catalogPath, void *handles[3]);

/* Frees the handles of TCIStandinConnect (and any handle still allocated under the environment)
 * and sets the three slots to null. Null slots, or a null array, are accepted. */
void TCIStandinDisconnect(void *handles[3]);

/* The last failure recorded in an error handle: its status into *statusOut (may be null) and its
 * message, in English and UTF-8, into message, truncated to capacity bytes with the terminator.
 * A handle with no failure recorded gives status 0 and an empty message.
 * Returns TCI_STANDIN_OK, or TCI_STANDIN_BAD_HANDLE when error is not a live error handle. */
int32_t TCIStandinErrorGet(TCIHandle error, int32_t *statusOut, char *message, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* TVRNSQL_TCI_STANDIN_H */
