// The translate entry points. One call: a ConversionContext on this stack and a ServerLink on the
// heap; the statement copied into a working buffer; control characters blanked; every escape
// clause translated; markers numbered and counted; the result copied back into the caller's
// buffer once; the outputs written; everything the call obtained released.
#include <cstdlib>
#include <cstring>

#include "driver/clause_search.h"
#include "driver/markers.h"
#include "driver/memory.h"
#include "driver/reference.h"
#include "driver/text.h"
#include "driver/trace.h"
#include "driver/unit_scan.h"
#include "driver/work_buffer.h"
#include "scanner/scanner_buffers.h"
#include "tvrnsql.h"

namespace {

struct Outputs {
  uint16_t* markerCount;
  uint16_t** argTypes;
  uint16_t* refCursorCount;
  uint16_t** refCursorPositions;
  uint8_t** attr32List;
  uint8_t** attr213List;
};

struct Request {
  void** handles;
  uint16_t* statement;
  uint64_t capacity;  // code units with the terminator; UINT64_MAX: not known (legacy entry)
  uint16_t serverVersion;
  uint32_t describeOptions[3];
  const uint16_t* defaultSchema;
  bool reference;  // the reference translation (tests only)
};

struct Result {
  bool ok;
  uint32_t reason;
  uint64_t required;
  bool noRoom;
  bool countsWritten;  // the counts were written (the call got past the ServerLink)
  TVRNSqlCallInfo call;
};

template <typename T>
void put(T* out, T value) {
  if (out != nullptr) *out = value;
}

// Releases what the translators obtained: their two server handles, the argument arrays unless
// they were handed out, the link itself and the replacement text.
struct CallResources {
  ConversionContext* ctx;
  bool arraysHandedOut = false;
  ~CallResources() {
    ServerLink* link = ctx->link;
    if (link->describeHandle != nullptr)
      (void)TCIHandleFree(link->describeHandle, TCI_HTYPE_DESCRIBE);
    if (link->statementHandle != nullptr)
      (void)TCIHandleFree(link->statementHandle, TCI_HTYPE_STMT);
    if (!arraysHandedOut) {
      std::free(link->argTypes);
      std::free(link->attr32List);
      std::free(link->attr213List);
    }
    rawFree(link);
    bcoRelease(&ctx->scratch, ctx->rewrittenText);
    bcoReleaseScratch(ctx);
  }
};

struct WorkScope {
  WorkBuffer* wb;
  ~WorkScope() { wbRelease(wb); }
};

// A statement in which no pass would find anything to do: no control character, no clause
// opening, no marker and no trailing blank. It is its own translation.
bool isQuiet(std::span<const uint16_t> text) {
  return text.empty() || (text.back() != ' ' && bcuHasNothingToTranslate(text));
}

// What the marker pass does observably for a quiet statement: its scratch allocation, which can
// fail, and a count of 0.
[[nodiscard]] Status quietMarkerPass(ConversionContext* ctx) {
  ScratchPtr<uint16_t> scratch(&ctx->scratch, kMarkerScratchBytes, Fill::kZeroed,
                               Fill::kUninitialised);
  if (!scratch) return bcoFail(ctx, kReasonNoMemory);
  ctx->markerCount = 0;
  return kOk;
}

// The 1-based positions of the cursor-reference binds among the first markerCount +
// refCursorCount arguments, ascending, at the start of a malloc'ed array of that many entries.
uint16_t* refCursorPositions(const ConversionContext& ctx) {
  const ServerLink& link = *ctx.link;
  const uint32_t n = uint32_t(ctx.markerCount) + ctx.refCursorCount;
  auto* positions = static_cast<uint16_t*>(rawAlloc(size_t(n) * sizeof(uint16_t)));
  if (positions == nullptr) return nullptr;
  const uint32_t described = link.argTypes == nullptr ? 0 : link.argCount;
  for (uint32_t i = 0; i < n; ++i) positions[i] = i < described ? link.argTypes[i] : 0;
  uint32_t next = 0;
  for (uint32_t i = 0; i < n && i < described; ++i) {
    if (link.argTypes[i] == TCI_TYPE_REF_CURSOR) positions[next++] = uint16_t(i + 1);
  }
  return positions;
}

Result translate(const Request& req, const Outputs& out) {
  Result result{false, 0, 0, false, false, {}};
  ConversionContext ctx{};
  ctx.rewriteOutputArgs = 1;
  ctx.reference = req.reference;
  ctx.scratch.off = req.reference;  // the reference translation keeps nothing
  auto* link = static_cast<ServerLink*>(rawAlloc(sizeof(ServerLink)));
  if (link == nullptr) {
    result.reason = kReasonNoMemory;
    return result;
  }
  *link = ServerLink{};
  link->handles = req.handles;
  link->serverVersion = req.serverVersion;
  for (int i = 0; i < 3; ++i) link->describeOptions[i] = req.describeOptions[i];
  link->defaultSchema = req.defaultSchema;
  ctx.link = link;
  ctx.callerText = req.statement;
  CallResources resources{&ctx};

  put(out.markerCount, uint16_t{0});
  put(out.refCursorCount, uint16_t{0});
  result.countsWritten = true;

  // With a known capacity every unit up to it may be read, eight at a time; without one, the
  // terminator is looked for unit by unit so that nothing past it is read.
  static constexpr uint16_t kTerminator[] = {0};
  const uint64_t length =
      req.capacity < UINT32_MAX
          ? bcuFindAnyUnit({req.statement, size_t(req.capacity)}, 0, kTerminator)
          : bcuTerminatedLength(req.statement, req.capacity);
  if (length == req.capacity) {
    result.reason = kReasonMalformed;  // not terminated within its capacity
    return result;
  }
  if (length >= UINT32_MAX - 1) {
    result.reason = kReasonNoMemory;
    return result;
  }
  const std::span<const uint16_t> input(req.statement, size_t(length));

  Status status = kOk;
  WorkBuffer wb;
  wb.data = nullptr;
  WorkScope workScope{&wb};
  const bool quiet = !bcuTraceOn() && !req.reference && isQuiet(input);
  if (quiet) {
    status = quietMarkerPass(&ctx);
    put(out.markerCount, ctx.markerCount);
  } else {
    if (wbInit(&wb, input, req.reference) != kOk) {
      result.reason = kReasonNoMemory;
      return result;
    }
    ctx.work = &wb;
    bcuRemoveControlChars({wbFlatten(&wb), wbLength(&wb)}, req.statement);
    status = req.reference ? bcuReplaceVendorStringsReference(&ctx) : bcuReplaceVendorStrings(&ctx);
    if (status == kOk) {
      status = bcoParseParmMarkers(&ctx, 1);
      put(out.markerCount, ctx.markerCount);
    }
  }

  // The caller's buffer is written once: with the replacement block of a call clause, or with the
  // working text (also a partial one after a failure). A quiet statement is its own result.
  const bool useBlock = status == kOk && ctx.rewrittenText != nullptr;
  const uint64_t resultLength = useBlock ? bcuLength(ctx.rewrittenText)
                                : quiet  ? length
                                         : wbLength(&wb);
  result.required = resultLength + 1;
  if (result.required > req.capacity) {
    result.noRoom = true;
    result.reason = status == kOk ? kReasonNoRoom : ctx.reason;
    return result;
  }
  if (useBlock) {
    std::memcpy(req.statement, ctx.rewrittenText, result.required * sizeof(uint16_t));
  } else if (!quiet) {
    wbCopyOut(&wb, req.statement);
    // Trailing blanks trimmed in place become terminators: "a   " leaves "a" and three nulls.
    for (uint64_t i = resultLength + 1; i < length; ++i) req.statement[i] = 0;
  }
  if (status != kOk) {
    result.reason = ctx.reason;
    return result;
  }

  if (bcoDescribing(link)) {
    put(out.argTypes, link->argTypes);
    put(out.attr32List, link->attr32List);
    put(out.attr213List, link->attr213List);
    resources.arraysHandedOut = true;
  }
  if (ctx.refCursorCount != 0) {
    put(out.refCursorCount, ctx.refCursorCount);
    put(out.refCursorPositions, refCursorPositions(ctx));
  }
  result.call = TVRNSqlCallInfo{uint32_t(ctx.callForm), ctx.valueCount, ctx.parsedMarkerCount,
                                ctx.parsedValueCount,
                                uint16_t(link->argTypes != nullptr ? link->argCount : 0)};
  result.ok = true;
  return result;
}

// ODBCSqlToTVRNSqlEx, the real translation or the reference one.
int32_t translateEx(bool reference, void** handles, uint16_t* statement, uint16_t* markerCountOut,
                    uint16_t** argTypesOut, uint16_t* refCursorCountOut,
                    uint16_t** refCursorPositionsOut, uint8_t** attr32ListOut,
                    uint8_t** attr213ListOut, uint16_t serverVersion, uint32_t describeOption1,
                    uint32_t describeOption2, uint32_t describeOption3,
                    const uint16_t* defaultSchema, uint32_t statementCapacity,
                    uint32_t* requiredCapacityOut, uint32_t* reasonOut,
                    TVRNSqlCallInfo* callInfoOut) {
  put(reasonOut, 0u);
  if (statement == nullptr || statementCapacity == 0) {
    put(requiredCapacityOut, 0u);
    put(reasonOut, kReasonMalformed);
    return 0;
  }
  // The outputs are collected here and handed on unless the result did not fit.
  uint16_t markerCount = 0, refCursorCount = 0;
  uint16_t* argTypes = nullptr;
  uint16_t* positions = nullptr;
  uint8_t *attr32 = nullptr, *attr213 = nullptr;
  const Request req{handles,
                    statement,
                    statementCapacity,
                    serverVersion,
                    {describeOption1, describeOption2, describeOption3},
                    defaultSchema,
                    reference};
  const Outputs out{&markerCount, &argTypes, &refCursorCount, &positions, &attr32, &attr213};
  const Result r = translate(req, out);
  put(requiredCapacityOut, r.required > UINT32_MAX ? UINT32_MAX : uint32_t(r.required));
  put(reasonOut, r.reason);
  if (r.noRoom || !r.countsWritten) return 0;
  put(markerCountOut, markerCount);
  put(refCursorCountOut, refCursorCount);
  if (r.ok) {
    if (describeOption1 != 0 || describeOption2 != 0 || describeOption3 != 0) {
      put(argTypesOut, argTypes);
      put(attr32ListOut, attr32);
      put(attr213ListOut, attr213);
    }
    if (refCursorCount != 0) put(refCursorPositionsOut, positions);
    put(callInfoOut, r.call);
  }
  return r.ok ? 1 : 0;
}

}  // namespace

