#!/usr/bin/env bash
# The result-journal report of generated journals (four stations writing
# station and reason, and a fifth journal of the first version, counted under
# its file name ST-05), rendered in headless Chromium (Debian's chromium,
# installed when missing).
#   scripts/journal_report.sh screenshot [PNG]  the README's picture (default docs/screenshots/journal-report.png)
#   scripts/journal_report.sh check             loads the report once and fails on any console message (a
#                                               script, a blocked load, a parse error) or a chart missing from the DOM,
#                                               then prints it to PDF on A4 and fails when a word lies beyond the
#                                               page's width or the table's last column is missing
# Add --no-build after the mode when build/tools/navlume-cli is up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/report_browser.sh
report_arguments docs/screenshots/journal-report.png "$@"
report_workspace chromium poppler-utils

bash scripts/sample_journal.sh 6000 4 90 7 >"$work/line.csv"
bash scripts/sample_journal.sh 1500 1 90 8 old >"$work/ST-05.csv"
command=(navlume-cli journal line.csv ST-05.csv --by station --html report.html)
(cd "$work" && "$OLDPWD/build/tools/${command[0]}" "${command[@]:1}" >summary.txt)

case $mode in
  screenshot)
    screenshot "$png" 3650
    ;;
  check)
    check_rendered "journal report"
    # Printed on A4, the narrower of the common papers (a copy asks for it; the report leaves it to the printer).
    sed 's|</style>|@page { size: A4; }\n</style>|' "$work/report.html" >"$work/report-a4.html"
    chromium --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
      --no-pdf-header-footer --print-to-pdf="$work/report.pdf" "file://$work/report-a4.html" 2>>"$work/chromium.log" ||
      { cat "$work/chromium.log" >&2; exit 1; }
    pdftotext -bbox "$work/report.pdf" "$work/words.html"
    # The last column holds each group's last time stamp: the newest one must be printed whole, on the page.
    last=$(tail -n +2 "$work/line.csv" | cut -d, -f1 | sort | tail -n 1)
    if ! awk -v last="T${last#*T}" '
        /<page / { match($0, /width="[0-9.]+"/); width = substr($0, RSTART + 7, RLENGTH - 8) + 0 }
        /<word / { match($0, /xMax="[0-9.]+"/); x = substr($0, RSTART + 6, RLENGTH - 7) + 0
                   if (x > width + 0.5) { print "beyond the page width " width ": " $0; bad = 1 }
                   if (index($0, last "<")) found = 1 }
        END { if (!found) print "the last time stamp " last " is not on the page"; exit bad || !found }' \
        "$work/words.html" >&2; then
      echo "the journal report does not print whole on an A4 page" >&2
      exit 1
    fi
    echo "journal report printed to PDF: every word within the page width, the last column whole"
    ;;
  *)
    echo "usage: scripts/journal_report.sh screenshot [PNG] | check [--no-build]" >&2
    exit 2
    ;;
esac
