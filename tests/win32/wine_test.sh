#!/usr/bin/env bash
# End-to-end tests of walkers.exe and walkers.scr under wine in a private Xvfb; the argument
# names the case. The wine prefix is the build tree's, made by the "prefix" case.
source "$(dirname "$0")/../e2e/lib.sh"

growing_seed=2389

wine_cleanup() {
  [ -n "${walkers_pid:-}" ] && kill "$walkers_pid" 2>/dev/null || true
  timeout 30 wineserver -k 2>/dev/null || true
  cleanup
}
trap wine_cleanup EXIT

# Starts `wine PROGRAM ARGS...` in the background, its output in $tmp/walkers.out and .err.
run_wine() {
  : >"$tmp/walkers.out"
  : >"$tmp/walkers.err"
  wine "$@" >"$tmp/walkers.out" 2>"$tmp/walkers.err" &
  walkers_pid=$!
}

# Waits for a window named $1 (an extended regex) on this test's display; sets wid.
await_window() {
  wid=$(timeout 60 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1) ||
    fail "no window named $1"
  [ -n "$wid" ] || fail "no window named $1"
}

# Runs `wine PROGRAM ARGS...` to its end (within a minute); sets status, output in $tmp/walkers.*.
run_to_end() {
  status=0
  timeout 60 wine "$@" >"$tmp/walkers.out" 2>"$tmp/walkers.err" </dev/null || status=$?
}

