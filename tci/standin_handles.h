// The handle records of the stand-in server library and the registry of live handles. Every
// operation of the stand-in starts here: it looks its handles up by address, so a null, freed or
// foreign pointer, or a handle of the wrong type, is answered with TCI_STANDIN_BAD_HANDLE
// instead of being dereferenced. Internal to tci/; nothing here is exported.
#pragma once

#include <cstdint>
#include <memory>

#include "tci/standin.h"

#pragma GCC visibility push(hidden)

namespace standin {

/// Handle types the stand-in creates itself: define handles (TCIDefineByPos) belong to a
/// statement, parameter descriptors (TCIParamGet, attribute reads) to a describe handle. Neither
/// is allocated by TCIHandleAlloc; both go when their parent goes.
inline constexpr uint32_t kTypeDefine = 6;
inline constexpr uint32_t kTypeParam = TCI_DTYPE_PARAM;

/// The part every handle shares. A handle given out is the address of its HandleRecord.
struct HandleRecord {
  virtual ~HandleRecord() = default;
  uint32_t type = 0;
  HandleRecord* parent = nullptr;  ///< the environment, or the owning statement or describe handle
  std::unique_ptr<unsigned char[]> userMemory;  ///< the extraMem bytes of TCIHandleAlloc
};

/// Type 1: the root of a session; owns every other handle allocated under it.
struct EnvironmentRecord : HandleRecord {};

/// Type 2: the last failure of an operation that was given this error handle.
struct ErrorRecord : HandleRecord {
  int32_t status = 0;
  char message[256] = {};
};

/// Type 3: one session. No catalog is attached yet, so the query and describe operations answer
/// TCI_STANDIN_NOT_SUPPORTED.
struct ServiceRecord : HandleRecord {};

/// Type 4: a statement to prepare, define, execute and fetch.
struct StatementRecord : HandleRecord {};

/// Type 7: the result of describing one object.
struct DescribeRecord : HandleRecord {};

/// The live handle at `handle` if it has type `type`, else null.
HandleRecord* findHandle(const void* handle, uint32_t type);

/// findHandle for a record kind; `type` is the handle type that kind carries.
template <typename Record>
Record* find(const void* handle, uint32_t type) {
  return static_cast<Record*>(findHandle(handle, type));
}

/// Records a failure in `err` (when not null): the status and a message formatted like printf,
/// prefixed with the operation's name. Returns `status`, so that failing is one statement:
///   return recordFailure(err, TCI_STANDIN_BAD_HANDLE, "TCIStmtFetch", "no statement handle");
int32_t recordFailure(ErrorRecord* err, int32_t status, const char* operation, const char* format,
                      ...) __attribute__((format(printf, 4, 5)));

}  // namespace standin

#pragma GCC visibility pop
