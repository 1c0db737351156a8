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

# Presses key $1, then checks that everything painted lies within as many pixels of the centre of
# a W x H canvas as milliseconds have passed since the key: a walker moves one pixel per tick.
# A loaded machine may show the cleared frame late, so later shots are allowed while the check
# still means something: the canvas's centre is farther than that from its edges.
expect_restart_from_centre() {
  local key=$1 width=$2 height=$3
  local started elapsed w h count left top right bottom
  local cx=$((width / 2)) cy=$((height / 2))
  local limit=$((cx < cy ? cx : cy))
  started=$(now_ms)
  xdotool key --window "$wid" "$key"
  for _ in $(seq 10); do
    sleep 0.06
    shot restarted
    elapsed=$(($(now_ms) - started))
    read -r w h count left top right bottom < <(info restarted)
    [ -z "${E2E_VERBOSE:-}" ] || echo "$key: ${elapsed} ms, $count painted in $left,$top..$right,$bottom" >&2
    [ "$w" = "$width" ] && [ "$h" = "$height" ] || fail "shot is ${w}x${h}, expected ${width}x${height}"
    [ "$count" -gt 0 ] && [ $((cx - left)) -le "$elapsed" ] && [ $((right - cx)) -le "$elapsed" ] &&
      [ $((cy - top)) -le "$elapsed" ] && [ $((bottom - cy)) -le "$elapsed" ] && return 0
    [ "$elapsed" -lt "$limit" ] || break
  done
  fail "$key: $count painted in $left,$top..$right,$bottom, not all within $elapsed of ($cx, $cy)"
}
