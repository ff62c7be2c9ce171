// Handle allocation and release of the stand-in server library, the registry of live handles,
// the failure record of error handles, and the connect and disconnect that hand a program the
// environment, error and service-context handles a translation borrows.
#include "tci/standin_handles.h"

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

// Frees a handle and, first, everything allocated under it (an environment's statements, a
// statement's defines). Searching the registry per child allocates nothing, so a release cannot
// fail halfway; the trees are a few handles deep.
void releaseLocked(HandleRecord* record) {
  for (;;) {
    HandleRecord* child = nullptr;
    for (HandleRecord* h : liveHandles) {
      if (h->parent == record) {
        child = h;
        break;
      }
    }
    if (child == nullptr) break;
    releaseLocked(child);
  }
  liveHandles.erase(record);
  delete record;
}

// The types TCIHandleAlloc creates, and the parent each needs: an environment has none, every
// other type hangs off an environment.
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

HandleRecord* findHandle(const void* handle, uint32_t type) {
  std::lock_guard<std::mutex> lock(registryMutex);
  return findLocked(handle, type);
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

  std::unique_ptr<HandleRecord> record(newRecord(type));
  if (record == nullptr) return TCI_STANDIN_NO_MEMORY;
  record->type = type;
  if (extraMem > 0) {
    record->userMemory.reset(new (std::nothrow) unsigned char[extraMem]());
    if (record->userMemory == nullptr) return TCI_STANDIN_NO_MEMORY;
  }

  // The parent is checked under the same lock as the insertion, so that a parent freed by
  // another thread meanwhile cannot end up with a child.
  std::lock_guard<std::mutex> lock(registryMutex);
  if (type == TCI_HTYPE_ENV) {
    if (parent != nullptr) return TCI_STANDIN_BAD_HANDLE;
  } else {
    record->parent = findLocked(parent, TCI_HTYPE_ENV);
    if (record->parent == nullptr) return TCI_STANDIN_BAD_HANDLE;
  }
  try {
    liveHandles.insert(record.get());
  } catch (const std::bad_alloc&) {
    return TCI_STANDIN_NO_MEMORY;
  }
  if (userMem != nullptr && extraMem > 0) *userMem = record->userMemory.get();
  *handleOut = record.release();
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

extern "C" int32_t TCIStandinConnect(const char* catalogPath, void* handles[3]) {
  if (handles == nullptr) return TCI_STANDIN_BAD_ARGUMENT;
  handles[0] = handles[1] = handles[2] = nullptr;
  if (catalogPath != nullptr) return TCI_STANDIN_NOT_SUPPORTED;

  TCIHandle env = nullptr, err = nullptr, service = nullptr;
  if (int32_t s = TCIHandleAlloc(nullptr, &env, TCI_HTYPE_ENV, 0, nullptr); s != TCI_STANDIN_OK) {
    return s;
  }
  int32_t s = TCIHandleAlloc(env, &err, TCI_HTYPE_ERROR, 0, nullptr);
  if (s == TCI_STANDIN_OK) s = TCIHandleAlloc(env, &service, TCI_HTYPE_SVCCTX, 0, nullptr);
  if (s != TCI_STANDIN_OK) {
    (void)TCIHandleFree(env, TCI_HTYPE_ENV);  // takes the error handle with it
    return s;
  }
  handles[0] = env;
  handles[1] = err;
  handles[2] = service;
  return TCI_STANDIN_OK;
}

extern "C" void TCIStandinDisconnect(void* handles[3]) {
  if (handles == nullptr) return;
  // Children first, each by its own type: a slot the caller already freed, or filled with
  // something else, is then simply not found.
  (void)TCIHandleFree(handles[2], TCI_HTYPE_SVCCTX);
  (void)TCIHandleFree(handles[1], TCI_HTYPE_ERROR);
  (void)TCIHandleFree(handles[0], TCI_HTYPE_ENV);
  handles[0] = handles[1] = handles[2] = nullptr;
}

extern "C" int32_t TCIStandinErrorGet(TCIHandle error, int32_t* statusOut, char* message,
                                      size_t capacity) {
  auto* err = find<ErrorRecord>(error, TCI_HTYPE_ERROR);
  if (err == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (statusOut != nullptr) *statusOut = err->status;
  if (message != nullptr && capacity > 0) std::snprintf(message, capacity, "%s", err->message);
  return TCI_STANDIN_OK;
}
