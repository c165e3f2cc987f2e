#!/usr/bin/env bash
# Regenerates docs/screenshots/: the five normal-mode pages of navlume on a
# simulated u-blox 7 at a fix, on each handheld screen (240x320, 320x240,
# 480x640, 640x480), drawn on Qt's offscreen platform, named <tab>-<W>x<H>.png;
# and the Main, Signal, Position and NMEA data pages of a simulated modern
# u-blox tracking GPS, GLONASS, Galileo and BeiDou, named gnss-<tab>-<W>x<H>.png;
# and the History page of a four-system receiver whose lid closes for a while,
# after almost five simulated minutes, named gnss-history-<W>x<H>.png.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${1:-}" = "--no-build" ] || bash scripts/build.sh navlume
out=docs/screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
# shoot PREFIX TABS [navlume options...]: the tabs numbered in TABS (a glob) at every size,
# after QUIT_AFTER simulated seconds (12 by default) passing at TIME_SCALE (0.2).
shoot() {
  local prefix=$1 tabs=$2
  shift 2
  for screen in 240x320 320x240 480x640 640x480; do
    local dir="$work/$prefix$screen"
    QT_QPA_PLATFORM=offscreen build/app/navlume --simulate --time-scale "${TIME_SCALE:-0.2}" \
      --quit-after "${QUIT_AFTER:-12}" "$@" \
      --screen "$screen" --screenshots "$dir" 2>"$dir.log" || { cat "$dir.log" >&2; exit 1; }
    for shot in "$dir"/0$tabs-*.png; do
      name=$(basename "$shot" .png)
      cp "$shot" "$out/$prefix${name#??-}-$screen.png"
    done
  done
}
shoot "" "[1-5]" --ttff 5
shoot gnss- "[1-4]" --ttff 5 --gnss gps,glonass,galileo,beidou
TIME_SCALE=0.03 QUIT_AFTER=290 shoot gnss- "4" --history --scenario sim/scenarios/gnss_history_lid.json
ls -1 "$out"/*.png
