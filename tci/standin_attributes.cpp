// Attribute reads and list entries of the stand-in server library: what a translation reads from
// a description once TCIDescribeAny succeeded (the object's kind, its argument or sub-program
// list, each entry's name, position, type code and the two one-byte attributes).
#include <cstring>

#include "tci/standin_handles.h"

using namespace standin;

namespace {

constexpr const char* kGetOp = "TCIAttrGet";

// Which parameter attribute each shape keeps; the kind decides between 108 and 109 for objects.
//   attribute                 object       sub-program  argument  lists
//   123 kind                  x            x
//   4 name, 9 owner           x (9 too)    x (4)        x (4)
//   108 argument list         proc, func   x
//   109 sub-program list      package
//   11, 2, 32, 213                                      x
//   121 entry count                                               x
bool keeps(const ParamRecord& p, uint32_t attribute) {
  const bool callable = p.kind == TCI_KIND_PROCEDURE || p.kind == TCI_KIND_FUNCTION;
  switch (attribute) {
    case TCI_ATTR_PTYPE:
      return p.shape == Shape::kObject || p.shape == Shape::kSubprogram;
    case TCI_ATTR_NAME:
      return p.shape == Shape::kObject || p.shape == Shape::kSubprogram ||
             p.shape == Shape::kArgument;
    case TCI_ATTR_SCHEMA_NAME:
      return p.shape == Shape::kObject;
    case TCI_ATTR_LIST_ARGUMENTS:
      return (p.shape == Shape::kObject && callable) || p.shape == Shape::kSubprogram;
    case TCI_ATTR_LIST_SUBPROGRAMS:
      return p.shape == Shape::kObject && p.kind == TCI_KIND_PACKAGE;
    case TCI_ATTR_POSITION:
    case TCI_ATTR_DATA_TYPE:
    case TCI_ATTR_BYTE32:
    case TCI_ATTR_BYTE213:
      return p.shape == Shape::kArgument;
    case TCI_ATTR_NUM_PARAMS:
      return p.shape == Shape::kArgumentList || p.shape == Shape::kSubprogramList;
    default:
      return false;
  }
}

const char* shapeName(Shape shape) {
  switch (shape) {
    case Shape::kObject:
      return "described object";
    case Shape::kSubprogram:
      return "sub-program";
    case Shape::kArgument:
      return "argument";
    case Shape::kArgumentList:
      return "argument list";
    default:
      return "sub-program list";
  }
}

// A value of fixed width: copied to valueOut, its width to *sizeOut when asked.
template <typename Value>
int32_t put(void* valueOut, uint32_t* sizeOut, Value value) {
  std::memcpy(valueOut, &value, sizeof value);
  if (sizeOut != nullptr) *sizeOut = sizeof value;
  return TCI_STANDIN_OK;
}

// A name: a pointer to the parameter's UTF-8 (not terminated for the caller's use; the length
// counts) and its byte length. The length is required: a pointer alone gives no end.
int32_t putName(ErrorRecord* err, void* valueOut, uint32_t* sizeOut, uint32_t attribute,
                const std::string& name) {
  if (sizeOut == nullptr) {
    return recordFailure(err, TCI_STANDIN_BAD_ARGUMENT, kGetOp,
                         "attribute %u is a name: it needs a place for its length",
                         unsigned(attribute));
  }
  *sizeOut = uint32_t(name.size());
  return put(valueOut, nullptr, reinterpret_cast<const uint8_t*>(name.c_str()));
}

int32_t describeAttribute(ErrorRecord* err, DescribeRecord* d, void* valueOut, uint32_t* sizeOut,
                          uint32_t attribute) {
  switch (attribute) {
    case TCI_ATTR_PARAM:
      if (d->described == nullptr) {
        return recordFailure(err, TCI_STANDIN_NO_DATA, kGetOp,
                             "the describe handle holds no description");
      }
      return put(valueOut, sizeOut, static_cast<void*>(d->described));
    case TCI_ATTR_DESC_PUBLIC:
      return put(valueOut, sizeOut, d->publicOnly);
    default:
      return recordFailure(err, TCI_STANDIN_BAD_ARGUMENT, kGetOp,
                           "a describe handle has no attribute %u", unsigned(attribute));
  }
}

int32_t paramAttribute(ErrorRecord* err, const ParamRecord& p, void* valueOut, uint32_t* sizeOut,
                       uint32_t attribute) {
  if (!keeps(p, attribute)) {
    return recordFailure(err, TCI_STANDIN_BAD_ARGUMENT, kGetOp, "a %s has no attribute %u",
                         shapeName(p.shape), unsigned(attribute));
  }
  switch (attribute) {
    case TCI_ATTR_PTYPE:
      return put(valueOut, sizeOut, p.kind);
    case TCI_ATTR_NAME:
      return putName(err, valueOut, sizeOut, attribute, p.name);
    case TCI_ATTR_SCHEMA_NAME:
      return putName(err, valueOut, sizeOut, attribute, p.owner);
    case TCI_ATTR_LIST_ARGUMENTS:
    case TCI_ATTR_LIST_SUBPROGRAMS:
      return put(valueOut, sizeOut, static_cast<void*>(p.list));
    case TCI_ATTR_POSITION:
      return put(valueOut, sizeOut, p.position);
    case TCI_ATTR_DATA_TYPE:
      return put(valueOut, sizeOut, p.typeCode);
    case TCI_ATTR_BYTE32:
      return put(valueOut, sizeOut, p.attr32);
    case TCI_ATTR_BYTE213:
      return put(valueOut, sizeOut, p.attr213);
    default:  // TCI_ATTR_NUM_PARAMS; the describe bounds a list to 65535 entries
      return put(valueOut, sizeOut, uint16_t(p.entries.size()));
  }
}

}  // namespace

