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
shot() { import -window "$wid" "$tmp/$1.png" || fail "no picture for $1"; }
# Clicks the watchman where he stands now (the AI's dump has his place),
# and waits for the text box. He may be walking his rounds, and a click
# can come while the pick under the mouse is still the old one: one that
# opens nothing is tried again.
talk() {
  local at times=$1
  for _ in 1 2 3 4 5 6; do
    at=$(ask ai_dump "^Watchman at ")
    set -- $at
    set -- $(screen_of "$3" "$(awk -v y="$4" 'BEGIN { print y + 0.9 }')" "${5%:}")
    xdotool mousemove --window "$wid" "$1" "$2"
    sleep 0.5
    xdotool click --window "$wid" 1
    for _ in $(seq 1 20); do
      [ "$(grep -c "^Conversation with Watchman" "$tmp/$name.console")" -ge "$times" ] && { sleep 1; return 0; }
      sleep 0.1
    done
  done
  fail "$name: no conversation with the watchman: $(tail -5 "$tmp/$name.console")"
}
# Clicks the text box's line named $1 ("Link more", "Choice The road east").
click_line() {
  local line
  line=$(ask text_box "^$1 at ")
  set -- ${line##* at }
  xdotool mousemove --window "$wid" "$1" "$2"
  sleep 0.3
  xdotool click --window "$wid" 1
  sleep 1
}
# "more" until the choices show (a long answer takes pages).
read_on() {
  for _ in 1 2 3 4; do
    click_line "Link more"
    ask text_box "^Text box state" | grep -q "^Text box state 3" && return 0
  done
  fail "the choices never showed: $(tail -3 "$tmp/$name.console")"
}
offered() { ask text_box "^Text box state" >/dev/null; sed -n '/^Text box state/h; /^Text box state/!H; ${x;p}' "$tmp/$name.console" | grep '^Choice '; }

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
talk 1
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
for _ in $(seq 1 30); do
  sleep 0.5
  set -- $(ask party_positions "^Member 0: ")
  awk -v x="$5" -v z="$7" 'BEGIN { exit !(sqrt((x - 0.5)^2 + (z - 3)^2) < 0.8) }' && break
done
sleep 1
talk 2
read_on
list=$(offered)
echo "$list" | grep -q '^Choice The road east at' || fail "the road east is not offered the second time: $list"
echo "$list" | grep -q '^Choice The old gate at' && fail "the old gate (added, not initial) is offered again: $list"
shot again
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
