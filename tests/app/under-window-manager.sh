#!/usr/bin/env bash
# Runs a test program on a virtual X display with a real window manager (openbox), so that the
# tests of where windows land see frames and title bars as users do.
# Usage: under-window-manager.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

for tool in Xvfb openbox xwininfo xprop; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

work=$(mktemp -d)
cleanup() {
  [[ -n "${wm:-}" ]] && kill "$wm" 2>/dev/null || true
  [[ -n "${server:-}" ]] && kill "$server" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number and writes it to the pipe once it listens.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
server=$!
read -r -t 20 -u "$fd" number || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$number"

HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
# The window manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id" || { echo "openbox did not start"; cat "$work/openbox.log"; exit 1; }

QT_QPA_PLATFORM=xcb ORVEK_WINDOW_MANAGER=openbox "$@"
