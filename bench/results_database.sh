#!/usr/bin/env bash
# The results database with 1 M lines (a year of a twenty-station line,
# scripts/sample_journal.sh): lines per second of navlume-cli journal push
# into an empty database, of the same push again (every line already
# there), and the time of navlume-cli journal --database --json over the
# 1 M rows. A private PostgreSQL server runs in a temporary folder on a Unix
# socket (as the postgres user when run as root), fsync on as a real server
# has it; everything is removed afterwards.
# Usage: bench/results_database.sh [BUILD_DIR] [LINES]
set -euo pipefail
build=${1:-build}
lines=${2:-1000000}
cli="$build/tools/navlume-cli"
[ -x "$cli" ] || { echo "no $cli: build navlume-cli first" >&2; exit 2; }
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$bin/pg_ctl" ] || { echo "PostgreSQL is not installed (Debian package postgresql)" >&2; exit 2; }
work=$(mktemp -d)
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  chown postgres "$work"
  as_server=(runuser -u postgres --)
fi
stop() {
  "${as_server[@]}" "$bin/pg_ctl" -D "$work/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap stop EXIT
"${as_server[@]}" "$bin/initdb" -D "$work/data" -U postgres -E UTF8 --locale=C --auth-local=trust >/dev/null
"${as_server[@]}" "$bin/pg_ctl" -D "$work/data" -l "$work/data/log" -w \
  -o "-c listen_addresses='' -k $work -p 5432" start >/dev/null
db="host=$work port=5432 dbname=postgres user=postgres"
"$cli" db init --database "$db" >/dev/null
bash "$(dirname "$0")/../scripts/sample_journal.sh" "$lines" >"$work/line.csv"
measure() {  # what, command...
  local what=$1 start end
  shift
  start=$(date +%s.%N)
  "$@" >"$work/out"
  end=$(date +%s.%N)
  awk -v what="$what" -v start="$start" -v end="$end" -v lines="$lines" -v out="$(head -c 60 "$work/out")" 'BEGIN { s = end - start
    printf "%s: %.2f s, %.0f lines/s (%s)\n", what, s, lines / s, out }'
}
measure "journal push, $lines new lines" "$cli" journal push --database "$db" "$work/line.csv"
measure "journal push again, all there" "$cli" journal push --database "$db" "$work/line.csv"
measure "journal --database --json" "$cli" journal --json --database "$db"
