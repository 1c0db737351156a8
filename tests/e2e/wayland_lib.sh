# Helpers for running walkers on Wayland: a private headless sway with two outputs, seen through
# grim, driven through swaymsg and wtype. Expects WALKERS to name the program (PNG_PROBE for the
# picture checks).
set -euo pipefail


tmp=$(mktemp -d)
chmod 755 "$tmp"
sway_pid=
walkers_pid=
other_pid=
covers=()  # the processes whose surfaces cover outputs (see cover)

cleanup() {
  local pid
  for pid in "$walkers_pid" "$other_pid" "${covers[@]}" "$sway_pid"; do
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
  XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=wayland-1 SWAYSOCK="$tmp/run/sway.sock"
  ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}")
session() { "${in_session[@]}" "$@"; }

# Starts sway with two headless outputs, HEADLESS-1 of $1 and HEADLESS-2 of $2 (default 1280x720
# and 800x600), rendering without a GPU, no background of its own and floating windows.
start_sway() {
  local first=${1:-1280x720} second=${2:-800x600}
  cat >"$tmp/sway.conf" <<EOF
output HEADLESS-1 mode $first position 0 0
output HEADLESS-2 mode $second position ${first%x*} 0
for_window [app_id=".*"] floating enable
default_floating_border none
default_border none
EOF
  chmod 644 "$tmp/sway.conf"
  "${in_session[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_HEADLESS_OUTPUTS=2 \
    WLR_LIBINPUT_NO_DEVICES=1 sway -c "$tmp/sway.conf" >"$tmp/sway.log" 2>&1 &
  sway_pid=$!
  local size= deadline=$(($(date +%s) + ${E2E_DEADLINE:-60}))
  while [ "$(date +%s)" -lt "$deadline" ]; do
    size=$(session swaymsg -t get_outputs 2>/dev/null | grep -c "\"width\": ${second%x*}," || true)
    [ "$size" -gt 0 ] && return 0
    sleep 0.05
  done
  fail "sway did not start: $(tail -n 5 "$tmp/sway.log")"
}

# Starts walkers in the session with arguments $@; its output goes to $tmp/walkers.out and .err,
# emptied first here so that wait_seeds never counts the last walkers' lines.
launch() {
  : >"$tmp/walkers.out"
  : >"$tmp/walkers.err"
  "${in_session[@]}" ${WALKERS_ENV:-} "$tmp/walkers" "$@" >"$tmp/walkers.out" 2>"$tmp/walkers.err" &
  walkers_pid=$!
}

# Waits until walkers has printed $1 seed lines.
wait_seeds() {
  for _ in $(seq $((${E2E_DEADLINE:-60} * 20))); do
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

# Polls screenshots of output $1 (into $tmp/$2.png) until `$3 ...` succeeds, for up to
# $E2E_DEADLINE seconds (default 60: a loaded machine just takes more shots).
poll_shot() {
  local output=$1 name=$2 deadline=$(($(date +%s) + ${E2E_DEADLINE:-60}))
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

# Form1's place and size in sway's logical pixels, as "X,Y WIDTHxHEIGHT".
form1_area() {
  session swaymsg -t get_tree | jq -r '.. | objects | select(.name? == "Form1") |
    "\(.rect.x),\(.rect.y) \(.rect.width)x\(.rect.height)"'
}

# Waits until the Unix socket $1 exists (a compositor of the test's own is listening).
wait_socket() {
  for _ in $(seq 100); do
    [ -S "$1" ] && break
    sleep 0.05
  done
}

# Covers output $1 with a fullscreen window: the program's own, a client like any other. Its
# process goes to covers.
cover() {
  "${in_session[@]}" "$tmp/walkers" >/dev/null 2>&1 &
  local pid=$! want node=
  covers+=("$pid")
  want=$(session swaymsg -t get_outputs | jq -r --arg name "$1" '.[] | select(.name == $name) |
    "\(.rect.x),\(.rect.y) \(.rect.width)x\(.rect.height) 1"')
  for _ in $(seq $((${E2E_DEADLINE:-60} * 10))); do
    node=$(window_of "$pid")
    [ "$node" = "$want" ] && return 0
    [ -z "$node" ] ||
      session swaymsg "[pid=$pid] move container to output $1, fullscreen enable" >/dev/null 2>&1 ||
      true
    sleep 0.1
  done
  fail "no fullscreen window on $1: '$node', not '$want'"
}
# The window of process $1 in sway's tree, as "X,Y WIDTHxHEIGHT FULLSCREEN"; nothing once gone.
window_of() {
  session swaymsg -t get_tree |
    jq -r --argjson pid "$1" '.. | objects | select(.pid? == $pid and .type? == "floating_con") |
      "\(.rect.x),\(.rect.y) \(.rect.width)x\(.rect.height) \(.fullscreen_mode)"'
}
# Ends the covering process $1 and waits until it and its window are gone.
uncover() {
  kill "$1"
  wait "$1" || true
  until [ -z "$(window_of "$1")" ]; do sleep 0.05; done
}

# The voluntary context switches of walkers' threads: each is a sleep it woke from.
switches() {
  cat /proc/"$walkers_pid"/task/*/status | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n }'
}

# Waits, up to $E2E_DEADLINE seconds, for 3 s in which walkers woke at most $1 times; fails saying
# so, "$2", if it never sleeps that well.
expect_asleep() {
  local before=0 after=0 deadline=$(($(date +%s) + ${E2E_DEADLINE:-60}))
  while [ "$(date +%s)" -lt "$deadline" ]; do
    before=$(switches)
    sleep 3
    after=$(switches)
    [ $((after - before)) -le "$1" ] && return 0
  done
  fail "walkers woke $((after - before)) times in 3 s, $2"
}
