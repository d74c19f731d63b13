#!/bin/sh
# Peak resident size of each step of probe_memory against the largest data file, for two
# folders made here: a year file of about 494 MiB (2,000,000 lines, one day of 100,000
# entries) and a year file of one line whose title is 50 MB.
# Run: measure_memory.sh <build dir> [work folder]
set -eu
build=$1
work=${2:-$(mktemp -d)}
probe=$build/bin/probe_memory
[ -x "$probe" ] || probe=$(find "$build" -name probe_memory -type f | head -n 1)

make_big() {
    mkdir -p "$work/big/client"
    python3 - "$work/big/client/2026.csv" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    memo = b"m" * 200
    for n in range(100000):
        f.write(b"20261207,%d,10:00,11:00,busy %d,place,memo\r\n" % (n + 1, n))
    day = 0
    while f.tell() < 494 * 1024 * 1024:
        d = 20260101 + (day % 28)
        f.write(b"%d,1,09:00,10:00,title %d,place %d,%s\r\n" % (d, day, day, memo))
        day += 1
PY
}

make_title() {
    mkdir -p "$work/title/client"
    python3 - "$work/title/client/2026.csv" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    f.write(b"20261207,1,10:00,11:00," + b"t" * 50000000 + b",place,memo\r\n")
PY
}

[ -f "$work/big/client/2026.csv" ] || make_big
[ -f "$work/title/client/2026.csv" ] || make_title
for folder in title big; do
    file=$work/$folder/client/2026.csv
    size_kb=$(( $(stat -c %s "$file") / 1024 ))
    for step in start hint open save ok; do
        # Each step on a fresh copy, since OK writes the file and its backup.
        cp "$work/$folder/client/2026.csv.orig" "$file" 2>/dev/null || cp "$file" "$file.orig"
        rm -rf "$work/$folder/client/backup" "$work/$folder/client/2026.uid.csv"
        out=$("$probe" "$step" "$work/$folder/client" 2026/12/07)
        set -- $out
        echo "$folder $step: peak $(( $2 / 1024 )) MiB = $(awk "BEGIN{printf \"%.2f\", $2/$size_kb}") x file ($(( size_kb / 1024 )) MiB), $3 ms"
    done
    # OK again over what the last one wrote: the identity file is there now, as in daily use.
    set -- $("$probe" ok "$work/$folder/client" 2026/12/07)
    echo "$folder ok with identities: peak $(( $2 / 1024 )) MiB = $(awk "BEGIN{printf \"%.2f\", $2/$size_kb}") x file ($(( size_kb / 1024 )) MiB), $3 ms"
done
