#!/usr/bin/env bash
# The story's world map as a player meets it: the level picker loads the
# synthetic world map, whose script slows and shows only the controlled
# hero; the towns the story allows at the start (Masad and Thalem, not
# Odrin) are labelled, each outside the view with an arrow towards it; "L"
# hides the labels and shows them again. Walking into an encounter is shown
# by the unit tests: heroes do not yet walk in the running game.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run

# ---- worldmap1 from the level picker ----------------------------------------------------
pick_level worldmap1
wait_console "ENDING LOAD OF worldmap1"
sleep 1.5
shot map

console "party_positions"
wait_console "^Level worldmap1, 1 members"

# Masad lies south-east of the start: its white arrow and its label box.
m=$(mean_of "$tmp/map.png" "5x5+491+349")
awk -v m="$m" 'BEGIN { exit !(m > 0.9) }' || fail "no arrow towards Masad ($m)"
m=$(mean_of "$tmp/map.png" "30x8+466+330")
awk -v m="$m" 'BEGIN { exit !(m > 0.2) }' || fail "no Masad label ($m)"
# Odrin is not enabled before the second stage: nothing where it would be.
g=$(mean_of "$tmp/map.png" "60x40+560+20")
awk -v m="$g" 'BEGIN { exit !(m < 0.4) }' || fail "a landmark shown in the north-east ($g)"

# ---- "L" turns the landmarks off and on -------------------------------------------------
xdotool key --window "$wid" l
sleep 0.8
shot off
m=$(mean_of "$tmp/off.png" "5x5+491+349")
awk -v m="$m" 'BEGIN { exit !(m < 0.5) }' || fail "the Masad arrow stays after L ($m)"
xdotool key --window "$wid" l
sleep 0.8
shot on
m=$(mean_of "$tmp/on.png" "5x5+491+349")
awk -v m="$m" 'BEGIN { exit !(m > 0.9) }' || fail "the Masad arrow does not come back ($m)"

kill -TERM $pid; wait $pid; pid=""
echo "PASS"
