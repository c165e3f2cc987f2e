#!/usr/bin/env bash
# Configures and builds Navlume in build/ (after installing what is missing).
#   build.sh            everything: the programs, the test suites and the benchmarks
#   build.sh TARGET...  only those targets (scripts/run.sh: navlume), with only the
#                       packages they need; a new build/ leaves the suites out until
#                       a build of everything asks for them
set -euo pipefail
cd "$(dirname "$0")/.."
# A new build folder is made for Ninja (an existing one keeps its generator).
export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}
if [ $# -gt 0 ]; then
  bash scripts/deps.sh run
  suites=()
  [ -f build/CMakeCache.txt ] || suites=(-DNAVLUME_TESTS=OFF -DNAVLUME_BENCH=OFF)
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${suites[@]}" >/dev/null
  cmake --build build -j "$(nproc)" --target "$@"
else
  bash scripts/deps.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNAVLUME_TESTS=ON -DNAVLUME_BENCH=ON >/dev/null
  cmake --build build -j "$(nproc)"
fi
