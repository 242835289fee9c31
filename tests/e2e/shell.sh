#!/usr/bin/env bash
# The game shell as a player meets it on the demo world: the splash picture
# shows first, then the title state (a black screen with the walk cursor until
# the menus exist); Print Screen writes screen000.jpg, screen001.jpg, ... and
# never over an older shot; -800 opens 800x600; Shift+Escape in the menu ends
# the program with 0; the frame-rate overlay switched on by a console script
# shows its text; a second copy is refused.
set -u
bin="$ORRIMUND_BIN_DIR"
tmp="$ORRIMUND_TEST_TMP"
pid=""
fail() { echo "FAIL: $*" >&2; [ -n "$pid" ] && kill $pid 2>/dev/null; exit 1; }

root="$tmp/demo"
"$bin/make_demo" "$root" >"$tmp/make_demo.out" 2>&1 || fail "make_demo failed: $(cat "$tmp/make_demo.out")"

# "r g b" of one pixel of a picture.
pixel() { convert "$1" -crop "1x1+$2+$3" -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:; }
# Mean brightness (0..1) of a box of a picture: $1 picture, $2 WxH+X+Y.
mean_of() { convert "$1" -crop "$2" -format '%[fx:mean]' info:; }

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

# ---- The splash, then the title state -------------------------------------
rm -f "$root"/screen*
start splash
# The splash lasts about half a second: take pictures of the window as fast
# as the X server gives them (looked at afterwards), until start-up is over.
n=0
for i in $(seq 1 60); do
  import -window "$wid" "$tmp/splash$i.miff" 2>/dev/null && n=$i
  grep -q '^SYSTEM INIT TIME : ' "$tmp/splash.out" && break
done
seen=""
for i in $(seq 1 $n); do
  [ -f "$tmp/splash$i.miff" ] || continue
  read -r r1 g1 b1 <<<"$(pixel "$tmp/splash$i.miff" 160 120)"
  read -r r2 g2 b2 <<<"$(pixel "$tmp/splash$i.miff" 480 120)"
  read -r r3 g3 b3 <<<"$(pixel "$tmp/splash$i.miff" 160 360)"
  read -r r4 g4 b4 <<<"$(pixel "$tmp/splash$i.miff" 480 360)"
  # Red, green, blue and yellow quarters, possibly dimmed by the fade-in.
  if [ "$r1" -gt 20 ] && [ "$r1" -gt $((2 * g1)) ] && [ "$g2" -gt $((2 * r2)) ] &&
     [ "$b3" -gt $((2 * r3)) ] && [ "$r4" -gt $((2 * b4)) ] && [ "$g4" -gt $((2 * b4)) ]; then
    seen=$i; break
  fi
done
rm -f "$tmp"/splash*.miff
[ -n "$seen" ] || fail "the splash picture was never on the screen"
wait_title splash
# The title state: black, with the walk cursor (a yellow ring) at the mouse,
# which start-up put at the centre of the screen.
title=""
for _ in $(seq 1 50); do
  sleep 0.2
  import -window "$wid" "$tmp/title.png" || fail "no picture of the title state"
  [ "$(mean_of "$tmp/title.png" 640x200+0+0)" = "0" ] || continue
  [ "$(mean_of "$tmp/title.png" 40x40+318+238)" != "0" ] && { title=1; break; }
done
[ -n "$title" ] || fail "the title state does not show a black screen with the cursor"

# ---- Screenshots --------------------------------------------------------------
print_screen screen000.jpg
print_screen screen001.jpg
identify "$root/screen000.jpg" | grep -q 'JPEG 640x480' || fail "screen000.jpg: $(identify "$root/screen000.jpg")"
grep -q "^Screenshot written to .*screen001.jpg" "$tmp/splash.console" || fail "no console line: $(cat "$tmp/splash.console")"
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

# ---- -800 gives an 800x600 window and screen --------------------------------------
rm -f "$root"/screen*
start wide -800
wait_title wide
xwininfo -id "$wid" | grep -q 'Width: 800$' || fail "-800: $(xwininfo -id "$wid")"
xwininfo -id "$wid" | grep -q 'Height: 600$' || fail "-800: $(xwininfo -id "$wid")"
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
