#!/usr/bin/env bash
# The program starts, its window exists on the X server, a copy with a
# configuration directory of its own runs beside it, a second copy with the
# same configuration directory raises the first copy's window and exits with
# code 1 while the first runs, SIGTERM
# ends a copy cleanly, and without a display the program still runs.
set -u
bin="$ORRIMUND_BIN_DIR/orrimund"
tmp="$ORRIMUND_TEST_TMP"
# An installation with the tables start-up reads.
export ORRIMUND_ROOT="$tmp/root"
mkdir -p "$ORRIMUND_ROOT"
"$ORRIMUND_BIN_DIR/make_tables" "$ORRIMUND_ROOT" >/dev/null || { echo "FAIL: make_tables failed" >&2; exit 1; }
fail() { echo "FAIL: $*" >&2; kill $first $other 2>/dev/null; exit 1; }

wait_for_windows() {  # count
  for _ in $(seq 1 300); do
    n=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | wc -l)
    [ "$n" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

first=""; other=""
# The copies that show their windows draw with OpenGL in a window: the
# default renderer runs in full screen, at the size of the screen.
"$bin" -opengl >"$tmp/first.out" 2>&1 &
first=$!
wait_for_windows 1 || fail "no window of the first copy"
wid=$(xdotool search --name '^Orrimund Demo$' | head -1)
# Hidden at 32x32 until graphics start-up gives it the screen size (640x480).
xwininfo -id "$wid" | grep -qE "Width: (32|640)$" || fail "the window is neither the 32x32 start-up window nor the 640x480 screen"
xprop -id "$wid" _ORRIMUND_INSTANCE | grep -q "$XDG_CONFIG_HOME/Quorvane/Orrimund Demo" ||
  fail "the window does not carry its instance tag"

# Graphics start-up shows (and so raises) each window. The first copy must be
# past it before the other starts: a first copy slowed down by a busy machine
# would otherwise show its window after the other's and lie on top.
viewable() {  # window id
  for _ in $(seq 1 300); do
    xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' && return 0
    sleep 0.1
  done
  return 1
}
viewable "$wid" || fail "the first copy never showed its window"

mkdir -p "$tmp/other-config"
XDG_CONFIG_HOME="$tmp/other-config" "$bin" -opengl >"$tmp/other.out" 2>&1 &
other=$!
wait_for_windows 2 || fail "a copy with its own configuration did not open a window"
kill -0 $other 2>/dev/null || fail "the copy with its own configuration exited"

# The topmost of our two windows (the server lists the top one first).
topmost() { printf '0x%x' "$(xwininfo -root -children | grep -o '^ *0x[0-9a-f]* "Orrimund Demo"' | head -1 | awk '{print $1}')"; }
first_wid=$(printf '0x%x' "$(xdotool search --pid $first | head -1)")
other_wid=$(printf '0x%x' "$(xdotool search --pid $other | head -1)")
# Let the other copy get past its start-up too, so that only the second copy
# changes the stacking from here on.
viewable "$other_wid" || fail "the copy with its own configuration never showed its window"
sleep 0.3
[ "$(topmost)" = "$other_wid" ] || fail "the later window does not lie above the first"

timeout 10 "$bin" >"$tmp/second.out" 2>&1
rc=$?
[ $rc -eq 1 ] || fail "second copy exited with $rc, expected 1"
kill -0 $first 2>/dev/null || fail "the first copy died"
[ "$(topmost)" = "$first_wid" ] || fail "the second copy did not raise the first copy's window"

kill -TERM $first $other
wait $first; rc1=$?
wait $other; rc2=$?
[ $rc1 -eq 0 ] || fail "first copy ended with $rc1 on SIGTERM"
[ $rc2 -eq 0 ] || fail "other copy ended with $rc2 on SIGTERM"
first=""; other=""
[ "$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | wc -l)" -eq 0 ] || fail "a window outlived its program"

# Without a display: no window, the loop runs until SIGINT.
mkdir -p "$tmp/headless-config"
env -u DISPLAY XDG_CONFIG_HOME="$tmp/headless-config" "$bin" >"$tmp/headless.out" 2>&1 &
headless=$!
sleep 1
kill -0 $headless 2>/dev/null || fail "the program did not keep running without a display"
kill -INT $headless
wait $headless; rc=$?
[ $rc -eq 0 ] || fail "headless copy ended with $rc on SIGINT"
echo "PASS"
