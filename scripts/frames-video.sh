#!/usr/bin/env bash
# Turns the frames of a --frames render into a video or a GIF with ffmpeg:
#
#   scripts/frames-video.sh PATTERN OUT [FPS]
#
# PATTERN is the --frames pattern (ffmpeg reads %d and %0Nd, numbered from
# 1); OUT ending in .gif gives a GIF with a palette made from the frames,
# any other name (out.mp4) an H.264 video that common players show. FPS is
# the frame rate (default 12).
set -euo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: scripts/frames-video.sh PATTERN OUT [FPS]" >&2
  exit 2
fi
pattern=$1
out=$2
fps=${3:-12}
command -v ffmpeg >/dev/null || { echo "frames-video: ffmpeg is missing (scripts/setup.sh installs it)" >&2; exit 2; }

input=(-hide_banner -loglevel error -y -framerate "$fps" -start_number 1 -i "$pattern")
case "$out" in
  *.gif|*.GIF)
    # One palette for all frames, then each frame mapped onto it.
    ffmpeg "${input[@]}" -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse" -loop 0 "$out"
    ;;
  *)
    # yuv420p needs even sizes: odd ones get one black row or column.
    ffmpeg "${input[@]}" -vf "pad=ceil(iw/2)*2:ceil(ih/2)*2" -c:v libx264 -pix_fmt yuv420p \
      -movflags +faststart "$out"
    ;;
esac
echo "frames-video: wrote $out"
