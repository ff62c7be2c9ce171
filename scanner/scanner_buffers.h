// One clause translator's scanner: the ScannerState with the two token-text buffers a translator
// gives it, obtained in the order the translators document and released on every exit.
#pragma once

#include <cstdint>

#include "driver/context.h"
#include "driver/memory.h"
#include "driver/trace.h"
#include "scanner/scanner_state.h"

struct ScannerBuffers {
  ScannerState* state = nullptr;

  ScannerBuffers() = default;
  ScannerBuffers(const ScannerBuffers&) = delete;
  ScannerBuffers& operator=(const ScannerBuffers&) = delete;
  ~ScannerBuffers() {
    if (state == nullptr) return;
    MEMFree(state->tokenText);
    MEMFree(state->prevTokenText);
    destroyScanner(state);
  }

  /// Creates the scanner, reading from start with nothing before textStart, and its empty token
  /// buffers (4096 characters each). Reports 83 when any of it cannot be had.
  [[nodiscard]] Status open(ConversionContext* ctx, const uint16_t* textStart,
                            const uint16_t* start) {
    state = createScanner();
    if (state == nullptr) return bcoFail(ctx, kReasonNoMemory);
    state->textStart = textStart;
    state->inputPos = start;
    state->tokenText = static_cast<uint16_t*>(pMEMAlloc(kTokenTextCapacity * sizeof(uint16_t), 0));
    if (state->tokenText == nullptr) return bcoFail(ctx, kReasonNoMemory);
    state->prevTokenText =
        static_cast<uint16_t*>(pMEMAlloc(kTokenTextCapacity * sizeof(uint16_t), 0));
    if (state->prevTokenText == nullptr) return bcoFail(ctx, kReasonNoMemory);
    state->tokenText[0] = 0;
    state->prevTokenText[0] = 0;
    restartAt(state, start);
    return kOk;
  }
};
