#!/usr/bin/env bash
# What a save keeps of the party beyond its places: a new game with the
# whole party, a Curse started on the controlled hero, a save
# from the console; a second run loads it and every member's hit points,
# statuses and equipment read back as they were saved.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
stop() { kill -TERM $pid; wait $pid; pid=""; }
states() { grep '^State ' "$tmp/$name.console" | tail -n "$1"; }

start_game first
new_game_full_party
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

start_game second
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
