#!/usr/bin/env bash
# End-to-end tests of the walkers window in a private Xvfb; the argument names the case.
source "$(dirname "$0")/lib.sh"

# A pattern that keeps growing: about one clock seed in a hundred makes a closed figure that
# stops at 1756 pixels, which would fail the growth checks below by chance.
growing_seed=2389

case_window_grows() {
  start_x
  start_walkers --seed "$growing_seed"
  xwininfo -id "$wid" | head -n 2 | grep -q '"Form1"' || fail "window is not named Form1"
  [ "$(client_size)" = "510x370" ] || fail "client area is $(client_size), expected 510x370"
  poll_shot early painted_more_than early 0 || fail "nothing was painted"
  read -r _ _ early _ < <(info early)
  poll_shot later painted_more_than later "$early" || fail "the pattern did not grow past $early pixels"
  [ "$("$PNG_PROBE" erased "$tmp/early.png" "$tmp/later.png")" = 0 ] || fail "pixels were erased"
}
# Whether screenshot $1 has more than $2 painted pixels.
painted_more_than() { [ "$(info "$1" | cut -d" " -f3)" -gt "$2" ]; }

case_other_keys() {
  start_x
  start_walkers
  poll_shot before painted_more_than before 0 || fail "nothing was painted"
  xdotool key --window "$wid" a q Z space 1 ctrl+a ctrl+c BackSpace Tab F1 Left shift+a minus
  wait_frames 2
  alive
  [ "$("$PNG_PROBE" erased "$tmp/before.png" "$tmp/frame_0.png")" = 0 ] ||
    fail "a key other than Enter cleared painted pixels"
}

case_enter() {
  start_x
  start_walkers
  E2E_DEADLINE=30 poll_shot grown painted_more_than grown 500 || fail "the pattern never reached 500 pixels"
  expect_restart_from_centre Return 510 370
  expect_restart_from_centre KP_Enter 510 370
  alive
}

# After a resize, Enter restarts from the centre of the new size, not of the old one.
case_resize_then_enter() {
  start_x
  start_walkers
  E2E_DEADLINE=30 poll_shot grown painted_more_than grown 200 || fail "the pattern never reached 200 pixels"
  resize_to 300 200
  expect_restart_from_centre Return 300 200 510 370
}

nothing_erased() { [ "$("$PNG_PROBE" erased "$tmp/grown.png" "$tmp/after.png")" = 0 ]; }

# Shrinking the window hides part of the picture; growing it back shows that part unchanged.
case_shrink_and_regrow() {
  start_x
  start_walkers --seed "$growing_seed"
  # How fast the pattern grows depends on the load; only the judging below is held to a deadline.
  E2E_DEADLINE=80 poll_shot grown painted_more_than grown 2000 || fail "the pattern never reached 2000 pixels"
  resize_to 1 1
  sleep 0.3
  resize_to 510 370
  # Walkers go on painting, but nothing painted turns black again; poll until the regrown
  # window shows the whole picture.
  local lost
  poll_shot after nothing_erased || true
  lost=$("$PNG_PROBE" erased "$tmp/grown.png" "$tmp/after.png")
  [ "$lost" = 0 ] || fail "$lost painted pixels were lost by shrinking to 1x1 and growing back"
}

# Escape, or a close request as a window manager sends it, ends walkers with status 0.
case_escape() {
  start_x
  start_walkers
  sleep 0.2
  escape_walkers 10
  [ "$walkers_status" = 0 ] || fail "Escape ended walkers with status $walkers_status"
  start_walkers
  sleep 0.2
  "$WM_DELETE" "$wid"
  wait_walkers 10
  [ "$walkers_status" = 0 ] || fail "closing the window ended walkers with status $walkers_status"
}

# Keys act by the character they type, as Esc's and Enter's own keys do: Ctrl+M restarts and
# Ctrl+[ ends; the control characters Xlib makes of Ctrl with a digit or Space (Ctrl+3 types Esc
# there, Ctrl+8 Delete) do nothing.
case_control_keys() {
  start_x
  start_walkers
  E2E_DEADLINE=30 poll_shot grown painted_more_than grown 500 || fail "the pattern never reached 500 pixels"
  xdotool key --window "$wid" ctrl+3 ctrl+8 ctrl+space ctrl+2 2>/dev/null || alive
  wait_frames 2
  alive
  expect_restart_from_centre ctrl+m 510 370
  # Let go only once the window is gone, as escape_walkers does.
  xdotool keydown --window "$wid" ctrl+bracketleft
  wait_walkers 10
  xdotool keyup ctrl+bracketleft
  [ "$walkers_status" = 0 ] || fail "Ctrl+[ ended walkers with status $walkers_status"
}

case_no_display() {
  local status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 5 "$WALKERS" 2>"$tmp/err" || status=$?
  [ "$status" = 1 ] || fail "status $status without a display"
  [ "$(cat "$tmp/err")" = "walkers: cannot open a window: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)" ] ||
    fail "message: $(cat "$tmp/err")"
  status=0
  env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=:65000 timeout 5 "$WALKERS" 2>"$tmp/err" || status=$?
  [ "$status" = 1 ] || fail "status $status with an unreachable display"
  [ "$(cat "$tmp/err")" = 'walkers: cannot open a window: cannot connect to display ":65000": /tmp/.X11-unix/X65000: No such file or directory' ] ||
    fail "message: $(cat "$tmp/err")"
}

case_key_flood() {
  start_x
  start_walkers
  # Everything but Escape (and Ctrl+[, which is Escape too).
  local keys=(Return KP_Enter space BackSpace Tab Delete Home End Left Right Up Down Page_Up
    minus comma period slash F1 F5 F12 shift+a shift+z ctrl+a ctrl+c ctrl+m ctrl+z alt+x)
  keys+=({a..z} {0..9})
  local flood=()
  for _ in $(seq 5000); do flood+=("${keys[RANDOM % ${#keys[@]}]}"); done
  xdotool key --window "$wid" --delay 0 "${flood[@]}"
  wait_frames 2
  alive
  expect_restart_from_centre Return 510 370
}

case_resize_extremes() {
  start_x 4200x2400
  start_walkers
  resize_to 1 1
  xdotool key --window "$wid" Return
  alive
  xdotool windowmove "$wid" 0 0  # keep the whole window on the screen for the shot
  resize_to 4096 2160
  expect_restart_from_centre Return 4096 2160 510 370
  resize_to 510 370
  expect_restart_from_centre KP_Enter 510 370 4096 2160
}

case_long_run() {
  start_x
  start_walkers
  sleep "${E2E_LONG_SECONDS:-30}"
  alive
  escape_walkers 10
  [ "$walkers_status" = 0 ] || fail "ended with status $walkers_status"
  [ ! -s "$tmp/walkers.err" ] || fail "walkers wrote to stderr"
}

"case_$1"
