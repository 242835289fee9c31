#!/usr/bin/env bash
# What Orla was told survives a saved game. In the "test" level (a row of
# the level table) asking her about the well makes the rain one of her
# opening topics and the well none; the game is saved and quit. A second
# run loads the save and talks to her again: the rain is offered from the
# start and the well no longer, as the rules say after that answer (a new
# game offers the well and not the rain). The camera takes the
# conversation's view while they talk.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
stop() { kill -TERM $pid; wait $pid; pid=""; }
# "test" sorts last but one, before worldmap1.
open_test_level() {
  open_level_at 15 test
  sleep 1.5
}

# ---- a new game: the well is offered, the rain is not ---------------------------------
start_game first
open_test_level
before=$(ask camera_view "^Camera at ")
talk_to Orla 1
import -window "$wid" "$tmp/greeting.png"
read_on
# The camera has taken the conversation's view, beside the two of them.
during=$(ask camera_view "^Camera at ")
set -- $before $during
awk -v a="$3" -v b="$4" -v c="$5" -v x="$10" -v y="$11" -v z="$12" \
  'BEGIN { exit !(sqrt((a - x)^2 + (b - y)^2 + (c - z)^2) > 1) }' ||
  fail "the camera kept its view in the conversation: $before / $during"
list=$(offered)
echo "$list" | grep -q '^Choice The well at' || fail "the well is not offered: $list"
echo "$list" | grep -q '^Choice The rain at' && fail "the rain is offered before her answer: $list"
click_line "Choice The well"
read_on
list=$(offered)
echo "$list" | grep -q '^Choice The rain at' || fail "her answer did not offer the rain: $list"
import -window "$wid" "$tmp/answer.png"
click_line 'Choice "Farewell."'
ask text_box "^Text box state" | grep -q "^Text box state 0" || fail "the farewell did not close the box"
sleep 1
console "savegame c1"
wait_console 'Saved "c1.sav".'
[ -s "$root/savegame/c1.sav" ] || fail "no save file written"
stop

# ---- the save loaded: the rain opens the talk, the well is gone -------------------------
start_game second
console "loadgame c1"
wait_console "ENDING LOAD OF test"
sleep 1.5
talk_to Orla 1
read_on
list=$(offered)
echo "$list" | grep -q '^Choice The rain at' || fail "the loaded game does not offer the rain: $list"
echo "$list" | grep -q '^Choice The well at' && fail "the loaded game still offers the well: $list"
import -window "$wid" "$tmp/loaded.png"
stop
echo "PASS"
