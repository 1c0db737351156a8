#!/usr/bin/env bash
# Presenting on a foreign window in a fresh Xvfb: time per frame and peak memory, from a preview
# pane's size to a window far beyond any screen. Usage: bench/x11_bench.sh [build directory]
set -euo pipefail
build=${1:-build/release}
exec 3< <(exec Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp -noreset 2>/dev/null)
read -r number <&3
export DISPLAY=:$number
xvfb=$(pgrep -f "^Xvfb -displayfd 1 -screen 0 1920x1080x24" -P $$ || true)
trap '[ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true' EXIT
for size in "1 1" "200 150" "510 370" "1920 1080" "40000 40000"; do
  # shellcheck disable=SC2086
  "$build/bench/x11_bench" $size "${FRAMES:-50}"
done
