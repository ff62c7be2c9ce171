// The reference translation, for tests and fuzzers only: the steps of a translation executed the
// plainest way (ConversionContext::reference), so that the real translation, with its gap buffer,
// kept positions, caches and resumed scans, can be compared with it statement by statement.
#pragma once

#include <cstdint>

#include "driver/context.h"
#include "tvrnsql.h"

/// Every clause of ctx->work, which must be in the flat layout (WorkBuffer::flat), found by
/// searching the statement again from its start for every clause; then the trailing blanks are
/// trimmed. Returns the first failing translator's status.
[[nodiscard]] Status bcuReplaceVendorStringsReference(ConversionContext* ctx);

/// ODBCSqlToTVRNSqlEx, executed the reference way; the same arguments, outputs and ownership.
extern decltype(ODBCSqlToTVRNSqlEx) bcoTranslateReference;
