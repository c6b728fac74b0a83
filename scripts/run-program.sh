#!/usr/bin/env bash
# Starts the program; on a machine without a display it runs inside a virtual X server.
set -euo pipefail
program=$1
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: starting the program inside Xvfb (screen 1280x800)."
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$program"
fi
exec "$program"
