#!/usr/bin/env bash
# Measures the production test's TTFF against the simulator's truth, on the
# command line (`navlume-cli prodtest` on `navlume-cli sim`) and on the
# production sheet (`navlume --simulate`, offscreen), for the same stations and
# scenarios. Each run gives the simulated receivers a known time to first fix
# (TRUTH); both programs journal what they measured, and each reading is
# compared with TRUTH and with the other program's.
#
# Usage: bench/prodtest_ttff.sh [BUILD_DIR] [RUNS] [TIME_SCALE] [STATION...]
#   STATION is PROFILE:TESTTYPE:PORT1,PORT2, such as ublox+agps:0:U-BLOX,A-GPS
#   (default: the four stations below). Prints one line per receiver and run,
#   then min/median/max per station and receiver.
#
# The u-blox and the OEM615 are cold-started when the test opens them, so their
# truth is TRUTH from that start; the OEM615's start-up goes on for about 5 s
# after its cold start, before its count begins. The simulated A-GPS is not
# restarted: its TTFF runs from the simulation's start, so tested second it is
# long fixed when its turn comes.
set -euo pipefail
build=${1:-build}
runs=${2:-10}
scale=${3:-0.05}
shift $(($# < 3 ? $# : 3))
stations=("$@")
[ ${#stations[@]} -gt 0 ] || stations=(ublox+agps:0:U-BLOX,A-GPS oem615+agps:0:OEM615,A-GPS
                                       oem615+agps:0:A-GPS,OEM615 ublox+agps:1:U-BLOX,A-GPS)
cli="$build/tools/navlume-cli"
gui="$build/app/navlume"
for program in "$cli" "$gui"; do [ -x "$program" ] || { echo "no $program: build it first" >&2; exit 2; }; done
work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

# The station's test configuration: TESTTYPE, no level trouble, timeout 100 s.
configure() {  # ROOT TESTTYPE PORT1 PORT2
  mkdir -p "$1/files"
  printf 'TESTTYPE: %s\r\nTESTTIMEOUT: 100\r\nPORT1: %s\r\nLEVEL1: 10\r\nPORT2: %s\r\nLEVEL2: 10\r\n' "$2" "$3" "$4" \
    >"$1/files/Navlume.ini"
}

journal_lines() { cat "$1/files/Temp/NAVLUME_RESULTS.CSV" 2>/dev/null | awk '/,COM/ { n++ } END { print n + 0 }'; }

# "PORT TTFF REASON" per journalled receiver.
readings() { awk -F, 'NR > 1 { print $2, $5, $12 }' "$1/files/Temp/NAVLUME_RESULTS.CSV"; }

# Waits (real seconds) until the root's journal holds two lines.
wait_for_journal() {  # ROOT PATIENCE
  local deadline=$((SECONDS + $2))
  until [ "$(journal_lines "$1")" -ge 2 ] || [ $SECONDS -ge $deadline ]; do sleep 0.05; done
}

run_cli() {  # ROOT PROFILE TRUTH TESTTYPE PORT1 PORT2
  "$cli" sim --profile "$2" --ttff "$3" --time-scale "$scale" --root "$1" >"$1.sim" 2>/dev/null &
  local sim=$!
  pids+=("$sim")
  until [ -s "$1.sim" ]; do sleep 0.02; done
  configure "$1" "$4" "$5" "$6"
  "$cli" prodtest --root "$1" --time-scale "$scale" >/dev/null 2>"$1.err" || true
  kill "$sim"
  wait "$sim" 2>/dev/null || true
}

run_sheet() {  # ROOT PROFILE TRUTH TESTTYPE PORT1 PORT2
  configure "$1" "$4" "$5" "$6"
  mkdir -p "$1.runtime" && chmod 700 "$1.runtime"
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$1.runtime" "$gui" --simulate="$2" --root "$1" --ttff "$3" \
    --time-scale "$scale" --quit-after 100000 2>"$1.err" &
  local sheet=$!
  pids+=("$sheet")
  wait_for_journal "$1" "$(awk -v s="$scale" 'BEGIN { printf "%d", 300 * s + 30 }')"
  kill -TERM "$sheet"
  wait "$sheet" 2>/dev/null || true
}

results="$work/results"
for station in "${stations[@]}"; do
  IFS=: read -r profile testType ports <<<"$station"
  IFS=, read -r port1 port2 <<<"$ports"
  for i in $(seq 1 "$runs"); do
    truth=$(awk -v i="$i" 'BEGIN { printf "%.2f", 8 + (i * 3.37) % 17 }')
    run_cli "$work/cli-$station-$i" "$profile" "$truth" "$testType" "$port1" "$port2"
    run_sheet "$work/sheet-$station-$i" "$profile" "$truth" "$testType" "$port1" "$port2"
    join <(readings "$work/cli-$station-$i" | sort) <(readings "$work/sheet-$station-$i" | sort) |
      while read -r port cliTtff cliReason sheetTtff sheetReason; do
        echo "$station $port $i $truth $cliTtff $sheetTtff $cliReason $sheetReason" | tee -a "$results" |
          awk '{ printf "%s %s run %s: truth %s s, command line %s s (%s), sheet %s s (%s)\n", $1, $2, $3, $4, $5, $7, $6, $8 }'
      done
  done
done

# min/median/max of column `field` of a set of numbers on standard input.
summary() {
  sort -g | awk -v what="$1" '{ v[NR] = $1 } END {
    if (NR == 0) { printf "  %-28s no readings\n", what; exit }
    median = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "  %-28s min %7.2f  median %7.2f  max %7.2f  (%d runs)\n", what, v[1], median, v[NR], NR }'
}
echo
echo "TTFF in system seconds, time scale $scale"
for station in "${stations[@]}"; do
  for port in $(awk -v s="$station" '$1 == s { print $2 }' "$results" | sort -u); do
    echo "$station $port:"
    awk -v s="$station" -v p="$port" '$1 == s && $2 == p { print $5 - $4 }' "$results" | summary "command line - truth"
    awk -v s="$station" -v p="$port" '$1 == s && $2 == p { print $6 - $4 }' "$results" | summary "sheet - truth"
    awk -v s="$station" -v p="$port" '$1 == s && $2 == p { print $5 - $6 }' "$results" | summary "command line - sheet"
  done
done
