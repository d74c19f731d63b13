#!/usr/bin/env bash
# Builds the Debian package of a build through scripts/kalendo.sh, as a user does, and checks
# what apt-get would install: the program, its menu entry, manual page and shipped data, and
# dependencies computed from the program plus its fonts. Where lintian is installed, the package
# must pass it without errors or warnings.
#   check-package.sh <build folder> <source folder>
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
deb=$("$source/scripts/kalendo.sh" package "$build" "$work" | tail -n 1)

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6core6 libc6 fonts-ipafont-gothic fonts-ipafont-mincho; do
    grep -q "\b$package\b" <<<"$depends" || { echo "Depends lacks $package: $depends" >&2; exit 1; }
done
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
grep -q '^\./usr/lib/.*kalendo/modules/kalendo-extras\.so$' <<<"$contents"
for package in libqt6network6 libqt6printsupport6 libical3; do # the module's own
    grep -q "\b$package\b" <<<"$depends" || { echo "Depends lacks $package: $depends" >&2; exit 1; }
done
for file in ./usr/bin/kalendo ./usr/share/kalendo/shipped/holiday.csv ./usr/share/man/man1/kalendo.1.gz \
    ./usr/share/man/ja/man1/kalendo.1.gz ./usr/share/doc/kalendo/copyright ./usr/share/doc/kalendo/changelog.gz; do
    grep -qx "$file" <<<"$contents" || { echo "package lacks $file" >&2; exit 1; }
done
grep -q '^\./usr/share/applications/.*\.desktop$' <<<"$contents"

# A new version needs its entry in the changelog the package carries.
version=$(dpkg-deb -f "$deb" Version)
logged=$(dpkg-parsechangelog -l "$source/packaging/changelog" -S Version)
[ "$version" = "$logged" ] || { echo "changelog's newest entry is $logged, not $version" >&2; exit 1; }

if command -v lintian >/dev/null; then
    lintian --pedantic --fail-on error,warning "$deb"
fi
