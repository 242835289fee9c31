#!/usr/bin/env bash
# The program opens its screen at start-up: with -opengl it draws with
# OpenGL in a window at the resolution of the registry or of -800/-1024,
# placed at the top of the desktop and centred, shows the title's main menu
# once the splash is over, and loads the demo fonts. Without a display
# it says so and runs on without graphics.
. "${BASH_SOURCE%/*}/lib.sh"
regdir="$XDG_CONFIG_HOME/Quorvane/Orrimund Demo"
mkdir -p "$regdir"

root="$tmp/demo"
write_demo "$root"

# Writes the registry file with the given value lines.
registry() {
  { printf '[HKEY_CURRENT_USER\\Software\\Quorvane\\Orrimund Demo]\r\n'
    for line in "$@"; do printf '%s\r\n' "$line"; done; } >"$regdir/registry.txt"
}

# Starts the game, waits until its window is shown at its final size, checks
# geometry and picture, stops it. $1: name, $2: expected WxH, rest: arguments.
run_and_check() {
  local name=$1 size=$2; shift 2
  local w=${size%x*} h=${size#*x}
  ORRIMUND_ROOT="$root" "$bin/orrimund" "$@" >"$tmp/$name.out" 2>&1 &
  pid=$!
  local wid="" info=""
  # Generous: on a loaded machine software OpenGL can take seconds to start.
  for _ in $(seq 1 300); do
    kill -0 $pid 2>/dev/null || fail "$name: the program ended: $(cat "$tmp/$name.out")"
    wid=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | head -1)
    if [ -n "$wid" ]; then
      info=$(xwininfo -id "$wid" 2>/dev/null)
      echo "$info" | grep -q 'Map State: IsViewable' && echo "$info" | grep -q "Width: $w\$" && break
    fi
    sleep 0.1
  done
  echo "$info" | grep -q 'Map State: IsViewable' || fail "$name: the window is not shown: $info"
  echo "$info" | grep -q "Width: $w\$" || fail "$name: window width is not $w: $info"
  echo "$info" | grep -q "Height: $h\$" || fail "$name: window height is not $h: $info"
  # The X server's screen is 1280 wide: centred, at the top.
  echo "$info" | grep -q "Absolute upper-left X:  $(( (1280 - w) / 2 ))\$" || fail "$name: not centred: $info"
  echo "$info" | grep -q 'Absolute upper-left Y:  0$' || fail "$name: not at the top: $info"
  # The title's first frame may take a moment to reach the screen.
  local blue=""
  for _ in $(seq 1 50); do
    sleep 0.2
    import -window "$wid" "$tmp/$name.png" || fail "$name: no picture of the window"
    # The left edge of the top of the screen: the main menu's night-blue
    # backdrop, clear of its title and items.
    blue=$(convert "$tmp/$name.png" -crop "$((w / 16))x$((h / 3))+0+0" \
      -format '%[fx:mean.b > 0.12 && mean.b > 1.5 * mean.r ? 1 : 0]' info:)
    [ "$blue" = "1" ] && break
  done
  [ "$blue" = "1" ] || fail "$name: the title does not show the main menu"
  kill -0 $pid 2>/dev/null || fail "$name: the program ended: $(cat "$tmp/$name.out")"
  kill -TERM $pid; wait $pid; local rc=$?; pid=""
  [ $rc -eq 0 ] || fail "$name: ended with $rc on SIGTERM: $(cat "$tmp/$name.out")"
  grep -q "could not be loaded" "$tmp/$name.out" && fail "$name: a demo font did not load: $(cat "$tmp/$name.out")"
  return 0
}

# The window's placement is OpenGL's (the default renderer runs in full
# screen: glide_fallback.sh).
registry
run_and_check default 640x480 -opengl
registry '"Resolution Width"=dword:00000320' '"Resolution Height"=dword:00000258'
run_and_check registry_800 800x600 -opengl
# A pair the game does not offer keeps the first size.
registry '"Resolution Width"=dword:00000500' '"Resolution Height"=dword:00000400'
run_and_check unlisted 640x480 -opengl
registry '"Resolution Width"=dword:00000320' '"Resolution Height"=dword:00000258'
run_and_check switch_1024 1024x768 -opengl -1024
# The default renderer (Glide) runs in full screen only: -window goes on with
# OpenGL in a window and says so.
registry
run_and_check glide_window 640x480 -window
grep -q "^Glide can only be used in fullscreen mode: drawing with OpenGL in a window$" "$tmp/glide_window.out" ||
  fail "no word of OpenGL for -window: $(cat "$tmp/glide_window.out")"
# The card chosen in the registry, then the switch that runs OpenGL in a window.
registry '"Selected Video Card"=dword:00000000' '"Video Card 0"=sz:"Direct 3D card"'
run_and_check card 640x480 -window
grep -q "not available" "$tmp/card.out" && fail "the registry's Direct3D card did not start: $(cat "$tmp/card.out")"
# A Direct3D call that fails at start-up is named, and the game draws with OpenGL.
export ORRIMUND_D3D_FAIL=CreateDevice
run_and_check d3d_failed 640x480 -direct3d -window
unset ORRIMUND_D3D_FAIL
grep -q "^Direct3D: CreateDevice failed: Generic failure.$" "$tmp/d3d_failed.out" ||
  fail "the failed call was not named: $(cat "$tmp/d3d_failed.out")"
grep -q "^Direct3D is not available: drawing with OpenGL in a window$" "$tmp/d3d_failed.out" ||
  fail "no word of the OpenGL fallback: $(cat "$tmp/d3d_failed.out")"
# A present that fails (every Blt of the windowed Direct3D screen) is named,
# and the game goes on drawing with OpenGL in a window.
export ORRIMUND_D3D_FAIL=Blt
run_and_check d3d_blt 640x480 -direct3d -window
unset ORRIMUND_D3D_FAIL
grep -q "^Direct3D: Blt failed: Generic failure.$" "$tmp/d3d_blt.out" ||
  fail "the failed Blt was not named: $(cat "$tmp/d3d_blt.out")"
grep -q "^Direct3D is not available: drawing with OpenGL in a window$" "$tmp/d3d_blt.out" ||
  fail "no word of the OpenGL fallback after Blt: $(cat "$tmp/d3d_blt.out")"
run_and_check opengl_switch 800x600 -opengl -800 -direct3d
grep -q "not available" "$tmp/opengl_switch.out" && fail "-opengl did not choose OpenGL: $(cat "$tmp/opengl_switch.out")"

# Without a display: a line on stdout, and the program runs until told to stop.
env -u DISPLAY ORRIMUND_ROOT="$root" "$bin/orrimund" >"$tmp/headless.out" 2>&1 &
pid=$!
for _ in $(seq 1 100); do grep -q "No display" "$tmp/headless.out" && break; sleep 0.1; done
sleep 0.5
kill -0 $pid 2>/dev/null || fail "headless: the program ended: $(cat "$tmp/headless.out")"
kill -INT $pid; wait $pid; rc=$?; pid=""
[ $rc -eq 0 ] || fail "headless: ended with $rc on SIGINT"
grep -q "^No display: running without graphics$" "$tmp/headless.out" ||
  fail "headless: no word of running without graphics: $(cat "$tmp/headless.out")"
echo "PASS"
