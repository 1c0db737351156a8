# Shared helpers for the end-to-end tests: a private Xvfb, the real walkers binary, screenshots.
# Expects WALKERS, PNG_PROBE and WM_DELETE to name the programs under test.
set -euo pipefail

tmp=$(mktemp -d)
xvfb_pid=
walkers_pid=
wid=

cleanup() {
  [ -n "$walkers_pid" ] && kill "$walkers_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  [ -s "$tmp/walkers.err" ] && sed 's/^/walkers stderr: /' "$tmp/walkers.err" >&2
  exit 1
}

# Starts Xvfb (screen size $1, default 1280x1024; depth $2, default 24) on a display it picks
# itself; exports DISPLAY. It writes the display number once it accepts clients. Without
# -noreset it would reset whenever its last client leaves, closing every connection that came
# in meanwhile: the next program started would find no display.
start_x() {
  rm -f "$tmp/display"
  Xvfb -displayfd 3 -noreset -screen 0 "${1:-1280x1024}x${2:-24}" -nolisten tcp 3>"$tmp/display" \
    2>"$tmp/xvfb.log" &
  xvfb_pid=$!
  use_display Xvfb "$tmp/xvfb.log"
}

# Waits for the X server just started with -displayfd into $tmp/display, then points DISPLAY at
# it; fails naming server $1 with the end of its log $2 if it never says its number.
use_display() {
  for _ in $(seq 400); do
    [ -s "$tmp/display" ] && break
    sleep 0.05
  done
  [ -s "$tmp/display" ] || fail "$1 did not start: $(tail -n 20 "$2")"
  export DISPLAY=":$(head -n 1 "$tmp/display")"
}

# Starts walkers with the given arguments, its output in $tmp/walkers.out and $tmp/walkers.err;
# sets walkers_pid. Alone, for a window walkers did not make (no Form1 to wait for). The files are
# emptied here, not only by the redirection in the child, so that nothing waiting for this
# walkers' output reads the last one's.
run_walkers() {
  : >"$tmp/walkers.out"
  : >"$tmp/walkers.err"
  "$WALKERS" "$@" >"$tmp/walkers.out" 2>"$tmp/walkers.err" &
  walkers_pid=$!
}

# Starts walkers with the given arguments and waits for its window "Form1"; sets walkers_pid and
# wid. Only a window of this walkers process counts: the server may still hold the last one's.
start_walkers() {
  run_walkers "$@"
  wid=$(timeout 10 xdotool search --sync --all --pid "$walkers_pid" --name '^Form1$' | head -n 1) ||
    fail "no window named Form1"
}

# Waits up to $1 seconds for walkers to end; sets walkers_status to its exit status.
wait_walkers() {
  local tries=$(($1 * 20))
  for _ in $(seq "$tries"); do
    kill -0 "$walkers_pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$walkers_pid" 2>/dev/null && fail "walkers still running after $1 s"
  walkers_status=0
  wait "$walkers_pid" || walkers_status=$?
  walkers_pid=
}

# Ends walkers with Escape pressed on its window and waits up to $1 seconds for it to end (see
# wait_walkers). The key is let go only then, on the server, as the window is gone: held down, it
# would repeat into the next walkers' window and end that one too.
escape_walkers() {
  xdotool keydown --window "$wid" Escape
  wait_walkers "$1"
  xdotool keyup Escape
}

alive() { kill -0 "$walkers_pid" 2>/dev/null || fail "walkers is no longer running"; }

# Takes a screenshot of the window into $tmp/$1.png.
shot() { import -window "$wid" "$tmp/$1.png" || fail "screenshot $1 failed"; }

# "W H COUNT LEFT TOP RIGHT BOTTOM" of a screenshot's painted pixels.
info() { "$PNG_PROBE" info "$tmp/$1.png"; }

client_size() {
  xwininfo -id "$wid" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h}'
}

# Resizes the window to $1 x $2 and waits until the X server reports that size.
resize_to() {
  xdotool windowsize "$wid" "$1" "$2"
  for _ in $(seq 60); do
    [ "$(client_size)" = "$1x$2" ] && return 0
    sleep 0.05
  done
  fail "window did not resize to $1x$2: $(client_size)"
}

# Polls screenshots (into $tmp/$1.png) until `$2 ...` succeeds on it, for up to $E2E_DEADLINE
# seconds (default 10); returns 1 if it never does. Judges pictures only: a slow machine just
# takes more shots.
poll_shot() {
  local name=$1 deadline=$(($(date +%s) + ${E2E_DEADLINE:-10}))
  shift
  while :; do
    shot "$name"
    "$@" && return 0
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# Waits until the window has shown $1 (default 2) new pictures, each different from the one
# before. Two new pictures after an input mean the program has read that input: between them
# it went once more through its loop, events included.
wait_frames() {
  local count=${1:-2} seen=0
  shot frame_0
  while [ "$seen" -lt "$count" ]; do
    poll_shot frame_1 frame_changed || fail "the window stopped changing"
    mv "$tmp/frame_1.png" "$tmp/frame_0.png"
    seen=$((seen + 1))
  done
}
frame_changed() { [ "$("$PNG_PROBE" differ "$tmp/frame_0.png" "$tmp/frame_1.png")" != 0 ]; }

# Presses key $1 and checks that it restarts the pattern from the centre of the W x H canvas as
# it is now ($2, $3). Judged by the picture alone: first every pixel of the old picture must be
# gone (each new pixel has a fresh random colour, so an old pixel still there with its colour
# was never cleared); then the new pattern must include the pixel left of the centre, the first
# one the new seed walker paints. If STALE_W STALE_H ($4, $5) are given, a pattern growing from
# the centre of that size instead fails the check; when the new pattern has already grown over
# both places the shot proves nothing, and the key is pressed again.
expect_restart_from_centre() {
  local key=$1 width=$2 height=$3
  local sx=-1 sy=-1
  [ -z "${4:-}" ] || { sx=$(($4 / 2 - 1)) sy=$(($5 / 2)); }
  local x=$((width / 2 - 1)) y=$((height / 2))
  local attempt w h centre stale
  for attempt in 1 2 3; do
    shot before
    read -r w h _ < <(info before)
    [ "$w" = "$width" ] && [ "$h" = "$height" ] || fail "shot is ${w}x${h}, expected ${width}x${height}"
    xdotool key --window "$wid" "$key"
    poll_shot restarted old_picture_gone || fail "$key: the old picture is still shown"
    poll_shot restarted new_pattern_shown ||
      fail "$key: no new pattern from the centre ($x, $y) of the ${width}x${height} canvas"
    read -r centre stale < <("$PNG_PROBE" painted "$tmp/restarted.png" "$x" "$y" "$sx" "$sy")
    [ -z "${E2E_VERBOSE:-}" ] || echo "$key: centre $centre stale $stale; $(info restarted)" >&2
    [ "$centre" = 1 ] || fail "$key: the new pattern grows from ($sx, $sy), the centre of an old size"
    [ "$stale" = 1 ] || return 0
  done
  fail "$key: the new pattern always covered the old centre too; the check proves nothing"
}
old_picture_gone() { [ "$("$PNG_PROBE" kept "$tmp/before.png" "$tmp/restarted.png")" = 0 ]; }
# The centre pixel is painted, or the stale one is (which the caller then reports).
new_pattern_shown() {
  [[ "$("$PNG_PROBE" painted "$tmp/restarted.png" "$x" "$y" "$sx" "$sy")" == *1* ]]
}
