#!/usr/bin/env bash
# navlume-cli report against navlume-cli decode on one generated log of a
# four-system receiver (GPS, GLONASS, Galileo, BeiDou; NMEA 4.11 with signal
# ids, GPS on L1 and L5) at 1 Hz: its first hour and the whole 24 hours
# (about 120 MB). Prints wall time and peak resident memory (GNU time) of
# each; report's memory stays the same for 1 and 24 hours. The log is
# generated here and removed afterwards.
# Usage: bench/report_vs_decode.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli="$build/tools/navlume-cli"
[ -x "$cli" ] || { echo "no $cli: build navlume-cli first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs GNU time: apt-get install time" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/day.log" <<'PY'
import math, random, sys
random.seed(26)
def nmea(body):
    c = 0
    for ch in body.encode():
        c ^= ch
    return "$%s*%02X\r\n" % (body, c)
def coord(value, width, positive, negative):
    hemisphere = positive if value >= 0 else negative
    value = abs(value)
    degrees = int(value)
    return "%0*d%08.5f,%s" % (width, degrees, (value - degrees) * 60, hemisphere)
# talker, GSA system id, satellite numbers, signals
systems = [("GP", 1, range(1, 13), ["1", "7"]), ("GL", 2, range(65, 73), ["1"]),
           ("GA", 3, range(1, 9), ["7"]), ("GB", 4, range(1, 11), ["1"])]
with open(sys.argv[1], "w", newline="") as out:
    out.write("# generated: 24 h at 1 Hz, four systems\r\n")
    for t in range(86400):
        hh, mm, ss = t // 3600, t // 60 % 60, t % 60
        time = "%02d%02d%02d.00" % (hh, mm, ss)
        lat = 47.6 + random.gauss(0, 1.5e-6)
        lon = -122.3 + random.gauss(0, 2e-6)
        lines = [nmea("GNRMC,%s,A,%s,%s,0.0,0.0,050826,,,A,V" % (time, coord(lat, 2, "N", "S"), coord(lon, 3, "E", "W"))),
                 nmea("GNGGA,%s,%s,%s,1,24,0.8,76.5,M,-21.6,M,," % (time, coord(lat, 2, "N", "S"), coord(lon, 3, "E", "W")))]
        for talker, sid, prns, signals in systems:
            used = list(prns)[:6] + [""] * 6
            lines.append(nmea("GNGSA,A,3,%s,1.4,0.8,1.1,%d" % (",".join("%02d" % p if p else "" for p in used), sid)))
        for talker, sid, prns, signals in systems:
            prns = list(prns)
            for signal in signals:
                total = (len(prns) + 3) // 4
                for n in range(total):
                    part = prns[4 * n:4 * n + 4]
                    fields = []
                    for p in part:
                        cn0 = int(38 + 8 * math.sin((t / 3600.0) + p) + random.random() * 2) - (4 if signal == "7" else 0)
                        fields.append("%02d,%02d,%03d,%02d" % (p, 30 + p % 50, (p * 37) % 360, cn0))
                    lines.append(nmea("%sGSV,%d,%d,%02d,%s,%s" % (talker, total, n + 1, len(prns), ",".join(fields), signal)))
        out.write("".join(lines))
PY
head -c "$(($(wc -c <"$work/day.log") / 24))" "$work/day.log" >"$work/hour.log"
echo "log: 24 h $(($(wc -c <"$work/day.log") / 1048576)) MiB, $(wc -l <"$work/day.log") lines"
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
  read -r seconds kib <"$work/time"
  printf '%s\n' "$seconds $kib"
}
for log in hour day; do
  read -r report_s report_kib < <(measure "$cli" report --talkers any --json "$work/$log.log")
  read -r decode_s decode_kib < <(measure "$cli" decode --talkers any "$work/$log.log")
  awk -v name="$log" -v rs="$report_s" -v rk="$report_kib" -v ds="$decode_s" -v dk="$decode_kib" 'BEGIN {
    printf "%-4s  report %7.2f s, peak RSS %6.1f MiB   decode %7.2f s, peak RSS %6.1f MiB   report/decode time %.2f\n",
      name, rs, rk / 1024, ds, dk / 1024, rs / ds }'
done
