#!/usr/bin/env bash
# Builds the native tree and measures the engine: the Google Benchmark suite,
# then one whole halovane-render process over a large region render (seconds
# and peak memory from /usr/bin/time -v).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
dir=${HALOVANE_BENCH_BUILD:-build/native}

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "$jobs" --target halovane-bench halovane-render

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# An empty settings file: every setting at its default (a --settings file
# that is missing is refused).
: >"$work/defaults.ini"
bench=$(cd "$dir/bench" && pwd)/halovane-bench
render=$(cd "$dir/cli" && pwd)/halovane-render

echo "== engine benchmarks"
(cd "$work" && "$bench" "$@")

echo "== whole process: region render, SamplePoints 100000, Iterations 1000"
(cd "$work" && /usr/bin/time -v "$render" --settings defaults.ini --quiet \
    --set SamplePoints=100000 --set Iterations=1000 --set CheckBailout=1 \
    --start -0.75,0.1 --region -0.75,0.1,0.5 -o large.bmp) 2>&1 |
  grep -E 'Elapsed \(wall clock\)|User time|System time|Maximum resident set size|Exit status'
