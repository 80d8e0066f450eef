#!/usr/bin/env bash
# Builds the trees: build/native (engine, tests, halovane-render, benchmarks)
# and build/windows (Halovane.exe and the unit tests as Windows executables,
# for the arch this machine's Wine runs: see scripts/wine-env.sh). Where that
# is the x86_64 build, build/windows32 holds the 32-bit Halovane.exe and its
# release zip as well, checked without being run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh

toolchain=$PWD/cmake/mingw-w64-i686.cmake
[ "$HALOVANE_WINE_ARCH" = win64 ] && toolchain=$PWD/cmake/mingw-w64-x86_64.cmake

# A tree configured for the other arch cannot switch its compiler.
fresh_tree() {
  local dir=$1 file=$2
  if ! grep -qs "^CMAKE_TOOLCHAIN_FILE:[A-Z]*=$file\$" "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
}

# GoogleTest for a Windows toolchain, built once from the sources Debian's
# googletest package ships and installed as a CMake package under DIR.
gtest_package() {
  local dir=$1 file=$2 source
  [ -f "$dir/install/.halovane-ready" ] && return 0
  source=$(dpkg -L googletest 2>/dev/null | grep '/googletest/CMakeLists.txt$' | sort | head -n 1)
  if [ -z "$source" ]; then
    echo "build: GoogleTest's sources are missing (run scripts/setup.sh)" >&2
    exit 1
  fi
  fresh_tree "$dir" "$file"
  cmake -S "$(dirname "$source")" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$file" \
    -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$dir/install" >/dev/null
  cmake --build "$dir" -j "$jobs" --target install >/dev/null
  touch "$dir/install/.halovane-ready"
}

configure_windows() {
  local dir=$1 file=$2 tests=$3
  fresh_tree "$dir" "$file"
  local package=()
  if [ "$tests" = ON ]; then
    gtest_package "build/googletest-$(basename "$file" .cmake)" "$file"
    package=(-DCMAKE_PREFIX_PATH="$PWD/build/googletest-$(basename "$file" .cmake)/install")
  fi
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$file" \
    -DHALOVANE_UNIT_TESTS="$tests" "${package[@]}" >/dev/null
}

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"
configure_windows build/windows "$toolchain" ON
cmake --build build/windows -j "$jobs"
if [ "$HALOVANE_WINE_ARCH" = win64 ]; then
  configure_windows build/windows32 "$PWD/cmake/mingw-w64-i686.cmake" OFF
  cmake --build build/windows32 -j "$jobs" --target release-zip
fi
