// Test helper: the trace lines written while a piece of code runs, captured in memory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tvrnsql.h"

namespace testutil {

/// Runs f with trace lines going to a memory stream and returns what was written.
template <typename F>
std::string CaptureTrace(F&& f) {
  char* data = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&data, &size);
  TVRNSqlSetTrace(TVRNSQL_TRACE_ON, stream);
  f();
  TVRNSqlSetTrace(0, nullptr);
  std::fclose(stream);
  std::string out(data, size);
  std::free(data);
  return out;
}

}  // namespace testutil
