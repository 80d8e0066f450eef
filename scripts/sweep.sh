#!/usr/bin/env bash
# Renders a list of scenes on every local core: SCENES holds one line of
# halovane-render arguments per scene (shell quoting allowed; blank lines and
# lines starting with # are skipped), and the scene on line N is written to
# OUTDIR/NNNN.png. A render is deterministic given its arguments, so any
# scheduler will do: GNU parallel when it is installed, xargs -P otherwise.
#
#   scripts/sweep.sh SCENES OUTDIR [GNU parallel options, e.g. -j 4]
#
# Environment: HALOVANE_RENDER, the renderer (default: this tree's native
# build); SWEEP_TOOL=parallel or xargs to choose; SWEEP_JOBS, renders at once
# (default: the processor count). Each render gets --threads 1 (a scene line
# may say otherwise). Exit code 0 when every scene was written.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -lt 2 ]; then
  echo "usage: scripts/sweep.sh SCENES OUTDIR [GNU parallel options]" >&2
  exit 2
fi
scenes=$1
outdir=$2
shift 2
renderer=${HALOVANE_RENDER:-$here/build/native/cli/halovane-render}
jobs=${SWEEP_JOBS:-$(nproc 2>/dev/null || echo 2)}
tool=${SWEEP_TOOL:-}
if [ -z "$tool" ]; then
  tool=xargs
  command -v parallel >/dev/null && tool=parallel
fi

[ -r "$scenes" ] || { echo "sweep: cannot read $scenes" >&2; exit 2; }
[ -x "$renderer" ] || { echo "sweep: no renderer at $renderer (build it, or set HALOVANE_RENDER)" >&2; exit 2; }
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)

# "NNNN arguments..." per scene; trailing blanks would make xargs join lines.
numbered() {
  awk '{ sub(/[ \t\r]+$/, "") } NF && $1 !~ /^#/ { printf "%04d %s\n", NR, $0 }' "$scenes"
}

case "$tool" in
  parallel)
    # {= ... =}: the number before the first blank, the scene unquoted after it.
    numbered | parallel --will-cite -j "$jobs" "$@" \
      "$(printf '%q' "$renderer") --threads 1 --quiet {= s/^\S+ //; uq() =} -o $(printf '%q' "$outdir")/{= s/ .*// =}.png"
    ;;
  xargs)
    if [ $# -gt 0 ]; then echo "sweep: options for GNU parallel need SWEEP_TOOL=parallel" >&2; exit 2; fi
    numbered | xargs -P "$jobs" -L 1 \
      bash -c 'out=$1; n=$2; shift 2; exec "$0" --threads 1 --quiet "$@" -o "$out/$n.png"' "$renderer" "$outdir"
    ;;
  *)
    echo "sweep: SWEEP_TOOL is parallel or xargs, not $tool" >&2
    exit 2
    ;;
esac
