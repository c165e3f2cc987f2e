#!/usr/bin/env python3
"""Writes sample.nmea: two minutes of a plausible GPS receiver at 1 Hz.

The receiver starts without a fix for 12 s, then walks north-east from a point
near Vancouver. Each second it sends GGA, GSA, a GSV cycle (every 5 s), RMC and GLL.
Run: python3 samples/make_sample.py > samples/sample.nmea
"""
import datetime
import math
import sys

START = datetime.datetime(2024, 5, 17, 9, 30, 0)
SECONDS = 120
NO_FIX = 12
LAT0, LON0 = 49.274166, -123.185333
# PRN, elevation, azimuth, SNR at full signal
SATELLITES = [(2, 67, 95, 44), (5, 41, 210, 41), (7, 33, 300, 38), (9, 12, 45, 29), (13, 55, 160, 46),
              (15, 8, 250, 22), (18, 24, 130, 35), (20, 71, 20, 47), (26, 18, 330, 31), (29, 5, 80, 0)]


def sentence(body):
    checksum = 0
    for c in body.encode():
        checksum ^= c
    return "$%s*%02X\r\n" % (body, checksum)


def nmea_angle(value, degree_digits):
    value = abs(value)
    degrees = int(value)
    minutes = (value - degrees) * 60
    return "%0*d%07.4f" % (degree_digits, degrees, minutes)


def main():
    out = []
    for t in range(SECONDS):
        now = START + datetime.timedelta(seconds=t)
        hms = now.strftime("%H%M%S") + ".00"
        dmy = now.strftime("%d%m%y")
        fixed = t >= NO_FIX
        lat = LAT0 + 0.00001 * t
        lon = LON0 + 0.000012 * t
        lat_text = "%s,%s" % (nmea_angle(lat, 2), "N" if lat >= 0 else "S")
        lon_text = "%s,%s" % (nmea_angle(lon, 3), "E" if lon >= 0 else "W")
        tracked = [s for s in SATELLITES if s[3] > 0]
        used = [s[0] for s in tracked if s[1] > 10][:12] if fixed else []
        hdop = 0.9 + 0.1 * math.sin(t / 10)
        if fixed:
            out.append(sentence("GPGGA,%s,%s,%s,1,%02d,%.1f,%.1f,M,-16.9,M,," % (
                hms, lat_text, lon_text, len(used), hdop, 62.5 + 0.05 * t)))
        else:
            out.append(sentence("GPGGA,%s,,,,,0,00,99.9,,,,,," % hms))
        prns = ["%02d" % p for p in used] + [""] * (12 - len(used))
        out.append(sentence("GPGSA,A,%d,%s,%.1f,%.1f,%.1f" % (
            3 if fixed else 1, ",".join(prns), hdop + 0.8, hdop, 1.4) if fixed else
            "GPGSA,A,1,%s,,," % ",".join(prns)))
        if t % 5 == 0:
            total = (len(SATELLITES) + 3) // 4
            for number in range(1, total + 1):
                group = SATELLITES[4 * (number - 1):4 * number]
                fields = []
                for prn, elevation, azimuth, snr in group:
                    level = snr if fixed or snr < 30 else snr - 12
                    fields.append("%02d,%02d,%03d,%s" % (prn, elevation, azimuth, "%02d" % level if snr else ""))
                out.append(sentence("GPGSV,%d,%d,%02d,%s" % (total, number, len(SATELLITES), ",".join(fields))))
        if fixed:
            out.append(sentence("GPRMC,%s,A,%s,%s,%.1f,%.1f,%s,16.8,E,A" % (hms, lat_text, lon_text, 2.9, 38.6, dmy)))
            out.append(sentence("GPGLL,%s,%s,%s,A,A" % (lat_text, lon_text, hms)))
        else:
            out.append(sentence("GPRMC,%s,V,,,,,,,%s,,,N" % (hms, dmy)))
            out.append(sentence("GPGLL,,,,,%s,V,N" % hms))
    sys.stdout.write("".join(out))


if __name__ == "__main__":
    main()
