#!/usr/bin/env bash
# Writes a made-up result journal to standard output, for the report's
# screenshot, its browser check and the benchmarks: LINES receiver tests
# spread evenly over DAYS days from 2026-01-01, by STATIONS stations named
# ST-01, ST-02 ..., u-blox 7, OEM615 and A-GPS receivers, with timeouts,
# low-SNR failures and a few receivers that could not be opened; the
# average SNR of station ST-03 sinks over the period, so its yield drifts.
# Usage: scripts/sample_journal.sh LINES [STATIONS] [DAYS] [SEED] [old]
# "old" writes the journal's first version (no reason and station columns).
set -euo pipefail
lines=${1:?usage: sample_journal.sh LINES [STATIONS] [DAYS] [SEED] [old]}
stations=${2:-20}
days=${3:-365}
seed=${4:-1}
version=${5:-new}
exec awk -v lines="$lines" -v stations="$stations" -v days="$days" -v seed="$seed" -v version="$version" '
function civil(n,    z, era, doe, yoe, doy, mp, d, m, y) {  # days since 1970-01-01 to Y-M-D
  z = n + 719468; era = int(z / 146097); doe = z - era * 146097
  yoe = int((doe - int(doe / 1460) + int(doe / 36524) - int(doe / 146096)) / 365)
  y = yoe + era * 400; doy = doe - (365 * yoe + int(yoe / 4) - int(yoe / 100)); mp = int((5 * doy + 2) / 153)
  d = doy - int((153 * mp + 2) / 5) + 1; m = mp < 10 ? mp + 3 : mp - 9
  return sprintf("%04d-%02d-%02d", m <= 2 ? y + 1 : y, m, d)
}
function normal(mean, spread) { return mean + spread * (rand() + rand() + rand() + rand() - 2) }
BEGIN {
  srand(seed)
  first = 20454  # 2026-01-01
  step = days * 86400 / lines
  header = "utc,port,receiver,testType,ttffSeconds,timedOut,averageSnr,passLevel,verdict,satellitesInView,satellitesUsed"
  printf "%s%s\r\n", header, version == "old" ? "" : ",reason,station"
  for (i = 0; i < lines; i++) {
    t = int(i * step); day = first + int(t / 86400); s = t % 86400
    stamp = sprintf("%sT%02d:%02d:%02dZ", civil(day), int(s / 3600), int(s % 3600 / 60), s % 60)
    station = sprintf("ST-%02d", i % stations + 1)
    r = rand()
    if (r < 0.5) { port = "COM2:"; receiver = "U-BLOX7"; ttff = normal(30, 14); timeout = 60; level = 35 }
    else if (r < 0.8) { port = "COM3:"; receiver = "OEM615"; ttff = normal(42, 18); timeout = 90; level = 35 }
    else { port = "COM9:"; receiver = "A-GPS"; ttff = normal(24, 10); timeout = 60; level = 30 }
    snr = normal(station == "ST-03" ? 42 - 9 * i / lines : 41, 6)
    if (snr < 0) snr = 0
    ttff = int(ttff < 1 ? 1 : ttff); snr = int(snr)
    used = 4 + int(rand() * 8); view = used + int(rand() * 4)
    reason = "fix"; timedOut = 0; o = rand()
    if (version == "old") o = 0.01 + o * 0.99  # the first version wrote only tests that finished
    if (o < 0.004) { reason = "open failed"; ttff = 0; snr = 0; used = 0; view = 0 }
    else if (o < 0.007) { reason = "stopped"; ttff = int(rand() * timeout) }
    else if (ttff >= timeout || o < 0.03) { reason = "timeout"; timedOut = 1; ttff = timeout }
    verdict = reason == "fix" && snr >= level ? "Pass" : "Fail"
    type = i % 7 == 0 ? "At the same time" : "One by one"
    printf "%s,%s,%s,%s,%d,%d,%d,%d,%s,%d,%d", stamp, port, receiver, type, ttff, timedOut, snr, level, verdict, view, used
    if (version == "old") printf "\r\n"; else printf ",%s,%s\r\n", reason, station
  }
}'
