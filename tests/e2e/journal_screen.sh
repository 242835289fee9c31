#!/usr/bin/env bash
# The quest journal at 640x480 over a new game: with no quest active Q shows
# two empty lists; after a main and a side quest become active (through the
# developer console) Q lists the main one on the left and the side one on
# the right; a click selects it; Escape returns to the game.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
bright() { convert "$1" -crop "$2" -format '%[fx:maxima.r]' info:; }

start_game quests
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
xdotool key --window "$wid" q
sleep 0.8
shot empty
b=$(bright "$tmp/empty.png" "250x60+30+100")
awk -v b="$b" 'BEGIN { exit !(b < 0.2) }' || fail "an empty journal lists something ($b)"
xdotool key --window "$wid" Escape
sleep 0.5
console 'quest_journal "The Lost Rings" 1'
console 'quest_journal "Grate of the Sewers" 1'
wait_console "Quest Grate of the Sewers is active"
xdotool key --window "$wid" q
sleep 0.8
shot listed
b=$(bright "$tmp/listed.png" "250x14+30+100")
awk -v b="$b" 'BEGIN { exit !(b > 0.5) }' || fail "the main quest is not listed ($b)"
b=$(bright "$tmp/listed.png" "250x14+354+100")
awk -v b="$b" 'BEGIN { exit !(b > 0.5) }' || fail "the side quest is not listed ($b)"
xdotool mousemove --window "$wid" 80 106 sleep 0.3 click 1
sleep 0.4
shot selected
xdotool key --window "$wid" Escape
sleep 0.5
shot back
b=$(bright "$tmp/back.png" "250x14+30+100")
cmp -s "$tmp/back.png" "$tmp/listed.png" && fail "Escape did not close the journal"
kill $pid; wait $pid 2>/dev/null; pid=""
