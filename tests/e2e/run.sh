#!/usr/bin/env bash
# End-to-end tests of Halovane.exe under Wine in Xvfb.
#   bash tests/e2e/run.sh [scenario ...]
# HALOVANE_NATIVE_BUILD (default build/native) holds halovane-render,
# HALOVANE_WINDOWS_BUILD (default build/windows) Halovane.exe and the helper;
# HALOVANE_E2E_WORK (default build/e2e-work) is where the tests run and where
# failures leave their screenshots. Fails, never skips, when a tool is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
native=${HALOVANE_NATIVE_BUILD:-$root/build/native}
windows=${HALOVANE_WINDOWS_BUILD:-$root/build/windows}
work=${HALOVANE_E2E_WORK:-$root/build/e2e-work}
work=$(mkdir -p "$work" && cd "$work" && pwd)  # Wine wants an absolute prefix path

for tool in python3 Xvfb xdotool xwd; do
  if ! command -v "$tool" >/dev/null; then
    echo "e2e: FAIL: $tool is not installed (run scripts/setup.sh)" >&2
    exit 1
  fi
done

# The loader and arch, as every Wine user of the project takes them.
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
HalovaneRequireWine
echo "e2e: $HALOVANE_WINE_ARCH build ($HALOVANE_WINE_REASON)"

exec python3 "$root/tests/e2e/scenarios.py" \
  "$windows/app/Halovane.exe" "$windows/tests/e2e/wininfo.exe" "$native/cli/halovane-render" "$work" "$@"
