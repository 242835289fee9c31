#!/usr/bin/env bash
# A conversation as a player meets it in demo_outdoor: the leader walked
# near the watchman, a click on the watchman opens the conversation text box with his greeting; "more" shows
# the topics on offer; picking "The road east" shows his answer and offers
# "The old gate"; after the farewell, talking to him again offers "The road
# east" from the start, as his greeting made it one of his opening topics.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run
# ---- demo_outdoor from the level picker (the second level in name order) ------------
open_demo_outdoor
# The leader walks toward the watchman (a click on the ground before him)
# until he is within talking reach.
set -- $(screen_of 0.5 0 3)
xdotool mousemove --window "$wid" "$1" "$2" click 1
leader_near -3 7 5.8 30 ||
  fail "the leader did not come near the watchman: $(grep '^Member 0' "$tmp/$name.console" | tail -1)"
sleep 1

# ---- the first conversation -----------------------------------------------------------
talk_to Watchman 1
shot greeting
read_on
shot choices
list=$(offered)
echo "$list" | grep -q '^Choice The road east at' || fail "the road east is not offered: $list"
echo "$list" | grep -q '^Choice "Farewell." at' || fail "no farewell: $list"
click_line "Choice The road east"
shot answer
read_on
list=$(offered)
echo "$list" | grep -q '^Choice The old gate at' || fail "the answer did not add the old gate: $list"
echo "$list" | grep -q '^Choice The road east at' && fail "the road east is still offered after its answer: $list"
click_line 'Choice "Farewell."'
ask text_box "^Text box state" | grep -q "^Text box state 0" || fail "the farewell did not close the box"

# ---- talking again: the road east is one of his opening topics now ---------------------
# The talk brought the leader up to the watchman, where he hides him from the
# camera: he steps back to where he stood before (ordered from the console,
# as the camera now looks from wherever the talk left it).
console "walk_to 0.5 3"
leader_reaches 0.5 3 0.8 30 || true
sleep 1
talk_to Watchman 2
read_on
list=$(offered)
echo "$list" | grep -q '^Choice The road east at' || fail "the road east is not offered the second time: $list"
echo "$list" | grep -q '^Choice The old gate at' && fail "the old gate (added, not initial) is offered again: $list"
shot again
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
