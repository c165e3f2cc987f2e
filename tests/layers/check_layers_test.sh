#!/usr/bin/env bash
# scripts/check_layers.sh on a scratch copy of the sources: the copy as it is
# passes; each include planted below must fail it, naming the file.
#   check_layers_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for folder in platform nmea serial device prodtest results sim tools app resources; do
  cp -r "$source_dir/$folder" "$scratch/"
done
check() { bash "$source_dir/scripts/check_layers.sh" "$scratch" >/dev/null 2>"$scratch.err"; }

failures=0
if ! check; then
  echo "FAIL: the unchanged copy is refused:" && cat "$scratch.err"
  failures=1
fi

# file | planted line | refused
cases=(
  'nmea/NmeaParser.cpp|#include "device/GPSDevice.h"|yes'
  'nmea/GpsPosition.h|#include "serial/Serial.h"|yes'
  'serial/Serial.cpp|#include "nmea/NmeaParser.h"|yes'
  'platform/Time.h|#include "app/GPSPage.h"|yes'
  'platform/Registry.cpp|#include "support/TestTime.h"|yes'
  'device/GPSDevice.cpp|#include "prodtest/PortConf.h"|yes'
  'device/WaitDialog.h|#include <QtCore/QObject>|yes'
  'prodtest/PortConf.cpp|#  include <QString>|yes'
  'sim/Scenario.cpp|#include "device/GPSDevice.h"|yes'
  'sim/Scenario.cpp|#include "serial/Serial.h"|yes'
  'nmea/NmeaParser.cpp|#include <device/GPSDevice.h>|yes'
  'app/pages/logic/SignalBars.cpp|#include <QPainter>|yes'
  'app/pages/logic/SignalBars.cpp|#include "sim/Scenario.h"|yes'
  'tools/main.cpp|#include "app/WinMain.h"|yes'
  'prodtest/ProductionStation.cpp|#include "results/ResultsDatabase.h"|yes'
  'results/Schema.cpp|#include "sim/Scenario.h"|yes'
  'tools/cmd_db.cpp|#include <libpq-fe.h>|yes'
  'results/Schema.cpp|#include <libpq-fe.h>|no'
  'tools/main.cpp|#include "results/ResultsDatabase.h"|no'
  'device/GPSDevice.cpp|#include "serial/Serial.h"|no'
  'prodtest/PortConf.cpp|#include "nmea/GpsPosition.h"|no'
  'tools/main.cpp|#include "sim/Scenario.h"|no'
  'app/pages/SignalPage.cpp|#include <QPainter>|no'
  'nmea/NmeaParser.cpp|#include <sys/types.h>|no'
  'app/WinMain.cpp|#include "tools/PositionJson.h"|no'
)
for row in "${cases[@]}"; do
  IFS='|' read -r file line refused <<<"$row"
  cp "$scratch/$file" "$scratch.keep"
  echo "$line" >>"$scratch/$file"
  if check; then outcome=no; else outcome=yes; fi
  if [ "$outcome" != "$refused" ] || { [ "$refused" = yes ] && ! grep -q "^$file:" "$scratch.err"; }; then
    echo "FAIL: $file with '$line': refused=$outcome, expected $refused"
    cat "$scratch.err"
    failures=1
  fi
  mv "$scratch.keep" "$scratch/$file"
done
rm -f "$scratch.err"
exit "$failures"
