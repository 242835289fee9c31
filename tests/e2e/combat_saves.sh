#!/usr/bin/env bash
# What a save keeps of the party beyond its places: a new game with the
# whole party, a Curse started on the controlled hero, a save
# from the console; a second run loads it and every member's hit points,
# statuses and equipment read back as they were saved.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
fifo="$tmp/console.fifo"

start() {
  name=$1; shift
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
    [ -n "$wid" ] && grep -q '^SYSTEM INIT TIME : ' "$tmp/$name.out" && break
    sleep 0.1
  done
  [ -n "$wid" ] || fail "$name: no window"
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
stop() { kill -TERM $pid; wait $pid; pid=""; }
states() { grep '^State ' "$tmp/$name.console" | tail -n "$1"; }

start first
console "full_party 1"
wait_console "[Ff]ull_party is TRUE"
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
console "member_status 3 600000"
wait_console "^Status 3 on "
console "member_state"
wait_console "^States of 4 members"
states 4 >"$tmp/first.states"
grep -q "statuses 3 equipment" "$tmp/first.states" || fail "no Curse on the controlled hero: $(cat "$tmp/first.states")"
grep -q "equipment 5:" "$tmp/first.states" || fail "no weapon in slot 5: $(cat "$tmp/first.states")"
console "savegame c1"
wait_console 'Saved "c1.sav".'
stop

start second
console "loadgame c1"
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
console "member_state"
wait_console "^States of 4 members"
states 4 >"$tmp/second.states"
diff "$tmp/first.states" "$tmp/second.states" >/dev/null ||
  fail "the party's points, statuses or equipment changed: $(cat "$tmp/first.states") / $(cat "$tmp/second.states")"
import -window "$wid" "$tmp/loaded.png"
stop
echo "PASS"
