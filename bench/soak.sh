#!/bin/bash
# Memory of the real program over a long run of captures. The program starts
# hidden in the tray of a virtual display; each capture goes through the
# hotkey (Ctrl+Q), two clicks and the save dialog, answered in turn by a typed
# name and Return (saved) and by Escape (cancelled). Prints VmRSS and RssAnon
# idle at start, after every 20 captures and idle after the run, the growth of
# anonymous memory per capture from capture 20 on, and the program's idle
# size beside a bare Qt tray program (bench/bare_tray.cpp) on the same display.
# Usage: bench/soak.sh [build dir] [captures] [width] [height] [region width] [region height]
# (default: build 200 1920 1080 800 600). The last region stays on the
# clipboard, 4 bytes a pixel, and so in the idle size after the run.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
captures=${2:-200}
W=${3:-1920}
H=${4:-1080}
RW=${5:-800}
RH=${6:-600}
step=20
X1=40 Y1=30 X2=$((40 + RW)) Y2=$((30 + RH))

for f in "$build/zelbrik" "$build/bench/bare_tray"; do
  [ -x "$f" ] || { echo "soak: $f is missing (build the zelbrik and bare_tray targets)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "soak: $*" >&2
  [ -s "$work/log" ] && sed 's/^/  zelbrik: /' "$work/log" >&2
  exit 1
}

# wait_for SECONDS COMMAND...: true once the command succeeds, polled every 50 ms.
wait_for() {
  local tries=$(($1 * 20))
  shift
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.05
  done
}

# Visible top-level windows of a process with their geometry: "id x y w h".
windows_of() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | awk -v id="$w" '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
      /Width:/ {w = $2} /Height:/ {h = $2} END {if (w != "") print id, x, y, w, h}'
  done
}
tray_icon_shown() { windows_of "$1" | awk '$4 <= 64 && $5 <= 64 {found = 1} END {exit !found}'; }
overlay_shown() { windows_of "$app" | awk -v W="$W" -v H="$H" '$2 == 0 && $3 == 0 && $4 == W && $5 == H {f = 1} END {exit !f}'; }
overlay_gone() { ! overlay_shown; }
dialog_id() { xdotool search --all --onlyvisible --pid "$app" --name '^Save As$' 2>/dev/null | head -n 1; }
dialog_shown() { [ -n "$(dialog_id)" ]; }
dialog_gone() { ! dialog_shown; }
# Only the tray icon left: the capture is over.
only_tray_left() { [ "$(windows_of "$app" | awk '$4 > 64 || $5 > 64' | wc -l)" -eq 0 ]; }
file_written() { [ -s "$1" ]; }

status_kb() { awk -v k="$2:" '$1 == k {print $2}' "/proc/$1/status"; }
# Waits until the resident size holds still for `quiet` samples 0.25 s apart
# (at most 15 s), then prints "VmRSS RssAnon" in kB.
idle() {
  local pid=$1 quiet=$2 last="" now same=0 i
  for i in $(seq 60); do
    now="$(status_kb "$pid" VmRSS) $(status_kb "$pid" RssAnon)"
    if [ "$now" = "$last" ]; then
      same=$((same + 1))
      [ "$same" -ge "$quiet" ] && break
    else
      same=0
    fi
    last=$now
    sleep 0.25
  done
  echo "$now"
}
show() { printf '%-28s VmRSS %7d kB  RssAnon %7d kB\n' "$1" "$2" "$3"; }

# The display: Xvfb picks a free number itself.
: >"$work/display"
Xvfb -displayfd 3 -screen 0 "${W}x${H}x24" -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 15 grep -q '^[0-9]' "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
# The xembed tray, as on a desktop without a status-notifier host.
export DBUS_SESSION_BUS_ADDRESS="" QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=0
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/out"
chmod 700 "$XDG_RUNTIME_DIR"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
trayer --edge bottom --align right --widthtype request --heighttype pixel --height 24 --SetDockType true \
  --transparent false >"$work/trayer.log" 2>&1 &
trayer=$!
pids+=($trayer)
wait_for 10 sh -c "xdotool search --onlyvisible --pid $trayer >/dev/null" || fail "trayer did not start"

