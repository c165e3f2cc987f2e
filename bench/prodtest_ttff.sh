#!/usr/bin/env bash
# Measures the production test's TTFF against the simulator's truth: each run
# starts a simulated u-blox with a known time to first fix, runs
# `navlume-cli prodtest` on it and compares ttffSeconds with that truth.
# Usage: bench/prodtest_ttff.sh [BUILD_DIR] [RUNS] [TIME_SCALE]
set -euo pipefail
build=${1:-build}
runs=${2:-20}
scale=${3:-0.05}
cli="$build/tools/navlume-cli"
[ -x "$cli" ] || { echo "no $cli: build navlume-cli first" >&2; exit 2; }
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
errors=()
for i in $(seq 1 "$runs"); do
  truth=$(awk -v i="$i" 'BEGIN { printf "%.2f", 8 + (i * 3.37) % 17 }')
  root="$work/root$i"
  rm -f "$work/sim.out"
  "$cli" sim --profile ublox --ttff "$truth" --time-scale "$scale" --root "$root" >"$work/sim.out" 2>/dev/null &
  sim=$!
  until [ -s "$work/sim.out" ]; do sleep 0.05; done
  mkdir -p "$root/files"
  printf 'TESTTYPE: 0\r\nTESTTIMEOUT: 100\r\nPORT1: U-BLOX\r\nLEVEL1: 10\r\n' >"$root/files/Navlume.ini"
  measured=$("$cli" prodtest --root "$root" --time-scale "$scale" 2>"$work/run$i.err" | sed -n 's/.*"ttffSeconds":\([0-9]*\).*/\1/p' || true)
  kill "$sim"; wait "$sim" 2>/dev/null || true
  error=$(awk -v m="$measured" -v t="$truth" 'BEGIN { printf "%.2f", m - t }')
  errors+=("$error")
  echo "run $i: truth ${truth} s, measured ${measured} s, error ${error} s"
done
printf '%s\n' "${errors[@]}" | sort -g | awk '{ v[NR] = $1 } END {
  median = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
  printf "TTFF error over %d runs: min %.2f s, median %.2f s, max %.2f s\n", NR, v[1], median, v[NR] }'
