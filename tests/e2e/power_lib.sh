# A stand-in for the kernel's power-supply class, for --pause-on-battery: a tree of its own in
# $tmp, bind-mounted over /sys/class/power_supply in a mount namespace of walkers' own (as root,
# or in a user namespace otherwise). The real tree is never touched.
supply=$tmp/power_supply
stand_in=(unshare -m)
[ "$(id -u)" = 0 ] || stand_in=(unshare -rm)

put_supply() { printf '%s\n' "$2" >"$supply/$1.new" && mv "$supply/$1.new" "$supply/$1"; }
on_mains() {
  put_supply AC/online 1
  put_supply BAT0/status Charging
}
on_battery() {
  put_supply AC/online 0
  put_supply BAT0/status Discharging
}

# Makes the tree, on mains, and checks that it can stand in here.
make_supply() {
  mkdir -p "$supply/AC" "$supply/BAT0"
  put_supply AC/type Mains
  put_supply BAT0/type Battery
  on_mains
  "${stand_in[@]}" mount --bind "$supply" /sys/class/power_supply ||
    fail "${stand_in[*]} cannot bind a stand-in over /sys/class/power_supply here"
}

# Runs the command after it with the stand-in in place of /sys/class/power_supply, in the same
# process: started as "${with_supply[@]}" cmd &, $! is the command's own.
with_supply=("${stand_in[@]}" sh -c 'mount --bind "$0" /sys/class/power_supply && exec "$@"'
  "$supply")
