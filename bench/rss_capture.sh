#!/bin/bash
# Resident size of the real program: idle at start, and idle after three
# full-screen captures on a 3840x2160 virtual display, each saved as a JPEG
# through the save dialog (Ctrl+Q, two clicks, a typed name, Return).
# Usage: bench/rss_capture.sh [build dir] [width] [height] [region width] [region height]
# (default: build 3840 2160, and a region of the whole screen less 10 pixels
# at each edge). The program keeps the last region, 4 bytes a pixel.
set -euo pipefail
build=${1:-build}
W=${2:-3840}
H=${3:-2160}
RW=${4:-$((W - 20))}
RH=${5:-$((H - 20))}
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the pipe.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 "${W}x${H}x24" -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -t 30 -u "$displayfd" N || { echo "Xvfb did not start" >&2; exit 1; }
exec {displayfd}<&-
export DISPLAY=":$N"
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype request >/dev/null 2>&1 &
pids+=($!)
sleep 1

# Something to capture, and the program started hidden in the tray.
convert -size "${W}x${H}" plasma:fractal -depth 8 "PNG24:$work/root.png"
display -window root "$work/root.png" || true  # sets the background, then exits with 1
mkdir -p "$work/config" "$work/runtime" "$work/out"
chmod 700 "$work/runtime"
printf '[yincang]\n隐藏=1\n' > "$work/config/zelbrik.ini"
XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" HOME="$work" \
  "$build/zelbrik" >"$work/log" 2>&1 &
app=$!
pids+=($app)
sleep 2

rss() {
  awk '/^(VmRSS|RssAnon|RssShmem)/ {printf "%s %s kB  ", $1, $2} END {print ""}' "/proc/$app/status"
}
# Mappings with more than 4 MB resident: where the memory is.
big() {
  awk '/^[0-9a-f]+-[0-9a-f]+ / {name = $6 ? $6 : "[anon]"} /^Rss:/ && $2 > 4096 {print "  " $2 " kB " name}' \
    "/proc/$app/smaps"
}
echo "idle at start: $(rss)"
for i in 1 2 3; do
  xdotool key ctrl+q
  sleep 1
  xdotool mousemove 10 10 click 1
  sleep 0.2
  xdotool mousemove $((10 + RW)) $((10 + RH)) click 1
  sleep 1.5
  xdotool type --delay 20 "$work/out/shot$i"
  xdotool key Return
  sleep 2
  [ -s "$work/out/shot$i.jpg" ] || { echo "capture $i wrote no file"; cat "$work/log"; exit 1; }
done
sleep 2
echo "idle after three ${W}x${H} captures of ${RW}x${RH}: $(rss)"
big
ls -l "$work/out" | tail -n +2 | awk '{print "  " $5 " bytes " $9}'
