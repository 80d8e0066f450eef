#!/usr/bin/env bash
# The main job: sets up the machine, builds everything, then renders the
# default scene with halovane-render into output.bmp in the current
# directory (extra arguments go to halovane-render, e.g. -o other.bmp).
#
# The scene: 6000 samples seeded in a wide disc around (-0.75, 0.1), each
# pulled onto the border of the set, their orbits accumulated over 5000
# passes in the region around the whole set at Brightness 4; escaped and
# converged orbits are reseeded onto the border. Its finer structure was
# once too slow for the main job (each reseed's border walk is a chain of
# estimates); with the coming reseeds walked ahead on every core it takes
# under two seconds on two cores.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh"

echo "render: drawing the default scene (seconds on every core)"
"$here/build/native/cli/halovane-render" --settings "$here/scripts/scene.ini" \
    --start -0.75,0.1 --snap --region -0.4,0,2.4 -o output.bmp "$@"
out=output.bmp
for ((i = 1; i <= $#; i++)); do
  case "${!i}" in -o|--output) j=$((i + 1)); out=${!j} ;; --output=*) out=${!i#--output=} ;; esac
done
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
echo "render: wrote $out"
