# Sourced by the end-to-end scripts: their folders, a failure that also ends
# the game a script started ($pid), the demo world and the bare data tables.
set -u
bin="$ORRIMUND_BIN_DIR"
tmp="$ORRIMUND_TEST_TMP"
pid=""
fail() { echo "FAIL: $*" >&2; [ -n "$pid" ] && kill "$pid" 2>/dev/null; exit 1; }

# Writes the demo world into $1.
write_demo() {
  "$bin/make_demo" "$1" >"$tmp/make_demo.out" 2>&1 || fail "make_demo failed: $(cat "$tmp/make_demo.out")"
}

# Writes the data tables start-up reads into $1.
write_tables() {
  "$bin/make_tables" "$1" >/dev/null || fail "make_tables failed"
}

# A running game on the demo world in $root, driven through a console pipe:
# start_game NAME [ARGS] starts it (the window found, start-up finished) with
# its console log in $tmp/NAME.console; console sends a line; wait_console
# waits for $2 (default 1) lines matching $1 in the log. With START_WIDTH
# set, start_game also waits until the window has that width.
start_game() {
  name=$1; shift
  fifo="$tmp/console.fifo"
  rm -f "$fifo"; mkfifo "$fifo"
  : >"$tmp/$name.console"
  ORRIMUND_ROOT="$root" ORRIMUND_CONSOLE_FIFO="$fifo" ORRIMUND_CONSOLE_LOG="$tmp/$name.console" \
    "$bin/orrimund" -opengl "$@" >"$tmp/$name.out" 2>&1 &
  pid=$!
  wid=""
  local until=$((SECONDS + 90))
  while [ $SECONDS -lt $until ]; do
    kill -0 $pid 2>/dev/null || fail "$name: the program ended: $(cat "$tmp/$name.out")"
    wid=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | head -1)
    if [ -n "$wid" ] && grep -q '^SYSTEM INIT TIME : ' "$tmp/$name.out"; then
      [ -z "${START_WIDTH:-}" ] && break
      xwininfo -id "$wid" 2>/dev/null | grep -q "Width: $START_WIDTH\$" && break
    fi
    sleep 0.1
  done
  [ -n "$wid" ] || fail "$name: no window"
  # The demo's first level opens the tutorial's instructions, which would
  # stand over what the runs click; they are skipped like the lessons.
  echo "Ignore_tutorial on" >"$fifo"
  sleep 1
}
console() { echo "$1" >"$fifo"; }
wait_console() {
  local want=${2:-1}
  for _ in $(seq 1 300); do
    [ "$(grep -c -- "$1" "$tmp/$name.console" 2>/dev/null)" -ge "$want" ] && return 0
    sleep 0.1
  done
  fail "$name: no '$1' in the console log: $(tail -20 "$tmp/$name.console" 2>/dev/null)"
}
