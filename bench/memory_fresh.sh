#!/usr/bin/env bash
# Resident memory (now, and the peak) of walkers across fresh patterns on large stores: its own
# X11 window grown to 8192x8192, Enter, shrunk back to 510x370, Enter again; --root on a 3840x2160
# screen before and after its first fresh pattern (--cycle 3); the own Wayland window through a
# storm of resizes on headless sway. Usage: bench/memory_fresh.sh [build directory]
set -euo pipefail
build=$(realpath "${1:-build/release}")
export WALKERS=$build/walkers

# "now N kB, peak M kB" of process $1.
resident() {
  awk '/VmRSS/ {now = $2} /VmHWM/ {peak = $2} END {printf "now %d kB, peak %d kB", now, peak}' \
    "/proc/$1/status"
}

if [ "${2:-}" = wayland ]; then
  source "$(dirname "$0")/../tests/e2e/wayland_lib.sh"
  start_sway 3840x2160 800x600
  launch
  wait_seeds 1
  sleep 1
  echo "own Wayland window, 510x370:        $(resident "$walkers_pid")"
  for size in "1000 700" "2000 1400" "3000 2000" "3800 2100" "510 370"; do
    session swaymsg "[app_id=walkers] resize set $size" >/dev/null 2>&1 || true
    sleep 0.5
  done
  sleep 1
  echo "  after a storm of resizes:         $(resident "$walkers_pid")"
  exit 0
fi

source "$(dirname "$0")/../tests/e2e/lib.sh"

stop_walkers_and_x() {
  kill "$walkers_pid"
  wait "$walkers_pid" 2>/dev/null || true
  kill "$xvfb_pid"
  wait "$xvfb_pid" 2>/dev/null || true
}

start_x 1280x1024
start_walkers
sleep 1
echo "own X11 window, 510x370:            $(resident "$walkers_pid")"
xdotool windowsize --sync "$wid" 8192 8192 || true
sleep 2
echo "grown to 8192x8192:                 $(resident "$walkers_pid")"
xdotool key --window "$wid" Return
sleep 2
echo "  after Enter:                      $(resident "$walkers_pid")"
xdotool windowsize --sync "$wid" 510 370 || true
sleep 1
xdotool key --window "$wid" Return
sleep 2
echo "  shrunk to 510x370, Enter again:   $(resident "$walkers_pid")"
stop_walkers_and_x

start_x 3840x2160
run_walkers --root --cycle 3
sleep 2.5
echo "--root 3840x2160, first pattern:    $(resident "$walkers_pid")"
sleep 3
echo "  after its first fresh pattern:    $(resident "$walkers_pid")"
stop_walkers_and_x

bash "$0" "$build" wayland
