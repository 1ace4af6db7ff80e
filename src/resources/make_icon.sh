#!/usr/bin/env bash
# Draws the program's "TAV" group icon: a house with a signal arc on a teal
# tile, at 16, 32 and 48 pixels, 32 bits per pixel with alpha, into TAV.ico.
# Needs ImageMagick's convert. Run it after changing the drawing; the build
# uses the committed TAV.ico.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Drawn once on a 192-pixel grid and scaled down, so every size is smooth.
convert -size 192x192 xc:none \
  -fill '#17607a' -draw 'roundrectangle 6,6 185,185 40,40' \
  -fill '#2a8fb0' -draw 'roundrectangle 6,6 185,110 40,40' \
  -fill '#17607a' -draw 'rectangle 6,70 185,110' \
  -fill white -draw 'polygon 96,40 164,100 146,100 146,156 46,156 46,100 28,100' \
  -fill '#17607a' -draw 'rectangle 84,116 108,156' \
  -fill '#ffd24a' -draw 'circle 138,66 138,57' \
  -fill none -stroke '#ffd24a' -strokewidth 9 -draw 'arc 118,46 158,86 -95,5' \
  -draw 'arc 102,30 174,102 -95,5' \
  "PNG32:$tmp/master.png"

for size in 16 32 48; do
  convert "$tmp/master.png" -filter Lanczos -resize "${size}x${size}" "PNG32:$tmp/tav$size.png"
done
# BMP entries (not PNG) keep the icon readable by every icon loader.
convert "$tmp/tav16.png" "$tmp/tav32.png" "$tmp/tav48.png" \
  -compress none "TAV.ico"
echo "TAV.ico: $(identify TAV.ico | awk '{print $3, $5}' | tr '\n' ' ')"
