#!/usr/bin/env bash
# The one place that knows how this machine runs Windows programs.
#
# Sourced by the scripts (scripts/wine-run.sh, setup, build, test, release
# check), or run with --print by the end-to-end harness, which reads the
# NAME=value lines. It settles:
#   HALOVANE_WINE_ARCH   win32 or win64: the variable if the caller set it,
#                        else what scripts/setup.sh chose (build/wine-arch),
#                        else a run of 32-bit code decides
#   HALOVANE_WINE_REASON why that arch, in words, for banners and summaries
#   HALOVANE_WINE        the Wine loader for that arch (the 64-bit one by its
#                        full path: Debian's `wine` takes the 32-bit loader
#                        whenever wine32 is installed)
#   HALOVANE_WINESERVER  the wineserver
#   WINEARCH WINELOADER WINEDLLOVERRIDES WINEDEBUG, exported
# and defines HalovaneWinePrefix PREFIX, which makes a prefix once and stops
# with Wine's own message when it cannot.
#
# The 32-bit probe is a 96-byte static i386 program that exits with 42
# through the int 0x80 system call: a kernel without IA-32 emulation refuses
# it ("Exec format error"), whatever packages are installed.

halovane_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# True when this kernel runs 32-bit x86 programs.
HalovaneRuns32Bit() {
  local probe status
  # In build/ rather than a temporary folder that may be mounted noexec.
  mkdir -p "$halovane_root/build" 2>/dev/null
  probe=$(mktemp "$halovane_root/build/.probe32.XXXXXX" 2>/dev/null ||
          mktemp "${TMPDIR:-/tmp}/halovane-probe32.XXXXXX") || return 1
  python3 - "$probe" <<'EOF' || { rm -f "$probe"; return 1; }
import struct, sys
base = 0x08048000
code = bytes([0xB8, 1, 0, 0, 0,      # mov eax, 1 (exit)
              0xBB, 42, 0, 0, 0,     # mov ebx, 42
              0xCD, 0x80])           # int 0x80
entry = base + 52 + 32
header = struct.pack("<16sHHIIIIIHHHHHH", b"\x7fELF\x01\x01\x01" + bytes(9),
                     2, 3, 1, entry, 52, 0, 0, 52, 32, 1, 0, 0, 0)
segment = struct.pack("<IIIIIIII", 1, 0, base, base, 84 + len(code), 84 + len(code), 5, 0x1000)
open(sys.argv[1], "wb").write(header + segment + code)
EOF
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# The arch, and why. Setup asks afresh (HALOVANE_WINE_DECIDE=1) and
# records its answer for everyone else.
if [ -n "${HALOVANE_WINE_ARCH:-}" ]; then
  HALOVANE_WINE_REASON="HALOVANE_WINE_ARCH=$HALOVANE_WINE_ARCH was set"
elif [ -z "${HALOVANE_WINE_DECIDE:-}" ] && [ -s "$halovane_root/build/wine-arch" ]; then
  HALOVANE_WINE_ARCH=$(head -n 1 "$halovane_root/build/wine-arch")
  HALOVANE_WINE_REASON=$(sed -n 2p "$halovane_root/build/wine-arch")
elif HalovaneRuns32Bit; then
  HALOVANE_WINE_ARCH=win32
  HALOVANE_WINE_REASON="this kernel runs 32-bit programs"
else
  HALOVANE_WINE_ARCH=win64
  HALOVANE_WINE_REASON="this kernel runs no 32-bit programs"
fi
case "$HALOVANE_WINE_ARCH" in
  win32 | win64) ;;
  *)
    echo "wine-env: HALOVANE_WINE_ARCH must be win32 or win64, not '$HALOVANE_WINE_ARCH'" >&2
    return 2 2>/dev/null || exit 2
    ;;
esac
[ -n "$HALOVANE_WINE_REASON" ] || HALOVANE_WINE_REASON="chosen by scripts/setup.sh"

# The loader. Debian installs both beside each other; fall back to the PATH
# for other layouts.
HalovaneFindLoader() {
  local name=$1 package=$2 path
  path=$(dpkg -L "$package" 2>/dev/null | grep -m 1 "/wine/$name\$" || true)
  [ -n "$path" ] && [ -x "$path" ] || path=$(command -v "$name" 2>/dev/null || true)
  echo "$path"
}
if [ "$HALOVANE_WINE_ARCH" = win64 ]; then
  HALOVANE_WINE=$(HalovaneFindLoader wine64 wine64)
else
  HALOVANE_WINE=$(HalovaneFindLoader wine wine32:i386)
  # A plain `wine` on the PATH does as well: it prefers the 32-bit loader.
  [ -n "$HALOVANE_WINE" ] || HALOVANE_WINE=$(command -v wine 2>/dev/null || true)
fi
HALOVANE_WINESERVER=$(command -v wineserver 2>/dev/null || true)

export HALOVANE_WINE_ARCH HALOVANE_WINE_REASON HALOVANE_WINE HALOVANE_WINESERVER
export WINEARCH=$HALOVANE_WINE_ARCH
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}
[ -z "$HALOVANE_WINE" ] || export WINELOADER=$HALOVANE_WINE

# Stops with a message when the loader is missing or cannot run here.
HalovaneRequireWine() {
  if [ -z "$HALOVANE_WINE" ] || [ -z "$HALOVANE_WINESERVER" ]; then
    echo "wine-env: no Wine loader for $HALOVANE_WINE_ARCH (run scripts/setup.sh)" >&2
    return 1
  fi
}

# Makes the prefix PREFIX once (several callers may start at the same
# moment); a prefix Wine could not create stops the caller with Wine's words.
HalovaneWinePrefix() {
  local prefix=$1 log status
  HalovaneRequireWine || return 1
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    [ -f "$prefix/.halovane-ready" ] && exit 0
    log=$(mktemp "${TMPDIR:-/tmp}/halovane-wineboot.XXXXXX")
    status=0
    WINEPREFIX=$prefix WINEDEBUG=err+all "$HALOVANE_WINE" wineboot.exe -i >"$log" 2>&1 || status=$?
    # No crash dialog: a crashing test must fail, not wait for a click.
    [ "$status" -ne 0 ] || WINEPREFIX=$prefix "$HALOVANE_WINE" reg add 'HKCU\Software\Wine\WineDbg' \
      /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || status=$?
    # The registry reaches its files only when the server ends.
    WINEPREFIX=$prefix "$HALOVANE_WINESERVER" -w 2>/dev/null || true
    if [ "$status" -ne 0 ] || [ ! -f "$prefix/system.reg" ]; then
      echo "wine-env: Wine could not make a $HALOVANE_WINE_ARCH prefix in $prefix with $HALOVANE_WINE (exit $status):" >&2
      grep -v ':fixme:' "$log" | sed 's/^/  /' >&2
      rm -f "$log"
      exit 1
    fi
    rm -f "$log"
    touch "$prefix/.halovane-ready"
  ) 9>"$prefix.lock"
}

if [ "${1:-}" = --print ] && [ "${BASH_SOURCE[0]}" = "$0" ]; then
  for name in HALOVANE_WINE_ARCH HALOVANE_WINE_REASON HALOVANE_WINE HALOVANE_WINESERVER \
              WINEARCH WINELOADER WINEDLLOVERRIDES WINEDEBUG; do
    echo "$name=${!name:-}"
  done
fi
