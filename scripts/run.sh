#!/usr/bin/env bash
# Installs what is missing, builds, and starts zelbrik. Without a display it
# starts a virtual one (Xvfb with openbox and a tray) and runs the program
# there; everything it started is stopped when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec build/zelbrik
fi
if [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/zelbrik
fi

pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the pipe.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -t 30 -u "$displayfd" N || { echo "Xvfb did not start" >&2; exit 1; }
exec {displayfd}<&-
export DISPLAY=":$N"
echo "No display found: started a virtual one (Xvfb :$N, 1920x1080) with openbox and trayer."
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype request >/dev/null 2>&1 &
pids+=($!)
echo "zelbrik is running on DISPLAY=$DISPLAY (see it with: DISPLAY=$DISPLAY import -window root shot.png)."
build/zelbrik
