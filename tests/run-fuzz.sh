#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer (build/fuzz) and runs each for a bounded time,
# starting from the committed seed corpus (copied, so it stays as it is).
#   bash tests/run-fuzz.sh [seconds per target, default 20]
# HALOVANE_FUZZ_RUNS=N runs each target N executions instead.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
jobs=$(nproc 2>/dev/null || echo 2)
dir=build/fuzz

for tool in clang clang++; do
  if ! command -v "$tool" >/dev/null; then
    echo "fuzz: FAIL: $tool is not installed (run scripts/setup.sh)" >&2
    exit 1
  fi
done

CC=clang CXX=clang++ cmake -S . -B "$dir" -DHALOVANE_FUZZ=ON -DHALOVANE_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(settings real cmdline settings-write settings-input png-text)
cmake --build "$dir" -j "$jobs" --target "${targets[@]/#/fuzz-}"

limit=(-max_total_time="$seconds")
[ -n "${HALOVANE_FUZZ_RUNS:-}" ] && limit=(-runs="$HALOVANE_FUZZ_RUNS")
for target in "${targets[@]}"; do
  work="$dir/work/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp tests/fuzz/corpus/"$target"/* "$work/corpus/"
  echo "== fuzz-$target"
  # A crash, a sanitizer finding, a hang of over 10 s or a leak fails the run.
  rc=0
  "$dir/tests/fuzz/fuzz-$target" "${limit[@]}" -timeout=10 -max_len=4096 \
    -dict=tests/fuzz/halovane.dict -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
    "$work/corpus" >"$work/log" 2>&1 || rc=$?
  grep -E '^(stat::number_of_executed_units|#[0-9]+ +DONE|SUMMARY)' "$work/log" || true
  if [ "$rc" -ne 0 ]; then
    tail -n 40 "$work/log" >&2
    echo "fuzz: FAIL: fuzz-$target (exit $rc); the input is in $work/artifacts" >&2
    exit 1
  fi
done
echo "fuzz: all targets clean"
