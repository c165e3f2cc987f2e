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
source scripts/report_browser.sh
report_arguments docs/screenshots/log-report.png "$@"
capture=${NAVLUME_CORPUS:-$PWD/../shared/corpus}/gpsd-gnss/quectel-l76k-nmea.log
[ -f "$capture" ] || { echo "no capture $capture: set NAVLUME_CORPUS to the corpus folder" >&2; exit 2; }
report_workspace chromium

cp "$capture" "$work/"
command=(navlume-cli report --talkers any --html report.html "$(basename "$capture")")
(cd "$work" && "$OLDPWD/build/tools/${command[0]}" "${command[@]:1}" >summary.txt)

case $mode in
  screenshot)
    screenshot "$png" 1800
    ;;
  check)
    check_rendered "log report"
    ;;
  *)
    echo "usage: scripts/log_report.sh screenshot [PNG] | check [--no-build]" >&2
    exit 2
    ;;
esac
