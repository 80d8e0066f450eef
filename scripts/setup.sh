#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Safe to run again: packages already present are skipped by apt.
# Writes build/wine-arch (win32 or win64) so the build knows which Windows
# target Wine on this machine can run.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
started=$(date +%s)

native_pkgs=(cmake g++ make googletest libgtest-dev libbenchmark-dev python3 zip unzip time libpng-dev)
mingw_pkgs=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
            g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
desktop_pkgs=(xvfb xdotool x11-utils x11-apps)
# clang with its runtime libraries: libFuzzer and the sanitizers.
fuzz_pkgs=(clang libclang-rt-14-dev)
# Scene sweeps (scripts/sweep.sh and its test; rsync for GNU parallel's
# --sshlogin), the README's scaled pictures (scripts/readme-images.sh), and
# videos and GIFs from frames (scripts/frames-video.sh and its test).
tool_pkgs=(parallel rsync imagemagick ffmpeg)

have_all() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || return 1
  done
}

apt_install() {
  $SUDO apt-get install -y --no-install-recommends "$@"
}

mkdir -p build
if have_all "${native_pkgs[@]}" "${mingw_pkgs[@]}" "${desktop_pkgs[@]}" "${fuzz_pkgs[@]}" "${tool_pkgs[@]}" \
            wine wine32:i386 wine64; then
  echo "setup: all packages present"
  echo win32 > build/wine-arch
  exit 0
fi
# A machine where 32-bit Wine could not be had keeps the 64-bit fallback an
# earlier run chose, instead of trying the whole package dance again.
if [ "$(cat build/wine-arch 2>/dev/null)" = win64 ] &&
   have_all "${native_pkgs[@]}" "${mingw_pkgs[@]}" "${desktop_pkgs[@]}" "${tool_pkgs[@]}" wine wine64; then
  echo "setup: all packages present (64-bit Wine, as chosen before)"
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -q
apt_install "${native_pkgs[@]}" "${mingw_pkgs[@]}" "${desktop_pkgs[@]}" "${fuzz_pkgs[@]}" "${tool_pkgs[@]}"

# 32-bit Wine needs i386 libraries at exactly the amd64 versions. When one
# suite's i386 index lags behind (it happens with the security suite), the
# plain install fails on version skew; then try again with each suite pinned
# down in turn, so that apt picks versions present for both architectures.
wine_arch=""
if apt_install wine wine32:i386 wine64; then
  wine_arch=win32
else
  pin=/etc/apt/preferences.d/halovane-setup-pin
  # An interrupted run must not leave the pin behind for every later install.
  trap '$SUDO rm -f "$pin"' EXIT INT TERM
  for suite in bookworm-security bookworm-updates; do
    echo "setup: plain Wine install failed; retrying with $suite pinned low"
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 50\n' "$suite" | $SUDO tee "$pin" >/dev/null
    $SUDO apt-get update -q
    if apt_install --allow-downgrades wine wine32:i386 wine64; then
      wine_arch=win32
    fi
    $SUDO rm -f "$pin"
    [ -n "$wine_arch" ] && break
  done
fi
if [ -z "$wine_arch" ]; then
  echo "################################################################"
  echo "setup: WARNING: 32-bit Wine could not be installed on this machine."
  echo "setup: falling back to a 64-bit Windows build run under wine64."
  echo "################################################################"
  apt_install wine wine64
  wine_arch=win64
fi
echo "$wine_arch" > build/wine-arch
echo "setup: done in $(( $(date +%s) - started )) s (Windows target: $wine_arch)"
