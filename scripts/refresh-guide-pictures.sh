#!/usr/bin/env bash
# Refreshes the pictures of the Russian guide (docs/ru/images/) from the pictures of the windows
# that the Wine-driven dialog test leaves in build/win64/dialog-shots/ (run
# scripts/test.d/31-wine-dialogs.sh first). Each picture is cut to the windows on the screen,
# with a narrow edge of the desktop around them, without the dates ImageMagick would store.
set -euo pipefail
cd "$(dirname "$0")/.."
shots=build/win64/dialog-shots
out=docs/ru/images
[ -n "$(ls "$shots"/*.png 2>/dev/null)" ] || { echo "no pictures in $shots: run scripts/test.d/31-wine-dialogs.sh"; exit 1; }
mkdir -p "$out"
for shot in "$shots"/*.png; do
  name=$(basename "$shot")
  desktop=$(convert "$shot" -format '%[pixel:p{0,0}]' info:)
  convert "$shot" -trim +repage -bordercolor "$desktop" -border 8 -strip \
    -define png:exclude-chunks=date,time "$out/$name"
  echo "$out/$name: $(identify -format '%wx%h' "$out/$name")"
done
