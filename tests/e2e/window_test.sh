#!/usr/bin/env bash
# End-to-end tests of the walkers window in a private Xvfb; the argument names the case.
source "$(dirname "$0")/lib.sh"

case_window() {
  start_x
  start_walkers
  xwininfo -id "$wid" | head -n 2 | grep -q '"Form1"' || fail "window is not named Form1"
  [ "$(client_size)" = "510x370" ] || fail "client area is $(client_size), expected 510x370"
}

case_grows() {
  start_x
  start_walkers
  sleep 0.3
  shot early
  sleep 1
  shot later
  read -r _ _ early _ < <(info early)
  read -r _ _ later _ < <(info later)
  [ "$early" -gt 0 ] && [ "$later" -gt "$early" ] || fail "pattern did not grow: $early then $later"
  [ "$("$PNG_PROBE" erased "$tmp/early.png" "$tmp/later.png")" = 0 ] || fail "pixels were erased"
}

case_other_keys() {
  start_x
  start_walkers
  sleep 0.5
  shot before
  xdotool key --window "$wid" a q Z space 1 ctrl+a ctrl+c BackSpace Tab F1 Left shift+a minus
  sleep 0.2
  shot after
  alive
  [ "$("$PNG_PROBE" erased "$tmp/before.png" "$tmp/after.png")" = 0 ] ||
    fail "a key other than Enter cleared painted pixels"
}

case_enter() {
  start_x
  start_walkers
  sleep 1.5
  shot grown
  read -r _ _ grown _ < <(info grown)
  [ "$grown" -gt 500 ] || fail "only $grown pixels painted after 1.5 s"
  expect_restart_from_centre Return 510 370
  sleep 0.5
  expect_restart_from_centre KP_Enter 510 370
  alive
}

case_resize_then_enter() {
  start_x
  start_walkers
  sleep 0.3
  xdotool windowsize "$wid" 300 200
  for _ in $(seq 40); do
    [ "$(client_size)" = "300x200" ] && break
    sleep 0.05
  done
  [ "$(client_size)" = "300x200" ] || fail "window did not resize: $(client_size)"
  sleep 0.3
  expect_restart_from_centre Return 300 200
}

case_escape() {
  start_x
  start_walkers
  sleep 0.2
  xdotool keydown --window "$wid" Escape
  wait_walkers 3
  [ "$walkers_status" = 0 ] || fail "Escape ended walkers with status $walkers_status"
}

case_close() {
  start_x
  start_walkers
  sleep 0.2
  "$WM_DELETE" "$wid"
  wait_walkers 3
  [ "$walkers_status" = 0 ] || fail "closing the window ended walkers with status $walkers_status"
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
  [ "$(cat "$tmp/err")" = 'walkers: cannot open a window: cannot connect to display ":65000"' ] ||
    fail "message: $(cat "$tmp/err")"
}

"case_$1"
