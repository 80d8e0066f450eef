#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the native unit tests, the
# same unit tests as Windows executables under Wine, the ThreadSanitizer run,
# the unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, a
# short run of each fuzz target, the end-to-end tests of Halovane.exe under
# Wine in Xvfb, and the release check.
#
# The Windows suites run the 32-bit program where this kernel runs 32-bit
# code, else the x86_64 build (scripts/wine-env.sh; HALOVANE_WINE_ARCH=win32
# or win64 forces it). The 32-bit program is checked as a file either way.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
start=$(date +%s)

bash scripts/setup.sh
bash scripts/build.sh
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
echo "== Windows target: $HALOVANE_WINE_ARCH ($HALOVANE_WINE_REASON)"

echo "== native unit tests"
ctest --test-dir build/native --output-on-failure --no-tests=error -j "$jobs"

echo "== the Windows programs, checked as files"
if [ "$HALOVANE_WINE_ARCH" = win64 ]; then
  python3 scripts/check_pe.py build/windows32/app/Halovane.exe i386
  python3 scripts/check_pe.py build/windows/app/Halovane.exe amd64
else
  python3 scripts/check_pe.py build/windows/app/Halovane.exe i386
fi

echo "== unit tests under Wine ($HALOVANE_WINE_ARCH)"
ctest --test-dir build/windows --output-on-failure --no-tests=error

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

if [ "$HALOVANE_WINE_ARCH" = win64 ]; then
  echo "== note: the 32-bit Halovane.exe and its zip were built and checked as files but not run: $HALOVANE_WINE_REASON"
fi
echo "== all tests passed in $(( $(date +%s) - start )) s; Windows suites ran the $HALOVANE_WINE_ARCH build"
