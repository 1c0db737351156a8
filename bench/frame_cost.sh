#!/usr/bin/env bash
# CPU that drawing costs, steady: walkers on --root and in its own window resized to each size,
# in a fresh Xvfb per run, as % of one core over 15 s after 2 s (seed 2389). The X server's own
# share is shown beside it. The window gets a fresh pattern (Enter: its seed comes from the clock)
# once resized: the first one, seeded in the 510x370 window, has sent most of its walkers beyond
# that area by then and paints little. At 510x370 itself it keeps seed 2389, so that runs compare.
# Usage: bench/frame_cost.sh [walkers] [WxH ...]
# Environment: MODES (default "root window"), DEPTH (default 24), SETTLE (2), SPAN (15).
set -euo pipefail
walkers=${1:-build/release/walkers}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1920x1080 3840x2160)
settle=${SETTLE:-2} span=${SPAN:-15} depth=${DEPTH:-24}
hz=$(getconf CLK_TCK)
tmp=$(mktemp -d)
xvfb= pid=
stop() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  [ -z "$pid" ] || wait "$pid" 2>/dev/null || true
  [ -z "$xvfb" ] || wait "$xvfb" 2>/dev/null || true
  pid= xvfb=
}
trap 'stop; rm -rf "$tmp"' EXIT

# User plus system time of process $1 so far, in clock ticks.
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# Starts an Xvfb of screen $1 and exports its DISPLAY.
start_x() {
  rm -f "$tmp/display"
  Xvfb -displayfd 3 -screen 0 "$1x$depth" -nolisten tcp 3>"$tmp/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 200); do [ -s "$tmp/display" ] && break; sleep 0.05; done
  [ -s "$tmp/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(head -n 1 "$tmp/display")"
}

# Runs one measurement: mode $1 (root or window) at size $2 (WxH).
measure() {
  local mode=$1 size=$2 width=${2%x*} height=${2#*x}
  start_x "$size"
  if [ "$mode" = root ]; then
    "$walkers" --root --seed 2389 >/dev/null 2>"$tmp/err" &
    pid=$!
  else
    "$walkers" --seed 2389 >/dev/null 2>"$tmp/err" &
    pid=$!
    local wid
    wid=$(timeout 10 xdotool search --sync --name '^Form1$' | head -n 1)
    if [ "$size" != 510x370 ]; then  # at its own size the window keeps seed 2389's pattern
      xdotool windowsize "$wid" "$width" "$height"
      sleep 0.5
      xdotool key --window "$wid" Return
    fi
  fi
  sleep "$settle"
  kill -0 "$pid" 2>/dev/null || { echo "walkers ended: $(cat "$tmp/err")" >&2; exit 1; }
  local began_w began_x began_ns ended_w ended_x ended_ns
  began_ns=$(date +%s%N) began_w=$(ticks "$pid") began_x=$(ticks "$xvfb")
  sleep "$span"
  ended_ns=$(date +%s%N) ended_w=$(ticks "$pid") ended_x=$(ticks "$xvfb")
  kill -0 "$pid" 2>/dev/null || { echo "walkers ended: $(cat "$tmp/err")" >&2; exit 1; }
  stop
  awk -v m="$mode" -v s="$size" -v d="$depth" -v w=$((ended_w - began_w)) \
    -v x=$((ended_x - began_x)) -v hz="$hz" -v ns=$((ended_ns - began_ns)) 'BEGIN {
      seconds = ns / 1e9
      printf "%-6s %9s %2s-bit: walkers %5.2f %% of a core, X server %5.2f %%\n", m, s, d,
        100 * w / hz / seconds, 100 * x / hz / seconds }'
}

for mode in ${MODES:-root window}; do
  for size in "${sizes[@]}"; do measure "$mode" "$size"; done
done
