// One clause translator's scanner: the ScannerState with the two token-text buffers a translator
// gives it, obtained in the order the translators document and released on every exit.
#pragma once

#include <cstdint>

#include "driver/context.h"
#include "driver/scratch.h"
#include "driver/trace.h"
#include "driver/work_buffer.h"
#include "scanner/scan_jumps.h"
#include "scanner/scanner_state.h"

/// Owns the scanner of one clause translation, with its two token-text buffers. The buffers come
/// from the call's scratch pool, so with tracing off the clauses of one statement take them over
/// from one another; with tracing on, every clause obtains and releases its own, so that the trace
/// shows each allocation.
struct ScannerBuffers {
  ScannerState* state = nullptr;

  ScannerBuffers() = default;
  ScannerBuffers(const ScannerBuffers&) = delete;
  ScannerBuffers& operator=(const ScannerBuffers&) = delete;
  ~ScannerBuffers() {
    if (state == nullptr) return;
    bcoRelease(state->pool, state->tokenText);
    bcoRelease(state->pool, state->prevTokenText);
    destroyScanner(state);
  }

  /// Creates the scanner, reading from start with nothing before textStart, and its empty token
  /// buffers (4096 characters each). Reports 83 when any of it cannot be had.
  [[nodiscard]] Status open(ConversionContext* ctx, const uint16_t* textStart,
                            const uint16_t* start) {
    // The scanner reads the working statement, which does not grow while it reads: its buffers
    // need the room of the statement's length. The reference translation, which the tests
    // compare with, keeps the full room.
    const uint32_t room = ctx->reference ? kMatchCapacity : bcoScannerRoom(wbLength(ctx->work));
    state = createScanner(&ctx->scratch, room);
    if (state == nullptr) return bcoFail(ctx, kReasonNoMemory);
    // Traced zero-filled as documented; every character is written before it is read.
    const ScratchRequest text{kTokenTextCapacity * sizeof(uint16_t), Fill::kZeroed,
                              scannerRoom(state) * uint32_t(sizeof(uint16_t)),
                              Fill::kUninitialised};
    state->tokenText = static_cast<uint16_t*>(bcoObtain(state->pool, text));
    if (state->tokenText == nullptr) return bcoFail(ctx, kReasonNoMemory);
    state->prevTokenText = static_cast<uint16_t*>(bcoObtain(state->pool, text));
    if (state->prevTokenText == nullptr) return bcoFail(ctx, kReasonNoMemory);
    state->tokenText[0] = 0;
    state->prevTokenText[0] = 0;
    state->textStart = textStart;
    state->inputPos = start;
    restartAt(state, start);
    return kOk;
  }
};

/// Releases what a statement's clauses kept for one another: the scanned stretches and the
/// scratch pool. The entry point calls it last.
inline void bcoReleaseScratch(ConversionContext* ctx) {
  scanJumpsRelease(ctx);
  bcoReleasePool(&ctx->scratch);
}
