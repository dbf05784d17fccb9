#!/usr/bin/env bash
# Installs what is missing, builds, and starts zelbrik. Without a display it
# starts a virtual one (Xvfb with openbox and a tray) and runs the program there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec build/zelbrik
fi

N=77
while [ -e "/tmp/.X11-unix/X$N" ] || [ -e "/tmp/.X$N-lock" ]; do N=$((N + 1)); done
echo "No display found: starting a virtual one (Xvfb :$N, 1920x1080) with openbox and trayer."
Xvfb ":$N" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
trap 'kill $XVFB 2>/dev/null || true' EXIT
export DISPLAY=":$N"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
trayer --edge bottom --align right --widthtype request >/dev/null 2>&1 &
echo "zelbrik is running on DISPLAY=$DISPLAY (see it with: DISPLAY=$DISPLAY import -window root shot.png)."
build/zelbrik
