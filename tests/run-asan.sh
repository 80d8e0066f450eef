#!/usr/bin/env bash
# Builds the native tree with AddressSanitizer and UndefinedBehaviorSanitizer
# (build/asan) and runs every unit test once under them.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
dir=build/asan

cmake -S . -B "$dir" -DHALOVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$jobs" --target halovane-tests halovane-render
export ASAN_OPTIONS="abort_on_error=1 detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1"
ctest --test-dir "$dir" --output-on-failure -j "$jobs"
echo "asan: unit tests clean"
