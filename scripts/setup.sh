#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine.
# Safe to run again: packages already present are skipped.
#
# Decides which Windows build the tests run, by running 32-bit code rather
# than by what installs: the 32-bit program under 32-bit Wine where this
# kernel runs 32-bit programs and 32-bit Wine installs, else the x86_64
# build under 64-bit Wine. HALOVANE_WINE_ARCH=win32|win64 forces the choice.
# The answer and its reason go to build/wine-arch (two lines), which
# scripts/wine-env.sh reads for every later step.
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
base_pkgs=("${native_pkgs[@]}" "${mingw_pkgs[@]}" "${desktop_pkgs[@]}" "${fuzz_pkgs[@]}" "${tool_pkgs[@]}")

have_all() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || return 1
  done
}

apt_install() {
  $SUDO apt-get install -y --no-install-recommends "$@"
}

updated=0
apt_update() {
  [ "$updated" = 1 ] || $SUDO apt-get update -q
  updated=1
}

mkdir -p build
if ! have_all "${base_pkgs[@]}"; then
  apt_update
  apt_install "${base_pkgs[@]}"
fi

# 32-bit Wine is wanted only where 32-bit code runs.
# shellcheck source=scripts/wine-env.sh
HALOVANE_WINE_DECIDE=1 source scripts/wine-env.sh
wanted=$HALOVANE_WINE_ARCH
reason=$HALOVANE_WINE_REASON
previous=$(cat build/wine-arch 2>/dev/null || true)

install_wine32() {
  have_all wine wine32:i386 wine64 && return 0
  # A machine where 32-bit Wine could not be had keeps the fallback an
  # earlier run chose, instead of trying the whole package dance again.
  case "$previous" in *"could not be installed"*) return 1 ;; esac
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    updated=0
  fi
  apt_update
  apt_install wine wine32:i386 wine64 && return 0
  # 32-bit Wine needs i386 libraries at exactly the amd64 versions. When one
  # suite's i386 index lags behind (it happens with the security suite), the
  # plain install fails on version skew; then try again with each suite
  # pinned down in turn, so that apt picks versions present for both.
  local pin=/etc/apt/preferences.d/halovane-setup-pin suite
  # An interrupted run must not leave the pin behind for every later install.
  trap '$SUDO rm -f "$pin"' EXIT INT TERM
  for suite in bookworm-security bookworm-updates; do
    echo "setup: plain Wine install failed; retrying with $suite pinned low"
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 50\n' "$suite" | $SUDO tee "$pin" >/dev/null
    $SUDO apt-get update -q
    if apt_install --allow-downgrades wine wine32:i386 wine64; then
      $SUDO rm -f "$pin"
      return 0
    fi
    $SUDO rm -f "$pin"
  done
  return 1
}

arch=$wanted
if [ "$wanted" = win32 ] && ! install_wine32; then
  arch=win64
  reason="32-bit Wine could not be installed on this machine"
fi
if ! have_all wine wine64; then
  apt_update
  apt_install wine wine64
fi
printf '%s\n%s\n' "$arch" "$reason" > build/wine-arch

if [ "$arch" = win64 ]; then
  echo "################################################################"
  echo "setup: $reason: testing the x86_64 build under 64-bit Wine"
  echo "setup: (the 32-bit Halovane.exe is still built and checked, not run)"
  echo "################################################################"
fi
echo "setup: done in $(( $(date +%s) - started )) s (Windows target: $arch; $reason)"
