#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the native unit tests, the
# same unit tests as Windows executables under Wine, the ThreadSanitizer run,
# the unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, a
# short run of each fuzz target, the end-to-end tests of Halovane.exe under
# Wine in Xvfb, and the release check.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
start=$(date +%s)

bash scripts/setup.sh
bash scripts/build.sh

echo "== native unit tests"
ctest --test-dir build/native --output-on-failure -j "$jobs"

echo "== unit tests under Wine ($(cat build/wine-arch))"
ctest --test-dir build/windows --output-on-failure

# Every suite runs through bash, whatever its file mode says; a missing
# suite or tool stops the run with an error (set -e).
echo "== ThreadSanitizer"
bash tests/run-tsan.sh

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash tests/run-asan.sh

echo "== fuzzing (${HALOVANE_FUZZ_SECONDS:-20} s per target)"
bash tests/run-fuzz.sh "${HALOVANE_FUZZ_SECONDS:-20}"

echo "== end-to-end tests under Wine"
bash tests/e2e/run.sh

echo "== release check (the committed tree, from a clean clone)"
bash scripts/release-check.sh

echo "== all tests passed in $(( $(date +%s) - start )) s"
