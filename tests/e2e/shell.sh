#!/usr/bin/env bash
# The game shell as a player meets it on the demo world, in the title state:
# Print Screen writes screen000.jpg, screen001.jpg, ... and never over an
# older shot; -800 opens an 800x600 screen; Shift+Escape in the menu ends
# the program with 0; the frame-rate overlay switched on by a console script
# shows its text; a second copy is refused.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"

# Mean brightness (0..1) of a box of a picture: $1 picture, $2 WxH+X+Y.

# Starts the game with the given arguments and waits for its window ($wid).
start() {
  local name=$1; shift
  ORRIMUND_ROOT="$root" ORRIMUND_CONSOLE_LOG="$tmp/$name.console" "$bin/orrimund" "$@" >"$tmp/$name.out" 2>&1 &
  pid=$!
  wid=""
  # Generous: on a loaded machine software OpenGL can take long to start.
  local until=$((SECONDS + 90))
  while [ $SECONDS -lt $until ]; do
    kill -0 $pid 2>/dev/null || fail "$name: the program ended: $(cat "$tmp/$name.out")"
    grep -q "Cannot open display" "$tmp/$name.out" && fail "$name: the program found no X server"
    wid=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.05
  done
  [ -n "$wid" ] || fail "$name: no window"
}
# Waits for the title state: start-up has printed its init time.
wait_title() {
  for _ in $(seq 1 900); do
    grep -q '^SYSTEM INIT TIME : ' "$tmp/$1.out" && return 0
    kill -0 $pid 2>/dev/null || fail "$1: the program ended: $(cat "$tmp/$1.out")"
    sleep 0.1
  done
  fail "$1: start-up did not finish: $(cat "$tmp/$1.out")"
}
stop() {
  kill -TERM $pid; wait $pid; local rc=$?; pid=""
  [ $rc -eq 0 ] || fail "$1: ended with $rc on SIGTERM"
}
# Presses Print Screen and waits until the named file appears.
print_screen() {
  xdotool key --window "$wid" Print
  for _ in $(seq 1 100); do [ -s "$root/$1" ] && return 0; sleep 0.1; done
  fail "Print Screen did not write $1: $(ls "$root")"
}

# ---- Screenshots (the splash and the title's picture: shell_splash.cpp) --------
rm -f "$root"/screen*
start title
wait_title title
print_screen screen000.jpg
print_screen screen001.jpg
identify "$root/screen000.jpg" | grep -q 'JPEG 640x480' || fail "screen000.jpg: $(identify "$root/screen000.jpg")"
grep -q "^Screenshot written to .*screen001.jpg" "$tmp/title.console" || fail "no console line: $(cat "$tmp/title.console")"
# The shot shows what was on the screen: the cursor ring near the centre.
[ "$(mean_of "$root/screen001.jpg" 40x40+318+238)" != "0" ] || fail "the screenshot does not show the cursor"
[ "$(ls "$root"/screen* | wc -l)" -eq 2 ] || fail "more shots than presses: $(ls "$root")"

# ---- A second copy is refused while the first runs ---------------------------
ORRIMUND_ROOT="$root" timeout 60 "$bin/orrimund" >"$tmp/second.out" 2>&1
rc=$?
[ $rc -eq 1 ] || fail "a second copy ended with $rc: $(cat "$tmp/second.out")"

# ---- Shift+Escape in the menu ends the program with 0 ----------------------------
xdotool keydown --window "$wid" shift key --window "$wid" Escape keyup --window "$wid" shift
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "Shift+Escape did not end the program"
wait $pid; rc=$?; pid=""
[ $rc -eq 0 ] || fail "Shift+Escape ended the program with $rc"

# ---- The next number is one above the highest, whatever the listing order ------
rm -f "$root"/screen*
echo x >"$root/screen007.jpg"
echo x >"$root/screen000.jpg"
start numbering
wait_title numbering
print_screen screen008.jpg
[ "$(cat "$root/screen007.jpg")" = "x" ] || fail "screen007.jpg was written over"
stop numbering

# ---- -800 gives an 800x600 screen (full screen on the default renderer) ------------
rm -f "$root"/screen*
start wide -800
wait_title wide
xwininfo -id "$wid" | grep -q 'Width: 1280$' || fail "-800: $(xwininfo -id "$wid")"
xwininfo -id "$wid" | grep -q 'Height: 1024$' || fail "-800: $(xwininfo -id "$wid")"
print_screen screen000.jpg
identify "$root/screen000.jpg" | grep -q 'JPEG 800x600' || fail "-800 shot: $(identify "$root/screen000.jpg")"
stop wide

# ---- The frame-rate overlay from a console script ----------------------------------
# Runs the game (with the console script $2, if given) and takes a shot in
# the title state.
shot_in_title() {
  rm -f "$root"/screen*
  if [ -n "$2" ]; then ORRIMUND_AUTOEXEC=$2 start "$1"; else start "$1"; fi
  wait_title "$1"
  sleep 0.5
  print_screen screen000.jpg
  stop "$1"
}
# Light pixels of a box (WxH+X+Y) of the shot; JPEG softens the text's edges,
# so light means above a quarter of white.
light_pixels() {
  convert "$root/screen000.jpg" -crop "$1" -colorspace Gray -threshold 25% -format '%[fx:int(mean*w*h)]' info:
}
printf 'show_framerate true\r\n' >"$root/overlay.vcs"
shot_in_title overlay overlay
grep -q "is TRUE" "$tmp/overlay.console" || fail "the script did not switch the overlay on"
# "FPS=" and the rate in grey (96, 96, 96) at the bottom right; the digits
# follow the first 25 pixels of "FPS=".
text=$(light_pixels 70x10+570+470)
digits=$(light_pixels 40x10+597+470)
[ "$text" -ge 20 ] || fail "the frame-rate overlay shows no text ($text light pixels)"
[ "$digits" -ge 10 ] || fail "the frame-rate overlay shows no digits ($digits light pixels)"
rm -f "$root/overlay.vcs"
# Without the switch the corner stays black.
shot_in_title plain ""
plain=$(light_pixels 70x10+570+470)
[ "$plain" -eq 0 ] || fail "the corner is not black without the overlay ($plain)"
rm -f "$root"/screen*
echo "shell: all checks passed"
