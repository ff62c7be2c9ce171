// The outer-join statement rewrite behind bcoTranslateOuterJoin (driver/translators.h), with the
// choice of where each pass starts scanning, which the tests use to compare both ways.
#pragma once

#include "driver/context.h"

/// Where a pass after the first starts scanning.
enum class PassStart : uint8_t {
  kResume,     ///< at the first token the previous pass's rewrite could affect
  kFromStart,  ///< at the statement's start (the same result, in time quadratic in the passes)
};

/// Rewrites every outer-join clause of the statement in ctx->work, which it leaves flat. kOk, or
/// kFail after bcoErrorHook: 59 for a clause that does not parse up to its closer, a second WHERE
/// after a clause, an opener with no clause after it, or a token too long for the scanner; 83
/// without memory. On failure the statement keeps the text of the passes before.
[[nodiscard]] Status ojRewriteStatement(ConversionContext* ctx, PassStart passStart);
