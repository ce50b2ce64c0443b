#!/usr/bin/env bash
# The window asked to end by a signal, as a session logging out asks it:
#  - while idle it closes as the user would: exit status 0, state kept;
#  - while it computes (its event loop held) it ends at once: status
#    128 + 15, with the state it had when the work began.
# (A second signal after the grace period is the policy's unit test.)
# Usage: window_signal_test.sh PROGRAM
set -euo pipefail
program=$1
command -v cjpeg >/dev/null || { echo "cjpeg missing: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
state="$XDG_CONFIG_HOME/Software/Brisolm Imaging/Brisolm Tavren/Main"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

# Waits up to $2 seconds for process $1 to end; sets status to its exit
# status, or to "hung".
wait_for_end() {
  local pid=$1 limit=$(( $2 * 10 )) i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt $limit ]; do sleep 0.1; i=$((i + 1)); done
  status=0
  if kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; wait "$pid" || true; status=hung; return; fi
  wait "$pid" || status=$?
}

# Waits until process $1 has used $2 ticks of processor time (looking
# often: on many cores the ticks run fast).
wait_for_work() {
  local i=0
  while [ "$(cpu_ticks "$1")" -lt "$2" ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i + 1)); done
}

fail() { echo "FAIL: $*"; exit 1; }

# 1. Idle.
"$program" &
pid=$!
wait_for_work "$pid" 20
sleep 1
kill -TERM "$pid"
wait_for_end "$pid" 30
[ "$status" = 0 ] || fail "idle window: exit status $status, expected 0"
[ "$(stat -c %s "$state")" = 296 ] || fail "idle window: no state kept"
echo "idle: closed normally, state kept"

# 2. Decoding and computing the types of a 24-megapixel picture, named on
#    the command line (a first run reduces nothing, so the work is long:
#    seconds of processor time, of which starting takes a small part).
rm -f "$state"
{ printf 'P6\n6000 4000\n255\n'; head -c 72000000 /dev/urandom; } | cjpeg -quality 80 >"$work/big.jpg"
"$program" "$work/big.jpg" &
pid=$!
start=$(cpu_ticks "$pid")
wait_for_work "$pid" $(( start + 120 ))
ticks=$(cpu_ticks "$pid")
kill -TERM "$pid"
wait_for_end "$pid" 10
[ "$status" = 143 ] || fail "busy window: exit status $status, expected 143 at once (asked after $ticks ticks)"
[ "$(stat -c %s "$state")" = 296 ] || fail "busy window: no state kept"
echo "busy: ended at once, state kept"
