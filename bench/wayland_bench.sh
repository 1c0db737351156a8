#!/usr/bin/env bash
# Steady CPU of walkers --root on Wayland: a headless sway with two 1920x1080 outputs, walkers'
# own CPU time over 20 s after 5 s of start-up, first with both outputs on, then with one of them
# switched off (it asks for no frames). Usage: bench/wayland_bench.sh [build directory]
set -euo pipefail
build=$(realpath "${1:-build/release}")
export WALKERS=$build/walkers
source "$(dirname "$0")/../tests/e2e/wayland_lib.sh"
seconds=${SECONDS_MEASURED:-20}

# Percent of one core walkers used over $seconds seconds.
cpu() {
  local before after
  before=$(awk '{print $14 + $15}' "/proc/$walkers_pid/stat")
  sleep "$seconds"
  after=$(awk '{print $14 + $15}' "/proc/$walkers_pid/stat")
  awk -v d=$((after - before)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
    'BEGIN {printf "%.2f", d * 100 / hz / s}'
}

start_sway 1920x1080 1920x1080
launch --root
wait_seeds 2
sleep 5
both=$(cpu)
session swaymsg output HEADLESS-2 dpms off >/dev/null
sleep 2
one=$(cpu)
awk -v both="$both" -v one="$one" 'BEGIN {
  printf "two 1920x1080 outputs on:  %s %% of a core, %.2f %% per output\n", both, both / 2
  printf "one of them switched off:  %s %% of a core\n", one
}'
