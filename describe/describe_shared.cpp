// The closing steps both description paths share.
#include "describe/describe_shared.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "call/call_argument.h"
#include "driver/scratch.h"
#include "driver/text.h"
#include "driver/trace.h"

Status bcoServerFail(ConversionContext* ctx, int32_t status) {
  return bcoFail(ctx, uint32_t(status) & 0xFFFFu);
}

bool CallTextBuffer::obtain(uint64_t units) {
  if (units > UINT32_MAX / sizeof(uint16_t)) return false;
  text.data = static_cast<uint16_t*>(rawAlloc(size_t(units) * sizeof(uint16_t)));
  if (text.data == nullptr) return false;
  text.data[0] = 0;
  text.length = 0;
  text.capacity = uint32_t(units);
  text.overflow = false;
  text.grows = true;  // the server's argument names can make the call longer than foreseen
  return true;
}

uint64_t bcoCallTextUnits(const uint16_t* statement) {
  const uint64_t length = bcuLength(statement);
  const uint64_t escapes = bcuNumEscapeClauses(statement);
  const uint64_t markers = bcuNumCharClauses(statement, "?");
  return 4 * (2 * (length + 1) + 2 * (25 * escapes + markers) + 522) / sizeof(uint16_t);
}

uint64_t bcoCallTextUnits(int32_t argCount, const CallArgument* args, uint64_t nameUnits,
                          uint32_t elements) {
  uint64_t units = 64 + nameUnits + 35 * uint64_t(elements);
  for (int32_t i = 0; i < argCount; ++i) {
    // A group's text holds its items, each terminated: the terminators pay for separators.
    units += 2 * (uint64_t(args[i].textLength) + uint64_t(args[i].itemCount) + 2);
  }
  return units;
}

Status bcoStoreCallText(ConversionContext* ctx, const CallText& text) {
  if (text.overflow) return bcoFail(ctx, text.noMemory ? kReasonNoMemory : kReasonMalformed);
  if (ctx->rewrittenText != nullptr && uint32_t(ctx->rewrittenCapacity) <= text.length) {
    bcoRelease(&ctx->scratch, ctx->rewrittenText);
    ctx->rewrittenText = nullptr;
    ctx->rewrittenCapacity = 0;
  }
  if (ctx->rewrittenText == nullptr) {
    const uint64_t bytes = (uint64_t(text.length) + 1) * sizeof(uint16_t);
    if (bytes > UINT32_MAX) return bcoFail(ctx, kReasonNoMemory);
    ctx->rewrittenText = static_cast<uint16_t*>(
        bcoObtain(&ctx->scratch, uint32_t(bytes), Fill::kZeroed, Fill::kUninitialised));
    if (ctx->rewrittenText == nullptr) return bcoFail(ctx, kReasonNoMemory);
    ctx->rewrittenCapacity = int32_t(text.length + 1);
  }
  std::memcpy(ctx->rewrittenText, text.data, (size_t(text.length) + 1) * sizeof(uint16_t));
  return kOk;
}

void bcoFinalPass(ProcArgument* elements, uint32_t arraySize, uint32_t n) {
  if (n > arraySize) n = arraySize;
  if (n < 1) return;
  // Each marked element takes the first later unmarked one, which becomes marked: everything
  // between a taken element and the next candidate is marked, so the candidate only moves on.
  bool anyLiteral = false;
  uint32_t j = 0;
  for (uint32_t k = 0; k < n; ++k) {
    if (elements[k].literalArg == 0) continue;
    anyLiteral = true;
    j = std::max(j, k + 1);
    while (j < n && elements[j].literalArg != 0) ++j;
    if (j == n) break;
    elements[k] = elements[j];
    elements[j++].literalArg = 1;
  }
  if (!anyLiteral) return;
  uint16_t leading = 0;
  while (leading < n && elements[leading].literalArg == 0) ++leading;
  elements[0].count = leading;
}

Status bcoMakeLists(ConversionContext* ctx, const ProcArgument* elements, bool attributes) {
  ServerLink* link = ctx->link;
  const uint32_t count = elements[0].count;
  // A second described call in the statement replaces the lists of the first.
  std::free(link->argTypes);
  std::free(link->attr32List);
  std::free(link->attr213List);
  link->argTypes = nullptr;
  link->attr32List = link->attr213List = nullptr;
  link->argCount = 0;
  auto* types = static_cast<uint16_t*>(rawAlloc(size_t(count) * sizeof(uint16_t)));
  if (types == nullptr) return kFail;
  for (uint32_t i = 0; i < count; ++i) types[i] = elements[i].typeCode;
  link->argTypes = types;
  link->argCount = count;
  if (!attributes) return kOk;
  auto* attr32 = static_cast<uint8_t*>(rawAlloc(count));
  if (attr32 == nullptr) return kFail;
  link->attr32List = attr32;
  auto* attr213 = static_cast<uint8_t*>(rawAlloc(count));
  if (attr213 == nullptr) return kFail;
  link->attr213List = attr213;
  for (uint32_t i = 0; i < count; ++i) {
    attr32[i] = elements[i].attr32;
    attr213[i] = elements[i].attr213;
  }
  return kOk;
}
