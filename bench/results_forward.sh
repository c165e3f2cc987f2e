#!/usr/bin/env bash
# Measures how results are forwarded into one PostgreSQL server (a private one,
# on a Unix socket in a temporary folder):
#  1. UNITS simulated stations (navlume-cli sim and navlume-cli prodtest run
#     after run, both receivers at the same time, at TIME_SCALE) forwarding at
#     once for SECONDS: lines stored per second, and how many still wait.
#  2. A backlog of BACKLOG results journalled while the server was down: the
#     time from the server's return until the forwarders of the next runs have
#     stored them all (each run waits at most 3 system seconds at its end).
# Each unit's own output is bounded by the machine: 20 simulated stations
# share its cores, so the rate counts what they journal, not the server's limit.
#
# Usage: bench/results_forward.sh [BUILD_DIR] [UNITS] [SECONDS] [TIME_SCALE] [BACKLOG]
set -euo pipefail
build=${1:-build}
units=${2:-20}
seconds=${3:-30}
scale=${4:-0.05}
backlog=${5:-10000}
cli=$(realpath "$build/tools/navlume-cli")
[ -x "$cli" ] || { echo "no $cli: build it first" >&2; exit 2; }
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
work=$(mktemp -d)
chmod 755 "$work"
pids=()

as_server() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
server() { as_server "$bin/pg_ctl" -D "$work/pg/data" -l "$work/pg/log" -w "$@" >/dev/null; }
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  server -m immediate stop 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/pg"
[ "$(id -u)" != 0 ] || chown postgres "$work/pg"
as_server "$bin/initdb" -D "$work/pg/data" -U postgres -E UTF8 --locale=C --auth-local=trust >/dev/null
start_server() { server -o "-c listen_addresses='' -k $work/pg -c max_connections=100" start; }
start_server
database="host=$work/pg dbname=postgres user=postgres"
"$cli" db init --database "$database" >/dev/null
rows() { "$bin/psql" -X -A -t -d "$database" -c 'SELECT count(*) FROM navlume.results'; }
journal_lines() { cat "$@" 2>/dev/null | grep -c ',COM' || true; }
now() { date +%s.%N; }

# A station: its simulated receivers and its Navlume.ini.
station() {  # ROOT
  "$cli" sim --profile ublox+agps --ttff 2 --time-scale "$scale" --root "$1" >"$1.sim" 2>/dev/null &
  pids+=($!)
  until [ -s "$1.sim" ]; do sleep 0.02; done
  printf 'TESTTYPE: 1\r\nTESTTIMEOUT: 30\r\nPORT1: U-BLOX\r\nPORT2: A-GPS\r\n' >"$1/files/Navlume.ini"
}

# 1. Many stations at once.
for i in $(seq "$units"); do station "$work/unit$i"; done
start=$(rows)
begin=$(now)
end=$((SECONDS + seconds))
for i in $(seq "$units"); do
  (while [ $SECONDS -lt $end ]; do
     "$cli" prodtest --root "$work/unit$i" --time-scale "$scale" --database "$database" >/dev/null 2>>"$work/unit$i.err" || true
   done) &
  pids+=($!)
done
sleep "$seconds"
stored=$(( $(rows) - start ))
elapsed=$(echo "$(now) - $begin" | bc)
wait "${pids[@]: -$units}" 2>/dev/null || true
journalled=$(journal_lines "$work"/unit*/files/Temp/NAVLUME_RESULTS.CSV)
printf '%d units at time scale %s for %s s: %d lines stored, %.1f lines/s; %d journalled, %d stored at the end\n' \
  "$units" "$scale" "$seconds" "$stored" "$(echo "$stored / $elapsed" | bc -l)" "$journalled" "$(rows)"
grep -h "wait for the database" "$work"/unit*.err | sort | uniq -c | sort -rn | head -3 || true
for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
wait 2>/dev/null || true
pids=()

# 2. A backlog journalled while the server was down.
root="$work/backlog"
station "$root"
template=$(grep -m1 ',COM' "$work/unit1/files/Temp/NAVLUME_RESULTS.CSV")
before=$(rows)
server -m fast stop
python3 - "$root/files/Temp/NAVLUME_RESULTS.CSV" "$(head -1 "$work/unit1/files/Temp/NAVLUME_RESULTS.CSV")" \
  "$template" "$backlog" <<'EOF'
import sys, uuid
path, header, template, count = sys.argv[1], sys.argv[2].rstrip('\r'), sys.argv[3].rstrip('\r'), int(sys.argv[4])
stem = template[:template.rfind(',') + 1]
with open(path, 'w', newline='') as journal:
    journal.write(header + '\r\n')
    for _ in range(count):
        journal.write(stem + str(uuid.uuid4()) + '\r\n')
EOF
start_server
back=$(now)
until [ "$(rows)" -ge $((before + backlog)) ]; do
  "$cli" prodtest --root "$root" --time-scale "$scale" --database "$database" >/dev/null 2>>"$root.err" || true
done
printf 'backlog of %d results: all stored %.2f s after the server came back\n' "$backlog" "$(echo "$(now) - $back" | bc)"
