#!/usr/bin/env bash
# Installs the Debian packages Navlume needs, only those that are missing.
#   deps.sh run [PACKAGE...]      what building and running navlume and navlume-cli needs
#   deps.sh package [PACKAGE...]  that, and what building the Debian package needs
#   deps.sh [all] [PACKAGE...]    everything: also the test suites, benchmarks, fuzzing and package checks
# Packages named after the set are installed too (chromium for the journal report's rendering).
set -euo pipefail

run_packages=(
  build-essential cmake ninja-build pkg-config
  nlohmann-json3-dev libcli11-dev
  libpq-dev
  gpsd gpsd-clients libgps-dev
  qt6-base-dev qt6-base-dev-tools fonts-dejavu-core
)
package_packages=(file)
check_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth locales
  postgresql
  lintian desktop-file-utils appstream
)

set=all
case "${1:-}" in run | package | all) set=$1; shift ;; esac
case "$set" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
  all) packages=("${run_packages[@]}" "${package_packages[@]}" "${check_packages[@]}") ;;
esac
packages+=("$@")

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# A locale whose decimal separator is a comma, for the number-reading tests.
if [ "$set" = all ] && ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale" >&2
  $sudo localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
