#!/usr/bin/env bash
# Steady cost of walkers --root on Wayland: a headless sway with two 1920x1080 outputs, walkers'
# own CPU time and wake-ups (voluntary context switches) over 15 s after 5 s of start-up, first
# with both outputs seen, then with a fullscreen window over each (its patterns rest).
# Usage: bench/wayland_bench.sh [build directory]
set -euo pipefail
build=$(realpath "${1:-build/release}")
export WALKERS=$build/walkers
source "$(dirname "$0")/../tests/e2e/wayland_lib.sh"
seconds=${SECONDS_MEASURED:-15}

# "CPU ONCPU WAKES": the percent of one core walkers used over $seconds seconds, from its clock
# ticks (utime + stime, 10 ms each: 0.07 % over 15 s) and from the scheduler's nanoseconds on a
# CPU, and its wake-ups a second.
measure() {
  local before after
  before="$(ticks) $(on_cpu) $(switches)"
  sleep "$seconds"
  after="$(ticks) $(on_cpu) $(switches)"
  awk -v b="$before" -v a="$after" -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN {
    split(b, x, " "); split(a, y, " ")
    printf "%.2f %.3f %.2f\n", (y[1] - x[1]) * 100 / hz / s, (y[2] - x[2]) / 1e7 / s, (y[3] - x[3]) / s
  }'
}
ticks() { awk '{print $14 + $15}' "/proc/$walkers_pid/stat"; }
on_cpu() { cat /proc/"$walkers_pid"/task/*/schedstat | awk '{ n += $1 } END { printf "%d", n }'; }

start_sway 1920x1080 1920x1080
launch --root
wait_seeds 2
sleep 5
read -r seen_cpu seen_on_cpu seen_woken < <(measure)
cover HEADLESS-1
cover HEADLESS-2
sleep 3
read -r covered_cpu covered_on_cpu covered_woken < <(measure)
printf 'two 1920x1080 outputs seen:    %s %% of a core (%s on the CPU), %s wake-ups a second\n' \
  "$seen_cpu" "$seen_on_cpu" "$seen_woken"
printf 'both covered by a full screen: %s %% of a core (%s on the CPU), %s wake-ups a second\n' \
  "$covered_cpu" "$covered_on_cpu" "$covered_woken"
