#!/usr/bin/env bash
# Draws the message dialog's five icons with ImageMagick and writes them as
# .ico files beside this script: 32 x 32 (the size the dialog asks for) plus
# 48 and 64 for screens above 96 dpi, every image 32 bits with alpha.
#
#   dialog_warning.ico      100   yellow triangle with "!"
#   dialog_error.ico        101   red circle with a white cross
#   dialog_information.ico  102   blue circle with a white "i"
#   dialog_question.ico     103   blue circle with a white "?"
#   dialog_hourglass.ico    104   hourglass with falling sand
#
# Each picture is drawn once on a 256-pixel canvas and scaled down, so the
# small sizes get smooth edges. Run it again after changing a drawing.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

canvas() { "$convert" -size 256x256 xc:none "$@"; }

# A disc with a vertical gradient: $1 top colour, $2 bottom colour,
# $3 rim colour, $4 output.
disc() {
  "$convert" -size 256x256 "gradient:$1-$2" \
    \( -size 256x256 xc:none -fill white -draw "circle 128,128 128,10" \) \
    -alpha off -compose CopyOpacity -composite "$work/fill.png"
  canvas -fill none -stroke "$3" -strokewidth 10 -draw "circle 128,128 128,12" "$work/rim.png"
  # A soft highlight across the upper half gives the disc some depth.
  canvas -fill 'rgba(255,255,255,0.28)' -draw "ellipse 128,78 86,52 0,360" "$work/gloss.png"
  "$convert" "$work/fill.png" "$work/gloss.png" -composite "$work/rim.png" -composite "$4"
}

# --- 101 error: red disc, white cross
disc '#F26B5B' '#B3170D' '#8A0F08' "$work/error.png"
"$convert" "$work/error.png" -stroke white -strokewidth 30 \
  -draw "stroke-linecap round line 86,86 170,170" \
  -draw "stroke-linecap round line 170,86 86,170" "$work/error.png"

# --- 102 information: blue disc, white "i"
disc '#5FA8F5' '#1A5BB8' '#10427F' "$work/information.png"
"$convert" "$work/information.png" -fill white -stroke none \
  -draw "circle 128,70 128,52" \
  -draw "roundrectangle 111,104 145,200 8,8" "$work/information.png"

# --- 103 question: blue disc, white "?"
disc '#5FA8F5' '#1A5BB8' '#10427F' "$work/question.png"
"$convert" "$work/question.png" -fill white -stroke none -font DejaVu-Sans-Bold \
  -pointsize 170 -gravity center -annotate +0+6 '?' "$work/question.png"

# --- 100 warning: yellow rounded triangle, dark "!"
canvas -fill '#6B4B00' -stroke '#6B4B00' -strokewidth 30 \
  -draw "stroke-linejoin round polygon 128,22 238,222 18,222" "$work/tri-edge.png"
"$convert" -size 256x256 'gradient:#FFE36B-#F2A900' \
  \( -size 256x256 xc:none -fill white -stroke white -strokewidth 14 \
     -draw "polygon 128,34 226,214 30,214" \) \
  -alpha off -compose CopyOpacity -composite "$work/tri-fill.png"
"$convert" "$work/tri-edge.png" "$work/tri-fill.png" -composite \
  -fill '#2B2100' -stroke none \
  -draw "roundrectangle 114,82 142,170 10,10" \
  -draw "circle 128,194 128,178" "$work/warning.png"

# --- 104 hourglass: wooden caps, glass bulbs, sand
canvas -fill 'rgba(210,230,245,0.85)' -stroke '#4A6A86' -strokewidth 8 \
  -draw "path 'M 70,40 L 186,40 C 186,100 142,112 142,128 C 142,144 186,156 186,216 L 70,216 C 70,156 114,144 114,128 C 114,112 70,100 70,40 Z'" \
  "$work/glass.png"
canvas -fill '#E8B04A' -stroke none \
  -draw "path 'M 92,70 L 164,70 C 158,96 134,108 130,124 L 126,124 C 122,108 98,96 92,70 Z'" \
  -draw "path 'M 84,206 L 172,206 C 168,186 146,174 128,170 C 110,174 88,186 84,206 Z'" \
  -draw "line 128,126 128,170" "$work/sand.png"
canvas -fill '#7A4B1E' -stroke '#4A2B0C' -strokewidth 4 \
  -draw "roundrectangle 48,18 208,44 8,8" \
  -draw "roundrectangle 48,212 208,238 8,8" "$work/caps.png"
"$convert" "$work/glass.png" "$work/sand.png" -composite "$work/caps.png" -composite \
  "$work/hourglass.png"

for name in warning error information question hourglass; do
  sizes=()
  for px in 32 48 64; do
    "$convert" "$work/$name.png" -filter Lanczos -resize ${px}x${px} \
      -define png:color-type=6 "PNG32:$work/$name-$px.png"
    sizes+=("$work/$name-$px.png")
  done
  # Uncompressed 32-bit entries: every Windows version reads them.
  "$convert" "${sizes[@]}" "dialog_$name.ico"
done
echo "dialog icons written to $(pwd)"
