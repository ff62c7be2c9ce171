// The query and describe operations of the stand-in server library: what a translation calls
// to learn a procedure's arguments (prepare, define, execute, fetch, describe, attributes,
// parameters). A session has no catalog yet, so each operation checks its handles, records any
// failure in the error handle and answers TCI_STANDIN_NOT_SUPPORTED.
#include "tci/standin_handles.h"

using namespace standin;

namespace {

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

// The error handle every operation is given, checked first because the other failures are
// recorded in it. Null when `err` is not a live error handle: the operation then returns
// TCI_STANDIN_BAD_HANDLE with nothing recorded.
ErrorRecord* errorRecord(TCIHandle err) { return find<ErrorRecord>(err, TCI_HTYPE_ERROR); }

// Checks that `handle` is a live handle of `type`; on failure records which argument was wrong.
[[nodiscard]] int32_t expect(ErrorRecord* err, const char* operation, const void* handle,
                             uint32_t type) {
  if (findHandle(handle, type) != nullptr) return TCI_STANDIN_OK;
  return recordFailure(err, TCI_STANDIN_BAD_HANDLE, operation,
                       "%p is not a live %s handle (type %u)", handle, typeName(type),
                       unsigned(type));
}

[[nodiscard]] int32_t notSupported(ErrorRecord* err, const char* operation) {
  return recordFailure(err, TCI_STANDIN_NOT_SUPPORTED, operation,
                       "not supported: the session has no catalog to query or describe");
}

}  // namespace

extern "C" int32_t TCIStmtPrepare(TCIHandle stmt, TCIHandle err, const uint16_t* /*text*/,
                                  uint32_t /*byteLength*/, uint32_t /*language*/,
                                  uint32_t /*mode*/) {
  static constexpr const char* kOp = "TCIStmtPrepare";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, stmt, TCI_HTYPE_STMT); s != TCI_STANDIN_OK) return s;
  return notSupported(error, kOp);
}

extern "C" int32_t TCIDefineByPos(TCIHandle stmt, TCIHandle* defineOut, TCIHandle err,
                                  uint32_t /*position*/, void* /*buffer*/, int32_t /*capacity*/,
                                  uint16_t /*type*/, void* /*indicator*/,
                                  uint16_t* /*returnedLength*/, uint16_t* /*returnCode*/,
                                  uint32_t /*mode*/) {
  static constexpr const char* kOp = "TCIDefineByPos";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, stmt, TCI_HTYPE_STMT); s != TCI_STANDIN_OK) return s;
  if (defineOut == nullptr) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp, "no place for the define handle");
  }
  *defineOut = nullptr;
  return notSupported(error, kOp);
}

extern "C" int32_t TCIDefineArrayOfStruct(TCIHandle define, TCIHandle err, uint32_t /*valueSkip*/,
                                          uint32_t /*indicatorSkip*/, uint32_t /*lengthSkip*/,
                                          uint32_t /*codeSkip*/) {
  static constexpr const char* kOp = "TCIDefineArrayOfStruct";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, define, kTypeDefine); s != TCI_STANDIN_OK) return s;
  return notSupported(error, kOp);
}

extern "C" int32_t TCIStmtExecute(TCIHandle service, TCIHandle stmt, TCIHandle err,
                                  uint32_t /*iterations*/, uint32_t /*rowOffset*/,
                                  const void* /*snapIn*/, void* /*snapOut*/, uint32_t /*mode*/) {
  static constexpr const char* kOp = "TCIStmtExecute";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, service, TCI_HTYPE_SVCCTX); s != TCI_STANDIN_OK) return s;
  if (auto s = expect(error, kOp, stmt, TCI_HTYPE_STMT); s != TCI_STANDIN_OK) return s;
  return notSupported(error, kOp);
}

extern "C" int32_t TCIStmtFetch(TCIHandle stmt, TCIHandle err, uint32_t /*rows*/,
                                uint16_t /*orientation*/, uint32_t /*mode*/) {
  static constexpr const char* kOp = "TCIStmtFetch";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, stmt, TCI_HTYPE_STMT); s != TCI_STANDIN_OK) return s;
  return notSupported(error, kOp);
}

extern "C" int32_t TCIDescribeAny(TCIHandle service, TCIHandle err, void* /*name*/,
                                  uint32_t /*byteLength*/, uint8_t /*nameType*/,
                                  uint8_t /*infoLevel*/, uint8_t /*objectType*/,
                                  TCIHandle describe) {
  static constexpr const char* kOp = "TCIDescribeAny";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, service, TCI_HTYPE_SVCCTX); s != TCI_STANDIN_OK) return s;
  if (auto s = expect(error, kOp, describe, TCI_HTYPE_DESCRIBE); s != TCI_STANDIN_OK) return s;
  return notSupported(error, kOp);
}

// The target of an attribute is any live handle of the type the caller names (a describe handle,
// a parameter descriptor, ...): a wrong or unknown type is a bad handle.
extern "C" int32_t TCIAttrSet(TCIHandle target, uint32_t targetType, void* /*value*/,
                              uint32_t /*size*/, uint32_t /*attribute*/, TCIHandle err) {
  static constexpr const char* kOp = "TCIAttrSet";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, target, targetType); s != TCI_STANDIN_OK) return s;
  return notSupported(error, kOp);
}

extern "C" int32_t TCIAttrGet(const void* target, uint32_t targetType, void* /*valueOut*/,
                              uint32_t* /*sizeOut*/, uint32_t /*attribute*/, TCIHandle err) {
  static constexpr const char* kOp = "TCIAttrGet";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, target, targetType); s != TCI_STANDIN_OK) return s;
  return notSupported(error, kOp);
}

extern "C" int32_t TCIParamGet(const void* list, uint32_t listType, TCIHandle err, void** paramOut,
                               uint32_t /*index*/) {
  static constexpr const char* kOp = "TCIParamGet";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (auto s = expect(error, kOp, list, listType); s != TCI_STANDIN_OK) return s;
  if (paramOut == nullptr) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp, "no place for the parameter");
  }
  *paramOut = nullptr;
  return notSupported(error, kOp);
}
