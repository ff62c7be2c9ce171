// What both description paths share: the server handles of the call, reporting a server status,
// the call text buffer, storing the rewritten call as the statement's replacement, the final pass
// that drops the caller's literal arguments from the description, and the lists for the caller.
#pragma once

#include <cstdint>

#include "describe/proc_data.h"
#include "driver/context.h"
#include "driver/memory.h"

/// The caller's environment, error and service-context handles.
inline void* serverEnv(const ConversionContext* ctx) { return ctx->link->handles[0]; }
inline void* serverError(const ConversionContext* ctx) { return ctx->link->handles[1]; }
inline void* serverService(const ConversionContext* ctx) { return ctx->link->handles[2]; }

/// Reports the low 16 bits of a failing server status and returns kFail.
[[nodiscard]] Status bcoServerFail(ConversionContext* ctx, int32_t status);

/// A call text buffer for one description (general allocator), released on every exit.
struct CallTextBuffer {
  CallText text{nullptr, 0, 0, false};
  CallTextBuffer() = default;
  CallTextBuffer(const CallTextBuffer&) = delete;
  CallTextBuffer& operator=(const CallTextBuffer&) = delete;
  ~CallTextBuffer() { rawFree(text.data); }
  /// Room for `units` wide characters, terminator included. False without memory.
  [[nodiscard]] bool obtain(uint64_t units);
};

/// The room the describe path gives the rewritten call of `statement`, in wide characters:
/// 4 × (2 × (L + 1) + 2 × (25 × E + Q) + 522) bytes, L its length, E its escape clauses, Q its
/// "?" characters.
uint64_t bcoCallTextUnits(const uint16_t* statement);

/// The room a rewritten call can need at most: "BEGIN ", the result, the qualified name (names
/// of at most nameUnits characters in all), every caller item with its separator, a marker of at
/// most 31 characters for each of `elements` arguments, and the punctuation.
uint64_t bcoCallTextUnits(int32_t argCount, const CallArgument* args, uint64_t nameUnits,
                          uint32_t elements);

/// Makes the call text the context's rewrittenText (its buffer kept when large enough, else
/// replaced by one of length + 1 from bcoObtain); reports 83 without memory. A text that
/// overflowed its buffer reports 59.
[[nodiscard]] Status bcoStoreCallText(ConversionContext* ctx, const CallText& text);

/// The caller's literal arguments leave the description: among the first n elements, each marked
/// one takes the next unmarked one's place, and element 0's count becomes the number of leading
/// unmarked elements. arraySize bounds every access.
void bcoFinalPass(ProcArgument* elements, uint32_t arraySize, uint32_t n);

/// argTypes (and with attributes also attr32List and attr213List) of the first count elements,
/// malloc'ed into the ServerLink, which owns them until the entry point hands them out. kFail
/// without memory; the caller reports 83.
[[nodiscard]] Status bcoMakeLists(ConversionContext* ctx, const ProcArgument* elements,
                                  bool attributes);
