#!/usr/bin/env bash
# Builds both trees: build/native (engine, tests, halovane-render, benchmarks)
# and build/windows (Halovane.exe and the unit tests as Windows executables).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

arch=$(cat build/wine-arch 2>/dev/null || echo win32)
toolchain=cmake/mingw-w64-i686.cmake
[ "$arch" = win64 ] && toolchain=cmake/mingw-w64-x86_64.cmake

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"
cmake -S . -B build/windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
cmake --build build/windows -j "$jobs"
