#!/usr/bin/env bash
# Draws the main window's background artwork: a 585 x 286 RGBA PNG whose
# soft transparent edge lets the white window show through. Rerun after a
# change; the PNG is committed beside this script.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
out=main_artwork.png
# The real ImageMagick: a "convert" earlier on PATH may be something else.
IM=$(command -v convert-im6.q16 || command -v magick || echo convert)
convert() { "$IM" "$@"; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Deep blue panel, lighter towards the top, with a soft highlight band.
convert -size 585x286 gradient:'#1d4f96'-'#041233' "$tmp/panel.png"
convert -size 585x286 xc:none -fill '#ffffff1c' -draw 'ellipse 420,0 300,110 0,360' -blur 0x20 "$tmp/glow.png"
convert "$tmp/panel.png" "$tmp/glow.png" -compose over -composite "$tmp/lit.png"
# Rounded panel with a feathered edge: the alpha the window blends.
convert -size 585x286 xc:black -fill white -draw 'roundrectangle 4,4 580,281 26,26' \
  -blur 0x2 "$tmp/mask.png"
convert "$tmp/lit.png" "$tmp/mask.png" -alpha off -compose copy_opacity -composite "$tmp/art.png"
# The product mark (a house under three signal arcs) and the word mark.
bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
book=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
convert "$tmp/art.png" \
  -fill none -stroke '#9fd0ff' -strokewidth 7 \
  -draw 'stroke-linejoin round polyline 132,132 182,88 232,132' \
  -draw 'stroke-linejoin round polyline 146,124 146,172 218,172 218,124' \
  -stroke '#6cb6ff' -strokewidth 5 -fill none \
  -draw 'ellipse 182,70 18,18 225,315' \
  -draw 'ellipse 182,70 34,34 228,312' \
  -draw 'ellipse 182,70 50,50 231,309' \
  -stroke none -fill white -font "$bold" -pointsize 74 -annotate +252+152 'TAV' \
  -fill '#bfe0ff' -font "$book" -pointsize 20 -annotate +256+180 'Home Automation' \
  PNG32:"$out"
identify "$out"
