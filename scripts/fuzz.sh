#!/usr/bin/env bash
# Builds the fuzz harnesses (preset "fuzz": clang, libFuzzer, ASan+UBSan) and runs each for
# SECONDS (default 60), starting from its seed corpus in fuzz/corpus/<name>/. New inputs
# found go to build/fuzz/corpus/<name>/, crashing inputs to build/fuzz/findings/<name>/.
# Prints one line a harness (executions, executions per second, findings) and exits 1
# when any harness found something.
#   scripts/fuzz.sh          60 s each
#   scripts/fuzz.sh 20       what CI runs
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-deps.sh
build=build/fuzz
cmake --preset fuzz >/dev/null
# Only the harnesses and what they link.
mapfile -t harnesses <"$build/fuzzers.txt"
cmake --build --preset fuzz -j 2 --target "${harnesses[@]}"
status=0
printf '%-22s %10s %8s %s\n' harness executions exec/s findings
while read -r name; do
  [ -n "$name" ] || continue
  work=$build/corpus/$name findings=$build/findings/$name log=$build/$name.log
  rm -rf "$findings"
  mkdir -p "$work" "$findings"
  rc=0
  "$build/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$findings/" "$work" "fuzz/corpus/$name" \
    >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  found=$(find "$findings" -type f | wc -l)
  printf '%-22s %10s %8s %s\n' "$name" "${runs:-?}" "${rate:-?}" "$found"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    status=1
    grep -m1 -E 'ERROR|runtime error|SUMMARY' "$log" >&2 || tail -5 "$log" >&2
  fi
done < <(printf '%s\n' "${harnesses[@]}")
exit $status
