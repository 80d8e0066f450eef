#!/usr/bin/env bash
# Sets everything up, builds, and runs every test: the native unit tests, the
# same unit tests as Windows executables under Wine, the ThreadSanitizer run,
# the end-to-end tests of Halovane.exe under Wine in Xvfb, and the release
# check.
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

if [ -x tests/run-tsan.sh ]; then
  echo "== ThreadSanitizer"
  bash tests/run-tsan.sh
fi

if [ -x tests/e2e/run.sh ]; then
  echo "== end-to-end tests under Wine"
  bash tests/e2e/run.sh
fi

echo "== release check (the committed tree, from a clean clone)"
bash scripts/release-check.sh

echo "== all tests passed in $(( $(date +%s) - start )) s"
