// Escape-clause search: finds the brace and long-form clauses of the working statement and hands
// each to the dispatcher, from the last to the first.
#pragma once

#include <cstdint>

#include "driver/context.h"

/// Translates every clause of ctx->work (long forms first, then brace clauses), then trims the
/// statement's trailing blanks. Returns the first failing translator's status.
[[nodiscard]] Status bcuReplaceVendorStrings(ConversionContext* ctx);
/// Long-form clauses from the last to the first, each after the brace clauses from it to the end;
/// a long form of another vendor is blanked, one without "*)--" loses its '*'.
[[nodiscard]] Status bcuReplaceEscapeClause(ConversionContext* ctx);
/// Brace clauses from logical position start to the end, the last opening brace first.
[[nodiscard]] Status bcuReplaceShorthandExt(ConversionContext* ctx, uint32_t start);
