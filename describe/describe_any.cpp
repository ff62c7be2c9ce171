// The describe path: bcoDescribeProcedure splits "owner.package.proc", resolves it with the
// server's describe operation (packages, synonyms for a package or for a whole name), walks the
// argument list, and with the first describe option rewrites the call: arguments the caller left
// out become ":NAME" markers (all of them when the caller wrote none, the cursor references when
// it wrote some), a function returning a cursor becomes "BEGIN :L_RefCursor := f( ... )", and the
// caller's literal arguments leave the description. The argument lists go to the ServerLink.
#include "describe/describe_any.h"

#include <algorithm>
#include <cstring>

#include "call/call_argument.h"
#include "describe/describe_shared.h"
#include "describe/describe_v7.h"
#include "describe/upper_case.h"
#include "driver/memory.h"
#include "driver/scratch.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/translators.h"
#include "tci/tci.h"

namespace {

constexpr uint32_t kPartCapacity = 31;  // characters of a name part, terminator included
constexpr uint32_t kWideNameCapacity = 93;
constexpr uint32_t kUtf8NameCapacity = 3 * kWideNameCapacity;
constexpr uint32_t kSubprogramCapacity = 96;

// The three name parts of one description.
struct NameParts {
  uint16_t owner[kPartCapacity];
  uint16_t package[kPartCapacity];
  uint16_t procedure[kPartCapacity];
};

// A server name (UTF-8, pointer and length, as attribute 4 or 9 gives it) into a part slot,
// terminated. False when it does not convert or fit: a cut name could name another object.
[[nodiscard]] bool toPart(const uint8_t* utf8, uint32_t length, uint16_t* part) {
  int32_t status = 0;
  part[0] = 0;
  const size_t units =
      length == 0 ? 0
                  : lxgutf2ucs(part, (kPartCapacity - 1) * sizeof(uint16_t), utf8, length, &status);
  if (status != 0 || units >= kPartCapacity || (units == 0 && length != 0)) return false;
  part[units] = 0;
  return true;
}

// The longest name the server may hand over for one argument or sub-program.
constexpr uint32_t kServerNameMax = 1u << 20;

bool quotedName(const uint16_t* name) { return name[0] == '"'; }

// Resolves a name with the describe operation; the three part slots hold kPartCapacity each.
struct Resolver {
  ConversionContext* ctx;
  uint16_t* owner;
  uint16_t* package;
  uint16_t* procedure;
  uint16_t* wide = nullptr;  // kWideNameCapacity
  uint8_t* utf8 = nullptr;   // kUtf8NameCapacity
  CallText name{};

  void* err() const { return serverError(ctx); }
  void* describeHandle() const { return ctx->link->describeHandle; }

  void startName() {
    wide[0] = 0;
    name = CallText{wide, 0, kWideNameCapacity, false};
  }
  void appendPart(const uint16_t* part) { callTextAppend(&name, part, bcuLength(part)); }
  void appendDot() { callTextAppend(&name, "."); }

  // TCIDescribeAny on the name as built, in UTF-8.
  int32_t describe(uint8_t objectType) {
    int32_t status = 0;
    size_t bytes = lxgucs2utf(utf8, kUtf8NameCapacity - 1, wide, name.length, &status);
    if (bytes >= kUtf8NameCapacity) bytes = kUtf8NameCapacity - 1;
    utf8[bytes] = 0;
    return TCIDescribeAny(serverService(ctx), err(), utf8, uint32_t(bytes), TCI_OTYPE_NAME, 0,
                          objectType, describeHandle());
  }

  int32_t publicSynonyms() {
    int32_t zero = 0;
    return TCIAttrSet(describeHandle(), TCI_HTYPE_DESCRIBE, &zero, sizeof zero,
                      TCI_ATTR_DESC_PUBLIC, err());
  }

  int32_t describedParam(void** param) {
    return TCIAttrGet(describeHandle(), TCI_HTYPE_DESCRIBE, param, nullptr, TCI_ATTR_PARAM, err());
  }

  int32_t kindOf(void* param, uint8_t* kind) {
    return TCIAttrGet(param, TCI_DTYPE_PARAM, kind, nullptr, TCI_ATTR_PTYPE, err());
  }

