#!/usr/bin/env bash
# Peak resident memory of walkers after 10 s at 510x370 in a fresh Xvfb, and of walkers-render
# at 4000x3000 and writing a 60 s time-lapse.
# Usage: bench/memory.sh [build directory, default build/release]
set -euo pipefail
build=${1:-build/release}
tmp=$(mktemp -d)
exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null)
read -r number <&3
export DISPLAY=:$number
trap 'pkill -f "Xvfb.*-displayfd" -P $$ 2>/dev/null || true; rm -rf "$tmp"' EXIT

"$build/walkers" &
pid=$!
sleep 10
echo "walkers after 10 s at 510x370: peak resident $(awk '/VmHWM/ {print $2, $3}' "/proc/$pid/status")"
xdotool keydown --window "$(xdotool search --name '^Form1$' | head -n 1)" Escape
wait "$pid"

/usr/bin/time -f "walkers-render at 4000x3000: peak resident %M kB (%e s)" \
  "$build/walkers-render" --size 4000x3000 --ticks 20000 --seed 1 -o "$tmp/big.png"
/usr/bin/time -f "walkers-render, 60 s time-lapse at 510x370: peak resident %M kB (%e s)" \
  "$build/walkers-render" --ticks 60000 --seed 11 --animate "$tmp/growth.webp" \
  --frames /dev/null