extern "C" TVRNSQL_API int32_t ODBCSqlToTVRNSql(
    void** handles, uint16_t* statement, uint16_t* markerCountOut, uint16_t** argTypesOut,
    uint16_t* refCursorCountOut, uint16_t** refCursorPositionsOut, uint8_t** attr32ListOut,
    uint8_t** attr213ListOut, uint16_t serverVersion, uint32_t describeOption1,
    uint32_t describeOption2, uint32_t describeOption3, const uint16_t* defaultSchema) {
  if (statement == nullptr) return 0;
  const Request req{handles,
                    statement,
                    UINT64_MAX,
                    serverVersion,
                    {describeOption1, describeOption2, describeOption3},
                    defaultSchema,
                    false};
  const Outputs out{markerCountOut,        argTypesOut,   refCursorCountOut,
                    refCursorPositionsOut, attr32ListOut, attr213ListOut};
  return translate(req, out).ok ? 1 : 0;
}

extern "C" TVRNSQL_API int32_t ODBCSqlToTVRNSqlEx(
    void** handles, uint16_t* statement, uint16_t* markerCountOut, uint16_t** argTypesOut,
    uint16_t* refCursorCountOut, uint16_t** refCursorPositionsOut, uint8_t** attr32ListOut,
    uint8_t** attr213ListOut, uint16_t serverVersion, uint32_t describeOption1,
    uint32_t describeOption2, uint32_t describeOption3, const uint16_t* defaultSchema,
    uint32_t statementCapacity, uint32_t* requiredCapacityOut, uint32_t* reasonOut,
    TVRNSqlCallInfo* callInfoOut) {
  return translateEx(false, handles, statement, markerCountOut, argTypesOut, refCursorCountOut,
                     refCursorPositionsOut, attr32ListOut, attr213ListOut, serverVersion,
                     describeOption1, describeOption2, describeOption3, defaultSchema,
                     statementCapacity, requiredCapacityOut, reasonOut, callInfoOut);
}

int32_t bcoTranslateReference(void** handles, uint16_t* statement, uint16_t* markerCountOut,
                              uint16_t** argTypesOut, uint16_t* refCursorCountOut,
                              uint16_t** refCursorPositionsOut, uint8_t** attr32ListOut,
                              uint8_t** attr213ListOut, uint16_t serverVersion,
                              uint32_t describeOption1, uint32_t describeOption2,
                              uint32_t describeOption3, const uint16_t* defaultSchema,
                              uint32_t statementCapacity, uint32_t* requiredCapacityOut,
                              uint32_t* reasonOut, TVRNSqlCallInfo* callInfoOut) {
  return translateEx(true, handles, statement, markerCountOut, argTypesOut, refCursorCountOut,
                     refCursorPositionsOut, attr32ListOut, attr213ListOut, serverVersion,
                     describeOption1, describeOption2, describeOption3, defaultSchema,
                     statementCapacity, requiredCapacityOut, reasonOut, callInfoOut);
}