  Status synonymStep(bool replaceProcedure, void** found);
  Status packageWalk(void** found);
};

// A synonym: its target's name and owner replace the name parts, and the target is described.
Status Resolver::synonymStep(bool replaceProcedure, void** found) {
  void* param = nullptr;
  const uint8_t* target = nullptr;
  const uint8_t* targetOwner = nullptr;
  uint32_t targetLength = 0, ownerLength = 0;
  int32_t status = describedParam(&param);
  if (status == 0) {
    status = TCIAttrGet(param, TCI_DTYPE_PARAM, &target, &targetLength, TCI_ATTR_NAME, err());
  }
  if (status == 0) {
    status =
        TCIAttrGet(param, TCI_DTYPE_PARAM, &targetOwner, &ownerLength, TCI_ATTR_SCHEMA_NAME, err());
  }
  if (status != 0) return bcoServerFail(ctx, status);
  if (!toPart(target, targetLength, package) || !toPart(targetOwner, ownerLength, owner)) {
    return bcoFail(ctx, kReasonMalformed);  // the name stays unresolved
  }
  startName();
  if (owner[0] != 0) {
    appendPart(owner);
    appendDot();
  }
  if (!replaceProcedure) {
    // The synonym stood for owner.package: describe the package it names.
    appendPart(package);
    if ((status = describe(TCI_PTYPE_PACKAGE)) != 0) return bcoServerFail(ctx, status);
    return packageWalk(found);
  }
  // The synonym stood for the whole name: its target is the procedure.
  std::memcpy(procedure, package, kPartCapacity * sizeof(uint16_t));
  package[0] = 0;
  appendPart(procedure);
  if ((status = describe(TCI_PTYPE_ANY)) != 0) return bcoServerFail(ctx, status);
  uint8_t kind = 0;
  if ((status = describedParam(&param)) != 0 || (status = kindOf(param, &kind)) != 0) {
    return bcoServerFail(ctx, status);
  }
  if (kind == TCI_KIND_PROCEDURE || kind == TCI_KIND_FUNCTION) {
    *found = param;
    return kOk;
  }
  return packageWalk(found);
}

// A package: the sub-program whose name equals the procedure part.
Status Resolver::packageWalk(void** found) {
  void* param = nullptr;
  void* list = nullptr;
  uint16_t count = 0;
  int32_t status = describedParam(&param);
  if (status == 0) {
    status = TCIAttrGet(param, TCI_DTYPE_PARAM, &list, nullptr, TCI_ATTR_LIST_SUBPROGRAMS, err());
  }
  if (status == 0) {
    status = TCIAttrGet(list, TCI_DTYPE_PARAM, &count, nullptr, TCI_ATTR_NUM_PARAMS, err());
  }
  if (status != 0) return bcoServerFail(ctx, status);
  uint16_t subprogram[kSubprogramCapacity];
  const size_t procedureLength = bcuLength(procedure);
  for (uint32_t i = 0; i < count; ++i) {
    void* entry = nullptr;
    const uint8_t* utf8Name = nullptr;
    uint32_t length = 0;
    if ((status = TCIParamGet(list, TCI_DTYPE_PARAM, err(), &entry, i)) != 0 ||
        (status = TCIAttrGet(entry, TCI_DTYPE_PARAM, &utf8Name, &length, TCI_ATTR_NAME, err())) !=
            0) {
      return bcoServerFail(ctx, status);
    }
    if (length > kServerNameMax) return bcoFail(ctx, kReasonMalformed);
    ScratchPtr<uint16_t> converted(nullptr, uint32_t((length + 1) * sizeof(uint16_t)),
                                   Fill::kZeroed, Fill::kZeroed);
    if (!converted) return bcoFail(ctx, kReasonNoMemory);
    int32_t convertStatus = 0;
    size_t units =
        lxgutf2ucs(converted.get(), length * sizeof(uint16_t), utf8Name, length, &convertStatus);
    if (units > length) units = length;
    if (units > kSubprogramCapacity - 1) units = kSubprogramCapacity - 1;
    std::memcpy(subprogram, converted.get(), units * sizeof(uint16_t));
    subprogram[units] = 0;
    if ((procedureLength == units || quotedName(procedure)) &&
        bcuNamesEqual(procedure, subprogram) != 0) {
      *found = entry;
      return kOk;
    }
  }
  return kFail;  // no such sub-program: no report
}

// Splits "a.b.c" in place at the dots the literal-skipping search finds: the last part is the
// procedure, the one before the package, the one before that the owner; more parts keep the
// last three.
void splitName(uint16_t* name, uint16_t** owner, uint16_t** package, uint16_t** procedure) {
  uint16_t* parts[3] = {nullptr, nullptr, name};  // owner, package, procedure
  for (uint16_t* p = name; const uint16_t* dot = bcuFstristr_SkipLiteral(p, ".");) {
    uint16_t* at = name + (dot - name);
    *at = 0;
    parts[0] = parts[1];
    parts[1] = parts[2];
    parts[2] = at + 1;
    p = at + 1;
  }
  *owner = parts[0];
  *package = parts[1];
  *procedure = parts[2];
}

// A part into its slot; false when it does not fit.
bool copyPart(uint16_t* slot, const uint16_t* part) {
  slot[0] = 0;
  if (part == nullptr) return true;
  const size_t length = bcuLength(part);
  if (length >= kPartCapacity) return false;
  std::memcpy(slot, part, (length + 1) * sizeof(uint16_t));
  return true;
}

void appendQualifiedName(CallText* text, const NameParts& parts) {
  if (parts.owner[0] != 0) {
    callTextAppend(text, parts.owner, bcuLength(parts.owner));
    callTextAppend(text, ".");
  }
  if (parts.package[0] != 0) {
    callTextAppend(text, parts.package, bcuLength(parts.package));
    callTextAppend(text, ".");
  }
  callTextAppend(text, parts.procedure, bcuLength(parts.procedure));
}

}  // namespace

