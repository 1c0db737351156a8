#!/usr/bin/env bash
# Runs window_bench (the real main window) in a fresh Xvfb for 10 s, pressing Enter a few times.
# Usage: bench/window_bench.sh [build/release/bench/window_bench]
set -euo pipefail
bench=${1:-build/release/bench/window_bench}
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null)
read -r number <&3
export DISPLAY=:$number
trap 'pkill -f "Xvfb.*-displayfd" -P $$ 2>/dev/null || true' EXIT
WALKERS_LAUNCHED_NS=$(date +%s%N) "$bench" "${SECONDS_TO_RUN:-10}" &
pid=$!
for at in 3 5 7; do
  sleep 2
  id=$(xdotool search --name '^Form1$' | head -n 1)
  xdotool key --window "$id" Return
done
wait "$pid"
