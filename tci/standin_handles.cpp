// Handle allocation and release of the stand-in server library, the registry of live handles,
// the failure record of error handles, and the checks every operation starts with (its handles,
// its session's catalog, an injected failure falling due).
#include "tci/standin_handles.h"

#include <sqlite3.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>
#include <unordered_set>

namespace standin {
namespace {

/// Largest extraMem TCIHandleAlloc accepts; the library asks for none, and a cap keeps a wild
/// size from turning into a giant allocation.
constexpr size_t kMaxUserMemory = size_t{1} << 20;

std::mutex registryMutex;
std::unordered_set<HandleRecord*> liveHandles;  // guarded by registryMutex

HandleRecord* findLocked(const void* handle, uint32_t type) {
  if (handle == nullptr) return nullptr;
  auto it = liveHandles.find(static_cast<HandleRecord*>(const_cast<void*>(handle)));
  if (it == liveHandles.end() || (*it)->type != type) return nullptr;
  return *it;
}

void unlink(HandleRecord* record) {
  HandleRecord* parent = record->parent;
  if (parent == nullptr) return;
  if (record->previousSibling != nullptr) {
    record->previousSibling->nextSibling = record->nextSibling;
  } else {
    parent->firstChild = record->nextSibling;
  }
  if (record->nextSibling != nullptr)
    record->nextSibling->previousSibling = record->previousSibling;
}

// Children first: a statement's defines go before the statement, everything under an
// environment before the environment closes the catalog. The trees are at most three deep.
void releaseLocked(HandleRecord* record) {
  while (record->firstChild != nullptr) releaseLocked(record->firstChild);
  unlink(record);
  liveHandles.erase(record);
  delete record;
}

// The types TCIHandleAlloc creates: an environment has no parent, every other type hangs off an
// environment.
bool allocatable(uint32_t type) {
  switch (type) {
    case TCI_HTYPE_ENV:
    case TCI_HTYPE_ERROR:
    case TCI_HTYPE_SVCCTX:
    case TCI_HTYPE_STMT:
    case TCI_HTYPE_DESCRIBE:
      return true;
    default:
      return false;
  }
}

HandleRecord* newRecord(uint32_t type) {
  switch (type) {
    case TCI_HTYPE_ENV:
      return new (std::nothrow) EnvironmentRecord;
    case TCI_HTYPE_ERROR:
      return new (std::nothrow) ErrorRecord;
    case TCI_HTYPE_SVCCTX:
      return new (std::nothrow) ServiceRecord;
    case TCI_HTYPE_STMT:
      return new (std::nothrow) StatementRecord;
    case TCI_HTYPE_DESCRIBE:
      return new (std::nothrow) DescribeRecord;
    default:
      return nullptr;
  }
}

}  // namespace

Session::~Session() { sqlite3_close_v2(db); }

StatementRecord::~StatementRecord() { sqlite3_finalize(prepared); }

HandleRecord* findHandle(const void* handle, uint32_t type) {
  std::lock_guard<std::mutex> lock(registryMutex);
  return findLocked(handle, type);
}

int32_t adopt(HandleRecord* parent, std::unique_ptr<HandleRecord> record, uint32_t type) {
  record->type = type;
  // The parent is checked under the same lock as the insertion, so that a parent freed by
  // another thread meanwhile cannot end up with a child.
  std::lock_guard<std::mutex> lock(registryMutex);
  if (parent != nullptr && liveHandles.count(parent) == 0) return TCI_STANDIN_BAD_HANDLE;
  try {
    liveHandles.insert(record.get());
  } catch (const std::bad_alloc&) {
    return TCI_STANDIN_NO_MEMORY;
  }
  HandleRecord* child = record.release();
  child->parent = parent;
  if (parent != nullptr) {
    child->nextSibling = parent->firstChild;
    if (parent->firstChild != nullptr) parent->firstChild->previousSibling = child;
    parent->firstChild = child;
  }
  return TCI_STANDIN_OK;
}

void release(HandleRecord* record) {
  std::lock_guard<std::mutex> lock(registryMutex);
  releaseLocked(record);
}

void releaseChildren(HandleRecord* parent, uint32_t type) {
  std::lock_guard<std::mutex> lock(registryMutex);
  HandleRecord* child = parent->firstChild;
  while (child != nullptr) {
    HandleRecord* next = child->nextSibling;
    if (child->type == type) releaseLocked(child);
    child = next;
  }
}

Session* sessionOf(HandleRecord* handle) {
  while (handle != nullptr && handle->type != TCI_HTYPE_ENV) handle = handle->parent;
  if (handle == nullptr) return nullptr;
  return static_cast<EnvironmentRecord*>(handle)->session.get();
}

const char* typeName(uint32_t type) {
  switch (type) {
    case TCI_HTYPE_ENV:
      return "environment";
    case TCI_HTYPE_ERROR:
      return "error";
    case TCI_HTYPE_SVCCTX:
      return "service context";
    case TCI_HTYPE_STMT:
      return "statement";
    case TCI_HTYPE_DESCRIBE:
      return "describe";
    case kTypeDefine:
      return "define";
    case kTypeParam:
      return "parameter";
    default:
      return "unknown";
  }
}

int32_t recordFailure(ErrorRecord* err, int32_t status, const char* operation, const char* format,
                      ...) {
  if (err == nullptr) return status;
  err->status = status;
  int prefix = std::snprintf(err->message, sizeof err->message, "%s: ", operation);
  if (prefix < 0 || size_t(prefix) >= sizeof err->message) return status;
  va_list args;
  va_start(args, format);
  std::vsnprintf(err->message + prefix, sizeof err->message - size_t(prefix), format, args);
  va_end(args);
  return status;
}

HandleRecord* expectHandle(ErrorRecord* err, const char* operation, const void* handle,
                           uint32_t type) {
  if (HandleRecord* record = findHandle(handle, type)) return record;
  recordFailure(err, TCI_STANDIN_BAD_HANDLE, operation, "%p is not a live %s handle (type %u)",
                handle, typeName(type), unsigned(type));
  return nullptr;
}

int32_t countOperation(Session* session) {
  if (session == nullptr || session->failCountdown == 0) return TCI_STANDIN_OK;
  if (--session->failCountdown > 0) return TCI_STANDIN_OK;
  return session->failStatus;
}

int32_t enterOperation(const void* err, const char* operation, const void* handle,
                       uint32_t type, Operation* op) {
  op->error = errorRecord(err);
  if (op->error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  op->record = expectHandle(op->error, operation, handle, type);
  if (op->record == nullptr) return TCI_STANDIN_BAD_HANDLE;
  return beginOperation(op->error, operation, op->record, &op->session);
}

int32_t beginOperation(ErrorRecord* err, const char* operation, HandleRecord* handle,
                       Session** session) {
  *session = sessionOf(handle);
  if (*session == nullptr) {
    return recordFailure(err, TCI_STANDIN_NOT_SUPPORTED, operation,
                         "not supported: the environment has no catalog (use TCIStandinConnect)");
  }
  if (int32_t s = countOperation(*session); s != TCI_STANDIN_OK) {
    return recordFailure(err, s, operation, "injected failure %d (TCIStandinFailAfter)", int(s));
  }
  return TCI_STANDIN_OK;
}

}  // namespace standin

using namespace standin;

extern "C" int32_t TCIHandleAlloc(const void* parent, TCIHandle* handleOut, uint32_t type,
                                  size_t extraMem, void** userMem) {
  if (handleOut == nullptr) return TCI_STANDIN_BAD_ARGUMENT;
  *handleOut = nullptr;
  if (userMem != nullptr) *userMem = nullptr;
  if (!allocatable(type)) return TCI_STANDIN_BAD_ARGUMENT;
  if (extraMem > kMaxUserMemory || (extraMem > 0 && userMem == nullptr)) {
    return TCI_STANDIN_BAD_ARGUMENT;
  }
  HandleRecord* env = nullptr;
  if (type == TCI_HTYPE_ENV) {
    if (parent != nullptr) return TCI_STANDIN_BAD_HANDLE;
  } else {
    env = findHandle(parent, TCI_HTYPE_ENV);
    if (env == nullptr) return TCI_STANDIN_BAD_HANDLE;
    if (int32_t s = countOperation(sessionOf(env)); s != TCI_STANDIN_OK) return s;
  }

  std::unique_ptr<HandleRecord> record(newRecord(type));
  if (record == nullptr) return TCI_STANDIN_NO_MEMORY;
  if (extraMem > 0) {
    record->userMemory.reset(new (std::nothrow) unsigned char[extraMem]());
    if (record->userMemory == nullptr) return TCI_STANDIN_NO_MEMORY;
  }
  HandleRecord* handle = record.get();
  if (int32_t s = adopt(env, std::move(record), type); s != TCI_STANDIN_OK) return s;
  if (userMem != nullptr && extraMem > 0) *userMem = handle->userMemory.get();
  *handleOut = handle;
  return TCI_STANDIN_OK;
}

extern "C" int32_t TCIHandleFree(TCIHandle handle, uint32_t type) {
  if (!allocatable(type)) return TCI_STANDIN_BAD_ARGUMENT;
  std::lock_guard<std::mutex> lock(registryMutex);
  HandleRecord* record = findLocked(handle, type);
  if (record == nullptr) return TCI_STANDIN_BAD_HANDLE;
  releaseLocked(record);
  return TCI_STANDIN_OK;
}
