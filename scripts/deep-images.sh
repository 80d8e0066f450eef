#!/usr/bin/env bash
# Remakes docs/images/deep.png: one render written both ways, side by side,
# scaled down with ImageMagick (box averaging): the 8-bit image, whose core
# burns out, and the deep image's 16-bit picture (log curve, white at the
# 99.9th percentile of the lit pixels), shown in 8 bits.
# Needs a native build (scripts/build.sh) and scripts/setup.sh's packages.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
render=${HALOVANE_RENDER:-$here/build/native/cli/halovane-render}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$render" --settings /dev/null --set Width=1024 --set Height=1024 --set SamplePoints=100000 \
    --set Iterations=300 --set CheckBailout=1 --start -0.75,0.1 --snap --region -0.5,0,2.5 --quiet \
    -o "$work/8bit.png" --deep-png "$work/deep.png" --curve log --percentile 99.9
convert "$work/8bit.png" "$work/deep.png" -filter Box -resize 400x400 -depth 8 +append -strip "$here/docs/images/deep.png"
echo "deep-images: wrote docs/images/deep.png"
