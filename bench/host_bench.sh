#!/usr/bin/env bash
# Measures, in a fresh Xvfb, how soon walkers ends after SIGTERM (its own window and --root) and
# after Esc in a 40000x40000 window, and its peak resident memory there.
# Usage: bench/host_bench.sh [build/release/walkers]
set -euo pipefail
walkers=${1:-build/release/walkers}
tmp=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$tmp"' EXIT
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n 1 "$tmp/display")

now_us() { echo $(($(date +%s%N) / 1000)); }

# Starts walkers with the arguments and waits for its first pattern; sets pid.
start() {
  "$walkers" "$@" >"$tmp/out" 2>/dev/null &
  pid=$!
  until grep -q '^seed: ' "$tmp/out"; do sleep 0.02; done
}

# Waits for walkers to end; sets took to the time since $1, in ms, and status to its status.
wait_end() {
  status=0
  wait "$pid" || status=$?
  local us=$(($(now_us) - $1))
  took="$((us / 1000)).$((us % 1000 / 100)) ms (status $status)"
}

for mode in window root; do
  for run in 1 2 3; do
    if [ "$mode" = root ]; then start --root; else start; fi
    sleep 0.5
    began=$(now_us)
    kill -TERM "$pid"
    wait_end "$began"
    echo "SIGTERM to exit, $mode, run $run: $took"
  done
done

start
wid=$(xdotool search --name '^Form1$' | head -n 1)
xdotool windowsize "$wid" 40000 40000
for count in 2 3; do
  xdotool key --window "$wid" Return
  until [ "$(grep -c '^seed: ' "$tmp/out")" -ge "$count" ]; do sleep 0.02; done
done
sleep 1
echo "40000x40000 window: $(grep VmHWM "/proc/$pid/status")"
began=$(now_us)
xdotool keydown --window "$wid" Escape
wait_end "$began"
echo "Esc to exit at 40000x40000: $took"
