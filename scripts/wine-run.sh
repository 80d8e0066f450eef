#!/usr/bin/env bash
# Runs a Windows executable under Wine, quietly and without dialogs, in a
# prefix of the build directory (HALOVANE_WINEPREFIX, else build/wineprefix
# beside this script's checkout). Used as CTest's cross-compiling emulator.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${HALOVANE_WINEPREFIX:-$here/build/wineprefix}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}
unset DISPLAY_WINE_UNUSED 2>/dev/null || true
wine=wine
if [ "$(cat "$here/build/wine-arch" 2>/dev/null)" = win64 ] && command -v wine64 >/dev/null; then
  wine=wine64
fi

# Create the prefix once; several tests may start at the same moment.
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.halovane-ready" ]; then
    wineboot -i >/dev/null 2>&1 || true
    # No crash dialog: a crashing test must fail, not wait for a click.
    $wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$WINEPREFIX/.halovane-ready"
  fi
) 9>"$WINEPREFIX.lock"

exec $wine "$@"