Status bcoDescribeAnyObject(ConversionContext* ctx, uint16_t* owner, uint16_t* package,
                            uint16_t* procedure, void** param) {
  for (uint16_t* part : {owner, package, procedure}) {
    if (part[0] != 0 && !quotedName(part)) bcuUpperBuffer(part, bcuLength(part));
  }
  if (owner[0] != 0 && package[0] == 0) return bcoFail(ctx, kReasonMalformed);
  ScratchPtr<uint16_t> wide(nullptr, uint32_t(kWideNameCapacity * sizeof(uint16_t)), Fill::kZeroed,
                            Fill::kZeroed);
  if (!wide) return bcoFail(ctx, kReasonNoMemory);
  ScratchPtr<uint8_t> utf8(nullptr, uint32_t(kUtf8NameCapacity), Fill::kZeroed, Fill::kZeroed);
  if (!utf8) return bcoFail(ctx, kReasonNoMemory);

  Resolver r{ctx, owner, package, procedure, wide.get(), utf8.get()};
  int32_t status = 0;

  // "owner.package" first: a package (then its sub-program), or a synonym for one.
  r.startName();
  if (owner[0] != 0) {
    r.appendPart(owner);
    r.appendDot();
  }
  r.appendPart(package);
  const bool prefix = r.name.length > 0;
  const CallText prefixName = r.name;
  if (prefix) {
    if (r.describe(TCI_PTYPE_PACKAGE) == 0) return r.packageWalk(param);
    if ((status = r.publicSynonyms()) != 0) return bcoServerFail(ctx, status);
    if (r.describe(TCI_PTYPE_SYNONYM) == 0) return r.synonymStep(false, param);
  }

  // The whole name: a procedure or function, or a synonym for one.
  r.name = prefixName;
  if (prefix) r.appendDot();
  r.appendPart(procedure);
  if ((status = r.describe(TCI_PTYPE_ANY)) == 0) {
    void* found = nullptr;
    uint8_t kind = 0;
    if ((status = r.describedParam(&found)) != 0 || (status = r.kindOf(found, &kind)) != 0) {
      return bcoServerFail(ctx, status);
    }
    if (kind == TCI_KIND_PROCEDURE || kind == TCI_KIND_FUNCTION) {
      *param = found;
      return kOk;
    }
    if (kind == TCI_KIND_SYNONYM) return r.synonymStep(!prefix, param);
    return bcoFail(ctx, 0);  // neither callable nor a synonym
  }
  if (package[0] != 0) return bcoServerFail(ctx, status);
  if ((status = r.publicSynonyms()) != 0 || (status = r.describe(TCI_PTYPE_SYNONYM)) != 0) {
    return bcoServerFail(ctx, status);
  }
  return r.synonymStep(true, param);
}

