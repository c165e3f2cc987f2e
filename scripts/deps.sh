#!/usr/bin/env bash
# Installs the Debian packages Navlume needs, only those that are missing;
# packages named as arguments too (chromium for the journal report's rendering).
set -euo pipefail

packages=(
  "$@"
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev
  clang libclang-rt-14-dev
  gpsd gpsd-clients libgps-dev
  qt6-base-dev qt6-base-dev-tools xvfb xauth fonts-dejavu-core
  locales
)

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
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale" >&2
  $sudo localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
