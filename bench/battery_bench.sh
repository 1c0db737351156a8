#!/usr/bin/env bash
# Measures, in a fresh Xvfb, how soon `walkers --root --pause-on-battery` stands still after the
# power supply turns to battery and grows again after it turns back to mains, and the CPU it uses
# while it rests. A fresh pattern every second keeps the picture changing while it runs, so that
# a pattern that merely stopped growing is not taken for a rest. walkers reads a stand-in tree
# bind-mounted over /sys/class/power_supply in a mount namespace of its own (unshare -m as root,
# else unshare -rm); the real tree is never touched.
# Usage: bench/battery_bench.sh [build/release/walkers]
set -euo pipefail
walkers=$(realpath "${1:-build/release/walkers}")
tmp=$(mktemp -d)
pid=
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
xvfb=$!
trap '[ -z "$pid" ] || { kill "$pid" && wait "$pid"; } 2>/dev/null; kill $xvfb; rm -rf "$tmp"' EXIT
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n 1 "$tmp/display")
ns=(unshare -m)
[ "$(id -u)" = 0 ] || ns=(unshare -rm)

supply=$tmp/power_supply
mkdir -p "$supply/AC" "$supply/BAT0"
put() { printf '%s\n' "$2" >"$supply/$1.new" && mv "$supply/$1.new" "$supply/$1"; }
mains() { put AC/online 1 && put BAT0/status Charging; }
battery() { put AC/online 0 && put BAT0/status Discharging; }
put AC/type Mains
put BAT0/type Battery
mains

now_ms() { echo $(($(date +%s%N) / 1000000)); }
shot() { import -window root -depth 8 "rgb:$tmp/$1"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }

"${ns[@]}" sh -c 'mount --bind "$0" /sys/class/power_supply && exec "$@"' "$supply" \
  "$walkers" --root --pause-on-battery --cycle 1 >/dev/null &
pid=$!
sleep 2
for run in 1 2 3 4 5; do
  # To battery: the picture stood still by the end of the last shot that differed from the one
  # before, when no shot differs for the 3 s after it.
  battery
  began=$(now_ms)
  shot a
  still_since=$(now_ms)
  while [ $(($(now_ms) - still_since)) -lt 3000 ]; do
    shot b
    cmp -s "$tmp/a" "$tmp/b" || { still_since=$(now_ms) && mv "$tmp/b" "$tmp/a"; }
  done
  resting_ticks=$(cpu_ticks)
  sleep 10
  cpu="$(($(cpu_ticks) - resting_ticks)) clock ticks of $(getconf CLK_TCK) per second in 10 s"
  # To mains: the first shot that differs from the still picture.
  mains
  began_mains=$(now_ms)
  until shot b && ! cmp -s "$tmp/a" "$tmp/b"; do :; done
  echo "run $run: battery to still ≤ $((still_since - began)) ms; resting CPU $cpu;" \
    "mains to a change ≤ $(($(now_ms) - began_mains)) ms"
  sleep 2
done
