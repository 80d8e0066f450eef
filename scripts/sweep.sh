#!/usr/bin/env bash
# Renders a list of scenes on every local core: SCENES holds one line of
# halovane-render arguments per scene, and the scene on line N is written to
# OUTDIR/NNNN.png. Blank lines and lines whose first non-blank is # are
# skipped. A scene line is data, never shell code: it is split into words at
# blanks, with '...' and "..." quoting and backslash escapes (inside "...",
# only \" and \\), and nothing else is special: no $, no `...`, no * or {}.
# A line with an unmatched quote or a final backslash is refused by its
# number before anything is rendered. A render is deterministic given its
# arguments, so any scheduler will do: GNU parallel when it is installed,
# xargs -P otherwise; both get the same words.
#
#   scripts/sweep.sh SCENES OUTDIR [GNU parallel options, e.g. -j 4]
#
# Environment: HALOVANE_RENDER, the renderer (default: this tree's native
# build); SWEEP_TOOL=parallel or xargs to choose; SWEEP_JOBS, renders at once
# (default: the processor count). Each render gets --threads 1 (a scene line
# may say otherwise). Exit code 0 when every scene was written (or the list
# holds none), 2 for a usage mistake or a malformed line, another code when
# a render failed.
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
case "$tool" in
  parallel | xargs) ;;
  *) echo "sweep: SWEEP_TOOL is parallel or xargs, not $tool" >&2; exit 2 ;;
esac
if [ "$tool" = xargs ] && [ $# -gt 0 ]; then
  echo "sweep: options for GNU parallel need SWEEP_TOOL=parallel" >&2
  exit 2
fi

[ -r "$scenes" ] || { echo "sweep: cannot read $scenes" >&2; exit 2; }
[ -x "$renderer" ] || { echo "sweep: no renderer at $renderer (build it, or set HALOVANE_RENDER)" >&2; exit 2; }

# Splits one scene line into the array words; false for a malformed line.
scene_words() {
  local line=$1 word="" have=0 quote="" c i
  words=()
  for ((i = 0; i < ${#line}; i++)); do
    c=${line:i:1}
    if [ -n "$quote" ]; then
      if [ "$c" = "$quote" ]; then
        quote=""
      elif [ "$quote" = '"' ] && [ "$c" = '\' ] && [[ ${line:i+1:1} == [\"\\] ]]; then
        i=$((i + 1))
        word+=${line:i:1}
      else
        word+=$c
      fi
      continue
    fi
    case $c in
      ' ' | $'\t')
        if [ $have -eq 1 ]; then words+=("$word"); word=""; have=0; fi ;;
      "'" | '"') quote=$c; have=1 ;;
      '\')
        [ $((i + 1)) -lt ${#line} ] || return 1
        i=$((i + 1))
        word+=${line:i:1}
        have=1 ;;
      *) word+=$c; have=1 ;;
    esac
  done
  [ -z "$quote" ] || return 1
  if [ $have -eq 1 ]; then words+=("$word"); fi
  return 0
}

mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)

# One command per scene, every word quoted for bash, which both tools run.
commands=()
n=0
while IFS= read -r line || [ -n "$line" ]; do
  n=$((n + 1))
  line=${line%$'\r'}
  [[ $line =~ ^[[:blank:]]*(#|$) ]] && continue
  if ! scene_words "$line"; then
    echo "sweep: $scenes line $n: an unmatched quote or a final backslash; nothing was rendered" >&2
    exit 2
  fi
  printf -v command '%q ' "$renderer" --threads 1 --quiet "${words[@]}" -o "$outdir/$(printf %04d "$n").png"
  commands+=("$command")
done <"$scenes"

if [ ${#commands[@]} -eq 0 ]; then
  echo "sweep: $scenes holds no scenes; nothing to render" >&2
  exit 0
fi

case "$tool" in
  parallel)
    # Without a command, parallel runs each input line as one.
    printf '%s\n' "${commands[@]}" | PARALLEL_SHELL=bash parallel --will-cite -j "$jobs" "$@"
    ;;
  xargs)
    printf '%s\0' "${commands[@]}" | xargs -0 -r -P "$jobs" -n 1 bash -c
    ;;
esac
