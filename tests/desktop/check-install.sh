#!/usr/bin/env bash
# Installs a build into a temporary prefix, checks every installed file, then starts the
# installed program as a new user: its data folder must appear with the shipped holiday rules.
#   check-install.sh <build folder> <source folder> <application id> <module folder>
set -euo pipefail
build=$1 source=$2 id=$3 modules=$4
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
# Installed for the user alone (--prefix ~/.local): the shipped data and the data folder the
# first start makes share ~/.local/share/kalendo/.
home=$work/home
prefix=$home/.local
cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
    "bin/kalendo"
    "$modules/kalendo-extras.so"
    "share/applications/$id.desktop"
    "share/doc/kalendo/changelog.gz"
    "share/doc/kalendo/copyright"
    "share/doc/kalendo/操作手順書.pdf"
    "share/icons/hicolor/scalable/apps/$id.svg"
    "share/kalendo/shipped/holiday.csv"
    "share/lintian/overrides/kalendo"
    "share/man/ja/man1/kalendo.1.gz"
    "share/man/man1/kalendo.1.gz"
    "share/metainfo/$id.metainfo.xml"
)
sizes=(16 22 24 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/$id.png"); done
diff -u <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) \
        <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)

[ -x "$prefix/bin/kalendo" ]
cmp "$source/client/holiday.csv" "$prefix/share/kalendo/shipped/holiday.csv"
cmp "$source/desktop/$id.desktop" "$prefix/share/applications/$id.desktop"
head -c 5 "$prefix/share/doc/kalendo/操作手順書.pdf" | grep -q '%PDF-'
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg"
for s in "${sizes[@]}"; do # a PNG's width and height are the big-endian words at 16 and 20
    png=$prefix/share/icons/hicolor/${s}x${s}/apps/$id.png
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$w $h" = "$s $s" ] || { echo "$png is ${w}x$h" >&2; exit 1; }
done
desktop-file-validate "$prefix/share/applications/$id.desktop"
"$(dirname "$0")/validate-metainfo.sh" "$prefix/share/metainfo/$id.metainfo.xml"

# Every option the program lists is in its manual pages.
options=$("$prefix/bin/kalendo" --help | grep -o -- '--[a-z-]*' | sort -u)
[ -n "$options" ]
for page in man1 ja/man1; do
    manual=$(zcat "$prefix/share/man/$page/kalendo.1.gz")
    for option in $options; do
        grep -qF -- "${option//-/\\-}" <<<"$manual" || { echo "$page lacks $option" >&2; exit 1; }
    done
done
# The default page reads whole in the C locale, where man drops every other character.
if zcat "$prefix/share/man/man1/kalendo.1.gz" | LC_ALL=C grep -n '[^ -~]'; then
    echo "kalendo(1) holds characters beyond ASCII" >&2
    exit 1
fi

# The installed program's first start: no client/ beside it, so the per-user folder is made.
mkdir -p "$home/run" && chmod 700 "$home/run"
env -u XDG_DATA_HOME HOME="$home" XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run \
    QT_QPA_PLATFORM=offscreen "$prefix/bin/kalendo" &
pid=$!
data=$prefix/share/kalendo/client
for _ in $(seq 1200); do
    [ -f "$data/holiday.csv" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
# Once the window is painted the program loads its extras module from beside itself.
for _ in $(seq 1200); do
    grep -qF "$prefix/$modules/kalendo-extras.so" "/proc/$pid/maps" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
grep -qF "$prefix/$modules/kalendo-extras.so" "/proc/$pid/maps" ||
    { echo "the installed program did not load its extras module" >&2; exit 1; }
# The module's libraries are its own: the program loads none of them before its first paint.
needed=$(readelf -d "$prefix/bin/kalendo" | grep NEEDED || true)
for library in libical libQt6Network libQt6PrintSupport libqt6keychain; do
    if grep -q "$library" <<<"$needed"; then
        echo "the program itself needs $library" >&2
        exit 1
    fi
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=
cmp "$prefix/share/kalendo/shipped/holiday.csv" "$data/holiday.csv"
# Neither folder holds the other, and the copy left no temporary folder behind.
diff <(echo holiday.csv) <(ls -A "$prefix/share/kalendo/shipped")
left=$(find "$prefix/share/kalendo" -name '.client-*')
[ -z "$left" ] || { echo "left by the first start: $left" >&2; exit 1; }
