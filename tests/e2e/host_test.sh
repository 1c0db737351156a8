#!/usr/bin/env bash
# End-to-end tests of the walkers command line, its signals and its faults, in a private Xvfb;
# the argument names the case. Expects WALKERS_RENDER and DESTROY_WINDOW besides lib.sh's programs.
source "$(dirname "$0")/lib.sh"

# Ends the X server under the running walkers: one line and status 1.
expect_lost_display() {
  wait_seeds 1
  kill "$xvfb_pid"
  xvfb_pid=
  wait_walkers 10
  [ "$walkers_status" = 1 ] || fail "status $walkers_status after the X server went away"
  [ "$(wc -l <"$tmp/walkers.err")" = 1 ] &&
    grep -q '^walkers: lost the display: ' "$tmp/walkers.err" || fail "message: $(cat "$tmp/walkers.err")"
}

seeds() { grep -c '^seed: ' "$tmp/walkers.out" || true; }

# Waits until walkers has reported $1 patterns.
wait_seeds() {
  local deadline=$(($(date +%s) + ${E2E_DEADLINE:-10}))
  until [ "$(seeds)" -ge "$1" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "only $(seeds) of $1 patterns reported"
    sleep 0.05
  done
}

# Runs walkers with the arguments after the expected status $1, without a display; checks the
# status and that standard error holds one line starting with $2.
expect_refusal() {
  local expected=$1 start=$2 status=0
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY timeout 5 "$WALKERS" "$@" >"$tmp/out" 2>"$tmp/err" || status=$?
  [ "$status" = "$expected" ] || fail "$*: status $status, expected $expected; $(cat "$tmp/err")"
  [ "$(wc -l <"$tmp/err")" = 1 ] || fail "$*: not one line: $(cat "$tmp/err")"
  [[ "$(cat "$tmp/err")" == "$start"* ]] || fail "$*: message $(cat "$tmp/err")"
  [ ! -s "$tmp/out" ] || fail "$*: wrote to standard output"
}

# Unknown options and bad values: status 2 and one line naming them, before any window is tried
# (there is no display here: trying one would give status 1).
case_bad_options() {
  expect_refusal 2 'walkers: unknown option "--frobnicate"' --frobnicate
  expect_refusal 2 'walkers: bad --cycle "-1"' --cycle -1
  expect_refusal 2 'walkers: bad --seed "x"' --seed x
  expect_refusal 2 'walkers: bad --window-id "zz"' --window-id zz
  expect_refusal 2 'walkers: bad --window-id "zz"' -window-id zz
  expect_refusal 2 "walkers: --root excludes --window-id" -root --window-id 0x200001
  expect_refusal 1 "walkers: cannot open a window: no display" --seed 5 --cycle 3 --
}

case_help_version() {
  "$WALKERS" --help >"$tmp/help" || fail "--help gave status $?"
  grep -q -- '--window-id' "$tmp/help" || fail "--help does not name --window-id"
  [ "$("$WALKERS" --version)" = "walkers 1.0.0" ] || fail "--version says $("$WALKERS" --version)"
  # Output that cannot take them (a full device, a closed descriptor): status 1 and the reason.
  mknod "$tmp/full" c 1 7
  local option status
  for option in --help --version; do
    status=0
    "$WALKERS" "$option" >"$tmp/full" 2>"$tmp/err" || status=$?
    [ "$status" = 1 ] && [ "$(cat "$tmp/err")" = "walkers: cannot write standard output: No space left on device" ] ||
      fail "$option into a full device: status $status, $(cat "$tmp/err")"
    status=0
    "$WALKERS" "$option" >&- 2>"$tmp/err" || status=$?
    [ "$status" = 1 ] && [ "$(cat "$tmp/err")" = "walkers: cannot write standard output: Bad file descriptor" ] ||
      fail "$option into a closed output: status $status, $(cat "$tmp/err")"
  done
  expect_refusal 2 'walkers: unknown option "--bogus"' --bogus --help
}

# The seed a pattern reports, given to walkers-render with the same size and tick count, gives
# the picture the window shows (the timer stops at the tick count through WALKERS_TICK_LIMIT).
case_seed_reproduces() {
  start_x
  WALKERS_TICK_LIMIT=1500 start_walkers --seed 918273645
  wait_seeds 1
  [ "$(head -n 1 "$tmp/walkers.out")" = "seed: 918273645" ] || fail "reported $(cat "$tmp/walkers.out")"
  "$WALKERS_RENDER" --size 510x370 --seed 918273645 --ticks 1500 -o "$tmp/render.png"
  poll_shot window same_as_render ||
    fail "$("$PNG_PROBE" differ "$tmp/render.png" "$tmp/window.png") pixels differ from the render"
}
same_as_render() { [ "$("$PNG_PROBE" differ "$tmp/render.png" "$tmp/window.png")" = 0 ]; }

# Another program destroying the window, or the X server going away: one line, status 1.
case_lost_display() {
  start_x
  start_walkers
  wait_seeds 1
  "$DESTROY_WINDOW" "$wid"
  wait_walkers 10
  [ "$walkers_status" = 1 ] || fail "status $walkers_status after the window was destroyed"
  [ "$(cat "$tmp/walkers.err")" = "walkers: lost the display: the window was destroyed" ] ||
    fail "message: $(cat "$tmp/walkers.err")"
  start_walkers
  expect_lost_display
}

# A dead Wayland socket is passed over quietly: the X display serves, or only our line is said.
case_dead_wayland() {
  start_x
  WAYLAND_DISPLAY=/nonexistent start_walkers
  wait_seeds 1
  kill "$walkers_pid"
  wait_walkers 10
  [ ! -s "$tmp/walkers.err" ] || fail "with a working DISPLAY: $(cat "$tmp/walkers.err")"
  local status=0
  env -u DISPLAY -u XDG_RUNTIME_DIR WAYLAND_DISPLAY=wayland-dead timeout 5 "$WALKERS" \
    >/dev/null 2>"$tmp/err" || status=$?
  [ "$status" = 1 ] || fail "status $status"
  [ "$(cat "$tmp/err")" = 'walkers: cannot open a window: cannot connect to the Wayland compositor "wayland-dead": XDG_RUNTIME_DIR is not set (it holds the compositor'"'"'s socket)' ] ||
    fail "message: $(cat "$tmp/err")"
  status=0
  env -u DISPLAY WAYLAND_DISPLAY=/nonexistent timeout 5 "$WALKERS" >/dev/null 2>"$tmp/err" ||
    status=$?
  [ "$status" = 1 ] && [ "$(wc -l <"$tmp/err")" = 1 ] || fail "status $status: $(cat "$tmp/err")"
  # A stale Wayland socket, then no X server: the one line says why each attempt failed.
  mkdir -m 700 "$tmp/run"
  python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$tmp/run/stale"
  local mode
  for mode in "" --root --screensaver; do
    status=0
    # shellcheck disable=SC2086 # no mode is no argument
    env XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=stale DISPLAY=:65000 timeout 10 "$WALKERS" \
      $mode >/dev/null 2>"$tmp/err" || status=$?
    [ "$status" = 1 ] && grep -qxE 'walkers: (cannot open a window: )?cannot connect to the Wayland compositor "stale": Connection refused; cannot connect to display ":65000": /tmp/\.X11-unix/X65000: No such file or directory' \
      "$tmp/err" || fail "${mode:-the window}: status $status: $(cat "$tmp/err")"
  done
}

# A display that accepts the connection and never answers (a Unix socket that only accepts, at
# an unused display number): each mode says so in one line with status 1 after a few seconds.
# A DISPLAY holding control bytes or thousands of characters is echoed escaped and cut short,
# and --root and --screensaver without any display name both variables.
case_startup_messages() {
  local n mode status
  mkdir -p /tmp/.X11-unix
  for n in $(seq 300 399); do
    [ ! -e "/tmp/.X11-unix/X$n" ] && ! grep -q "/tmp/.X11-unix/X$n\$" /proc/net/unix && break
  done
  local silent=/tmp/.X11-unix/X$n
  python3 -c '
import socket, sys
server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
server.listen(8)
print(flush=True)
held = []
while True:
    held.append(server.accept()[0])
' "$silent" >"$tmp/silent.ready" &
  silent_pid=$! silent_socket=$silent
  trap 'kill "$silent_pid" 2>/dev/null || true; rm -f "$silent_socket"; cleanup' EXIT
  for _ in $(seq 100); do [ -s "$tmp/silent.ready" ] && break; sleep 0.05; done
  [ -S "$silent" ] || fail "the silent socket did not start"
  for mode in --fullscreen --root --screensaver "--window-id 0x200001"; do
    status=0
    # shellcheck disable=SC2086 # the mode may be an option and its value
    env -u WAYLAND_DISPLAY DISPLAY=":$n" timeout 30 "$WALKERS" $mode >/dev/null 2>"$tmp/err" </dev/null ||
      status=$?
    [ "$status" = 1 ] && [ "$(wc -l <"$tmp/err")" = 1 ] &&
      grep -qE "^walkers: (cannot open a window: )?cannot connect to display \":$n\": no answer within 5 s\$" \
        "$tmp/err" || fail "$mode on a display that never answers: status $status: $(cat "$tmp/err")"
  done
  kill "$silent_pid"
  local forged=$':9\nwalkers: fake line\e[2J' long
  long=":9$(printf '%03000d' 0)"
  for mode in --fullscreen --root --screensaver "--window-id 0x200001"; do
    for display in "$forged" "$long"; do
      status=0
      # shellcheck disable=SC2086
      env -u WAYLAND_DISPLAY DISPLAY="$display" timeout 10 "$WALKERS" $mode >/dev/null 2>"$tmp/err" ||
        status=$?
      [ "$status" = 1 ] && [ "$(wc -l <"$tmp/err")" = 1 ] && [ "$(wc -c <"$tmp/err")" -lt 200 ] &&
        ! grep -q $'\e' "$tmp/err" && grep -q 'cannot connect to display ":9' "$tmp/err" ||
        fail "$mode with DISPLAY of ${#display} bytes: status $status: $(head -c 300 "$tmp/err")"
    done
    grep -q '…"$' "$tmp/err" || fail "$mode: a long DISPLAY is not cut: $(head -c 300 "$tmp/err")"
  done
  status=0
  env -u WAYLAND_DISPLAY DISPLAY="$forged" timeout 10 "$WALKERS" --root 2>"$tmp/err" || status=$?
  [ "$(cat "$tmp/err")" = 'walkers: cannot connect to display ":9\nwalkers: fake line\x1b[2J"' ] ||
    fail "message: $(cat "$tmp/err")"
  for mode in --root --screensaver; do
    expect_refusal 1 "walkers: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)" "$mode"
  done
  expect_refusal 1 "walkers: no display (DISPLAY is not set)" --window-id 0x200001
}

# A window far larger than any screen: no window-sized memory, and Esc and SIGTERM still end it.
case_huge_window() {
  start_x
  local how
  for how in Escape TERM; do
    start_walkers
    wait_seeds 1
    resize_to 40000 40000
    # Events are handled in order: once the second Enter after the resize has started its
    # pattern, the resize was handled and a whole pass of the loop, frame included, came after.
    xdotool key --window "$wid" Return
    wait_seeds 2
    xdotool key --window "$wid" Return
    wait_seeds 3
    local peak
    peak=$(awk '/^VmHWM:/ {print $2}' "/proc/$walkers_pid/status")
    [ "$peak" -lt 300000 ] || fail "peak resident memory $peak kB at 40000x40000"
    if [ "$how" = Escape ]; then escape_walkers 10; else kill "$walkers_pid" && wait_walkers 10; fi
    [ "$walkers_status" = 0 ] || fail "$how ended walkers with status $walkers_status"
  done
}

# Waits until the window's client area is $1.
wait_size() {
  local deadline=$(($(date +%s) + ${E2E_DEADLINE:-10}))
  until [ "$(client_size)" = "$1" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "window is $(client_size), expected $1"
    sleep 0.05
  done
}

# A window wider than the canvas stores: black beyond the stored 8192 columns, the pattern within
# them. A white window lies beneath, to show through wherever walkers draws nothing.
case_beyond_stored() {
  start_x 9100x400
  foreign 9000x300 white
  start_walkers
  xdotool windowmove "$wid" 0 0
  resize_to 9000 300
  xdotool key --window "$wid" Return
  poll_shot wide black_beyond_pattern_within ||
    fail "beyond 8192: $("$PNG_PROBE" painted "$tmp/wide.png" 8200 10 8201 10 8200 11 8201 11 8999 299)"
}
black_beyond_pattern_within() {
  [ "$("$PNG_PROBE" painted "$tmp/wide.png" 8200 10 8201 10 8200 11 8201 11 8999 299 4499 150)" = \
    "0 0 0 0 0 1" ]
}

# --fullscreen asks the window manager for fullscreen from the start; F11 leaves it and asks
# again. (A stand-in window manager honours the requests: Xvfb has none.)
case_fullscreen() {
  start_x 1024x768
  start_fullscreen_wm
  start_walkers --fullscreen
  wait_size 1024x768
  xdotool key --window "$wid" F11
  wait_size 510x370
  xdotool key --window "$wid" F11
  wait_size 1024x768
  wait_seeds 1
  [ "$(seeds)" = 1 ] || fail "F11 started a pattern"
  kill "$wm_pid"
}

# Starts the stand-in window manager, which logs each change of fullscreen; sets wm_pid.
start_fullscreen_wm() {
  "$FULLSCREEN_WM" >"$tmp/wm.log" &
  wm_pid=$!
  for _ in $(seq 100); do grep -q ready "$tmp/wm.log" && break; sleep 0.05; done
}

# F11 held down, repeating, asks for fullscreen once.
case_fullscreen_held() {
  start_x 1024x768
  start_fullscreen_wm
  start_walkers
  # Through the server's keyboard (keys sent to a window do not repeat), to the focused window.
  xdotool windowfocus --sync "$wid"
  xdotool keydown F11
  sleep 1.5  # past the server's repeat delay, into its repeats
  xdotool keyup F11
  wait_size 1024x768
  wait_frames 2  # walkers has read every repeat by now
  [ "$(grep -c '^fullscreen' "$tmp/wm.log")" = 1 ] || fail "F11 held: $(grep '^fullscreen' "$tmp/wm.log" | tr '\n' ' ')"
  kill "$wm_pid"
}

# Makes a foreign window of size $1 (white if $2 is "white"); sets foreign_pid and wid.
foreign() {
  : >"$tmp/foreign"  # emptied here: the child's own redirection may come after the first look
  "$FOREIGN_WINDOW" "$@" >"$tmp/foreign" &
  foreign_pid=$!
  for _ in $(seq 200); do [ -s "$tmp/foreign" ] && break; sleep 0.05; done
  wid=$(head -n 1 "$tmp/foreign")
  [ -n "$wid" ] || fail "the foreign window did not appear"
}

painted_shot() { read -r _ _ count _ < <(info "$1") && [ "$count" -gt 0 ]; }
root_changed() { [ "$("$PNG_PROBE" differ "$tmp/before.png" "$tmp/root.png")" != 0 ]; }

# --root draws on the root window; SIGTERM, SIGINT and SIGHUP end it with status 0. The root
# keeps the last walkers' picture, so each one must change it.
case_root_signals() {
  start_x 640x480
  local signal
  wid=root
  for signal in TERM INT HUP; do
    shot before
    run_walkers --root
    wait_seeds 1
    poll_shot root root_changed || fail "nothing drawn on the root window"
    kill -s "$signal" "$walkers_pid"
    wait_walkers 10
    [ "$walkers_status" = 0 ] || fail "SIG$signal ended walkers with status $walkers_status"
    [ ! -s "$tmp/walkers.err" ] || fail "SIG$signal: $(cat "$tmp/walkers.err")"
  done
}

# --root under a screensaver daemon draws on $XSCREENSAVER_WINDOW (and not on the root); the
# window's destruction ends walkers with status 0.
case_screensaver_window() {
  start_x 640x480
  foreign 300x200
  XSCREENSAVER_WINDOW=$wid run_walkers -root
  wait_seeds 1
  poll_shot saver painted_shot saver || fail "nothing drawn on the screensaver's window"
  read -r w h _ < <(info saver)
  [ "$w $h" = "300 200" ] || fail "shot is $w x $h"
  # Everything painted lies within the window: the root around it stays black.
  import -window root "$tmp/root.png"
  read -r _ _ _ left top right bottom < <("$PNG_PROBE" info "$tmp/root.png")
  [ "$right" -lt 300 ] && [ "$bottom" -lt 200 ] || fail "painted outside the window: $left,$top..$right,$bottom"
  "$DESTROY_WINDOW" "$wid"
  wait_walkers 10
  [ "$walkers_status" = 0 ] || fail "status $walkers_status after the window was destroyed"
  [ ! -s "$tmp/walkers.err" ] || fail "$(cat "$tmp/walkers.err")"
}

# The real screensaver daemon starts `walkers --root` on its own window and stops it again. The
# daemon starts nothing as root, so as root it runs as nobody, with a HOME of its own and a copy
# of walkers that nobody can reach.
case_xscreensaver_daemon() {
  command -v xscreensaver >/dev/null || fail "xscreensaver is not installed"
  start_x 640x480
  as=() home=$tmp/saver saver_group= pid=
  chmod 755 "$tmp"
  mkdir -p "$home/bin"
  cp "$WALKERS" "$home/bin/walkers"
  cat >"$home/.xscreensaver" <<SETTINGS
mode: one
selected: 0
timeout: 0:30:00
lock: False
splash: False
fade: False
unfade: False
programs: "Walkers" $home/bin/walkers --root \\n
SETTINGS
  if [ "$(id -u)" = 0 ]; then
    as=(runuser -u nobody --)
    chown -R nobody "$home"
  fi
  saver() { "${as[@]}" env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin "$@"; }
  setsid "${as[@]}" env -i HOME="$home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin \
    xscreensaver -no-splash </dev/null >"$tmp/saver.log" 2>&1 &
  saver_group=$!
  # Everything the daemon started stays in the session setsid made for it. Nothing left to kill
  # must not stop the clean-up: an X server left running keeps the test's output open.
  stop_saver() {
    pkill -KILL -s "$saver_group" 2>/dev/null || true
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    cleanup
  }
  trap stop_saver EXIT
  # A loaded machine may take long to start the daemon; that is no fault of walkers.
  local deadline=$(($(date +%s) + 60))
  until saver timeout 5 xscreensaver-command -activate >/dev/null 2>&1; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "the daemon did not answer: $(cat "$tmp/saver.log")"
    sleep 0.2
  done
  deadline=$(($(date +%s) + 10))
  until pid=$(pgrep -f -n "^$home/bin/walkers --root"); do
    [ "$(date +%s)" -lt "$deadline" ] || fail "the daemon did not start walkers: $(cat "$tmp/saver.log")"
    sleep 0.1
  done
  wid=$(tr '\0' '\n' <"/proc/$pid/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
  [ -n "$wid" ] || fail "walkers was started without XSCREENSAVER_WINDOW"
  poll_shot saver painted_shot saver || fail "nothing drawn on the daemon's window $wid"
  read -r _ _ first _ < <(info saver)
  poll_shot saver grown_past "$first" || fail "the pattern on the daemon's window did not grow"
  saver timeout 10 xscreensaver-command -deactivate >/dev/null
  deadline=$(($(date +%s) + 10))
  while kill -0 "$pid" 2>/dev/null; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "walkers still runs after the daemon stopped it"
    sleep 0.05
  done
  pid=
  ! grep '^walkers:' "$tmp/saver.log" || fail "walkers complained under the daemon"
}
grown_past() { [ "$(info saver | cut -d' ' -f3)" -gt "$1" ]; }

# The real xsecurelock runs the installed saver module on its saver window: the screen shows the
# pattern walkers-render grows at the tick limit, and when the lock ends walkers ends with status
# 0. The module is the installed one; only the walkers it runs is wrapped, to write down how
# walkers ended (saver_multiplex, not this test, is its parent).
case_xsecurelock_saver() {
  command -v xsecurelock >/dev/null || fail "xsecurelock is not installed"
  start_x 640x480
  local prefix=$tmp/prefix pid
  locker=
  cmake --install "$WALKERS_BUILD" --prefix "$prefix" >/dev/null
  mv "$prefix/bin/walkers" "$prefix/bin/walkers.real"
  cat >"$prefix/bin/walkers" <<WRAPPER
#!/bin/bash
# Runs walkers as the saver module asks, passes on the signal that ends it, writes its status.
"$prefix/bin/walkers.real" "\$@" >"$tmp/walkers.out" 2>"$tmp/walkers.err" &
child=\$! signalled=
trap 'signalled=1; kill -TERM \$child 2>/dev/null' TERM INT HUP
wait \$child
status=\$?
[ -z "\$signalled" ] || { wait \$child; status=\$?; }
echo \$status >"$tmp/status"
WRAPPER
  chmod +x "$prefix/bin/walkers"
  : >"$tmp/walkers.out"
  stop_locker() {
    [ -z "$locker" ] || kill "$locker" 2>/dev/null || true
    cleanup
  }
  trap stop_locker EXIT
  XSECURELOCK_SAVER=$prefix/libexec/xsecurelock/saver_walkers WALKERS_TICK_LIMIT=3000 \
    xsecurelock </dev/null >"$tmp/locker.log" 2>&1 &
  locker=$!
  E2E_DEADLINE=30 wait_seeds 1
  read -r _ seed <"$tmp/walkers.out"
  "$WALKERS_RENDER" --size 640x480 --seed "$seed" --ticks 3000 -o "$tmp/render.png"
  wid=root
  E2E_DEADLINE=30 poll_shot window same_as_render ||
    fail "$("$PNG_PROBE" differ "$tmp/render.png" "$tmp/window.png") pixels differ from the render"
  kill -TERM "$locker"
  pid=$locker locker=
  local deadline=$(($(date +%s) + 10))
  until [ -s "$tmp/status" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "walkers still runs after the lock ended"
    sleep 0.05
  done
  wait "$pid" || true
  [ "$(cat "$tmp/status")" = 0 ] || fail "walkers ended with status $(cat "$tmp/status")"
  [ ! -s "$tmp/walkers.err" ] || fail "walkers complained under xsecurelock"
}

# A compositing manager or a desktop window hides the root window: --root draws in a desktop
# window of its own, kept below every other window. Judged on the screen: the pattern
# walkers-render grows at the tick limit, and a white window mapped afterwards on top of it.
# Helpers: the own window's presence, the white window, and the screen beside it.
# (xwininfo fails outright when a window goes while it walks the tree: it is asked again.)
own_window() {
  local tree
  until tree=$(xwininfo -root -tree 2>/dev/null); do sleep 0.05; done
  grep -q '"walkers": ("walkers" "walkers")' <<<"$tree"
}
wait_own_window() {
  local deadline=$(($(date +%s) + 20))
  until [ "$(own_window && echo 1 || echo 0)" = "$1" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "walkers' own desktop window: expected $1"
    sleep 0.05
  done
}
# Starts walkers --root at a tick limit and renders the pattern it reports into render.png.
desktop_walkers() {
  WALKERS_TICK_LIMIT=3000 run_walkers --root
  wait_seeds 1
  read -r _ seed <"$tmp/walkers.out"
  "$WALKERS_RENDER" --size 640x480 --seed "$seed" --ticks 3000 -o "$tmp/render.png"
  wid=root
}
expect_render() {
  E2E_DEADLINE=20 poll_shot window same_as_render ||
    fail "$1: $("$PNG_PROBE" differ "$tmp/render.png" "$tmp/window.png") pixels differ from the render"
}
# Maps a white 200x150 window; white_on_top then checks it shows whole on the screen.
map_white() {
  foreign 200x150 white
  convert -size 200x150 xc:white "PNG24:$tmp/white.png"
  read -r wx wy < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x = $4}
    /Absolute upper-left Y/ {y = $4} END {print x, y}')
  wid=root
}
white_on_top() {
  convert "$tmp/window.png" -crop "200x150+$wx+$wy" +repage "PNG24:$tmp/top.png"
  [ "$("$PNG_PROBE" differ "$tmp/white.png" "$tmp/top.png")" = 0 ]
}
# With the white window at the top left, the screen right of it still shows the pattern.
white_over_render() {
  white_on_top || return 1
  convert "$tmp/window.png" -crop 440x480+200+0 +repage "PNG24:$tmp/right.png"
  convert "$tmp/render.png" -crop 440x480+200+0 +repage "PNG24:$tmp/right_render.png"
  [ "$("$PNG_PROBE" differ "$tmp/right_render.png" "$tmp/right.png")" = 0 ]
}
# Without a window manager: walkers on the root, then compositor "$@" starts, a white window is
# mapped, the compositor is killed and started again (a new own window, which must go below).
compositor_case() {
  start_x 640x480
  desktop_walkers
  expect_render "on the root"
  wait_own_window 0
  "$@" >"$tmp/compositor.log" 2>&1 &
  compositor=$!
  wait_own_window 1
  expect_render "after $1 started"
  map_white
  E2E_DEADLINE=20 poll_shot window white_over_render || fail "a window mapped later is not on top"
  kill "$compositor"
  wait "$compositor" || true
  wait_own_window 0
  E2E_DEADLINE=20 poll_shot window white_over_render || fail "not back on the root after $1 ended"
  "$@" >"$tmp/compositor.log" 2>&1 &
  compositor=$!
  wait_own_window 1
  E2E_DEADLINE=20 poll_shot window white_over_render ||
    fail "under $1 started again, the own window is not below the other"
  kill "$compositor" "$walkers_pid"
  wait_walkers 10
  [ "$walkers_status" = 0 ] && [ ! -s "$tmp/walkers.err" ] || fail "status $walkers_status"
}
case_compositor_picom() { compositor_case picom --backend xrender; }
case_compositor_xcompmgr() { compositor_case xcompmgr; }

# Under a window manager, xfdesktop's desktop window covers the root: walkers draws above it and
# below the windows mapped afterwards.
case_desktop_window() {
  start_x 640x480
  mkdir -p "$tmp/home"
  openbox >"$tmp/openbox.log" 2>&1 &
  openbox_pid=$!
  setsid env HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" \
    dbus-run-session -- xfdesktop --disable-wm-check >"$tmp/xfdesktop.log" 2>&1 &
  desktop_session=$!
  stop_desktop() {
    pkill -KILL -s "$desktop_session" 2>/dev/null || true
    kill "$openbox_pid" 2>/dev/null || true
    cleanup
  }
  trap stop_desktop EXIT
  local deadline=$(($(date +%s) + 60))
  until xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-f]*' |
    xargs -r -n 1 xprop _NET_WM_WINDOW_TYPE -id 2>/dev/null | grep -q WINDOW_TYPE_DESKTOP; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "xfdesktop showed no desktop: $(tail -n 5 "$tmp/xfdesktop.log")"
    sleep 0.2
  done
  desktop_walkers
  wait_own_window 1
  expect_render "over xfdesktop"
  map_white
  E2E_DEADLINE=20 poll_shot window white_on_top || fail "a window mapped later is not on top"
}

# Resting: nobody can see the pattern, so it does not advance, and the process sleeps. walkers
# runs at a tick limit of 8000 (8 s of ticks) on window $wid; once its picture shows, `$1` hides
# it, 3 s later `$2` hides it another way, and 7 s later `$3` shows it again. The pattern then
# still grows (without the rest it would be finished and still) and becomes exactly what
# walkers-render grows in 8000 ticks.
wakeups() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$walkers_pid/status"; }
expect_asleep() {
  local before
  before=$(wakeups)
  sleep 3
  [ $(($(wakeups) - before)) -le 3 ] || fail "$1: $(($(wakeups) - before)) wake-ups in 3 s"
}
rest_case() {
  local drawn=$wid hide=$1 again=$2 show=$3 size
  shift 3
  WALKERS_TICK_LIMIT=8000 run_walkers "$@"
  wait_seeds 1
  read -r _ seed <"$tmp/walkers.out"
  size=$( ([ "$drawn" = root ] && xwininfo -root || xwininfo -id "$drawn") | awk \
    '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}')
  "$WALKERS_RENDER" --size "$size" --seed "$seed" --ticks 8000 -o "$tmp/render.png"
  poll_shot window painted_shot window || fail "nothing drawn"
  "$hide"
  expect_asleep "$hide"
  "$again"
  expect_asleep "$again"
  sleep 4
  "$show"
  wid=$drawn
  wait_frames 3
  E2E_DEADLINE=30 poll_shot window same_as_render ||
    fail "$("$PNG_PROBE" differ "$tmp/render.png" "$tmp/window.png") pixels differ from the render"
}
cover() { foreign 640x480 white; }
uncover() { kill "$foreign_pid"; }

# --root: covered by a window over the whole screen.
case_rest_covered() {
  start_x 640x480
  wid=root
  rest_case cover : uncover --root
}

# --window-id: unmapped, then mapped again under a window that obscures it.
unmap() { xdotool windowunmap "$drawn"; }
map_under_cover() {
  cover
  xdotool windowmap "$drawn"
}
case_rest_window() {
  start_x 640x480
  foreign 300x200
  rest_case unmap map_under_cover uncover --window-id "$wid"
}

# --window-id: the canvas follows the window's size; a fresh pattern starts at the new centre.
case_window_id_follows() {
  start_x 640x480
  foreign 100x80
  run_walkers -window-id "$wid" --cycle 1
  wait_seeds 1
  xdotool windowsize "$wid" 400 300
  local seen
  seen=$(seeds)
  wait_seeds $((seen + 2))  # a pattern started after the resize was surely handled
  poll_shot grown painted_at_new_centre || fail "no pattern from the centre of 400x300"
  read -r w h _ < <(info grown)
  [ "$w $h" = "400 300" ] || fail "shot is $w x $h"
  kill "$walkers_pid"
  wait_walkers 10
  [ "$walkers_status" = 0 ] || fail "status $walkers_status"
}
painted_at_new_centre() {
  [ "$("$PNG_PROBE" painted "$tmp/grown.png" 199 150)" = 1 ]
}

# On a foreign window the screen never stands still: on a window so small that every walker
# soon leaves it, a fresh pattern starts 3 s after the last change. The program's own window
# waits for Enter instead.
case_still_restart() {
  start_x 640x480
  foreign 9x7
  run_walkers --window-id "$wid"
  E2E_DEADLINE=20 wait_seeds 3
  kill "$walkers_pid"
  wait_walkers 10
  start_walkers
  xdotool windowsize "$wid" 9 7
  wait_seeds 1
  sleep 6
  [ "$(seeds)" = 1 ] || fail "the window started a pattern by itself"
}

# --pause-on-battery: the pattern on the root window stands still while the power supply says
# battery and grows again on mains. walkers reads a stand-in tree bind-mounted over
# /sys/class/power_supply in a mount namespace of its own; the real tree is never touched.
case_pause_on_battery() {
  source "$(dirname "$0")/power_lib.sh"
  make_supply
  start_x 640x480
  wid=root
  : >"$tmp/walkers.err"
  "${with_supply[@]}" "$WALKERS" --root --pause-on-battery >/dev/null 2>"$tmp/walkers.err" &
  walkers_pid=$!
  wait_frames 2
  on_battery
  # Still from one shot to the next a second later, then for 6 s more: well past the 3 s after
  # which a pattern that merely stopped growing starts afresh on the root.
  local deadline=$(($(date +%s) + 20))
  shot frame_0
  until sleep 1 && shot frame_1 && ! frame_changed; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "the picture goes on changing on battery"
    mv "$tmp/frame_1.png" "$tmp/frame_0.png"
  done
  sleep 6
  shot frame_1
  ! frame_changed || fail "the picture changed again on battery"
  on_mains
  wait_frames 2
}

# A standard output nobody reads never holds up drawing: with the pipe full, the seeds of fresh
# patterns are dropped and the picture goes on changing.
case_seeds_unread() {
  start_x 640x480
  mkfifo "$tmp/seeds"
  exec 3<>"$tmp/seeds"
  timeout 2 cat /dev/zero >&3 || true  # fills the pipe, then is ended while it waits
  "$WALKERS" --root --cycle 1 >&3 2>"$tmp/walkers.err" &
  walkers_pid=$!
  wid=root
  poll_shot root painted_shot root || fail "nothing drawn with standard output full"
  sleep 2  # two fresh patterns, and their seeds, fall due meanwhile
  wait_frames 2
  alive
}

# A foreign window growing while memory is short: the store walkers has is kept, black beyond it;
# one line says so, however often it happens, and the pattern goes on. Not under the sanitizers,
# whose reserved address space leaves ulimit -v no room.
case_memory_short() {
  [ -z "${ASAN_OPTIONS:-}" ] || return 0
  start_x 640x480
  foreign 200x150
  (ulimit -v 150000 && exec "$WALKERS" --window-id "$wid") >"$tmp/walkers.out" 2>"$tmp/walkers.err" &
  walkers_pid=$!
  wait_seeds 1
  resize_to 8000 8000
  local line="walkers: not enough memory for a 8000x8000 canvas (244.1 MiB): going on with the 200x150 stored, black beyond"
  local deadline=$(($(date +%s) + 20))
  until said_once "$line"; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "message: $(cat "$tmp/walkers.err")"
    sleep 0.1
  done
  resize_to 9000 9000
  resize_to 200 150
  E2E_DEADLINE=20 wait_frames 2
  alive
  said_once "$line" || fail "message: $(cat "$tmp/walkers.err")"
}
said_once() { [ "$(cat "$tmp/walkers.err")" = "$1" ]; }

# A window that does not exist, too few descriptors, and an X server that goes away: one line,
# status 1. With standard output closed, the seeds do not end up in the X connection.
case_root_faults() {
  start_x 640x480
  "$WALKERS" --root >&- 2>"$tmp/walkers.err" &
  walkers_pid=$!
  wid=root
  poll_shot root painted_shot root || fail "nothing drawn with standard output closed"
  kill "$walkers_pid"
  wait_walkers 10
  [ "$walkers_status" = 0 ] && [ ! -s "$tmp/walkers.err" ] ||
    fail "standard output closed: status $walkers_status, $(cat "$tmp/walkers.err")"
  local status=0
  timeout 10 "$WALKERS" --window-id 0x1fffff0 >/dev/null 2>"$tmp/err" || status=$?
  [ "$status" = 1 ] && [ "$(wc -l <"$tmp/err")" = 1 ] || fail "status $status: $(cat "$tmp/err")"
  # Out of descriptors for the X connection (0 to 2 and the stop-signal pipe leave none): the
  # message names that, not the display. Descriptors the test runner passed on are closed first.
  # Not under the sanitizers: their checks of memory need a spare descriptor themselves.
  if [ -z "${ASAN_OPTIONS:-}" ]; then
    status=0
    (
      for fd in $(ls /proc/$BASHPID/fd); do [ "$fd" -le 2 ] || eval "exec $fd>&-"; done
      ulimit -n 5 && exec timeout 10 "$WALKERS" --root
    ) >/dev/null 2>"$tmp/err" || status=$?
    [ "$status" = 1 ] && [ "$(wc -l <"$tmp/err")" = 1 ] && grep -q 'Too many open files$' "$tmp/err" ||
      fail "ulimit -n 5: status $status: $(cat "$tmp/err")"
  fi
  run_walkers --root
  expect_lost_display
}

# --screensaver on X11: a window over the monitor above everything, the same picture
# walkers-render grows, and a key after the grace ends it with status 0; so does a pointer
# movement; a lost X server gives one line and status 1.
case_x11_screensaver() {
  start_x 800x600
  WALKERS_TICK_LIMIT=1500 run_walkers --screensaver --seed 77
  wait_seeds 1
  "$WALKERS_RENDER" --size 800x600 --seed 77 --ticks 1500 -o "$tmp/render.png"
  wid=root
  poll_shot screen same_as_render_screen || fail "the screen differs from the render"
  local how
  for how in "key space" "mousemove_relative 5 5"; do
    [ -n "$walkers_pid" ] || { run_walkers --screensaver; wait_seeds 1; }
    for _ in $(seq 100); do
      xdotool $how
      kill -0 "$walkers_pid" 2>/dev/null || break
      sleep 0.1
    done
    wait_walkers 5
    [ "$walkers_status" = 0 ] || fail "status $walkers_status after xdotool $how"
  done
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
  run_walkers --screensaver
  expect_lost_display
}
same_as_render_screen() { [ "$("$PNG_PROBE" differ "$tmp/render.png" "$tmp/screen.png")" = 0 ]; }

# Starts Xorg with the dummy driver (tests/e2e/xorg_dummy.conf: one 1200x600 output) on a
# display it picks itself, as xvfb_pid for the clean-up; exports DISPLAY. Xorg runs as root or as
# any user here: Debian's Xorg is no set-uid wrapper, and the dummy opens no device.
start_xorg_dummy() {
  mkdir -p "$tmp/xorg.conf.d"
  rm -f "$tmp/display"
  Xorg -config "$(dirname "$0")/xorg_dummy.conf" -configdir "$tmp/xorg.conf.d" -noreset \
    -nolisten tcp -logfile "$tmp/xorg.log" -displayfd 3 3>"$tmp/display" 2>"$tmp/xorg.err" &
  xvfb_pid=$!
  # Xorg removes its socket only on its way out: the test ends once it has.
  stop_xorg() {
    local pid=$xvfb_pid
    cleanup
    [ -z "$pid" ] || wait "$pid" 2>/dev/null || true
  }
  trap stop_xorg EXIT
  use_display Xorg "$tmp/xorg.err"
}

# --screensaver on X11 with two RandR monitors (700x600 and 500x600 side by side on one output):
# each monitor grows its own pattern from its own centre, the picture walkers-render grows from
# that pattern's seed at the monitor's size; a key ends it with status 0.
case_x11_monitors() {
  command -v Xorg >/dev/null || fail "Xorg is not installed (xserver-xorg-core)"
  start_xorg_dummy
  xrandr --setmonitor left 700/185x600/159+0+0 DUMMY0 >/dev/null &&
    xrandr --setmonitor right 500/132x600/159+700+0 none >/dev/null || fail "xrandr --setmonitor failed"
  [ "$(xrandr --listmonitors | head -n 1)" = "Monitors: 2" ] ||
    fail "not two monitors: $(xrandr --listmonitors)"
  WALKERS_TICK_LIMIT=1500 run_walkers --screensaver
  wait_seeds 2
  local first second
  first=$(sed -n 's/^seed: //p' "$tmp/walkers.out" | sed -n 1p)
  second=$(sed -n 's/^seed: //p' "$tmp/walkers.out" | sed -n 2p)
  [ "$first" != "$second" ] || fail "both monitors got seed $first"
  local seed
  for seed in "$first" "$second"; do
    "$WALKERS_RENDER" --size 700x600 --seed "$seed" --ticks 1500 -o "$tmp/left-$seed.png"
    "$WALKERS_RENDER" --size 500x600 --seed "$seed" --ticks 1500 -o "$tmp/right-$seed.png"
  done
  wid=root
  poll_shot screen monitors_as_rendered "$first" "$second" ||
    poll_shot screen monitors_as_rendered "$second" "$first" ||
    fail "the monitors differ from the renders of seeds $first and $second (left $(
      "$PNG_PROBE" differ "$tmp/left-$first.png" "$tmp/left.png"), right $(
      "$PNG_PROBE" differ "$tmp/right-$second.png" "$tmp/right.png") pixels)"
  # Past the grace, a key ends it.
  for _ in $(seq 100); do
    xdotool key space
    kill -0 "$walkers_pid" 2>/dev/null || break
    sleep 0.1
  done
  wait_walkers 5
  [ "$walkers_status" = 0 ] || fail "status $walkers_status after a key"
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}
# The left monitor shows the render of seed $1, the right one that of seed $2.
monitors_as_rendered() {
  convert "$tmp/screen.png" -crop 700x600+0+0 +repage "$tmp/left.png" &&
    convert "$tmp/screen.png" -crop 500x600+700+0 +repage "$tmp/right.png" &&
    [ "$("$PNG_PROBE" differ "$tmp/left-$1.png" "$tmp/left.png")" = 0 ] &&
    [ "$("$PNG_PROBE" differ "$tmp/right-$2.png" "$tmp/right.png")" = 0 ]
}

# Both hosts draw on the TrueColor screens of every depth Xvfb offers besides 24 bits (15, 16 and
# 30; 32-bit windows are in the unit tests), and refuse an 8-bit screen (PseudoColor by default)
# in one line with status 1, without a message box.
case_depths() {
  local depth mode status
  for depth in 15 16 30; do
    start_x 640x480 "$depth"
    start_walkers --seed 5
    poll_shot window painted_shot window || fail "$depth-bit: nothing drawn in the window"
    kill "$walkers_pid"
    wait_walkers 10
    run_walkers --root --seed 5
    wid=root
    poll_shot root painted_shot root || fail "$depth-bit: nothing drawn on the root"
    kill "$walkers_pid"
    wait_walkers 10
    kill "$xvfb_pid"
    wait "$xvfb_pid" || true
    xvfb_pid=
  done
  start_x 640x480 8
  for mode in --fullscreen --root; do
    status=0
    timeout 10 "$WALKERS" "$mode" >/dev/null 2>"$tmp/err" </dev/null || status=$?
    [ "$status" = 1 ] && [ "$(wc -l <"$tmp/err")" = 1 ] &&
      grep -qE ' has an 8-bit [A-Za-z]+ visual; walkers draws only on TrueColor of 15 to 32 bits$' \
        "$tmp/err" || fail "$mode on 8 bits: status $status: $(cat "$tmp/err")"
  done
  # The screensaver names the screen, not a window it made itself to cover it.
  status=0
  timeout 10 "$WALKERS" --screensaver >/dev/null 2>"$tmp/err" </dev/null || status=$?
  [ "$status" = 1 ] && [ "$(cat "$tmp/err")" = "walkers: screen 0 of display \"$DISPLAY\" has an 8-bit PseudoColor visual; walkers draws only on TrueColor of 15 to 32 bits" ] ||
    fail "--screensaver on 8 bits: status $status: $(cat "$tmp/err")"
}

"case_$1"
