#!/usr/bin/env bash
# Checks a Debian package of Navlume (scripts/package.sh makes it): lintian
# finds no error, the desktop entry, the AppStream metainfo and the udev rule
# validate, the versions agree, and the programs run from the unpacked package.
# Usage: check_package.sh DEB
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(realpath "$1")
bash scripts/deps.sh
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

echo "-- lintian (errors fail, warnings are listed)"
lintian --fail-on error "$deb"

dpkg-deb -x "$deb" "$root"
echo "-- desktop entry and metainfo"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

echo "-- udev rule"
# udevadm verify where the installed udev has it, else udevadm test with the
# rule alone in a scratch rules folder (a private mount): each fault is named with its file and line.
rules=("$root"/usr/lib/udev/rules.d/*.rules)
if udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "${rules[@]}"
else
  report=$(unshare --map-root-user --mount sh -c \
    'mount -t tmpfs none /etc/udev/rules.d && cp "$@" /etc/udev/rules.d/ && udevadm test --action=add /sys/class/tty/tty 2>&1' \
    sh "${rules[@]}")
  grep -q "Reading rules file: /etc/udev/rules.d/60-navlume.rules" <<<"$report" || { echo "udevadm did not read the rule" >&2; exit 1; }
  if grep "rules.d/60-navlume.rules:[0-9]" <<<"$report"; then exit 1; fi
fi
if grep -E '^[^#]*(MODE|OWNER|GROUP)' "${rules[@]}"; then echo "the udev rule must not change permissions" >&2; exit 1; fi

echo "-- versions"
version=$(dpkg-deb -f "$deb" Version)
changelog=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
[ "$version" = "$changelog" ] ||
  { echo "the package is $version, the newest entry of packaging/debian/changelog is $changelog" >&2; exit 1; }
for program in navlume navlume-cli; do
  printed=$("$root/usr/bin/$program" --version)
  echo "$printed"
  [ "$printed" = "$program ${version%-*}" ] || { echo "$program --version does not print ${version%-*}" >&2; exit 1; }
done

echo "-- navlume-cli decode from the package"
records=$("$root/usr/bin/navlume-cli" decode samples/sample.nmea | wc -l)
[ "$records" -gt 0 ] || { echo "decode printed no record" >&2; exit 1; }
echo "$records records decoded"

echo "-- the examples the manual pages name, and the README's journal example on them"
examples=$root/usr/share/doc/navlume/examples
for example in sample.nmea Navlume.ini NAVLUME_RESULTS.CSV device.ini; do
  [ -f "$examples/$example" ] || { echo "the package lacks $examples/$example" >&2; exit 1; }
  for page in navlume navlume-cli; do
    zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "$example" && continue 2
  done
  echo "no manual page names $example" >&2
  exit 1
done
"$root/usr/bin/navlume-cli" journal "$examples/NAVLUME_RESULTS.CSV" --by station >/dev/null
echo "package checks passed: $deb ($(du -k "$deb" | cut -f1) KiB)"
