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

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Starts Xvfb (screen size $1, default 1280x1024) on a display it picks itself; exports DISPLAY.
start_x() {
  Xvfb -displayfd 3 -screen 0 "${1:-1280x1024}x24" -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ -s "$tmp/display" ] && break
    sleep 0.05
  done
  [ -s "$tmp/display" ] || fail "Xvfb did not start: $(cat "$tmp/xvfb.log")"
  export DISPLAY=":$(head -n 1 "$tmp/display")"
}

# Starts walkers and waits for its window "Form1"; sets walkers_pid and wid.
start_walkers() {
  "$WALKERS" 2>"$tmp/walkers.err" &
  walkers_pid=$!
  wid=$(timeout 10 xdotool search --sync --name '^Form1$' | head -n 1) || fail "no window named Form1"
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

# Presses key $1, then checks that within the time it took to see it, everything painted lies
# within that many pixels of the centre of a W x H canvas: a walker moves one pixel per tick.
expect_restart_from_centre() {
  local key=$1 width=$2 height=$3
  local started elapsed
  started=$(now_ms)
  xdotool key --window "$wid" "$key"
  sleep 0.06
  shot restarted
  elapsed=$(($(now_ms) - started))
  read -r w h count left top right bottom < <(info restarted)
  [ -z "${E2E_VERBOSE:-}" ] || echo "$key: ${elapsed} ms, $count painted in $left,$top..$right,$bottom" >&2
  [ "$w" = "$width" ] && [ "$h" = "$height" ] || fail "shot is ${w}x${h}, expected ${width}x${height}"
  [ "$count" -gt 0 ] || fail "$key: nothing painted ${elapsed} ms after the restart"
  local cx=$((width / 2)) cy=$((height / 2)) reach=$((elapsed + 1))
  [ $((cx - left)) -le "$reach" ] && [ $((right - cx)) -le "$reach" ] &&
    [ $((cy - top)) -le "$reach" ] && [ $((bottom - cy)) -le "$reach" ] ||
    fail "$key: painted $left,$top..$right,$bottom, farther than $reach from ($cx, $cy)"
}
