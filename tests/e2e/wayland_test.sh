#!/usr/bin/env bash
# End-to-end tests on Wayland, each case under a private headless sway with two outputs (see
# wayland_lib.sh). Expects WALKERS, WALKERS_RENDER, PNG_PROBE and BARE_COMPOSITOR to name the
# programs under test. Usage: wayland_test.sh CASE
source "$(dirname "$0")/wayland_lib.sh"

# The wallpaper: one pattern per output, each exactly what walkers-render grows from the same
# seed at the output's size; it follows a mode change (the canvas keeps its pixels), a new scale
# (the same pixels), a new output (a pattern of its own) and an output that goes and comes back.
case_wallpaper() {
  start_sway
  WALKERS_ENV=WALKERS_TICK_LIMIT=1500 launch --root --seed 4242
  wait_seeds 2
  [ "$(sort -u "$tmp/walkers.out")" = "seed: 4242" ] || fail "seeds: $(cat "$tmp/walkers.out")"
  render 1280x720 render1
  render 800x600 render2
  poll_shot HEADLESS-1 out1 same_as render1 out1 || fail "HEADLESS-1 differs from the render"
  poll_shot HEADLESS-2 out2 same_as render2 out2 || fail "HEADLESS-2 differs from the render"
  convert "$tmp/render2.png" -crop 640x480+0+0 +repage "PNG24:$tmp/cropped.png"
  session swaymsg output HEADLESS-2 mode 640x480 >/dev/null
  poll_shot HEADLESS-2 out2 same_as cropped out2 || fail "HEADLESS-2 at 640x480"
  session swaymsg output HEADLESS-2 scale 2 >/dev/null
  poll_shot HEADLESS-2 out2 same_as cropped out2 || fail "HEADLESS-2 at scale 2"
  session swaymsg create_output >/dev/null
  wait_seeds 3
  render 1920x1080 render3
  poll_shot HEADLESS-3 out3 same_as render3 out3 || fail "the new output differs from the render"
  session swaymsg output HEADLESS-3 disable >/dev/null  # its output goes away: its pattern too
  session swaymsg output HEADLESS-3 enable >/dev/null
  poll_shot HEADLESS-3 out3 same_as render3 out3 || fail "the output back differs from the render"
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}
# walkers-render's picture at size $1 into $tmp/$2.png, after $3 ticks (1500 by default).
render() { "$WALKERS_RENDER" --size "$1" --seed 4242 --ticks "${3:-1500}" -o "$tmp/$2.png"; }

