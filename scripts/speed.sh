#!/usr/bin/env bash
# Whole-process timings of halovane-render: the reference path against the
# fast path on one thread and on every thread, alternated within one run so
# a busy machine slows them alike; the minimum of each is kept. The images
# of every variant are compared byte for byte.
#   scripts/speed.sh [RENDERER] [ROUNDS]   (RENDERER may be a .exe: run under Wine)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
render=${1:-$here/build/native/cli/halovane-render}
# The runs happen in a scratch folder: the renderer is named absolutely.
render=$(cd "$(dirname "$render")" && pwd)/$(basename "$render")
rounds=${2:-3}
run=("$render")
case "$render" in *.exe) run=(bash "$here/scripts/wine-run.sh" "$render") ;; esac
threads=$(nproc 2>/dev/null || echo 2)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# An empty settings file: every setting at its default (a --settings file
# that is missing is refused).
: >"$work/defaults.ini"

declare -A scenes=(
  [S1]="--settings defaults.ini --set SamplePoints=100000 --set Iterations=300 --set CheckBailout=1 --start -0.75,0.1 --snap --region -0.5,0,2.5"
  [S2]="--settings defaults.ini --set SamplePoints=100000 --set Iterations=1000 --set CheckBailout=1 --start -0.75,0.1 --snap --region -0.75,0.1,0.5"
  [S3]="--settings defaults.ini --set SamplePoints=6000 --set Iterations=5000 --set BorderOnly=1 --set CheckBailout=1 --set SampleRadius=1.5 --start -0.75,0.1 --snap --region -0.4,0,2.4"
  [main]="--settings $here/scripts/scene.ini --start -0.75,0.1 --snap --region -0.4,0,2.4"
  # The main job's scene of the last round: more samples, shorter orbits, fewer reseed walks.
  [old]="--settings $here/scripts/scene.ini --set SamplePoints=10000 --set Iterations=2000 --set Brightness=6 --start -0.75,0.1 --snap --region -0.4,0,2.4"
)
variants=("reference 1" "best 1" "best $threads")

printf '%-5s %-16s %9s %9s %8s\n' scene variant "wall s" "user s" ratio
for name in ${HALOVANE_SCENES:-S1 S2 S3 main old}; do
  declare -A wall=() user=()
  for ((r = 0; r < rounds; r++)); do
    for v in "${variants[@]}"; do
      set -- $v
      key="$1/$2"
      # shellcheck disable=SC2086
      (cd "$work" && /usr/bin/time -f "%e %U" -o t "${run[@]}" ${scenes[$name]} --quiet \
          --path "$1" --threads "$2" -o "$name-$1-$2.bmp" >/dev/null 2>&1)
      read -r w u <"$work/t"
      if [ -z "${wall[$key]:-}" ] || awk "BEGIN{exit !($w < ${wall[$key]})}"; then wall[$key]=$w; fi
      if [ -z "${user[$key]:-}" ] || awk "BEGIN{exit !($u < ${user[$key]})}"; then user[$key]=$u; fi
    done
  done
  for v in "${variants[@]}"; do
    set -- $v
    key="$1/$2"
    cmp -s "$work/$name-reference-1.bmp" "$work/$name-$1-$2.bmp" || echo "$name $key: image differs" >&2
    ratio=$(awk "BEGIN{printf \"%.2f\", ${wall[reference/1]} / ${wall[$key]}}")
    printf '%-5s %-16s %9s %9s %7sx\n' "$name" "$1, $2 thr" "${wall[$key]}" "${user[$key]}" "$ratio"
  done
  unset wall user
done
