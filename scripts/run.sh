#!/usr/bin/env bash
# Builds Navlume and runs it: decodes the bundled sample capture and prints
# one position record per decoded chunk.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec build/tools/navlume-cli decode samples/sample.nmea "$@"
