// Benchmarks of outer-join clauses through the translate entry point.
// BM_TranslateOuterJoin/N: a SELECT with one {oj ...} clause of three tables and its own WHERE
// condition, padded to N code units by its select list and its condition; the time per code unit
// ("chars") should not change with N. BM_TranslateOuterJoinSubqueries/K: K clauses, each in its
// own subquery, which the rewrite takes in K passes; the time per clause should not grow with K.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_common.h"

namespace {

constexpr std::string_view kClause =
    "{oj orders o LEFT OUTER JOIN (lines l INNER JOIN items i ON l.item = i.id) "
    "ON o.id = l.order_id}";

Text paddedStatement(size_t units) {
  Text t;
  append(&t, "SELECT o.id");
  // Half of the padding in the select list, half in the condition.
  const size_t fixed = 80 + kClause.size();
  const size_t padding = units > fixed ? units - fixed : 0;
  for (int i = 0; t.size() < 11 + padding / 2; ++i) append(&t, ", o.c" + std::to_string(i % 1000));
  append(&t, " FROM ");
  append(&t, kClause);
  append(&t, " WHERE o.status = 'open'");
  for (int i = 0; t.size() + 12 < units; ++i) append(&t, " AND o.k" + std::to_string(i % 100) + " > 1");
  t.push_back(0);
  return t;
}

void BM_TranslateOuterJoin(benchmark::State& state) {
  const Text statement = paddedStatement(size_t(state.range(0)));
  runLarge(state, statement, 1, 0, 256);
}

Text subqueries(int clauses) {
  Text t;
  append(&t, "SELECT * FROM dual WHERE 1 = 1");
  for (int i = 0; i < clauses; ++i) {
    append(&t, " AND x IN (SELECT a.x FROM {oj a LEFT OUTER JOIN b ON a.id = b.aid} WHERE b.k = 1)");
  }
  t.push_back(0);
  return t;
}

void BM_TranslateOuterJoinSubqueries(benchmark::State& state) {
  const int clauses = int(state.range(0));
  runLarge(state, subqueries(clauses), clauses, 0, 64 * size_t(clauses));
}

}  // namespace

BENCHMARK(BM_TranslateOuterJoin)->RangeMultiplier(4)->Range(4096, 262144);
BENCHMARK(BM_TranslateOuterJoinSubqueries)->Arg(100)->Arg(1000);
