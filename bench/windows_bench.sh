#!/usr/bin/env bash
# Figures of the Windows programs under wine in a private Xvfb: the sizes of walkers.exe and
# walkers.scr, the tick rate the window keeps, and the steady CPU of walkers.exe and of the
# wine server at 510x370. Needs the windows and release presets built. Usage:
#   bench/windows_bench.sh [SECONDS]   (the CPU is measured over SECONDS, default 15, after 5)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
build=build/windows
render=build/release/walkers-render
probe=build/release/tests/png_probe
work=$(mktemp -d)
export WINEPREFIX=$PWD/$build/benchprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb=
walkers=
finish() {
  [ -n "$walkers" ] && kill "$walkers" 2>/dev/null || true
  timeout 30 wineserver -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
until [ -s "$work/display" ]; do sleep 0.05; done
export DISPLAY=":$(head -n 1 "$work/display")"
[ -s "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wineserver -p5  # kept running between the two runs below

echo "walkers.exe: $(stat -c %s "$build/walkers.exe") bytes; walkers.scr: $(stat -c %s "$build/walkers.scr") bytes"

# The tick rate: the time from finding the window to its showing what 5000 ticks grow.
ticks=5000
"$render" --size 510x370 --ticks "$ticks" --seed 2389 -o "$work/reference.png"
WALKERS_TICK_LIMIT=$ticks wine "$build/walkers.exe" --seed 2389 >/dev/null 2>&1 &
walkers=$!
wid=$(timeout 60 xdotool search --sync --name '^Form1$' | head -n 1)
start=$(date +%s.%N)
until import -window "$wid" "$work/shot.png" 2>/dev/null &&
  [ "$("$probe" differ "$work/shot.png" "$work/reference.png")" = 0 ]; do
  sleep 0.02
done
end=$(date +%s.%N)
echo "tick rate: $ticks ticks shown $(echo "$end - $start" | bc) s after the window was found:" \
  "about $(echo "$ticks / ($end - $start)" | bc) ticks a second (the window opens a little before" \
  "it is found, and the last picture is seen up to one screenshot late)"
kill "$walkers"
wait "$walkers" 2>/dev/null || true
walkers=

# Steady CPU: utime + stime of walkers.exe and of the wine server, over `seconds`.
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
wine "$build/walkers.exe" --seed 2389 >/dev/null 2>&1 &
walkers=$!
timeout 60 xdotool search --sync --name '^Form1$' >/dev/null
sleep 5
server=$(pgrep -n -x wineserver || pgrep -n wineserver64)
hz=$(getconf CLK_TCK)
w0=$(cpu "$walkers") s0=$(cpu "$server") x0=$(cpu "$xvfb")
sleep "$seconds"
w1=$(cpu "$walkers") s1=$(cpu "$server") x1=$(cpu "$xvfb")
percent() { echo "scale=2; 100 * ($2 - $1) / $hz / $seconds" | bc; }
echo "steady CPU over ${seconds} s at 510x370, % of one core: walkers.exe $(percent "$w0" "$w1")," \
  "wineserver $(percent "$s0" "$s1"), Xvfb $(percent "$x0" "$x1")"