# Something to capture.
convert -size "${W}x${H}" -seed 7 plasma:fractal -depth 8 "PNG24:$work/root.png"
display -window root "$work/root.png" || true  # sets the background, then exits with 1

printf '[yincang]\n隐藏=1\n' >"$XDG_CONFIG_HOME/zelbrik.ini"
# Started in the folder the names are typed for: the dialog opens there.
(cd "$work/out" && exec "$build/zelbrik") >"$work/log" 2>&1 &
app=$!
pids+=($app)
wait_for 15 tray_icon_shown "$app" || fail "the program's tray icon did not show"
only_tray_left || fail "the program did not start hidden"

"$build/bench/bare_tray" >"$work/bare.log" 2>&1 &
bare=$!
pids+=($bare)
wait_for 15 tray_icon_shown "$bare" || fail "the bare tray program's icon did not show"

read -r start_rss start_anon <<<"$(idle "$app" 8)"
read -r bare_rss bare_anon <<<"$(idle "$bare" 8)"
echo "soak: $captures captures of $((X2 - X1))x$((Y2 - Y1)) on ${W}x${H}, every other one saved"
show "idle at start" "$start_rss" "$start_anon"

capture() {
  local i=$1 name dlg
  xdotool key ctrl+q
  wait_for 10 overlay_shown || fail "capture $i: the overlay did not show"
  xdotool mousemove "$X1" "$Y1" click 1
  xdotool mousemove "$X2" "$Y2" click 1
  wait_for 10 dialog_shown || fail "capture $i: the save dialog did not show"
  overlay_gone || fail "capture $i: the overlay stayed over the save dialog"
  dlg=$(dialog_id)
  xdotool windowactivate --sync "$dlg" 2>/dev/null || true
  if [ $((i % 2)) -eq 1 ]; then
    # Names of one length: none is the start of the file left from the last
    # one, so the completer has nothing to offer when Return comes.
    name=$(printf 'shot-%03d' "$i")
    xdotool key ctrl+a
    xdotool type --delay 10 "$name"
    xdotool key Return
    wait_for 10 dialog_gone || fail "capture $i: the save dialog stayed after Return"
    wait_for 10 file_written "$work/out/$name.jpg" || fail "capture $i: $name.jpg was not written"
    # The last file stays: the next dialog proposes it and previews it.
    find "$work/out" -name 'shot-*.jpg' ! -name "$name.jpg" -delete
  else
    xdotool key Escape
    wait_for 10 dialog_gone || fail "capture $i: the save dialog stayed after Escape"
  fi
  wait_for 10 only_tray_left || fail "capture $i: a window stayed open"
}

declare -A anon
for i in $(seq "$captures"); do
  capture "$i"
  if [ $((i % step)) -eq 0 ]; then
    read -r rss a <<<"$(idle "$app" 2)"
    anon[$i]=$a
    show "after $i captures" "$rss" "$a"
  fi
done

read -r end_rss end_anon <<<"$(idle "$app" 12)"
show "idle after the run" "$end_rss" "$end_anon"
printf '%-28s VmRSS %+7d kB  RssAnon %+7d kB\n' "idle after - idle at start" \
  $((end_rss - start_rss)) $((end_anon - start_anon))
last=$((captures - captures % step))
if [ "$last" -gt "$step" ]; then
  awk -v a="${anon[$step]}" -v b="${anon[$last]}" -v n=$((last - step)) -v f="$step" -v l="$last" \
    'BEGIN {printf "anon growth %d..%d            %+.1f kB/capture\n", f, l, (b - a) / n}'
fi
read -r bare_end_rss bare_end_anon <<<"$(idle "$bare" 2)"
show "bare Qt tray at start" "$bare_rss" "$bare_anon"
show "bare Qt tray at the end" "$bare_end_rss" "$bare_end_anon"
awk -v a="$start_rss" -v b="$bare_rss" 'BEGIN {printf "idle at start / bare tray    %.3f (VmRSS)\n", a / b}'
# Mappings with more than 1 MB resident after the run: where the memory is.
awk '/^[0-9a-f]+-[0-9a-f]+ / {name = $6 ? $6 : "[anon]"} /^Rss:/ && $2 > 1024 {print "  " $2 " kB " name}' \
  "/proc/$app/smaps"