Status bcoDescribeProcedure(ConversionContext* ctx, uint16_t* name, uint16_t* statement,
                            int32_t argCount, CallArgument* args) {
  bcuTrace("bcoDescribeProcedure", ctx);
  bcuTrace("Procedure Name", name);
  ctx->refCursorCount = 0;
  ServerLink* link = ctx->link;
  if (link->describeHandle == nullptr) {
    if (int32_t s =
            TCIHandleAlloc(serverEnv(ctx), &link->describeHandle, TCI_HTYPE_DESCRIBE, 0, nullptr);
        s != 0) {
      link->describeHandle = nullptr;
      return bcoServerFail(ctx, s);
    }
  }
  uint16_t *owner, *package, *procedure;
  splitName(name, &owner, &package, &procedure);
  if (link->serverVersion == 7) {
    return bcoDescribeProcedureV7(ctx, owner, procedure, package, argCount, args);
  }

  ScratchPtr<NameParts> parts(nullptr, uint32_t(sizeof(NameParts)), Fill::kZeroed, Fill::kZeroed);
  if (!parts) return bcoFail(ctx, kReasonNoMemory);
  if (!copyPart(parts->owner, owner) || !copyPart(parts->package, package) ||
      !copyPart(parts->procedure, procedure)) {
    return bcoFail(ctx, kReasonMalformed);
  }
  void* object = nullptr;
  if (bcoDescribeAnyObject(ctx, parts->owner, parts->package, parts->procedure, &object) != kOk) {
    // An object the server cannot resolve leaves the call as the parser wrote it.
    bcoErrorHook(ctx, kFail);
    return kOk;
  }

  void* err = serverError(ctx);
  void* list = nullptr;
  uint16_t listCount = 0;
  int32_t status =
      TCIAttrGet(object, TCI_DTYPE_PARAM, &list, nullptr, TCI_ATTR_LIST_ARGUMENTS, err);
  if (status == 0) {
    status = TCIAttrGet(list, TCI_DTYPE_PARAM, &listCount, nullptr, TCI_ATTR_NUM_PARAMS, err);
  }
  if (status != 0) return bcoServerFail(ctx, status);
  uint32_t n = listCount;

  const bool rewrite = link->describeOptions[0] != 0;
  int mode = 0;  // 0: the caller wrote them all; 1: none; 2: some
  if (ctx->valueCount < n) {
    if (rewrite) mode = ctx->valueCount == 0 ? 1 : 2;
    ctx->valueCount = uint16_t(n);
  }
  ProcArgument* rawElements = nullptr;
  if (ctx->valueCount > 0 && bcoAllocateProcData(&rawElements, ctx->valueCount) != kOk) {
    return bcoFail(ctx, kReasonNoMemory);
  }
  struct ElementsScope {
    ProcArgument* p;
    ~ElementsScope() {
      if (p != nullptr) bcoFreeProcData(p);
    }
  } elementsScope{rawElements};
  ProcArgument* elements = rawElements;
  const uint32_t elementCount = ctx->valueCount;

  // The call text: "BEGIN ", the result the caller wrote, the name and the caller's arguments.
  CallTextBuffer buffer;
  CallText& text = buffer.text;
  const CallArgument* callerList = args;
  int32_t callerCount = argCount;
  uint32_t callerStart = 0;  // element of the first caller item
  auto startText = [&](bool refCursorResult) {
    text.length = 0;
    text.data[0] = 0;
    callTextAppend(&text, refCursorResult ? "BEGIN :L_RefCursor := " : "BEGIN ");
    appendQualifiedName(&text, *parts);
    if (ctx->valueCount > 0) callTextAppend(&text, "( ");
  };
  if (rewrite) {
    if (!buffer.obtain(bcoCallTextUnits(statement))) return bcoFail(ctx, kReasonNoMemory);
    callTextAppend(&text, "BEGIN ");
    if (callerCount > 0 && callerList[0].text != nullptr && callerList[0].text[0] == '=') {
      callTextAppend(&text, callerList[0].text + 1, bcuLength(callerList[0].text + 1));
      callTextAppend(&text, " := ");
      ++callerList;
      --callerCount;
      callerStart = 1;
    }
    appendQualifiedName(&text, *parts);
    if (ctx->valueCount > 0) callTextAppend(&text, "( ");
    if (mode == 0 && elements != nullptr) {
      bcoAppendCallArgs(callerCount, callerList, &text, elements + callerStart,
                        elementCount - std::min(callerStart, elementCount));
    }
  }

  // The walk: one element per argument. A procedure's list has no entry 0 (a function's entry 0
  // is its result): when entry 0 of a plain call fails, the walk starts again at entry 1.
  uint16_t consumed = 0, listEmpty = 1;
  int32_t upToCalls = 0;
  uint32_t inserted = 0;
  uint32_t element = 0;
  for (uint32_t i = 0; i < n; ++i, ++element) {
    void* arg = nullptr;
    status = TCIParamGet(list, TCI_DTYPE_PARAM, err, &arg, i);
    if (status != 0 && i == 0 && ctx->callForm == kCallFormPlain) {
      ++n;
      status = TCIParamGet(list, TCI_DTYPE_PARAM, err, &arg, ++i);
    }
    if (status != 0) return bcoServerFail(ctx, status);
    ProcArgument scratch{};
    ProcArgument& e = element < elementCount ? elements[element] : scratch;
    if ((status = TCIAttrGet(arg, TCI_DTYPE_PARAM, &e.position, nullptr, TCI_ATTR_POSITION, err)) !=
            0 ||
        (status = TCIAttrGet(arg, TCI_DTYPE_PARAM, &e.typeCode, nullptr, TCI_ATTR_DATA_TYPE,
                             err)) != 0 ||
        (status = TCIAttrGet(arg, TCI_DTYPE_PARAM, &e.attr32, nullptr, TCI_ATTR_BYTE32, err)) !=
            0 ||
        (status = TCIAttrGet(arg, TCI_DTYPE_PARAM, &e.attr213, nullptr, TCI_ATTR_BYTE213, err)) !=
            0) {
      return bcoServerFail(ctx, status);
    }
    const bool cursor = e.typeCode == TCI_TYPE_REF_CURSOR;
    if (!rewrite || !(mode == 1 || (mode == 2 && cursor))) continue;

    const uint8_t* utf8Name = nullptr;
    uint32_t nameLength = 0;
    status = TCIAttrGet(arg, TCI_DTYPE_PARAM, &utf8Name, &nameLength, TCI_ATTR_NAME, err);
    if (status != 0) return bcoServerFail(ctx, status);
    if (nameLength > kServerNameMax) return bcoFail(ctx, kReasonMalformed);
    ScratchPtr<uint16_t> argName(nullptr, uint32_t((nameLength + 1) * sizeof(uint16_t)),
                                 Fill::kZeroed, Fill::kZeroed);
    if (!argName) return bcoFail(ctx, kReasonNoMemory);
    int32_t convertStatus = 0;
    size_t units = nameLength == 0 ? 0
                                   : lxgutf2ucs(argName.get(), nameLength * sizeof(uint16_t),
                                                utf8Name, nameLength, &convertStatus);
    argName.get()[units < nameLength ? units : nameLength] = 0;

    if (cursor && i == 0) {
      // A function returning a cursor: the block assigns its result to :L_RefCursor.
      ctx->callForm = kCallFormReturn;
      startText(true);
      callerStart = 1;
    } else if (mode == 1) {
      if (listEmpty == 0) callTextAppend(&text, ", ");
      callTextAppend(&text, ":");
      callTextAppend(&text, argName.get(), bcuLength(argName.get()));
      listEmpty = 0;
    } else {
      bcoAppendArgsUpTo(&consumed, callerCount, callerList, argName.get(), &text, &listEmpty,
                        upToCalls, int32_t(i) - upToCalls, elements + callerStart,
                        elementCount - std::min(callerStart, elementCount));
      ++upToCalls;
    }
    ++inserted;
    ++ctx->markerCount;
  }

  if (rewrite) {
    if (int32_t(ctx->markerCount) - int32_t(ctx->parsedMarkerCount) >
        int32_t(n) - int32_t(ctx->parsedValueCount)) {
      return bcoFail(ctx, kReasonMalformed);
    }
    if (mode == 2 && consumed + inserted < ctx->valueCount) {
      bcoAppendArgsAfter(&consumed, callerCount, callerList, &text, &listEmpty, upToCalls,
                         ctx->valueCount, elements + callerStart,
                         elementCount - std::min(callerStart, elementCount));
    }
    if (ctx->valueCount > 0) callTextAppend(&text, " )");
    callTextAppend(&text, "; END;");
    if (Status s = bcoStoreCallText(ctx, text); s != kOk) return s;
    if (inserted > 0) ctx->refCursorCount = uint16_t(inserted);
  }

  if (elements == nullptr) return kOk;
  bcoFinalPass(elements, elementCount, ctx->valueCount);
  if (bcoMakeLists(ctx, elements, true) != kOk) return bcoFail(ctx, kReasonNoMemory);
  return kOk;
}
