#!/usr/bin/env bash
# The signal-history report of a multi-constellation capture of the corpus
# (gpsd-gnss/quectel-l76k-nmea.log: GPS, GLONASS and BeiDou), rendered in
# headless Chromium (Debian's chromium, installed when missing).
#   scripts/log_report.sh screenshot [PNG]  the README's picture (default docs/screenshots/log-report.png)
#   scripts/log_report.sh check             loads the report once and fails on any console message or a
#                                           chart missing from the DOM
# Add --no-build after the mode when build/tools/navlume-cli is up to date. The corpus is
# $NAVLUME_CORPUS, else ../shared/corpus beside the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-screenshot}
shift || true
png=docs/screenshots/log-report.png
build=1
for argument in "$@"; do
  if [ "$argument" = "--no-build" ]; then build=0; else png=$argument; fi
done
capture=${NAVLUME_CORPUS:-$PWD/../shared/corpus}/gpsd-gnss/quectel-l76k-nmea.log
[ -f "$capture" ] || { echo "no capture $capture: set NAVLUME_CORPUS to the corpus folder" >&2; exit 2; }
[ "$build" = 0 ] || bash scripts/build.sh
bash scripts/deps.sh chromium
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$capture" "$work/"
command=(navlume-cli report --talkers any --html report.html "$(basename "$capture")")
(cd "$work" && "$OLDPWD/build/tools/${command[0]}" "${command[@]:1}" >summary.txt)

browse() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" "$@" "file://$work/report.html"
}

case $mode in
  screenshot)
    mkdir -p "$(dirname "$png")"
    browse --hide-scrollbars --window-size=1280,1800 --screenshot="$PWD/$png" 2>"$work/chromium.log" ||
      { cat "$work/chromium.log" >&2; exit 1; }
    echo "${command[*]}"
    cat "$work/summary.txt"
    echo "$png"
    ;;
  check)
    browse --enable-logging=stderr --v=0 --dump-dom >"$work/dom.html" 2>"$work/chromium.log"
    written=$(grep -o '<svg ' "$work/report.html" | wc -l)
    rendered=$(grep -o '<svg ' "$work/dom.html" | wc -l)
    if grep ':CONSOLE' "$work/chromium.log" >&2 || [ "$written" -eq 0 ] || [ "$rendered" -ne "$written" ] ||
      ! grep -q '</table>' "$work/dom.html"; then
      echo "the log report did not render cleanly: $rendered of $written charts in the DOM" >&2
      exit 1
    fi
    echo "log report rendered in Chromium: $rendered charts, no console messages"
    ;;
  *)
    echo "usage: scripts/log_report.sh screenshot [PNG] | check [--no-build]" >&2
    exit 2
    ;;
esac
