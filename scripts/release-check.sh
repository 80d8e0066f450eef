#!/usr/bin/env bash
# The path a user takes after download: builds the release zip from a clean
# clone of this repository's committed state, unpacks it into an empty
# folder, checks its files (stripped exes, an example scene that loads,
# halovane-render.exe drawing as the native renderer does), starts
# Halovane.exe there under Wine in Xvfb, selects a region, saves it and
# checks output.bmp against halovane-render built from the same clone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
started=$(date +%s)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/halovane-release.XXXXXX")
keep=${HALOVANE_KEEP_RELEASE_CHECK:-0}
cleanup() { [ "$keep" = 1 ] || rm -rf "$tmp"; }
trap cleanup EXIT

git clone -q "$root" "$tmp/src"
echo "release-check: clean clone of $(git -C "$tmp/src" rev-parse --short HEAD)"

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"

# Builds the release zip of one toolchain into $tmp/NAME and unpacks it into
# $tmp/NAME-unpacked; prints the unpacked Halovane.exe.
build_zip() {
  local name=$1 toolchain=$2 zip exe
  cmake -S "$tmp/src" -B "$tmp/$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$tmp/src/cmake/$toolchain" -DHALOVANE_UNIT_TESTS=OFF >/dev/null
  cmake --build "$tmp/$name" -j "$jobs" --target release-zip wininfo titlehook >&2
  # The zip the release-zip target names.
  zip="$tmp/$name/Halovane.zip"
  if [ ! -f "$zip" ]; then
    echo "release-check: FAIL: the release-zip target made no $zip" >&2
    exit 1
  fi
  echo "release-check: $name $(basename "$zip"):" >&2
  unzip -l "$zip" >&2
  mkdir "$tmp/$name-unpacked"
  (cd "$tmp/$name-unpacked" && unzip -q "$zip")
  exe=$(find "$tmp/$name-unpacked" -name Halovane.exe | head -n 1)
  if [ -z "$exe" ]; then
    echo "release-check: FAIL: no Halovane.exe in the $name zip" >&2
    exit 1
  fi
  echo "$exe"
}

# The release is 32-bit: its zip is always built and checked as a file.
exe=$(build_zip windows mingw-w64-i686.cmake)
python3 "$root/scripts/check_pe.py" "$exe" i386
windows="$tmp/windows"
if [ "$HALOVANE_WINE_ARCH" = win64 ]; then
  # Where 32-bit code cannot run, the same zip built for x86_64 is the one run.
  echo "release-check: the 32-bit release was checked but not run ($HALOVANE_WINE_REASON);" \
       "running the x86_64 build of the same zip" >&2
  exe=$(build_zip windows64 mingw-w64-x86_64.cmake)
  python3 "$root/scripts/check_pe.py" "$exe" amd64
  windows="$tmp/windows64"
fi
cmake -S "$tmp/src" -B "$tmp/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$tmp/native" -j "$jobs" --target halovane-render

readme="$(dirname "$exe")/ReadMe.txt"
if [ ! -s "$readme" ] || grep -q -v $'\r$' "$readme"; then
  echo "release-check: FAIL: ReadMe.txt missing or not every line ends in CRLF" >&2
  exit 1
fi

# The zip's own files, in the folder it was unpacked into: everything the
# ReadMe names, exes without debug sections, an example scene that loads as
# the scene it was made from, and halovane-render.exe drawing that scene
# (smaller) byte for byte as the native renderer does.
check_zip_contents() {
  local unpacked=$1 f
  for f in Halovane.exe halovane-render.exe ReadMe.txt Example.ini; do
    if [ ! -s "$unpacked/$f" ]; then
      echo "release-check: FAIL: no $f in the zip" >&2
      exit 1
    fi
  done
  for f in Halovane.exe halovane-render.exe; do
    if objdump -h "$unpacked/$f" | grep -q '\.debug'; then
      echo "release-check: FAIL: $f is not stripped" >&2
      exit 1
    fi
  done
}
check_zip_files() {
  local unpacked=$1 native_render=$2
  check_zip_contents "$unpacked"
  if ! diff <("$native_render" --settings "$unpacked/Example.ini" --print-settings) \
            <("$native_render" --settings "$tmp/src/scripts/scene.ini" --print-settings); then
    echo "release-check: FAIL: Example.ini does not load as scripts/scene.ini" >&2
    exit 1
  fi
  local scene=(--settings Example.ini --set Width=256 --set Height=256 --set SamplePoints=500
               --set Iterations=200 --start -0.75,0.1 --snap --region -0.4,0,2.4 --quiet)
  (cd "$unpacked" && bash "$root/scripts/wine-run.sh" ./halovane-render.exe "${scene[@]}" -o example-wine.bmp)
  (cd "$unpacked" && "$native_render" "${scene[@]}" -o "$tmp/example-native.bmp")
  if ! cmp -s "$unpacked/example-wine.bmp" "$tmp/example-native.bmp"; then
    echo "release-check: FAIL: halovane-render.exe and the native renderer differ on the example scene" >&2
    exit 1
  fi
  rm -f "$unpacked/example-wine.bmp"
  echo "release-check: the zip holds $(cd "$unpacked" && echo *); exes stripped; the example scene renders alike"
}
# The 32-bit zip's files are checked even where it cannot run.
check_zip_contents "$tmp/windows-unpacked"
check_zip_files "$(dirname "$exe")" "$tmp/native/cli/halovane-render"

python3 "$root/tests/e2e/scenarios.py" --release "$exe" "$windows/tests/e2e/wininfo.exe" \
  "$tmp/native/cli/halovane-render" "$tmp/work"
echo "release-check: passed in $(( $(date +%s) - started )) s"
