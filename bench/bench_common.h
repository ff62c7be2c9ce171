// What the benchmarks of the translate entry point share: statements as terminated UTF-16 units,
// one translation through ODBCSqlToTVRNSqlEx, and the loop over a large statement.
//
// A translation rewrites its input, so every iteration copies the statement into the buffer
// first, inside the timed loop (pausing the timer costs more than a short translation). The
// copy is cheap next to a translation; BM_CopyBaseline measures it alone.
// Counters: "chars" is input code units per second; items_per_second is clauses (markers,
// escape clauses, call arguments) per second; "per_clause" is the time per clause.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "tvrnsql.h"

inline constexpr uint16_t kServerVersion = 8;

/// A statement as terminated UTF-16 units.
using Text = std::vector<uint16_t>;

inline void append(Text* t, std::string_view s) { t->insert(t->end(), s.begin(), s.end()); }

struct Translation {
  int32_t result = 0;
  uint16_t markers = 0;
  uint32_t required = 0;
  uint32_t reason = 0;
};

inline Translation translate(uint16_t* buffer, uint32_t capacity) {
  Translation t;
  uint16_t refCursors = 0;
  t.result = ODBCSqlToTVRNSqlEx(nullptr, buffer, &t.markers, nullptr, &refCursors, nullptr, nullptr,
                                nullptr, kServerVersion, 0, 0, 0, nullptr, capacity, &t.required,
                                &t.reason, nullptr);
  return t;
}

// chars and clauses are per iteration.
inline void setCounters(benchmark::State& state, double chars, double clauses) {
  using benchmark::Counter;
  state.counters["chars"] = Counter(chars, Counter::kIsIterationInvariantRate);
  if (clauses > 0) {
    state.SetItemsProcessed(int64_t(double(state.iterations()) * clauses));
    state.counters["per_clause"] =
        Counter(clauses, Counter::kIsIterationInvariantRate | Counter::kInvert);
  }
}

// Translates `statement` once per iteration; it holds `clauses` clauses of which `markers` are
// markers. extraRoom: how much longer than the statement the result may be, beyond the digits
// of the markers.
inline void runLarge(benchmark::State& state, const Text& statement, int clauses, int markers,
                     size_t extraRoom = 0) {
  const size_t units = statement.size();  // with the terminator
  // Room for the statement and the digits the markers gain (four at most each).
  const uint32_t capacity = uint32_t(units + 4 * size_t(markers) + extraRoom);
  Text buffer(capacity);
  std::memcpy(buffer.data(), statement.data(), units * sizeof(uint16_t));
  const Translation check = translate(buffer.data(), capacity);
  if (check.result != 1 || check.markers != markers) {
    state.SkipWithError("the statement does not translate as expected");
    return;
  }
  for (auto _ : state) {
    std::memcpy(buffer.data(), statement.data(), units * sizeof(uint16_t));
    benchmark::DoNotOptimize(translate(buffer.data(), capacity));
    benchmark::ClobberMemory();
  }
  setCounters(state, double(units - 1), clauses);
}

