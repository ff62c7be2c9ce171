// One clause translator's scanner: the ScannerState with the two token-text buffers a translator
// gives it, obtained in the order the translators document and released on every exit.
#pragma once

#include <cstdint>

#include "driver/context.h"
#include "driver/memory.h"
#include "driver/trace.h"
#include "scanner/scan_jumps.h"
#include "scanner/scanner_state.h"

/// True when a clause's scanner and work area may be kept for the next clause: not while tracing
/// (the trace shows every allocation) nor in the reference translation (nothing is kept there).
inline bool bcoKeepsScratch(const ConversionContext* ctx) {
  return !bcuTraceOn() && !ctx->reference;
}

/// Owns the scanner of one clause translation. With tracing off, the scanner and its buffers are
/// handed on to the next clause of the same statement instead of being released and obtained
/// again (which would cost 16 KB of allocation per clause); a reset makes the kept scanner
/// indistinguishable from a new one. With tracing on, every clause obtains and releases its own,
/// so that the trace shows each allocation.
struct ScannerBuffers {
  ConversionContext* ctx = nullptr;
  ScannerState* state = nullptr;

  ScannerBuffers() = default;
  ScannerBuffers(const ScannerBuffers&) = delete;
  ScannerBuffers& operator=(const ScannerBuffers&) = delete;
  ~ScannerBuffers() {
    if (state == nullptr) return;
    if (bcoKeepsScratch(ctx) && ctx->scannerCache == nullptr && state->prevTokenText != nullptr) {
      ctx->scannerCache = state;
      return;
    }
    releaseScanner(state);
  }

  /// Creates the scanner, reading from start with nothing before textStart, and its empty token
  /// buffers (4096 characters each). Reports 83 when any of it cannot be had.
  [[nodiscard]] Status open(ConversionContext* context, const uint16_t* textStart,
                            const uint16_t* start) {
    ctx = context;
    if (bcoKeepsScratch(ctx) && ctx->scannerCache != nullptr) {
      state = ctx->scannerCache;
      ctx->scannerCache = nullptr;
      resetScanner(state);
    } else {
      state = createScanner();
      if (state == nullptr) return bcoFail(ctx, kReasonNoMemory);
      state->tokenText =
          static_cast<uint16_t*>(pMEMAlloc(kTokenTextCapacity * sizeof(uint16_t), 0));
      if (state->tokenText == nullptr) return bcoFail(ctx, kReasonNoMemory);
      state->prevTokenText =
          static_cast<uint16_t*>(pMEMAlloc(kTokenTextCapacity * sizeof(uint16_t), 0));
      if (state->prevTokenText == nullptr) return bcoFail(ctx, kReasonNoMemory);
      state->tokenText[0] = 0;
      state->prevTokenText[0] = 0;
    }
    state->textStart = textStart;
    state->inputPos = start;
    restartAt(state, start);
    return kOk;
  }

  /// Releases a scanner with its token buffers.
  static void releaseScanner(ScannerState* s) {
    if (s->tokenText != nullptr) MEMFree(s->tokenText);
    if (s->prevTokenText != nullptr) MEMFree(s->prevTokenText);
    destroyScanner(s);
  }
};

/// Releases the scanner, the work area and the scanned stretches a statement's clauses kept, if
/// any; the entry point calls it last.
inline void bcoReleaseScannerCache(ConversionContext* ctx) {
  scanJumpsRelease(ctx);
  if (ctx->workAreaCache != nullptr) MEMFree(ctx->workAreaCache);
  ctx->workAreaCache = nullptr;
  if (ctx->scannerCache == nullptr) return;
  ScannerBuffers::releaseScanner(ctx->scannerCache);
  ctx->scannerCache = nullptr;
}
