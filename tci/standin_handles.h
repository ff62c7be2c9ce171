// The handle records of the stand-in server library and the registry of live handles. Every
// operation of the stand-in starts here: it looks its handles up by address, so a null, freed or
// foreign pointer, or a handle of the wrong type, is answered with TCI_STANDIN_BAD_HANDLE
// instead of being dereferenced. Internal to tci/; nothing here is exported.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tci/standin.h"

struct sqlite3;
struct sqlite3_stmt;

#pragma GCC visibility push(hidden)

namespace standin {

/// Handle types the stand-in creates itself: define handles (TCIDefineByPos) belong to a
/// statement, parameter descriptors (TCIDescribeAny) to a describe handle. Neither is allocated
/// by TCIHandleAlloc; both go when their parent goes.
inline constexpr uint32_t kTypeDefine = 6;
inline constexpr uint32_t kTypeParam = TCI_DTYPE_PARAM;

/// The part every handle shares. A handle given out is the address of its HandleRecord. The
/// children form an intrusive list, so that releasing a tree allocates nothing and cannot fail.
struct HandleRecord {
  virtual ~HandleRecord() = default;
  uint32_t type = 0;
  HandleRecord* parent = nullptr;  ///< the environment, or the owning statement or describe handle
  HandleRecord* firstChild = nullptr;
  HandleRecord* nextSibling = nullptr;
  HandleRecord* previousSibling = nullptr;
  std::unique_ptr<unsigned char[]> userMemory;  ///< the extraMem bytes of TCIHandleAlloc
};

/// What a connect attaches to an environment: the catalog and the state of one session.
struct Session {
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();                  ///< closes the catalog
  sqlite3* db = nullptr;       ///< the catalog
  std::string user;            ///< the connected user's schema; empty for PUBLIC only
  uint32_t failCountdown = 0;  ///< TCIStandinFailAfter: operations until the injected failure
  int32_t failStatus = 0;
};

/// Type 1: the root of a session; owns every other handle allocated under it. An environment
/// from TCIHandleAlloc has no session: operations under it answer TCI_STANDIN_NOT_SUPPORTED.
struct EnvironmentRecord : HandleRecord {
  std::unique_ptr<Session> session;
};

/// Type 2: the last failure of an operation that was given this error handle.
struct ErrorRecord : HandleRecord {
  int32_t status = 0;
  char message[512] = {};
};

/// Type 3: the service context, the session as the operations that run SQL name it.
struct ServiceRecord : HandleRecord {};

/// Where a statement stands between execute and fetch.
enum class Cursor { kNotExecuted, kRowReady, kNeedStep, kDone };

/// Type 4: a statement to prepare, define, execute and fetch. Its defines are its children.
struct StatementRecord : HandleRecord {
  ~StatementRecord() override;  ///< finalizes the prepared statement
  sqlite3_stmt* prepared = nullptr;
  Cursor cursor = Cursor::kNotExecuted;
};

/// Type 6: where one column of each fetched row goes. Row i lands at the address plus i times
/// the skip; the skips start as the plain array layout (capacity, and the width of each field).
struct DefineRecord : HandleRecord {
  uint32_t position = 0;  ///< the column, from 1
  unsigned char* buffer = nullptr;
  int32_t capacity = 0;  ///< bytes
  uint16_t valueType = 0;
  unsigned char* indicator = nullptr;       ///< int16_t
  unsigned char* returnedLength = nullptr;  ///< uint16_t
  unsigned char* returnCode = nullptr;      ///< uint16_t
  uint32_t valueSkip = 0, indicatorSkip = 2, lengthSkip = 2, codeSkip = 2;
};

/// Type 53: one parameter descriptor of a description. What it stands for decides which
/// attributes it has (see tci/standin_attributes.cpp).
enum class Shape {
  kObject,          ///< the described object: procedure, function, package or synonym
  kSubprogram,      ///< an entry of a package's sub-program list
  kArgument,        ///< an entry of an argument list
  kArgumentList,    ///< attribute 108 of a procedure, function or sub-program
  kSubprogramList,  ///< attribute 109 of a package
};

struct ParamRecord : HandleRecord {
  Shape shape = Shape::kObject;
  uint8_t kind = 0;  ///< TCI_KIND_ (objects and sub-programs)
  std::string name;  ///< attribute 4: the object's, sub-program's or argument's; a synonym's target
  std::string owner;  ///< attribute 9: the object's owner; a synonym's target owner
  uint16_t position = 0, typeCode = 0;  ///< arguments
  uint8_t attr32 = 0, attr213 = 0;      ///< arguments
  ParamRecord* list = nullptr;          ///< attribute 108 or 109
  std::vector<ParamRecord*> entries;    ///< lists: entry firstIndex + i is entries[i]
  uint32_t firstIndex = 0;              ///< lists: 1 for an argument list without a result
  uint32_t generation = 0;              ///< the describe that made it
};

/// Type 7: the result of describing one object. The parameters are its children and live until
/// the handle is freed or describes again.
struct DescribeRecord : HandleRecord {
  ParamRecord* described = nullptr;  ///< attribute 124; null before a successful describe
  int32_t publicOnly = 0;            ///< attribute 250: non-zero limits synonyms to PUBLIC ones
  uint32_t generation = 0;           ///< counts the describes, to tell new parameters from old
};

/// The live handle at `handle` if it has type `type`, else null.
HandleRecord* findHandle(const void* handle, uint32_t type);

/// findHandle for a record kind; `type` is the handle type that kind carries.
template <typename Record>
Record* find(const void* handle, uint32_t type) {
  return static_cast<Record*>(findHandle(handle, type));
}

/// Registers `record` as a live handle of `type` under `parent` (null for an environment).
/// Returns TCI_STANDIN_OK with the registry owning the record, or TCI_STANDIN_BAD_HANDLE when
/// `parent` is not live, or TCI_STANDIN_NO_MEMORY; on failure the record is deleted.
[[nodiscard]] int32_t adopt(HandleRecord* parent, std::unique_ptr<HandleRecord> record,
                            uint32_t type);

/// Frees a live handle and everything under it.
void release(HandleRecord* record);

/// Frees the children of `parent` that have `type` (a statement's defines, a describe handle's
/// parameters), with everything under them.
void releaseChildren(HandleRecord* parent, uint32_t type);

/// The session a handle belongs to (through its parents), or null when its environment has no
/// catalog.
Session* sessionOf(HandleRecord* handle);

/// A readable name of a handle type, for messages.
const char* typeName(uint32_t type);

/// Records a failure in `err` (when not null): the status and a message formatted like printf,
/// prefixed with the operation's name. Returns `status`, so that failing is one statement:
///   return recordFailure(err, TCI_STANDIN_BAD_HANDLE, "TCIStmtFetch", "no statement handle");
int32_t recordFailure(ErrorRecord* err, int32_t status, const char* operation, const char* format,
                      ...) __attribute__((format(printf, 4, 5)));

/// The error handle every operation is given, checked first because the other failures are
/// recorded in it. Null when `err` is not a live error handle: the operation then returns
/// TCI_STANDIN_BAD_HANDLE with nothing recorded.
inline ErrorRecord* errorRecord(const void* err) { return find<ErrorRecord>(err, TCI_HTYPE_ERROR); }

/// The live handle of `type` at `handle`, or null after recording TCI_STANDIN_BAD_HANDLE.
HandleRecord* expectHandle(ErrorRecord* err, const char* operation, const void* handle,
                           uint32_t type);

/// The step every operation takes once its handles are found: the session of `handle` must have
/// a catalog (else TCI_STANDIN_NOT_SUPPORTED), and an injected failure that falls due fails the
/// operation here. Stores the session and returns TCI_STANDIN_OK, or the recorded status.
[[nodiscard]] int32_t beginOperation(ErrorRecord* err, const char* operation, HandleRecord* handle,
                                     Session** session);

/// What an operation on one handle finds first: its error record, the handle and its session.
struct Operation {
  ErrorRecord* error = nullptr;
  HandleRecord* record = nullptr;
  Session* session = nullptr;
};

/// The opening of an operation on one handle: errorRecord, expectHandle and beginOperation in
/// turn. TCI_STANDIN_OK with `op` filled, or the status to return (recorded when `err` is live).
[[nodiscard]] int32_t enterOperation(const void* err, const char* operation, const void* handle,
                                     uint32_t type, Operation* op);

/// Counts one operation against the session's injected failure: its status when it falls due,
/// else TCI_STANDIN_OK.
[[nodiscard]] int32_t countOperation(Session* session);

}  // namespace standin

#pragma GCC visibility pop
