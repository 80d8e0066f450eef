#!/usr/bin/env bash
# Builds the native tree with ThreadSanitizer (build/tsan, or the directory in
# HALOVANE_TSAN_BUILD) and runs the tests in which the render worker runs
# beside the window thread, and the fast-path comparison, the one test that
# starts helper threads on every path and thread count. tests/tsan.supp lists
# the accepted pixel races.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
dir=${HALOVANE_TSAN_BUILD:-build/tsan}

cmake -S . -B "$dir" -DHALOVANE_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j "$jobs" --target halovane-tests

export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 exitcode=66 report_signal_unsafe=0"
# Some kernels randomise more address bits than ThreadSanitizer's memory
# layout allows; run without address randomisation when setarch can.
run=()
if setarch "$(uname -m)" -R true 2>/dev/null; then run=(setarch "$(uname -m)" -R); fi
"${run[@]}" "$dir/tests/halovane-tests" --gtest_filter='WorkerTest.*:FastPathTest.*:OutputLayersTest.*'
echo "tsan: worker and fast-path tests clean"
