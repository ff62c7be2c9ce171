// Description of a called procedure through the server's describe operation, and the entry of
// procedure description: it splits the name and chooses the dictionary queries (servers of major
// version 7) or the describe operation.
#pragma once

#include <cstdint>

#include "driver/context.h"

/// Resolves owner.package.procedure (parts may be empty; upper-cased in place unless quoted; a
/// synonym rewrites them) to the describe parameter of a procedure or function, through packages
/// and synonyms. kFail after a report (none when a package has no such sub-program).
[[nodiscard]] Status bcoDescribeAnyObject(ConversionContext* ctx, uint16_t* owner,
                                          uint16_t* package, uint16_t* procedure, void** param);
