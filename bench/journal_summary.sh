#!/usr/bin/env bash
# navlume-cli journal over made-up journals of 1 M lines (a year of a
# twenty-station line) and 10 M lines (that year's journal ten times in one
# file, a header line starting each): lines per second and the command's
# peak resident memory, as GNU time measures it. The journals are generated
# by scripts/sample_journal.sh and removed afterwards.
# Usage: bench/journal_summary.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli="$build/tools/navlume-cli"
year_lines=1000000
[ -x "$cli" ] || { echo "no $cli: build navlume-cli first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs GNU time: apt-get install time" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$(dirname "$0")/../scripts/sample_journal.sh" "$year_lines" >"$work/1.csv"
for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$work/1.csv"; done >"$work/10.csv"
for years in 1 10; do
  /usr/bin/time -f '%e %M' -o "$work/time" "$cli" journal --json "$work/$years.csv" >"$work/summary.json"
  read -r seconds kib <"$work/time"
  awk -v lines=$((years * year_lines)) -v s="$seconds" -v kib="$kib" 'BEGIN {
    printf "%d lines: %.2f s, %.2f M lines/s, peak RSS %.1f MiB\n", lines, s, lines / s / 1e6, kib / 1024 }'
done
