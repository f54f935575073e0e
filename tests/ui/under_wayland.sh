#!/usr/bin/env bash
# Runs a test program as the client of a headless Wayland compositor of its
# own. There Qt draws the title bar itself, and the compositor holds a window
# to the size it configures: a client that does not match is ended.
set -euo pipefail
command -v weston >/dev/null || { echo "SKIP: weston is not installed"; exit 77; }
plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
[ -e "$plugins/platforms/libqwayland-generic.so" ] || { echo "SKIP: qt6-wayland is not installed"; exit 77; }
runtime=$(mktemp -d)
chmod 700 "$runtime"
XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket=leafmark-test --idle-time=0 \
    --width=1280 --height=1024 >"$runtime/weston.log" 2>&1 &
compositor=$!
trap 'kill "$compositor" 2>/dev/null; wait "$compositor" 2>/dev/null; rm -rf "$runtime"' EXIT
for _ in $(seq 100); do [ -S "$runtime/leafmark-test" ] && break; sleep 0.1; done
[ -S "$runtime/leafmark-test" ] || { cat "$runtime/weston.log" >&2; echo "weston did not start" >&2; exit 1; }
# The program's main sets the frame callback's limit the same way; a test
# program has its own main.
XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=leafmark-test QT_QPA_PLATFORM=wayland QT_IM_MODULE=none \
    QT_WAYLAND_FRAME_CALLBACK_TIMEOUT=${QT_WAYLAND_FRAME_CALLBACK_TIMEOUT:-600000} "$@"
