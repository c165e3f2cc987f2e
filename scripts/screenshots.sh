#!/usr/bin/env bash
# Regenerates docs/screenshots/: the five normal-mode pages of navlume on a
# simulated u-blox 7 at a fix, on each handheld screen (240x320, 320x240,
# 480x640, 640x480), drawn on Qt's offscreen platform. Named <tab>-<W>x<H>.png.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${1:-}" = "--no-build" ] || bash scripts/build.sh navlume
out=docs/screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
for screen in 240x320 320x240 480x640 640x480; do
  QT_QPA_PLATFORM=offscreen build/app/navlume --simulate --time-scale 0.2 --ttff 5 --quit-after 12 \
    --screen "$screen" --screenshots "$work/$screen" 2>"$work/$screen.log" ||
    { cat "$work/$screen.log" >&2; exit 1; }
  for shot in "$work/$screen"/0[1-5]-*.png; do
    name=$(basename "$shot" .png)
    cp "$shot" "$out/${name#??-}-$screen.png"
  done
done
ls -1 "$out"/*.png
