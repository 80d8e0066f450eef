#!/usr/bin/env bash
# Runs the whole end-to-end suite N times in a row, to show that it does not
# flake; reports each failed round with its log and screenshots.
#   bash tests/e2e/soak.sh N [scenario ...]
# Rounds work in HALOVANE_E2E_SOAK (default build/e2e-soak)/round-K; a passed
# round's directory is removed, a failed one's kept. Round logs stay beside.
# Takes HALOVANE_NATIVE_BUILD and HALOVANE_WINDOWS_BUILD as run.sh does.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
rounds=${1:?usage: soak.sh N [scenario ...]}
shift
base=${HALOVANE_E2E_SOAK:-$root/build/e2e-soak}
rm -rf "$base"
mkdir -p "$base"
base=$(cd "$base" && pwd)  # Wine wants an absolute prefix path

now() { date +%s.%N; }
passed=0
failed=0
times=()
started=$(now)
for round in $(seq 1 "$rounds"); do
  work=$base/round-$round
  log=$base/round-$round.log
  t0=$(now)
  HALOVANE_E2E_WORK=$work bash "$root/tests/e2e/run.sh" "$@" >"$log" 2>&1
  status=$?
  took=$(awk -v a="$t0" -v b="$(now)" 'BEGIN { printf "%.0f", b - a }')
  times+=("$took")
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    rm -rf "$work"
    echo "soak: round $round/$rounds passed in $took s"
  else
    failed=$((failed + 1))
    echo "soak: round $round/$rounds FAILED in $took s; log $log"
    grep '^FAIL' "$log" | cut -c1-400 | sed 's/^/  /'
    for folder in "$work"/failures/*/; do
      [ -d "$folder" ] && echo "  screenshots: $folder"
    done
  fi
done
total=$(awk -v a="$started" -v b="$(now)" 'BEGIN { printf "%.0f", b - a }')
summary=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ s += $1; t[NR] = $1 }
  END { printf "min %d s, mean %.0f s, max %d s", t[1], s / NR, t[NR] }')
echo "soak: $passed of $rounds rounds passed, $failed failed; wall time $total s; rounds $summary"
[ "$failed" -eq 0 ]
