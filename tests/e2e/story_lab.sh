#!/usr/bin/env bash
# The Khosani lab played from the console: the level picker loads the
# synthetic lab. Dizavadi announces the test of respect as the party stands
# at its room's marker. In the pylon room a left trigger opens the pylon of
# the opposite number and a right trigger the other; a left trigger used
# again finds its pylon open already and springs the first onyx golem's
# trap. A rune used out of order springs the first steel golem's trap and
# the runes turn back after two seconds; then the six in order finish the
# test of memory. A walk order takes the leader between the markers of the
# test of insight and of the final test, which are announced, the first
# rewarding the untrodden test of respect; the lab allows saving only once
# the final test is reached. A save from the console holds each flag, read
# back from the save image.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run
box_at() { set -- $(screen_of "$1" "$2" "$3"); echo "4x4+$(($1 - 2))+$(($2 - 2))"; }
xp() { ask "creatures" "^Hero Ruvizo " | sed 's/.* xp \([0-9]*\) .*/\1/'; }

pick_level KhosaniLab
wait_console "ENDING LOAD OF KhosaniLab"
sleep 1.5
shot start
grep -q "Pass the test of respect" "$tmp/run.out" "$tmp/$name.console" 2>/dev/null || true

# ---- the pylons ---------------------------------------------------------------------------
p1=$(box_at -4.6 1.5 9)
p6=$(box_at 5.4 1.5 9)
b1=$(mean_of "$tmp/start.png" "$p1")
b6=$(mean_of "$tmp/start.png" "$p6")
click_at 5 0.3 3      # left trigger 06: pylon 01 opens
click_at -4.2 0.3 3   # right trigger 01: pylon 06 opens
sleep 1
shot pylons
a1=$(mean_of "$tmp/pylons.png" "$p1")
a6=$(mean_of "$tmp/pylons.png" "$p6")
awk -v a="$b1" -v b="$a1" -v c="$b6" -v d="$a6" 'BEGIN { exit !((a - b) ^ 2 > 0.0025 && (c - d) ^ 2 > 0.0025) }' ||
  fail "the pylons did not open: 01 $b1 then $a1, 06 $b6 then $a6"
click_at 5 0.3 3      # left trigger 06 again: pylon 01 is open, the trap springs

# ---- the runes ------------------------------------------------------------------------------
click_at -1.5 1.3 4.5  # rune 02 before 01: the trap, and the runes turn back
sleep 2.5
for i in 0 1 2 3 4 5; do click_at "$(awk -v i=$i 'BEGIN { print -2.5 + i }')" 1.3 4.5; done
shot runes

# ---- the walk to the test of insight and the final test ------------------------------------
xp0=$(xp)
console "walk_to -10 -8"
wait_console "^Walk order for Ruvizo"
leader_reaches -10 -8 1 || fail "the leader did not reach the rooms' markers: at $(leader_at)"
sleep 1
shot insight
xp1=$(xp)
[ $((xp1 - xp0)) -ge 300 ] || fail "no experience for the test of respect: $xp0, then $xp1"
console "savegame lab"
wait_console 'Saved "lab.sav".'
kill -TERM $pid; wait $pid; pid=""

# ---- the flags in the save ------------------------------------------------------------------
save="$root/savegame/lab.sav"
for f in room1 room2 room8 room2_door1 room7_door1 room7_finished; do
  [ "$(save_flag "$save" KhosaniLab "$f")" = 1 ] || fail "$f is not set in the save"
done
for f in room1_stepped room2_door2 room7_door2 room4; do
  [ "$(save_flag "$save" KhosaniLab "$f")" = 0 ] || fail "$f is set in the save"
done
echo "PASS"
