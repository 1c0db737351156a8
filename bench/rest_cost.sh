#!/usr/bin/env bash
# What a wallpaper costs while nobody can see it: walkers --root on an X11 screen (Xvfb) uncovered,
# then covered by a window over the whole screen, in the same run: % of one core (time on the CPU
# from /proc/PID/schedstat, to the nanosecond) and wake-ups a second (voluntary context switches).
# Usage: bench/rest_cost.sh [walkers] [WxH]   Environment: SETTLE (default 3), SPAN (15).
set -euo pipefail
walkers=${1:-build/release/walkers}
size=${2:-1920x1080}
cover=${FOREIGN_WINDOW:-$(dirname "$walkers")/tests/foreign_window}
settle=${SETTLE:-3} span=${SPAN:-15}
tmp=$(mktemp -d)
xvfb= pid= cover_pid=
stop() {
  for p in $cover_pid $pid $xvfb; do kill "$p" 2>/dev/null || true; done
  for p in $cover_pid $pid $xvfb; do wait "$p" 2>/dev/null || true; done
}
trap 'stop; rm -rf "$tmp"' EXIT

Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 200); do [ -s "$tmp/display" ] && break; sleep 0.05; done
[ -s "$tmp/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$tmp/display")"

cpu_ns() { awk '{ print $1 }' "/proc/$pid/schedstat"; }
wakeups() { awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$pid/status"; }
# Prints "what: C % of one core, W wake-ups a second" over SPAN seconds after SETTLE.
measure() {
  sleep "$settle"
  kill -0 "$pid" 2>/dev/null || { echo "walkers ended: $(cat "$tmp/err")" >&2; exit 1; }
  local ns0 w0 t0 ns1 w1 t1
  ns0=$(cpu_ns) w0=$(wakeups) t0=$(date +%s%N)
  sleep "$span"
  ns1=$(cpu_ns) w1=$(wakeups) t1=$(date +%s%N)
  awk -v what="$1" -v ns=$((ns1 - ns0)) -v w=$((w1 - w0)) -v t=$((t1 - t0)) 'BEGIN {
    printf "%s: %.4f %% of one core, %.2f wake-ups a second\n", what, 100 * ns / t, w * 1e9 / t }'
}

"$walkers" --root --seed 2389 >/dev/null 2>"$tmp/err" &
pid=$!
measure "uncovered $size"
"$cover" "$size" white >/dev/null &
cover_pid=$!
measure "covered $size"
