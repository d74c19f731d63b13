#!/usr/bin/env bash
# Runs a command as it would run on a desktop with a screen reader: on a private X display,
# with a session bus and the accessibility bus started on it, and Qt told to use them.
#   scripts/with-accessibility-bus.sh command [arguments...]
set -euo pipefail

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 KALENDO_ACCESSIBILITY_BUS=1
# The accessibility bus starts when first asked for; Qt only looks for a running one.
dbus-run-session -- sh -c 'dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress >/dev/null && exec "$@"' sh "$@"
