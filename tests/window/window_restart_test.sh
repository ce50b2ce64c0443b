#!/usr/bin/env bash
# The window on a real X display (Xvfb): started with a stored normal-state
# window of 700 x 500, resized to 900 x 600 and closed, it stores exactly
# 296 bytes with the new size and comes back at that size.
# Usage: window_restart_test.sh PROGRAM
set -euo pipefail
program=$1

run_window() {  # prints the window's size, then resizes it to $1 x $2 when given
  "$program" &
  local pid=$! id
  id=$(xdotool search --sync --onlyvisible --name "Brisolm Tavren" | head -n 1)
  sleep 1
  xwininfo -id "$id" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'
  if [ $# -eq 2 ]; then xdotool windowsize --sync "$id" "$1" "$2"; sleep 1; fi
  kill -TERM "$pid"
  wait "$pid"
}

if [ "${2:-}" = --on-display ]; then  # the part that runs inside Xvfb
  run_window 900 600
  run_window
  exit 0
fi
command -v xvfb-run >/dev/null && command -v xdotool >/dev/null || {
  echo "xvfb-run or xdotool missing: skipped"; exit 77; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export XDG_CONFIG_HOME=$home
state="$home/Software/Brisolm Imaging/Brisolm Tavren/Main"
mkdir -p "$(dirname "$state")"

# A normal-state record: mark 1, state 0, height 500, width 700, panel 233,
# view 400 x 400, view flags 1 1 1 1; the rest zero.
record() {
  printf '\x01\x00\x00\x00'
  printf '\xf4\x01\x00\x00\xbc\x02\x00\x00\xe9\x00\x00\x00'
  printf '\x90\x01\x00\x00\x90\x01\x00\x00\x01\x01\x01\x01'
  head -c 268 /dev/zero
}
record >"$state"

sizes=$(xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$program" --on-display)
echo "sizes seen: $(echo $sizes)"
[ "$(stat -c %s "$state")" = 296 ] || { echo "state is not 296 bytes"; exit 1; }
[ "$(echo $sizes)" = "700x500 900x600" ] || { echo "the window did not come back at its size"; exit 1; }
echo "state kept: $(od -An -tu4 -j4 -N8 "$state")"
