#!/usr/bin/env bash
# The outdoor demo level's scripts as a player meets them: the level is
# loaded through the developer level picker, the party stands at the
# level's start navpoints and the watchman stands at his first navpoint,
# his walk to the second one ordered (his place and action sampled from the
# console). The AI does not yet carry out walk orders in the running game,
# so the patrol itself and the walk into the exit are shown by the unit
# tests, not here.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
fifo="$tmp/console.fifo"
name=run
rm -f "$fifo"; mkfifo "$fifo"
: >"$tmp/$name.console"
ORRIMUND_ROOT="$root" ORRIMUND_CONSOLE_FIFO="$fifo" ORRIMUND_CONSOLE_LOG="$tmp/$name.console" \
  "$bin/orrimund" -opengl >"$tmp/$name.out" 2>&1 &
pid=$!
wid=""
until=$((SECONDS + 90))
while [ $SECONDS -lt $until ]; do
  kill -0 $pid 2>/dev/null || fail "the program ended: $(cat "$tmp/$name.out")"
  wid=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | head -1)
  [ -n "$wid" ] && grep -q '^SYSTEM INIT TIME : ' "$tmp/$name.out" && break
  sleep 0.1
done
[ -n "$wid" ] || fail "no window"
sleep 1
console() { echo "$1" >"$fifo"; }
wait_console() {
  local want=${2:-1}
  for _ in $(seq 1 300); do
    [ "$(grep -c -- "$1" "$tmp/$name.console" 2>/dev/null)" -ge "$want" ] && return 0
    sleep 0.1
  done
  fail "no '$1' in the console log: $(tail -20 "$tmp/$name.console" 2>/dev/null)"
}
shot() { import -window "$wid" "$tmp/$1.png" || fail "no picture for $1"; }

# ---- demo_outdoor from the level picker (the second level in name order) ------------
console "level_picker"
sleep 1.5
shot picker
xdotool mousemove --window "$wid" 230 78 click 1
sleep 0.3
xdotool key --window "$wid" Down
sleep 0.3
xdotool key --window "$wid" Return
wait_console "ENDING LOAD OF demo_outdoor"
sleep 1
shot outdoor

console "party_positions"
wait_console "^Level demo_outdoor, 1 members"
grep -q '^Member 0: Ruvizo at 0.000 0.000 0.000 ' "$tmp/$name.console" ||
  fail "the leader is not at the first start navpoint: $(grep '^Member' "$tmp/$name.console")"

# ---- the watchman at his post, his walk begun ------------------------------------------
console "script_characters"
wait_console "^Script character Watchman at -3.000 0.000 7.000 action 1 walk to$"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
