#!/usr/bin/env bash
# Draws the program's bitmaps (resources/bitmaps/*.png) with ImageMagick:
# 501 a receiver, 502 and 503 the sky-plot background in two sizes (rings at
# 0, 30 and 60 degrees elevation, N/E/S/W marks). The PNGs are committed; run
# this only to change the drawings.
set -euo pipefail
cd "$(dirname "$0")/../resources/bitmaps"

font=DejaVu-Sans-Bold

skyplot() {  # skyplot FILE WIDTH HEIGHT
  local file=$1 w=$2 h=$3
  local cx=$((w / 2)) cy=$((h / 2)) margin=$((w / 10))
  local r0=$((cx - margin)) r30 r60 pt=$((w / 18))
  r30=$((r0 * 2 / 3)); r60=$((r0 / 3))
  convert -size "${w}x${h}" xc:'#f4f7fb' -fill '#e3ecf7' -stroke '#4a6a8a' -strokewidth 2 \
    -draw "circle $cx,$cy $((cx + r0)),$cy" -fill none -strokewidth 1 \
    -draw "circle $cx,$cy $((cx + r30)),$cy" -draw "circle $cx,$cy $((cx + r60)),$cy" \
    -stroke '#8aa4be' -draw "line $((cx - r0)),$cy $((cx + r0)),$cy" -draw "line $cx,$((cy - r0)) $cx,$((cy + r0))" \
    -stroke none -fill '#1f3b57' -font "$font" -pointsize "$pt" -gravity center \
    -annotate "+0-$((r0 + margin / 2))" N -annotate "+0+$((r0 + margin / 2))" S \
    -annotate "+$((r0 + margin / 2))+0" E -annotate "-$((r0 + margin / 2))+0" W \
    -fill '#6a839c' -pointsize $((pt * 2 / 3)) -annotate "+$((r30 / 6))-$((r30 + pt / 2))" 30 \
    -annotate "+$((r60 / 3))-$((r60 + pt / 2))" 60 \
    -define png:exclude-chunks=date,time "PNG24:$file"
}

skyplot 502.png 231 239
skyplot 503.png 462 478

convert -size 159x96 xc:'#f4f7fb' \
  -fill '#2d3e50' -stroke '#1b2631' -draw "roundrectangle 30,30 128,88 8,8" \
  -fill '#7fb3d5' -stroke '#1b2631' -draw "rectangle 42,40 96,66" \
  -fill '#27ae60' -stroke none -draw "circle 112,46 116,46" \
  -fill '#e67e22' -draw "circle 112,62 116,62" \
  -stroke '#1b2631' -strokewidth 3 -draw "line 52,30 52,10" -fill '#1b2631' -draw "circle 52,8 56,8" \
  -stroke '#1b2631' -strokewidth 2 -fill none -draw "arc 58,0 78,20 -60,60" -draw "arc 60,-6 88,24 -60,60" \
  -stroke none -fill white -font "$font" -pointsize 11 -draw "text 46,80 'GNSS'" \
  -define png:exclude-chunks=date,time "PNG24:501.png"
