#!/usr/bin/env bash
# Builds everything (programs, test suites, benchmarks) and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build --output-on-failure --no-tests=error -j "$(nproc)"
