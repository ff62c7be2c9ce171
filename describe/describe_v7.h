// Description of a called procedure by data-dictionary queries (servers of major version 7).
#pragma once

#include <cstdint>

#include "describe/proc_data.h"
#include "driver/context.h"

struct CallArgument;

/// Learns the arguments of procedure (in package, of owner; either may be null) from the
/// dictionary and rewrites the call with a named marker for every cursor-reference argument the
/// caller left out. kOk also when the dictionary does not know the procedure or the call supplies
/// more arguments than it has (nothing changed); kFail after a report.
[[nodiscard]] Status bcoDescribeProcedureV7(ConversionContext* ctx, uint16_t* owner,
                                            uint16_t* procedure, uint16_t* package,
                                            int32_t argCount, CallArgument* args);

/// Runs a query whose one row and column is a number into *count. kFail after a report (none
/// when no statement handle can be had).
[[nodiscard]] Status bcoCountQuery(ConversionContext* ctx, const uint16_t* query, uint16_t* count);

/// Runs the argument query and fetches `rows` rows into the elements: position, type name and
/// argument name, with the element size as stride. kFail after a report.
[[nodiscard]] Status bcoFetchArguments(ConversionContext* ctx, const uint16_t* query,
                                       ProcArgument* elements, uint16_t rows);
