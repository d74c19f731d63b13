#!/usr/bin/env bash
# Validates an AppStream metainfo file as software centres' tools do, pedantic hints included:
# any hint fails, since appstreamcli itself passes a file with pedantic and info hints.
#   validate-metainfo.sh <metainfo file>
set -euo pipefail
report=$(appstreamcli validate --pedantic --no-net "$1") || { echo "$report" >&2; exit 1; }
if grep -q '^[EWIP]:' <<<"$report"; then
    echo "$report" >&2
    exit 1
fi
