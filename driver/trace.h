// The trace line every bco/bcu step writes when the host turns tracing on, and the error hook
// every translator calls before it returns kFail.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "driver/context.h"

/// Bit of TraceMask that turns trace lines on, and the level every caller passes.
inline constexpr uint8_t kTraceBit = 8;

/// Process-wide trace settings, set by the host through TVRNSqlSetTrace and only read here.
extern std::atomic<uint8_t> TraceMask;
extern std::atomic<FILE*> traceStream;

/// True when trace lines are on: the only cost of a trace point when they are off.
inline bool bcuTraceOn() { return (TraceMask.load(std::memory_order_relaxed) & kTraceBit) != 0; }

/// Writes one line "prefix label-padded-to-32 0X..." (labels under 32 characters), or the label
/// cut into 70-character lines without the value, to traceStream, flushing it. A null or empty
/// label writes nothing. The prefix is no dots (level bit 2), four (bit 4) or eight.
void bcuTraceLine(uint32_t level, const uint16_t* label, uint32_t value);
/// The same for the library's own ASCII labels.
void bcuTraceLine(uint32_t level, const char* label, uint32_t value);

/// Traces label with value when tracing is on; a pointer value is traced by its low 32 bits.
inline void bcuTrace(const char* label, uint32_t value) {
  if (bcuTraceOn()) bcuTraceLine(kTraceBit, label, value);
}
inline void bcuTrace(const char* label, const void* address) {
  if (bcuTraceOn())
    bcuTraceLine(kTraceBit, label, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)));
}

/// Records the reason of a failure in the context; has no other effect. Callers return kFail
/// right after it, which bcoFail does in one statement.
void bcoErrorHook(ConversionContext* ctx, uint32_t reason);

[[nodiscard]] inline Status bcoFail(ConversionContext* ctx, uint32_t reason) {
  bcoErrorHook(ctx, reason);
  return kFail;
}