# Polls up to $1 seconds for `grep -q $2` to find a line in file $3.
await_line() {
  local deadline=$(($(date +%s) + $1))
  until grep -q -- "$2" "$3"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

geometry() {
  xwininfo -id "$wid" |
    awk '/Absolute upper-left X/ {x = $4} /Absolute upper-left Y/ {y = $4}
         /Width:/ {w = $2} /Height:/ {h = $2} END {print w "x" h "+" x "+" y}'
}

# Waits up to 30 s for the window to be $1 (WxH) on the screen.
await_size() {
  local deadline=$(($(date +%s) + 30))
  until [ "$(client_size)" = "$1" ]; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "the window is $(client_size), not $1"
    sleep 0.1
  done
}

shot_is() { [ "$(info small | cut -d" " -f1-2)" = "$1 $2" ]; }
painted_more_than() { [ "$(info "$1" | cut -d" " -f3)" -gt "$2" ]; }
same_as_reference() { [ "$("$PNG_PROBE" differ "$tmp/window.png" "$tmp/reference.png")" = 0 ]; }

case_prefix() {
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >"$tmp/boot.log" 2>&1 || { cat "$tmp/boot.log" >&2; fail "wineboot failed"; }
  wineserver -w
  [ -s "$WINEPREFIX/system.reg" ] || fail "no prefix in $WINEPREFIX"
}

# A cross-built unit test program ($1) under wine, on a display (some make windows): all its
# tests pass.
case_unit() {
  start_x
  local status=0
  timeout 240 wine "$1" --gtest_brief=1 >"$tmp/unit.out" 2>&1 || status=$?
  sed 's/\r$//' "$tmp/unit.out"
  [ "$status" = 0 ] || fail "$(basename "$1") ended with status $status"
  grep -q 'PASSED' "$tmp/unit.out" || fail "$(basename "$1") ran no tests"
}

# At a tick limit the window shows exactly what walkers-render grows from the same seed.
case_window_pixels() {
  start_x
  WALKERS_TICK_LIMIT=2500 run_wine "$WALKERS_EXE" --seed "$growing_seed"
  await_window '^Form1$'
  [ "$(client_size)" = 510x370 ] || fail "the client area is $(client_size), not 510x370"
  "$WALKERS_RENDER" --size 510x370 --ticks 2500 --seed "$growing_seed" -o "$tmp/reference.png"
  E2E_DEADLINE=60 poll_shot window same_as_reference ||
    fail "$("$PNG_PROBE" differ "$tmp/window.png" "$tmp/reference.png") pixels differ from walkers-render's"
  await_line 10 "^seed: $growing_seed\$" "$tmp/walkers.out" || fail "no seed line on standard output"
}

# At 150 % (144 dots to the inch) the client area is still 510x370 logical pixels: 765x555 device
# pixels, showing exactly what walkers-render grows at that size, as the Wayland window at scale
# 1.5. The prefix's DPI goes back to 96 at the end (and the prefix case makes it afresh anyway).
case_window_dpi() {
  start_x
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1 ||
    fail "cannot set the prefix's DPI"
  trap 'wine reg delete "HKCU\\Control Panel\\Desktop" /v LogPixels /f >/dev/null 2>&1; wine_cleanup' EXIT
  WALKERS_TICK_LIMIT=2500 run_wine "$WALKERS_EXE" --seed "$growing_seed"
  await_window '^Form1$'
  [ "$(client_size)" = 765x555 ] || fail "the client area is $(client_size) at 144 DPI, not 765x555"
  "$WALKERS_RENDER" --size 765x555 --ticks 2500 --seed "$growing_seed" -o "$tmp/reference.png"
  E2E_DEADLINE=60 poll_shot window same_as_reference ||
    fail "$("$PNG_PROBE" differ "$tmp/window.png" "$tmp/reference.png") pixels differ from walkers-render's at 765x555"
}

# Stray keys change nothing, Enter starts afresh from the centre, Esc ends with status 0.
case_window_keys() {
  start_x
  run_wine "$WALKERS_EXE" --seed "$growing_seed"
  await_window '^Form1$'
  E2E_DEADLINE=60 poll_shot before painted_more_than before 300 || fail "the pattern did not grow"
  xdotool key --window "$wid" a q Z space 1 ctrl+a BackSpace Tab F1 Left shift+a
  wait_frames 2
  alive
  [ "$("$PNG_PROBE" erased "$tmp/before.png" "$tmp/frame_0.png")" = 0 ] ||
    fail "a key other than Enter cleared painted pixels"
  E2E_DEADLINE=60 expect_restart_from_centre Return 510 370
  local deadline=$(($(date +%s) + 10))
  until [ "$(grep -c '^seed: [0-9]' "$tmp/walkers.out")" -ge 2 ]; do
    [ "$(date +%s)" -lt "$deadline" ] || fail "Enter printed no second seed line"
    sleep 0.1
  done
  xdotool key --window "$wid" Escape
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "Esc ended walkers.exe with status $walkers_status"
}

# The close button ends with status 0; --fullscreen and F11 cover the monitor and come back.
case_window_close() {
  start_x 1024x768
  run_wine "$WALKERS_EXE" --fullscreen
  await_window '^Form1$'
  await_size 1024x768
  xdotool key --window "$wid" F11
  await_size 510x370
  xdotool key --window "$wid" F11
  await_size 1024x768
  "$WM_DELETE" "$wid"
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "closing ended walkers.exe with status $walkers_status"
}

# Shrinking the window hides part of the picture; growing it back shows it all again, as it was.
case_window_resize() {
  start_x
  WALKERS_TICK_LIMIT=3000 run_wine "$WALKERS_EXE" --seed "$growing_seed"
  await_window '^Form1$'
  "$WALKERS_RENDER" --size 510x370 --ticks 3000 --seed "$growing_seed" -o "$tmp/reference.png"
  E2E_DEADLINE=60 poll_shot window same_as_reference || fail "the picture is not walkers-render's"
  xdotool windowsize "$wid" 200 150
  await_size 200x150
  poll_shot small shot_is 200 150 || fail "the shrunk window is not shown at 200x150"
  xdotool windowsize "$wid" 510 370
  await_size 510x370
  E2E_DEADLINE=30 poll_shot window same_as_reference ||
    fail "$("$PNG_PROBE" differ "$tmp/window.png" "$tmp/reference.png") pixels differ after the resizes"
}

# The command line as on Linux: help, version, bad options named with status 2.
case_window_options() {
  run_to_end "$WALKERS_EXE" --help
  [ "$status" = 0 ] && grep -q '^Usage: walkers' "$tmp/walkers.out" || fail "--help: status $status"
  run_to_end "$WALKERS_EXE" --version
  [ "$status" = 0 ] && grep -q '^walkers [0-9]' "$tmp/walkers.out" || fail "--version: status $status"
  local arguments expected
  while IFS='|' read -r arguments expected; do
    # shellcheck disable=SC2086  # the arguments are words
    run_to_end "$WALKERS_EXE" $arguments
    [ "$status" = 2 ] || fail "$arguments: status $status, expected 2"
    grep -qF "walkers: $expected" "$tmp/walkers.err" ||
      fail "$arguments: said '$(cat "$tmp/walkers.err")', expected '$expected'"
  done <<'CASES'
--bogus|unknown option "--bogus"
--seed x|bad --seed "x"
--cycle 1000001|bad --cycle "1000001"
--seed|--seed needs a value
--window-id 0x100000000|bad --window-id "0x100000000"
CASES
  # Places that are walkers.scr's on Windows: one line, status 1.
  run_to_end "$WALKERS_EXE" --root
  [ "$status" = 1 ] && grep -qF 'on Windows the screen saver is walkers.scr' "$tmp/walkers.err" ||
    fail "--root: status $status, said '$(cat "$tmp/walkers.err")'"
  status=0
  timeout 60 wine "$WALKERS_EXE" --help >&- 2>"$tmp/walkers.err" || status=$?
  [ "$status" = 1 ] || fail "--help with standard output closed: status $status, expected 1"
  grep -q 'cannot write standard output' "$tmp/walkers.err" || fail "no line for a closed output"
}

# /s covers the screen, topmost, and outlives a nudge of the pointer and a second start; a key
# ends it with status 0.
case_saver_run() {
  start_x 1024x768
  xdotool mousemove 500 400
  run_wine "$WALKERS_SCR" /s
  await_window '^Form1$'
  [ "$(geometry)" = 1024x768+0+0 ] || fail "the screen saver covers $(geometry), not 1024x768+0+0"
  E2E_DEADLINE=60 poll_shot start painted_more_than start 50 || fail "nothing was painted"
  local stands
  stands=$(timeout 60 wine "$PREVIEW_BOX" --cover 2>&1 | tr -d '\r')
  [ "$stands" = "topmost, cursor hidden, commands refused" ] ||
    fail "the screen saver's window: $stands"
  xdotool mousemove_relative 2 1
  sleep 0.5
  xdotool mousemove_relative -- -3 2
  wait_frames 2
  alive
  local status=0
  timeout 60 wine "$WALKERS_SCR" /s >/dev/null 2>"$tmp/second.err" || status=$?
  [ "$status" = 1 ] || fail "a second /s ended with status $status, expected 1"
  grep -q 'running already' "$tmp/second.err" || fail "a second /s said '$(cat "$tmp/second.err")'"
  alive
  xdotool key --window "$wid" a
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "a key ended the screen saver with status $walkers_status"
}

# A real move of the pointer ends /s, and so do a button and another window taking the focus.
case_saver_input() {
  start_x 800x600
  xdotool mousemove 400 300
  run_wine "$WALKERS_SCR" -S
  await_window '^Form1$'
  E2E_DEADLINE=60 poll_shot start painted_more_than start 50 || fail "nothing was painted"
  xdotool mousemove 440 330
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "a move ended the screen saver with status $walkers_status"
  run_wine "$WALKERS_SCR" /s
  await_window '^Form1$'
  E2E_DEADLINE=60 poll_shot start painted_more_than start 50 || fail "nothing was painted"
  xdotool click 1
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "a click ended the screen saver with status $walkers_status"
  run_wine "$WALKERS_SCR" /s
  await_window '^Form1$'
  E2E_DEADLINE=60 poll_shot start painted_more_than start 50 || fail "nothing was painted"
  timeout 60 wine "$PREVIEW_BOX" --activate >/dev/null 2>&1 || true
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "losing the focus ended the screen saver with $walkers_status"
}

# PROGRAM [OPTION]: the program draws one child of the box's size in its own process, made
# without WM_PARENTNOTIFY (sent to the box's thread, it would wait for it), and ends with status 0
# when the box goes.
child_in_box() {
  start_x
  local status=0
  timeout 120 wine "$PREVIEW_BOX" "$(winepath -w "$1")" "${@:2}" >"$tmp/box.out" 2>&1 ||
    status=$?
  sed 's/\r$//' "$tmp/box.out" >"$tmp/box.txt"
  cat "$tmp/box.txt"
  [ "$status" = 0 ] || fail "the box failed (status $status)"
  grep -qx "child 152x112, parent the box, process the program's, no parent notify" "$tmp/box.txt" ||
    fail "no one child of the box's size in the program's process, without WM_PARENTNOTIFY"
  grep -qx "ended with status 0" "$tmp/box.txt" || fail "the program did not end with status 0"
}

case_saver_preview() { child_in_box "$WALKERS_SCR"; }

# walkers.exe --window-id HWND draws inside another program's window as the preview does.
case_window_inside() { child_in_box "$WALKERS_EXE" --window-id; }

# PROGRAM [OPTION] in a box that changes its size (preview_box --sizes): the child follows the
# box's client size at every step.
sizes_in_box() {
  local status=0
  timeout 120 wine "$PREVIEW_BOX" --sizes "$(winepath -w "$1")" "${@:2}" >"$tmp/box.out" 2>&1 ||
    status=$?
  sed 's/\r$//; /^seed: /d' "$tmp/box.out" >"$tmp/box.txt"  # the program's seed line too
  cat "$tmp/box.txt"
  [ "$status" = 0 ] || fail "$(basename "$1"): the box failed (status $status)"
  diff - "$tmp/box.txt" <<'SIZES' >&2 || fail "$(basename "$1"): the child did not follow the box"
restored after a minimised start: box 152x112, child 152x112
grown: box 392x273, child 392x273
grown: box 892x673, child 892x673
minimised and restored: box 892x673, child 892x673
shrunk: box 200x150, child 200x150
ended with status 0
SIZES
}

# The child follows the box's client size, as --window-id does on X11: from a box minimised at
# the start and then restored, through growing, a minimise and restore, and shrinking; for /p and
# for walkers.exe --window-id alike.
case_child_sizes() {
  start_x
  sizes_in_box "$WALKERS_SCR"
  sizes_in_box "$WALKERS_EXE" --window-id
}

# One line and status 2 for a window that cannot hold a child (the desktop; message-only ones are
# the unit tests'), and for /c naming a window that does not exist; a bad command line with
# standard error full still ends at once with status 2, no message box waiting for a click.
case_refusals() {
  start_x
  local desktop program arguments expected
  desktop=$(timeout 60 wine "$PREVIEW_BOX" --desktop | tr -d '\r')
  [ -n "$desktop" ] || fail "no desktop window"
  while IFS='|' read -r program arguments expected; do
    program=${program/#scr/$WALKERS_SCR}
    program=${program/#exe/$WALKERS_EXE}
    # shellcheck disable=SC2086  # the arguments are words
    run_to_end "$program" ${arguments/DESKTOP/$desktop}
    [ "$status" = 2 ] && [ "$(wc -l <"$tmp/walkers.err")" = 1 ] &&
      grep -qF "walkers: ${expected/DESKTOP/$desktop}" "$tmp/walkers.err" ||
      fail "$arguments: status $status, said '$(cat "$tmp/walkers.err")', expected '$expected'"
  done <<'CASES'
scr|/p DESKTOP|window DESKTOP is the desktop, not a window to preview in (/p)
exe|--window-id DESKTOP|window DESKTOP is the desktop, not a window to draw in (--window-id)
scr|/c:4000000000|no window 4000000000 to own the settings (/c)
CASES
  while IFS='|' read -r program arguments; do
    status=0
    timeout 30 wine "${program/#exe/$WALKERS_EXE}" "$arguments" 2>/dev/full </dev/null || status=$?
    [ "$status" = 2 ] || fail "$program $arguments with standard error full: status $status, expected 2"
  done <<CASES
exe|--bogus
$WALKERS_SCR|/x
CASES
}

# The registry's values, as "Cycle Spanning" in hex.
settings() {
  wine reg query 'HKCU\Software\walkers' 2>/dev/null | tr -d '\r' |
    awk '$1 == "Cycle" {c = $3} $1 == "Spanning" {s = $3} END {print c " " s}'
}

# /c: the dialog saves with OK (Enter); Esc leaves the settings as they were.
case_saver_settings() {
  start_x
  run_wine "$WALKERS_SCR" /c
  await_window '^walkers settings$'
  xdotool key --window "$wid" ctrl+a 4 2 Tab Down Return
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "OK ended the dialog with status $walkers_status"
  [ "$(settings)" = "0x2a 0x1" ] || fail "the settings saved are '$(settings)', not '0x2a 0x1'"
  run_wine "$WALKERS_SCR"
  await_window '^walkers settings$'
  xdotool key --window "$wid" ctrl+a 7 Escape
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "Esc ended the dialog with status $walkers_status"
  [ "$(settings)" = "0x2a 0x1" ] || fail "Esc changed the settings to '$(settings)'"
}

# Bad arguments get one line naming them and status 2; /a does nothing and returns 0.
case_saver_arguments() {
  local arguments expected
  while IFS='|' read -r arguments expected; do
    # shellcheck disable=SC2086  # the arguments are words
    run_to_end "$WALKERS_SCR" $arguments
    [ "$status" = 2 ] || fail "$arguments: status $status, expected 2"
    [ "$(wc -l <"$tmp/walkers.err")" = 1 ] && grep -qF "walkers: $expected" "$tmp/walkers.err" ||
      fail "$arguments: said '$(cat "$tmp/walkers.err")', expected '$expected'"
  done <<'CASES'
/x|unknown argument "/x"
/p|/p needs the handle
/p 0|bad window handle "0" for /p
/p:abc|bad window handle "abc" for /p
/p 4000000000|no window 4000000000 to preview in
/s now|unexpected argument "now"
CASES
  run_to_end "$WALKERS_SCR" /a 77
  [ "$status" = 0 ] || fail "/a ended with status $status"
}

# Polls up to 60 s until `test ARGUMENTS...` holds.
await_path() {
  local deadline=$(($(date +%s) + 60))
  until test "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# Starts `preview_box --hold FILE` ($1, a Windows path): another program holding the file open;
# sets holder_pid once it holds it.
hold_file() {
  wine "$PREVIEW_BOX" --hold "$1" >"$tmp/hold.out" 2>&1 &
  holder_pid=$!
  await_line 60 '^holding' "$tmp/hold.out" || fail "preview_box did not hold $1"
}

let_go() {
  kill "$holder_pid"
  wait "$holder_pid" 2>/dev/null || true
}

# Runs `wine ARGUMENTS...` to its end; sets status, and said to its standard error, one line.
run_setup() {
  status=0
  timeout 120 wine "$@" 2>"$tmp/setup.err" </dev/null || status=$?
  said=$(tr -d '\r' <"$tmp/setup.err")
}

# Marks the given files as an older install's: one byte more than the build's.
make_old() {
  local file
  for file in "$@"; do printf x >>"$file"; done
}

# cpack makes the ZIP and the installer. Silently (/S), the installer puts the programs in Program
# Files, the screen saver in the system folder, and the three Start-menu entries the README
# names. Over a running walkers.exe it asks it to end and replaces every file; over a file
# another program holds it fails with status 2 and a line naming it, nothing replaced. The
# uninstaller, as the system starts it, while the screen saver runs: the screen saver is asked to
# end and everything goes. Run in place (_?=, waited for) while another program holds a file:
# status 2, a line naming it, nothing removed; then status 3010, everything removed but
# Uninstall.exe and its folder, which go at the next restart.
case_installer() {
  cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$tmp/packages" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
  local zip installer
  zip=$(ls "$tmp"/packages/walkers-*-win64.zip) && installer=$(ls "$tmp"/packages/walkers-*-win64.exe) ||
    fail "cpack made no ZIP or no installer"
  python3 -m zipfile -l "$zip" | awk 'NR > 1 {print $1}' | sed 's|^[^/]*/||' | sort >"$tmp/zip.txt"
  printf '%s\n' LICENSE.txt README.md walkers.exe walkers.scr | diff - "$tmp/zip.txt" >&2 ||
    fail "the ZIP holds the wrong files"
  local c="$WINEPREFIX/drive_c"
  local folder="$c/Program Files/walkers"
  local menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/walkers"
  local programs=("$folder/walkers.exe" "$folder/walkers.scr" "$c/windows/system32/walkers.scr")
  local installed=("${programs[@]}" "$folder/README.md" "$folder/LICENSE.txt"
                   "$folder/Uninstall.exe" "$menu/walkers.lnk"
                   "$menu/walkers screen saver settings.lnk" "$menu/Uninstall.lnk")
  start_x
  run_setup "$installer" /S
  [ "$status" = 0 ] || fail "the installer ended with status $status: $said"
  local file
  for file in "${installed[@]}"; do
    await_path -e "$file" || fail "the installer did not make $file"
  done
  [ "$(ls "$menu" | wc -l)" = 3 ] || fail "the Start menu has $(ls "$menu" | tr '\n' ' ')"
  cmp "$c/windows/system32/walkers.scr" "$BUILD_DIR/walkers.scr" || fail "a wrong walkers.scr in system32"
  # The settings link starts walkers.scr with /c (a link's arguments are kept in UTF-16).
  python3 -c 'import sys; sys.exit(b"/\0c\0" not in open(sys.argv[1], "rb").read())' \
    "$menu/walkers screen saver settings.lnk" || fail "the settings link does not say /c"

  make_old "${programs[@]}"
  run_wine 'C:\Program Files\walkers\walkers.exe'
  await_window '^Form1$'
  run_setup "$installer" /S
  [ "$status" = 0 ] || fail "installing over a running walkers.exe: status $status: $said"
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "the running walkers.exe ended with status $walkers_status"
  for file in "${programs[@]}"; do
    cmp "$file" "$BUILD_DIR/$(basename "$file")" ||
      fail "installing over a running walkers.exe left the old $file"
  done

  make_old "${programs[@]}"
  hold_file 'C:\Program Files\walkers\README.md'
  run_setup "$installer" /S
  local expected='walkers installer: cannot replace C:\Program Files\walkers\README.md: it is in use'
  [ "$status" = 2 ] && [ "$said" = "$expected" ] ||
    fail "installing over a held file: status $status, said '$said'"
  for file in "${programs[@]}"; do
    [ "$(stat -c %s "$file")" = $(($(stat -c %s "$BUILD_DIR/$(basename "$file")") + 1)) ] ||
      fail "the failed install replaced $file"
  done
  let_go

  run_wine 'C:\windows\system32\walkers.scr' /s
  await_window '^Form1$'
  # As the system starts it, by its Windows path: the uninstaller works from a copy of itself.
  run_setup 'C:\Program Files\walkers\Uninstall.exe' /S
  [ "$status" = 0 ] || fail "the uninstaller ended with status $status"
  wait_walkers 30
  [ "$walkers_status" = 0 ] || fail "the running screen saver ended with status $walkers_status"
  for file in "${installed[@]}" "$folder"; do
    await_path ! -e "$file" || fail "the uninstaller left $file"
  done

  run_setup "$installer" /S
  [ "$status" = 0 ] || fail "installing again: status $status: $said"
  hold_file 'C:\windows\system32\walkers.scr'
  # _?= takes the rest of the command line, spaces and all: cmd passes it as it is.
  run_setup cmd /c 'C:\Program Files\walkers\Uninstall.exe' /S '_?=C:\Program' 'Files\walkers'
  expected='walkers uninstaller: cannot remove C:\windows\system32\walkers.scr: it is in use'
  [ "$status" = 2 ] && [ "$said" = "$expected" ] ||
    fail "uninstalling with a held file: status $status, said '$said'"
  for file in "${installed[@]}"; do
    [ -e "$file" ] || fail "the failed uninstall removed $file"
  done
  let_go
  run_setup cmd /c 'C:\Program Files\walkers\Uninstall.exe' /S '_?=C:\Program' 'Files\walkers'
  # 3010 (ERROR_SUCCESS_REBOOT_REQUIRED), as a shell sees it: 3010 mod 256.
  expected='C:\Program Files\walkers\Uninstall.exe and its folder are removed at the next restart'
  [ "$status" = 194 ] && [ "$said" = "walkers uninstaller: $expected" ] ||
    fail "uninstalling in place: status $status, said '$said'"
  for file in "${installed[@]}"; do
    [ "$file" = "$folder/Uninstall.exe" ] || [ ! -e "$file" ] || fail "the uninstall in place left $file"
  done
  timeout 120 wineboot -r || fail "wine did not restart"
  [ ! -e "$folder" ] || fail "the restart left $folder"
}

"case_$1" "${@:2}"
