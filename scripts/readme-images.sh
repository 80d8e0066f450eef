#!/usr/bin/env bash
# Remakes the README's rendered pictures from halovane-render's own PNG
# output, scaled down with ImageMagick (box averaging):
#   docs/images/render.png  the default scene of scripts/render.sh, 2048 -> 512
#   docs/images/frames.png  frames 1, 3, 5 and 7 of the README's drift with
#                           --clear-runs, side by side
# The screenshots (window.png, properties.png) are of Halovane.exe under Wine.
# Needs a native build (scripts/build.sh) and scripts/setup.sh's packages.
#
# The same pixels give the same files: ImageMagick's date chunks and the
# recipe chunks it would copy from the renderer's PNG (which name this
# script's temporary folder) are left out, so the tree stays clean.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
render=${HALOVANE_RENDER:-$here/build/native/cli/halovane-render}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stable=(-strip -define png:exclude-chunks=date,time)

"$render" --settings "$here/scripts/scene.ini" --start -0.75,0.1 --snap --region -0.4,0,2.4 \
    -o "$work/scene.png"
convert "$work/scene.png" -filter Box -resize 512x512 "${stable[@]}" "$here/docs/images/render.png"

"$render" --settings "$here/scripts/scene.ini" --set Width=512 --set Height=512 \
    --set Iterations=1500 --set SamplePoints=1500 --set Brightness=3 \
    --start -0.75,0.1 --snap --region -0.4,0,2.4 --runs 8 --clear-runs --set DriftX=0.1 --set DriftY=0.06 \
    --frames "$work/frame-%d.png" -o "$work/last.png"
convert "$work"/frame-{1,3,5,7}.png -filter Box -resize 256x256 +append "${stable[@]}" \
    "$here/docs/images/frames.png"
echo "readme-images: wrote docs/images/render.png and docs/images/frames.png"
