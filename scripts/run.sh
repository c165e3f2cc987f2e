#!/usr/bin/env bash
# Builds the program navlume (no test suites, no benchmarks) and runs it on a
# simulated u-blox 7 receiver. With a display it opens the window; without one
# it runs on Qt's offscreen platform, saves every tab as a PNG into
# build/screenshots and prints their paths.
# Extra arguments go to navlume (such as --screen 320x240 or --simulate=oem615).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh navlume
program=build/app/navlume

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" --simulate "$@"
fi

shots=build/screenshots
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running offscreen, screenshots go to $shots/" >&2
rm -rf "$shots"
QT_QPA_PLATFORM=offscreen "$program" --simulate --time-scale 0.2 --ttff 5 --quit-after 12 \
  --screenshots "$shots" "$@"
ls -1 "$shots"/*.png "$shots"/controls.json
