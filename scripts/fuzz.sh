#!/usr/bin/env bash
# Runs every fuzz target for as long as one wants (default 60 seconds each),
# growing the corpus in build/fuzz/corpus. A crash leaves its input in
# build/fuzz/findings; make it a regression test in tests/core.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

scripts/bootstrap.sh
cmake -S . -B build >/dev/null
cmake --build build --target fuzz -j "$(nproc)" >/dev/null

status=0
printf '%-14s %14s %10s %9s\n' target executions "exec/s" findings
for target in packet evaluate server_reply journal; do
  out=build/fuzz/findings/$target
  log=$(build/fuzz/${target}_fuzz -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$out-" build/fuzz/corpus/$target build/fuzz/seeds/$target 2>&1) || status=1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' <<<"$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' <<<"$log")
  found=$(find build/fuzz/findings -name "$target-*" | wc -l)
  printf '%-14s %14s %10s %9s\n' "$target" "${runs:-?}" "${rate:-?}" "$found"
done
exit $status
