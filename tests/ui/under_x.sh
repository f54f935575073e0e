#!/usr/bin/env bash
# Runs a test program on an X display of its own, under a window manager as on
# a desktop, so that the clicks xdotool makes reach it as a user's would.
set -euo pipefail
for tool in xvfb-run openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" bash -c '
    ready=$(mktemp -u)
    openbox --sm-disable --startup "touch $ready" &
    wm=$!
    for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
    [ -e "$ready" ] || { echo "openbox did not start" >&2; exit 1; }
    rm -f "$ready"
    status=0
    "$@" || status=$?
    kill "$wm"
    exit "$status"' under-x "$@"
