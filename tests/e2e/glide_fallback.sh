#!/usr/bin/env bash
# The default renderer is Glide, in full screen: the window covers the
# desktop. A Glide library that lacks an entry point leaves Glide unavailable:
# the game says which entry point is missing and draws with OpenGL in a
# window instead.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"

# Starts the program $2 and waits for the title state; $1 names the run.
start() {
  local name=$1 program=$2
  ORRIMUND_ROOT="$root" "$program" >"$tmp/$name.out" 2>&1 &
  pid=$!
  for _ in $(seq 1 600); do
    kill -0 $pid 2>/dev/null || fail "$name: the program ended: $(cat "$tmp/$name.out")"
    grep -q '^SYSTEM INIT TIME : ' "$tmp/$name.out" && break
    sleep 0.1
  done
  grep -q '^SYSTEM INIT TIME : ' "$tmp/$name.out" || fail "$name: start-up did not finish: $(cat "$tmp/$name.out")"
  wid=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | head -1)
  [ -n "$wid" ] || fail "$name: no window"
}
stop() {
  kill -TERM $pid; wait $pid; local rc=$?; pid=""
  [ $rc -eq 0 ] || fail "$1: ended with $rc on SIGTERM: $(cat "$tmp/$1.out")"
}

# ---- No renderer switch: Glide, full screen --------------------------------------
start glide "$bin/orrimund"
info=$(xwininfo -id "$wid")
echo "$info" | grep -q 'Width: 1280$' || fail "glide: the window does not cover the screen: $info"
echo "$info" | grep -q 'Height: 1024$' || fail "glide: the window does not cover the screen: $info"
grep -q '^Glide version: ' "$tmp/glide.out" || fail "glide: Glide did not start: $(cat "$tmp/glide.out")"
grep -q 'not available' "$tmp/glide.out" && fail "glide: fell back: $(cat "$tmp/glide.out")"
stop glide

# ---- A library without every entry point: OpenGL in a window ---------------------
mkdir -p "$tmp/prog"
cp "$bin/orrimund" "$tmp/prog/orrimund"
cp "$GLIDE_INCOMPLETE_DIR/libglide2x.so" "$tmp/prog/libglide2x.so"
start fallback "$tmp/prog/orrimund"
grep -q '^Glide: the library has no entry point _grDrawLine@8$' "$tmp/fallback.out" ||
  fail "fallback: the missing entry point is not named: $(cat "$tmp/fallback.out")"
grep -q '^Glide is not available: drawing with OpenGL in a window$' "$tmp/fallback.out" ||
  fail "fallback: no word of the OpenGL fallback: $(cat "$tmp/fallback.out")"
grep -q '^Glide version: ' "$tmp/fallback.out" && fail "fallback: Glide was started: $(cat "$tmp/fallback.out")"
info=$(xwininfo -id "$wid")
echo "$info" | grep -q 'Width: 640$' || fail "fallback: not a 640x480 window: $info"
stop fallback

# ---- A damaged (empty) library: named with the loader's reason, not "not found" ---
: >"$tmp/prog/libglide2x.so"
start damaged "$tmp/prog/orrimund"
grep -q "^Glide: the library glide2x.dll cannot be loaded: .*libglide2x.so" "$tmp/damaged.out" ||
  fail "damaged: the reason is not given: $(cat "$tmp/damaged.out")"
grep -q "not found" "$tmp/damaged.out" && fail "damaged: reported as not found: $(cat "$tmp/damaged.out")"
grep -q '^Glide is not available: drawing with OpenGL in a window$' "$tmp/damaged.out" ||
  fail "damaged: no word of the OpenGL fallback: $(cat "$tmp/damaged.out")"
stop damaged
echo PASS