extern "C" int32_t TCIAttrGet(const void* target, uint32_t targetType, void* valueOut,
                              uint32_t* sizeOut, uint32_t attribute, TCIHandle err) {
  Operation op;
  if (auto s = enterOperation(err, kGetOp, target, targetType, &op); s != TCI_STANDIN_OK) return s;
  ErrorRecord* error = op.error;
  HandleRecord* record = op.record;
  if (valueOut == nullptr) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kGetOp, "no place for the value");
  }
  if (targetType == TCI_HTYPE_DESCRIBE) {
    return describeAttribute(error, static_cast<DescribeRecord*>(record), valueOut, sizeOut,
                             attribute);
  }
  if (targetType == kTypeParam) {
    return paramAttribute(error, *static_cast<ParamRecord*>(record), valueOut, sizeOut, attribute);
  }
  return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kGetOp, "a %s handle has no attribute %u",
                       typeName(targetType), unsigned(attribute));
}

extern "C" int32_t TCIParamGet(const void* list, uint32_t listType, TCIHandle err, void** paramOut,
                               uint32_t index) {
  static constexpr const char* kOp = "TCIParamGet";
  ErrorRecord* error = errorRecord(err);
  if (error == nullptr) return TCI_STANDIN_BAD_HANDLE;
  if (paramOut == nullptr) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp, "no place for the parameter");
  }
  *paramOut = nullptr;
  HandleRecord* record = expectHandle(error, kOp, list, listType);
  if (record == nullptr) return TCI_STANDIN_BAD_HANDLE;
  Session* session = nullptr;
  if (auto s = beginOperation(error, kOp, record, &session); s != TCI_STANDIN_OK) return s;
  const auto* p = listType == kTypeParam ? static_cast<const ParamRecord*>(record) : nullptr;
  if (p == nullptr || (p->shape != Shape::kArgumentList && p->shape != Shape::kSubprogramList)) {
    return recordFailure(error, TCI_STANDIN_BAD_ARGUMENT, kOp,
                         "not a list: entries come from an argument or sub-program list");
  }
  // A procedure's argument list starts at 1: index 0, its missing result, is no entry.
  if (index < p->firstIndex || index - p->firstIndex >= p->entries.size()) {
    if (p->entries.empty()) {
      return recordFailure(error, TCI_STANDIN_NO_DATA, kOp, "no entry %u: the %s is empty",
                           unsigned(index), shapeName(p->shape));
    }
    return recordFailure(error, TCI_STANDIN_NO_DATA, kOp,
                         "no entry %u: the %s has entries %u to %u", unsigned(index),
                         shapeName(p->shape), unsigned(p->firstIndex),
                         unsigned(p->firstIndex + p->entries.size() - 1));
  }
  *paramOut = p->entries[index - p->firstIndex];
  return TCI_STANDIN_OK;
}
