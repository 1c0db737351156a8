#!/usr/bin/env bash
# End-to-end tests on Wayland: walkers under a private headless sway with two outputs, seen
# through grim, driven through swaymsg and wtype. Expects WALKERS, WALKERS_RENDER, PNG_PROBE and
# BARE_COMPOSITOR to name the programs under test. Usage: wayland_test.sh CASE
set -euo pipefail

tmp=$(mktemp -d)
chmod 755 "$tmp"
sway_pid=
walkers_pid=
other_pid=

cleanup() {
  local pid
  for pid in "$walkers_pid" "$other_pid" "$sway_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  [ -s "$tmp/walkers.err" ] && sed 's/^/walkers stderr: /' "$tmp/walkers.err" >&2
  exit 1
}

# sway refuses to run as root, so as root the session runs as nobody. It runs copies of the
# programs in a directory of its own, since the build tree may be closed to other users.
as_user=()
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi
install -m 755 "$WALKERS" "$tmp/walkers"
install -m 700 -d "$tmp/run" "$tmp/home"
[ "$(id -u)" != 0 ] || chown nobody:nogroup "$tmp/run" "$tmp/home"

# Runs a command in the session, as its user, with nothing of this shell's environment but the
# session's (add variables before the command: session VAR=value cmd ...). Started in the
# background as "${in_session[@]}" cmd &, $! is the command's own process.
in_session=("${as_user[@]}" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$tmp/home"
  XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=wayland-1 SWAYSOCK="$tmp/run/sway.sock")
session() { "${in_session[@]}" "$@"; }

# Starts sway with two headless outputs, HEADLESS-1 of 1280x720 and HEADLESS-2 of 800x600,
# rendering without a GPU, no background of its own and floating windows.
start_sway() {
  cat >"$tmp/sway.conf" <<'EOF'
output HEADLESS-1 mode 1280x720 position 0 0
output HEADLESS-2 mode 800x600 position 1280 0
for_window [app_id=".*"] floating enable
default_floating_border none
default_border none
EOF
  chmod 644 "$tmp/sway.conf"
  "${in_session[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=2 \
    WLR_LIBINPUT_NO_DEVICES=1 sway -c "$tmp/sway.conf" >"$tmp/sway.log" 2>&1 &
  sway_pid=$!
  local size=
  for _ in $(seq 200); do
    size=$(session swaymsg -t get_outputs 2>/dev/null | grep -c '"width": 800' || true)
    [ "$size" -gt 0 ] && return 0
    sleep 0.05
  done
  fail "sway did not start: $(tail -n 5 "$tmp/sway.log")"
}

# Starts walkers in the session with arguments $@; its output goes to $tmp/walkers.out and .err.
launch() {
  "${in_session[@]}" ${WALKERS_ENV:-} "$tmp/walkers" "$@" >"$tmp/walkers.out" 2>"$tmp/walkers.err" &
  walkers_pid=$!
}

# Waits until walkers has printed $1 seed lines.
wait_seeds() {
  for _ in $(seq 400); do
    [ "$(grep -c '^seed: ' "$tmp/walkers.out" || true)" -ge "$1" ] && return 0
    kill -0 "$walkers_pid" 2>/dev/null || fail "walkers ended early"
    sleep 0.05
  done
  fail "walkers printed $(grep -c '^seed: ' "$tmp/walkers.out") seed lines, not $1"
}

# Waits up to $1 seconds for walkers to end; sets walkers_status to its exit status.
wait_walkers() {
  for _ in $(seq $(($1 * 20))); do
    kill -0 "$walkers_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$walkers_pid" 2>/dev/null && fail "walkers still running after $1 s"
  walkers_status=0
  wait "$walkers_pid" || walkers_status=$?
  walkers_pid=
}

# A screenshot of output $1 into $tmp/$2.png.
shot() { session grim -o "$1" - >"$tmp/$2.png" 2>/dev/null || fail "no screenshot of $1"; }

# Polls screenshots of output $1 (into $tmp/$2.png) until `$3 ...` succeeds, for up to 20 s.
poll_shot() {
  local output=$1 name=$2 deadline=$(($(date +%s) + 20))
  shift 2
  while :; do
    shot "$output" "$name"
    "$@" && return 0
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}
same_as() { [ "$("$PNG_PROBE" differ "$tmp/$1.png" "$tmp/$2.png" 2>/dev/null)" = 0 ]; }
# Whether the pixel left of the centre of $tmp/$1.png, the first a new pattern paints, is painted.
centre_painted() {
  local width height
  read -r width height _ < <("$PNG_PROBE" info "$tmp/$1.png")
  [ "$("$PNG_PROBE" painted "$tmp/$1.png" $((width / 2 - 1)) $((height / 2)))" = 1 ]
}

# The node of the window titled Form1 in sway's tree, as "WIDTHxHEIGHT FULLSCREEN".
form1() {
  session swaymsg -t get_tree |
    jq -r '.. | objects | select(.name? == "Form1") |
           "\(.rect.width)x\(.rect.height) \(.fullscreen_mode)"'
}

# The wallpaper: one pattern per output, each exactly what walkers-render grows from the same
# seed at the output's size; it follows a mode change (the canvas keeps its pixels), a new scale
# (the same pixels) and a new output (a pattern of its own).
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
  [ ! -s "$tmp/walkers.err" ] || fail "complaints"
}
render() { "$WALKERS_RENDER" --size "$1" --seed 4242 --ticks 1500 -o "$tmp/$2.png"; }

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

# The own window with no X server at all: "Form1", 510x370, F11 fullscreen, Esc ends it.
case_window() {
  start_sway
  launch
  wait_seeds 1
  local node=
  for _ in $(seq 100); do
    node=$(form1)
    [ -n "$node" ] && break
    sleep 0.1
  done
  [ "$node" = "510x370 0" ] || fail "window Form1: '$node'"
  session wtype -s 500 -k F11
  for _ in $(seq 100); do
    [ "$(form1)" = "1280x720 1" ] && break
    sleep 0.1
  done
  [ "$(form1)" = "1280x720 1" ] || fail "F11: $(form1)"
  session wtype -s 500 -k Escape
  wait_walkers 10
  [ "$walkers_status" = 0 ] || fail "status $walkers_status after Esc"
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
  for _ in $(seq 100); do
    [ -S "$tmp/run/bare-0" ] && break
    sleep 0.05
  done
  local mode status
  for mode in --root --screensaver; do
    status=0
    env -i XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=bare-0 DISPLAY=:99 timeout 10 \
      "$WALKERS" "$mode" >/dev/null 2>"$tmp/walkers.err" || status=$?
    [ "$status" = 1 ] || fail "$mode: status $status"
    [ "$(wc -l <"$tmp/walkers.err")" = 1 ] && grep -q 'no layer shell' "$tmp/walkers.err" ||
      fail "$mode: $(cat "$tmp/walkers.err")"
  done
}

"case_$1"
