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

echo "No display found: starting a virtual one (Xvfb :77, 1920x1080) with openbox and trayer."
Xvfb :77 -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
XVFB=$!
trap 'kill $XVFB 2>/dev/null || true' EXIT
export DISPLAY=:77
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
trayer --edge bottom --align right --widthtype request >/dev/null 2>&1 &
echo "zelbrik is running on DISPLAY=:77 (see it with: DISPLAY=:77 import -window root shot.png)."
build/zelbrik
