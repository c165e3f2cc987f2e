#!/usr/bin/env bash
# The result-journal report of generated journals (four stations writing
# station and reason, and a fifth journal of the first version, counted under
# its file name ST-05), rendered in headless Chromium (Debian's chromium,
# installed when missing).
#   scripts/journal_report.sh screenshot [PNG]  the README's picture (default docs/screenshots/journal-report.png)
#   scripts/journal_report.sh check             loads the report once and fails on any console message (a
#                                               script, a blocked load, a parse error) or a chart missing from the DOM
# Add --no-build after the mode when build/tools/navlume-cli is up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-screenshot}
shift || true
png=docs/screenshots/journal-report.png
build=1
for argument in "$@"; do
  if [ "$argument" = "--no-build" ]; then build=0; else png=$argument; fi
done
[ "$build" = 0 ] || bash scripts/build.sh
bash scripts/deps.sh chromium
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash scripts/sample_journal.sh 6000 4 90 7 >"$work/line.csv"
bash scripts/sample_journal.sh 1500 1 90 8 old >"$work/ST-05.csv"
command=(navlume-cli journal line.csv ST-05.csv --by station --html report.html)
(cd "$work" && "$OLDPWD/build/tools/${command[0]}" "${command[@]:1}" >summary.txt)

browse() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" "$@" "file://$work/report.html"
}

case $mode in
  screenshot)
    mkdir -p "$(dirname "$png")"
    browse --hide-scrollbars --window-size=1280,3650 --screenshot="$PWD/$png" 2>"$work/chromium.log" ||
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
      echo "the journal report did not render cleanly: $rendered of $written charts in the DOM" >&2
      exit 1
    fi
    echo "journal report rendered in Chromium: $rendered charts, no console messages"
    ;;
  *)
    echo "usage: scripts/journal_report.sh screenshot [PNG] | check [--no-build]" >&2
    exit 2
    ;;
esac
