#!/usr/bin/env bash
# End-to-end tests of walkers drawing on windows it did not create (--root, --window-id) in a
# private Xvfb; the argument names the case.
source "$(dirname "$0")/lib.sh"

foreign_pid=

# Opens another program's window (xmessage, white) of $1 x $2; sets wid and foreign_pid.
start_foreign() {
  xmessage -geometry "$1x$2+0+0" -bg white -fg white -name foreign ' ' &
  foreign_pid=$!
  wid=$(timeout 10 xdotool search --sync --classname '^foreign$' | head -n 1) ||
    fail "no foreign window"
}

# Starts walkers with the given arguments; its window is whatever wid names.
start_walkers_on() {
  "$WALKERS" "$@" 2>"$tmp/walkers.err" &
  walkers_pid=$!
}

# Waits until a screenshot of window $1 (W x H) shows walkers' picture: painted pixels only
# around the centre, the rest black. Before walkers draws, the window's own picture reaches
# its edges.
expect_pattern_in() {
  local target=$1 width=$2 height=$3 w h count left top right bottom
  for _ in $(seq 100); do
    alive
    import -window "$target" "$tmp/drawn.png" || fail "screenshot failed"
    read -r w h count left top right bottom < <(info drawn)
    [ "$w" = "$width" ] && [ "$h" = "$height" ] || fail "shot is ${w}x${h}, expected ${width}x${height}"
    [ "$count" -gt 0 ] && [ "$left" -gt 0 ] && [ "$top" -gt 0 ] && [ "$right" -lt $((width - 1)) ] &&
      [ "$bottom" -lt $((height - 1)) ] && return 0
    sleep 0.1
  done
  fail "no pattern in $target: $count painted in $left,$top..$right,$bottom"
}

case_root() {
  start_x 640x480
  start_walkers_on --root
  expect_pattern_in root 640 480
}

case_screensaver_window() {
  start_x 640x480
  start_foreign 300 200
  XSCREENSAVER_WINDOW=$(printf '0x%x' "$wid") start_walkers_on --root
  expect_pattern_in "$wid" 300 200
  kill "$foreign_pid"
  wait_walkers 10
  [ "$walkers_status" = 0 ] || fail "ended with status $walkers_status when the window went"
}

case_window_id() {
  start_x 640x480
  start_foreign 250 150
  start_walkers_on --window-id "$wid"  # decimal, as xdotool prints it
  expect_pattern_in "$wid" 250 150
  xdotool windowsize "$wid" 320 240
  sleep 0.5
  expect_pattern_in "$wid" 320 240
  kill "$foreign_pid"
  wait_walkers 10
  [ "$walkers_status" = 0 ] || fail "ended with status $walkers_status when the window went"
  [ ! -s "$tmp/walkers.err" ] || fail "walkers wrote to stderr"
}

case_lost_display() {
  start_x 640x480
  start_walkers_on --root
  expect_pattern_in root 640 480
  kill -9 "$xvfb_pid"
  xvfb_pid=
  wait_walkers 10
  [ "$walkers_status" = 1 ] || fail "ended with status $walkers_status, expected 1"
  [ "$(wc -l <"$tmp/walkers.err")" = 1 ] && grep -q '^walkers: lost the display: ' "$tmp/walkers.err" ||
    fail "expected one line 'walkers: lost the display: ...'"
}

case_refused() {
  start_x 640x480
  start_walkers_on --window-id 0x7ffffff0
  wait_walkers 10
  [ "$walkers_status" = 1 ] || fail "unknown window: status $walkers_status, expected 1"
  [ "$(wc -l <"$tmp/walkers.err")" = 1 ] && grep -q 'no window 0x7ffffff0' "$tmp/walkers.err" ||
    fail "unknown window: expected one line naming 0x7ffffff0"
  kill "$xvfb_pid"
  start_x 640x480 16
  start_walkers_on --root
  wait_walkers 10
  [ "$walkers_status" = 1 ] || fail "16-bit screen: status $walkers_status, expected 1"
  [ "$(wc -l <"$tmp/walkers.err")" = 1 ] && grep -q '16-bit TrueColor' "$tmp/walkers.err" ||
    fail "16-bit screen: expected one line naming the visual"
}

trap 'cleanup_foreign; cleanup' EXIT
cleanup_foreign() { [ -z "$foreign_pid" ] || kill "$foreign_pid" 2>/dev/null || true; }

"case_$1"
