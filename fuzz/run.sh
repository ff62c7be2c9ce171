#!/usr/bin/env bash
# Builds the fuzz targets with the fuzz preset (clang, libFuzzer, address and undefined-behaviour
# sanitizers) and runs each for a bounded time with the keyword dictionary and its seed corpus.
# Fails on the first crash, sanitizer report or failed check; the input that caused it is left in
# the work directory as crash-*, timeout-* or oom-* and can be replayed with the target.
#
# Usage: fuzz/run.sh [SECONDS_PER_TARGET]   (default 60)
# Environment: BUILD_DIR (default build-fuzz/ of the preset), FUZZ_JOBS (parallel workers per
# target, default 1), FUZZ_WORK (work directory, default $BUILD_DIR/fuzz-work). New corpus
# entries found during the run go to the work directory, never into fuzz/corpus/.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-fuzz}
work=${FUZZ_WORK:-$build/fuzz-work}
jobs=${FUZZ_JOBS:-1}
targets=(translate select differential)

cd "$root"
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target "${targets[@]/%/_fuzz}" -j "$(nproc)"

status=0
for name in "${targets[@]}"; do
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  echo "== ${name}_fuzz: ${seconds}s"
  # The first corpus directory receives new entries; the seeds are only read.
  args=(-max_total_time="$seconds" -dict="$root/fuzz/tvrnsql.dict" -max_len=4096 -timeout=10
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$name/artifacts/")
  if (( jobs > 1 )); then
    args+=(-fork="$jobs")
  fi
  if ! "$build/bin/${name}_fuzz" "${args[@]}" "$work/$name/corpus" "$root/fuzz/corpus/$name" \
      > "$work/$name/log.txt" 2>&1; then
    echo "FAILED: ${name}_fuzz, see $work/$name/log.txt" >&2
    ls "$work/$name/artifacts" >&2 || true
    status=1
  fi
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)|cov:' \
    "$work/$name/log.txt" | tail -n 3 || true
done
exit "$status"
