#!/usr/bin/env bash
# Builds the Debian package of a build and checks what apt-get would install: the program, its
# menu entry and shipped data, and dependencies computed from the program plus its fonts.
#   check-package.sh <build folder>
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" >/dev/null)
deb=$(ls "$work"/kalendo_*.deb)

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6core6 libc6 fonts-ipafont-gothic fonts-ipafont-mincho; do
    grep -q "\b$package\b" <<<"$depends" || { echo "Depends lacks $package: $depends" >&2; exit 1; }
done
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/kalendo ./usr/share/kalendo/holiday.csv; do
    grep -qx "$file" <<<"$contents" || { echo "package lacks $file" >&2; exit 1; }
done
grep -q '^\./usr/share/applications/.*\.desktop$' <<<"$contents"