# Resting while unseen. A fullscreen window covers HEADLESS-1 from about a second in: its pattern
# rests while HEADLESS-2's grows on to walkers-render's picture at the tick limit, which
# HEADLESS-1's too would have reached by then; uncovered, HEADLESS-1 goes on from where it stood,
# short of that picture, and grows to exactly it.
case_rest_covered() {
  start_sway
  WALKERS_ENV=WALKERS_TICK_LIMIT=8000 launch --root --seed 4242
  wait_seeds 2
  cover HEADLESS-1
  render 1280x720 render1 8000
  render 800x600 render2 8000
  poll_shot HEADLESS-2 out2 same_as render2 out2 ||
    fail "HEADLESS-2 did not grow to the render while HEADLESS-1 was covered"
  uncover "${covers[0]}"
  goes_on HEADLESS-1 1
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}
# The screensaver above the wallpaper covers every output: the wallpaper's process sleeps, woken
# at most twice in 3 s; once the screensaver ends, both patterns go on from where they stood (the
# frames both send on waking at once keep their connection).
case_rest_screensaver() {
  start_sway
  WALKERS_ENV=WALKERS_TICK_LIMIT=8000 launch --root --seed 4242
  wait_seeds 2
  "${in_session[@]}" "$tmp/walkers" --screensaver >/dev/null 2>&1 &
  covers+=($!)
  render 1280x720 render1 8000
  render 800x600 render2 8000
  expect_asleep 2 "all covered"
  uncover "${covers[0]}"
  goes_on HEADLESS-1 1 HEADLESS-2 2
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}
# goes_on OUTPUT N ...: each OUTPUT, once uncovered, goes on from where its pattern stood: its
# first new frame (the screen keeps the last one from before until then) is a young pattern
# short of $tmp/renderN.png (its centre painted, a corner still black: not, say, the grey desktop
# behind), and it grows to exactly that picture.
goes_on() {
  local pairs=("$@") k output n width height
  for ((k = 0; k < $#; k += 2)); do shot "${pairs[k]}" "was${pairs[k + 1]}"; done
  for ((k = 0; k < $#; k += 2)); do
    output=${pairs[k]} n=${pairs[k + 1]}
    poll_shot "$output" "now$n" differs "was$n" "now$n" || fail "$output uncovered stays as it was"
  done
  for ((k = 0; k < $#; k += 2)); do
    output=${pairs[k]} n=${pairs[k + 1]}
    ! same_as "render$n" "now$n" ||
      fail "$output uncovered showed the render at once: its pattern went on while covered"
    read -r width height _ < <("$PNG_PROBE" info "$tmp/now$n.png")
    [ "$("$PNG_PROBE" painted "$tmp/now$n.png" $((width / 2 - 1)) $((height / 2)) 0 0)" = "1 0" ] ||
      fail "$output uncovered shows no young pattern"
    poll_shot "$output" out same_as "render$n" out || fail "$output uncovered never reached the render"
  done
}
differs() { ! same_as "$@"; }

# --pause-on-battery: on battery the wallpaper stands still and its process sleeps but to read
# the power supply (a stand-in tree, see power_lib.sh) once a second; on mains it grows on.
case_pause_on_battery() {
  source "$(dirname "$0")/power_lib.sh"
  make_supply
  start_sway
  : >"$tmp/walkers.out"
  : >"$tmp/walkers.err"
  "${with_supply[@]}" "${in_session[@]}" "$tmp/walkers" --root --pause-on-battery \
    >"$tmp/walkers.out" 2>"$tmp/walkers.err" &
  walkers_pid=$!
  wait_seeds 2
  on_battery
  expect_asleep 5 "on battery"
  shot HEADLESS-1 still
  sleep 4
  shot HEADLESS-1 later
  same_as still later || fail "the picture changed on battery"
  on_mains
  poll_shot HEADLESS-1 now differs later now || fail "the picture stays still on mains"
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}

# SIGTERM, SIGINT and SIGHUP end the wallpaper with status 0.
case_signals() {
  start_sway
  local signal
  for signal in TERM INT HUP; do
    launch --root
    wait_seeds 2
    kill -s "$signal" "$walkers_pid"
    wait_walkers 5
    [ "$walkers_status" = 0 ] || fail "status $walkers_status after SIG$signal"
  done
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}

# The screensaver covers both outputs, above windows, and a key ends it with status 0.
case_screensaver() {
  start_sway
  launch --screensaver
  wait_seeds 2
  poll_shot HEADLESS-1 saver1 centre_painted saver1 || fail "no pattern on HEADLESS-1"
  poll_shot HEADLESS-2 saver2 centre_painted saver2 || fail "no pattern on HEADLESS-2"
  for _ in $(seq 100); do
    session wtype -s 300 -k space 2>/dev/null || true
    kill -0 "$walkers_pid" 2>/dev/null || break
    sleep 0.2
  done
  wait_walkers 5
  [ "$walkers_status" = 0 ] || fail "status $walkers_status after a key"
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}

# The own window with no X server at all: "Form1", 510x370 showing what walkers-render grows,
# F11 fullscreen (the picture kept, black beyond), Esc ends it.
case_window() {
  start_sway
  WALKERS_ENV=WALKERS_TICK_LIMIT=1500 launch --seed 4242
  wait_seeds 1
  local node=
  for _ in $(seq 100); do
    node=$(form1)
    [ -n "$node" ] && break
    sleep 0.1
  done
  [ "$node" = "510x370 0" ] || fail "window Form1: '$node'"
  "$WALKERS_RENDER" --size 510x370 --seed 4242 --ticks 1500 -o "$tmp/render.png"
  poll_shot_window window same_as render window || fail "the window differs from the render"
  session wtype -s 500 -k F11
  for _ in $(seq 100); do
    [ "$(form1)" = "1280x720 1" ] && break
    sleep 0.1
  done
  [ "$(form1)" = "1280x720 1" ] || fail "F11: $(form1)"
  convert "$tmp/render.png" -background black -extent 1280x720 "PNG24:$tmp/full.png"
  poll_shot HEADLESS-1 shot same_as full shot || fail "fullscreen differs from the render"
  session wtype -s 500 -k Escape
  wait_walkers 10
  [ "$walkers_status" = 0 ] || fail "status $walkers_status after Esc"
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}
# Polls screenshots of the window Form1 into $tmp/$1.png until `$2 ...` succeeds.
poll_shot_window() {
  local name=$1 deadline=$(($(date +%s) + ${E2E_DEADLINE:-60})) area
  shift
  while :; do
    area=$(form1_area)
    session grim -g "$area" - >"$tmp/$name.png" 2>/dev/null || fail "no screenshot of $area"
    "$@" && return 0
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# The own window at output scales 1, 2 and 1.5 keeps its client area of 510x370 logical pixels
# and draws one canvas pixel per screen pixel: its canvas is the window's size in screen pixels
# (510x370, 1020x740, 765x555), exactly what walkers-render grows at that size, and a new scale
# while it runs gives it the new size (the pixels kept, black beyond). sway 1.7 has no
# fractional scale protocol: at 1.5 the window finds the scale from the output's mode and
# logical size and draws through a viewport. The mode is 1920x1080 (see case_fractional_scale);
# the window is moved to 100,100, whole screen pixels at each scale, and cut from a screenshot of
# the output.
case_window_scale() {
  start_sway 1920x1080
  local scale size at
  for scale in 1 2 1.5; do
    session swaymsg output HEADLESS-1 scale "$scale" >/dev/null
    size=$(awk -v s="$scale" 'BEGIN { print 510 * s "x" 370 * s }')
    at=$(awk -v s="$scale" 'BEGIN { print "+" 100 * s "+" 100 * s }')
    WALKERS_ENV=WALKERS_TICK_LIMIT=1500 launch --seed 4242
    wait_seeds 1
    await_form1 510x370 || fail "scale $scale: Form1 is '$(form1_area)', not 510x370"
    session swaymsg '[title="Form1"] move position 100 100' >/dev/null
    await_form1 510x370 100,100 || fail "scale $scale: Form1 is '$(form1_area)', not at 100,100"
    "$WALKERS_RENDER" --size "$size" --seed 4242 --ticks 1500 -o "$tmp/render.png"
    poll_shot HEADLESS-1 out window_part "$size$at" ||
      fail "scale $scale: $("$PNG_PROBE" differ "$tmp/render.png" "$tmp/window.png") of the window's pixels differ from walkers-render's at $size"
    if [ "$scale" = 1.5 ]; then  # rescaled while it runs: the canvas grows, as when resized
      convert "$tmp/render.png" -background black -extent 1020x740 "PNG24:$tmp/render.png"
      session swaymsg output HEADLESS-1 scale 2 >/dev/null
      poll_shot HEADLESS-1 out window_part 1020x740+200+200 ||
        fail "from 1.5 to 2: $("$PNG_PROBE" differ "$tmp/render.png" "$tmp/window.png") pixels differ"
    fi
    kill "$walkers_pid"
    wait_walkers 5
  done
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}
# Waits up to 10 s for Form1 to be $1 (WxH) in sway's logical pixels, at $2 (X,Y) if given.
await_form1() {
  local area
  for _ in $(seq 100); do
    area=$(form1_area)
    [ "${area#* }" = "$1" ] && { [ -z "${2:-}" ] || [ "${area% *}" = "$2" ]; } && return 0
    sleep 0.1
  done
  return 1
}
# Whether the part $1 (WxH+X+Y) of $tmp/out.png, cut into $tmp/window.png, is the render.
window_part() {
  convert "$tmp/out.png" -crop "$1" +repage "PNG24:$tmp/window.png" && same_as render window
}

# Keys from a keyboard that appears and types at once (each wtype is a new virtual keyboard, no
# pause between its keymap and its key): SDL's Wayland driver crashed on them (status 139) in 2
# to 5 runs of 6. Return gives a fresh pattern, other keys nothing, Esc ends with 0, the close
# request with 0 too; nothing crashes on the way. A key sent before the window's keyboard is bound
# is lost, as on any client, so each is sent until it acts.
case_window_keys() {
  start_sway
  local run sent
  for run in 1 2 3 4 5 6; do
    launch
    until [ -n "$(form1)" ]; do alive_window; sleep 0.02; done
    for sent in $(seq 50); do
      session wtype -k Return 2>/dev/null || true
      alive_window
      [ "$(grep -c '^seed: ' "$tmp/walkers.out")" -ge 2 ] && break
      sleep 0.1
    done
    [ "$(grep -c '^seed: ' "$tmp/walkers.out")" -ge 2 ] || fail "run $run: Return gave no fresh pattern"
    for _ in 1 2 3; do session wtype a 2>/dev/null || true; alive_window; done
    session wtype -M ctrl m -m ctrl 2>/dev/null || true  # Ctrl+M is Enter too
    alive_window
    for sent in $(seq 50); do
      if [ "$run" = 6 ]; then
        session swaymsg '[title="Form1"] kill' >/dev/null 2>&1 || true
      elif [ "$run" = 5 ]; then
        session wtype -M ctrl '[' -m ctrl 2>/dev/null || true  # Ctrl+[ is Esc
      else
        session wtype -k Escape 2>/dev/null || true
      fi
      sleep 0.1
      kill -0 "$walkers_pid" 2>/dev/null || break
    done
    wait_walkers 10
    [ "$walkers_status" = 0 ] || fail "run $run: status $walkers_status at the end"
    [ ! -s "$tmp/walkers.err" ] || fail "run $run: complaints"
  done
}
# Fails when walkers has ended, naming its status (139: it crashed).
alive_window() {
  kill -0 "$walkers_pid" 2>/dev/null && return 0
  local status=0
  wait "$walkers_pid" || status=$?
  walkers_pid=
  fail "walkers ended with status $status"
}

# A keyboard that appears after the grace and presses at once wakes the screensaver, though its
# key may reach the compositor before walkers has bound the new keyboard: once without a pause
# per run, never repeated.
case_screensaver_new_keyboard() {
  start_sway
  local run
  for run in 1 2 3 4; do
    launch --screensaver
    wait_seeds 2
    sleep 1.5  # past the grace
    session wtype -k a 2>/dev/null || true
    wait_walkers 5
    [ "$walkers_status" = 0 ] || fail "run $run: status $walkers_status"
  done
}

# A compositor that dies: the window and the wallpaper each say one line and end with status 1.
case_lost_compositor() {
  start_sway
  launch --root
  wait_seeds 2
  other_pid=$walkers_pid
  mv "$tmp/walkers.err" "$tmp/root.err"
  launch
  wait_seeds 1
  kill -KILL "$sway_pid"
  wait_walkers 10
  [ "$walkers_status" = 1 ] || fail "window: status $walkers_status"
  [[ "$(cat "$tmp/walkers.err")" == "walkers: lost the display: "* ]] &&
    [ "$(wc -l <"$tmp/walkers.err")" = 1 ] || fail "window: $(cat "$tmp/walkers.err")"
  walkers_pid=$other_pid other_pid=
  wait_walkers 10
  [ "$walkers_status" = 1 ] || fail "root: status $walkers_status"
  [[ "$(cat "$tmp/root.err")" == "walkers: lost the display: "* ]] &&
    [ "$(wc -l <"$tmp/root.err")" = 1 ] || fail "root: $(cat "$tmp/root.err")"
}

# A compositor without the layer shell (GNOME's): one line saying so, and status 1, even with an X
# display beside it; the own window does not need the layer shell.
case_no_layer_shell() {
  env -i XDG_RUNTIME_DIR="$tmp/run" "$BARE_COMPOSITOR" bare-0 2>"$tmp/bare.err" &
  other_pid=$!
  wait_socket "$tmp/run/bare-0"
  local mode status
  for mode in --root --screensaver; do
    status=0
    env -i XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=bare-0 DISPLAY=:99 \
      ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" timeout 10 \
      "$WALKERS" "$mode" >/dev/null 2>"$tmp/walkers.err" || status=$?
    [ "$status" = 1 ] || fail "$mode: status $status"
    [ "$(wc -l <"$tmp/walkers.err")" = 1 ] && grep -q 'no layer shell' "$tmp/walkers.err" ||
      fail "$mode: $(cat "$tmp/walkers.err")"
  done
}

# At fractional scales the wallpaper and the screensaver draw one canvas pixel per screen pixel
# (a viewport): exactly what walkers-render grows at the output's mode size, at 1.5 from the
# start and then at 1.25, 2 and 1 again, the same pixels each time. The mode is 1920x1080, whose
# logical sizes at 1.5 and 1.25 are whole: grim scales its screenshot of an output by the
# logical width's ratio alone, which at 1280x720 and 1.5 (853.33 logical pixels wide) would
# blend the rows of even an exact picture.
case_fractional_scale() {
  start_sway 1920x1080
  session swaymsg output HEADLESS-1 scale 1.5 >/dev/null
  render 1920x1080 render1
  render 800x600 render2
  local mode
  for mode in --root --screensaver; do
    WALKERS_ENV=WALKERS_TICK_LIMIT=1500 launch "$mode" --seed 4242
    wait_seeds 2
    poll_shot HEADLESS-1 out1 same_as render1 out1 ||
      fail "$mode at scale 1.5: $("$PNG_PROBE" differ "$tmp/render1.png" "$tmp/out1.png") pixels differ"
    [ "$mode" = --root ] || break
    session swaymsg output HEADLESS-2 scale 1.25 >/dev/null  # 800x600: 640x480 logical
    poll_shot HEADLESS-2 out2 same_as render2 out2 ||
      fail "HEADLESS-2 at scale 1.25: $("$PNG_PROBE" differ "$tmp/render2.png" "$tmp/out2.png") pixels differ"
    local scale
    for scale in 1.25 2 1; do
      session swaymsg output HEADLESS-1 scale "$scale" >/dev/null
      poll_shot HEADLESS-1 out1 same_as render1 out1 ||
        fail "$mode at scale $scale: $("$PNG_PROBE" differ "$tmp/render1.png" "$tmp/out1.png") pixels differ"
    done
    kill "$walkers_pid"
    wait_walkers 5
  done
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}

# Runs walkers with $2... in an environment of nothing but $1 (space-separated VAR=value words)
# and the sanitizers' options, at most 20 s; sets status, and its standard error goes to
# $tmp/walkers.err.
alone() {
  local environment=$1
  shift
  status=0
  # shellcheck disable=SC2086  # the words are the variables
  env -i $environment ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
    timeout 20 "$WALKERS" "$@" >/dev/null 2>"$tmp/walkers.err" || status=$?
}

# A compositor that takes the connection and never answers: after a few seconds one line and
# status 1, in the wallpaper and the screensaver; with an X display beside it walkers tries that
# one instead, as for a compositor that is not there; a stop signal meanwhile still ends it with
# status 0.
case_silent_compositor() {
  "$SILENT_COMPOSITOR" "$tmp/run/silent-0" >"$tmp/silent.log" 2>&1 &
  other_pid=$!
  wait_socket "$tmp/run/silent-0"
  local mode line
  for mode in --root --screensaver; do
    env -i XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=silent-0 ASAN_OPTIONS="${ASAN_OPTIONS:-}" \
      UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" "$WALKERS" "$mode" >/dev/null 2>"$tmp/walkers.err" &
    walkers_pid=$!
    # Polled, not timed: the deadline is walkers's own, a few seconds.
    for _ in $(seq $((${E2E_DEADLINE:-60} * 20))); do
      [ -s "$tmp/walkers.err" ] && break
      sleep 0.05
    done
    [ -s "$tmp/walkers.err" ] || fail "$mode: nothing said about a compositor that never answers"
    wait_walkers 10
    [ "$walkers_status" = 1 ] || fail "$mode: status $walkers_status"
    line='walkers: cannot connect to the Wayland compositor "silent-0": it took the connection'
    line+=' but did not answer within 5 s'
    [ "$(cat "$tmp/walkers.err")" = "$line" ] || fail "$mode: $(cat "$tmp/walkers.err")"
  done
  # With DISPLAY too, X11 is tried (no X server at :99 here): still one line and status 1.
  alone "XDG_RUNTIME_DIR=$tmp/run WAYLAND_DISPLAY=silent-0 DISPLAY=:99" --root
  [ "$status" = 1 ] && [ "$(wc -l <"$tmp/walkers.err")" = 1 ] ||
    fail "with DISPLAY: status $status, $(cat "$tmp/walkers.err")"
  # A stop signal while walkers waits for the answer.
  local accepted
  accepted=$(grep -c '^accepted' "$tmp/silent.log")
  env -i XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=silent-0 ASAN_OPTIONS="${ASAN_OPTIONS:-}" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" "$WALKERS" --root >/dev/null 2>"$tmp/walkers.err" &
  walkers_pid=$!
  for _ in $(seq 200); do
    [ "$(grep -c '^accepted' "$tmp/silent.log")" -gt "$accepted" ] && break
    sleep 0.05
  done
  kill -TERM "$walkers_pid"
  wait_walkers 5
  [ "$walkers_status" = 0 ] || fail "status $walkers_status after SIGTERM"
  [ ! -s "$tmp/walkers.err" ] || fail "complaints after SIGTERM"
}

# A WAYLAND_DISPLAY that leads to no compositor: one line naming Wayland and why (a regular file,
# a FIFO, a missing name, no XDG_RUNTIME_DIR), the name escaped and cut short; status 1.
case_unreachable_messages() {
  : >"$tmp/run/regfile"
  mkfifo "$tmp/run/fifo"
  local mode run="XDG_RUNTIME_DIR=$tmp/run"
  for mode in --root --screensaver; do
    expect_line "$run WAYLAND_DISPLAY=regfile" "$mode" \
      'walkers: cannot connect to the Wayland compositor "regfile": it is a regular file, not a socket'
    expect_line "$run WAYLAND_DISPLAY=fifo" "$mode" \
      'walkers: cannot connect to the Wayland compositor "fifo": it is a FIFO, not a socket'
    expect_line "$run WAYLAND_DISPLAY=missing" "$mode" \
      'walkers: cannot connect to the Wayland compositor "missing": No such file or directory'
    expect_line "WAYLAND_DISPLAY=wayland-1" "$mode" \
      'walkers: cannot connect to the Wayland compositor "wayland-1": XDG_RUNTIME_DIR is not set (it holds the compositor'"'"'s socket)'
  done
  # A forged second line, an escape byte and a long value.
  status=0
  env -i XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=$'x\nwalkers: fake line\e[31m' \
    timeout 20 "$WALKERS" --root >/dev/null 2>"$tmp/walkers.err" || status=$?
  [ "$status" = 1 ] || fail "forged: status $status"
  [ "$(wc -l <"$tmp/walkers.err")" = 1 ] || fail "forged: $(cat -A "$tmp/walkers.err")"
  grep -qF 'compositor "x\nwalkers: fake line\x1b[31m": No such file' "$tmp/walkers.err" ||
    fail "forged: $(cat -A "$tmp/walkers.err")"
  status=0
  env -i XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY="$(printf 'w%.0s' $(seq 3000))" \
    timeout 20 "$WALKERS" --root >/dev/null 2>"$tmp/walkers.err" || status=$?
  [ "$status" = 1 ] || fail "long: status $status"
  [ "$(wc -l <"$tmp/walkers.err")" = 1 ] && [ "$(wc -c <"$tmp/walkers.err")" -lt 300 ] ||
    fail "long: $(wc -c <"$tmp/walkers.err") bytes: $(head -c 300 "$tmp/walkers.err")"
}
# expect_line ENVIRONMENT MODE LINE: walkers in MODE says LINE alone and ends with status 1.
expect_line() {
  alone "$1" "$2"
  [ "$status" = 1 ] || fail "$1 $2: status $status"
  [ "$(cat "$tmp/walkers.err")" = "$3" ] || fail "$1 $2: $(cat "$tmp/walkers.err")"
}

"case_$1"
