#!/usr/bin/env bash
# The buy and sell screen at 640x480 with the demo's shopkeeper, the
# Watchman of demo_outdoor (reached through the developer level picker): the
# leader walks up to him, a click opens the conversation, and his "Trade"
# topic ends it at his shop. Buying a Health Tonic (its model shown) costs its value, 25; the
# mode arrow turns to selling, and a tonic sells for 70 % of its value, 17.
# The purse and the bag follow.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
purse() {
  console "party_items"
  wait_console "Inventory [0-9]* items" "$1"
  grep -o "Inventory [0-9]* items, [0-9]* gold" "$tmp/$name.console" | tail -1 | sed 's/.*items, //; s/ gold//'
}
tonics() { grep -o "Health Tonic x[0-9]*" "$tmp/$name.console" | tail -1 | sed 's/.*x//'; }
value=25
sells_for=$((value * 7 / 10))

start_game shop
pick_level demo_outdoor
wait_console "ENDING LOAD OF demo_outdoor"
sleep 1
console "add_gold 100"
g0=$(purse 1)
t0=$(tonics)
# The leader walks toward the watchman (a click on the ground before him)
# until he is within talking reach, and asks to trade.
set -- $(screen_of 0.5 0 3)
xdotool mousemove --window "$wid" "$1" "$2" click 1
leader_near -3 7 5.8 30 ||
  fail "the leader did not come near the watchman: $(grep '^Member 0' "$tmp/$name.console" | tail -1)"
sleep 1
talk_to Watchman 1
read_on
list=$(offered)
echo "$list" | grep -q '^Choice Trade at' || fail "the watchman offers no trade: $list"
click_line "Choice Trade"
wait_console "^Trade with Watchman"
sleep 1
shot shop
ask text_box "^Text box state" | grep -q "^Text box state 0" || fail "the conversation did not end at the shop"
# The first row (Health Tonic), then Buy.
xdotool mousemove --window "$wid" 100 119 sleep 0.3 click 1 sleep 0.3 mousemove --window "$wid" 455 365 sleep 0.3 click 1
sleep 0.5
shot bought
# The selected tonic's red model turns in the view.
r=$(redness_of "$tmp/bought.png" "200x160+390+90")
awk -v r="$r" 'BEGIN { exit !(r > 0.1) }' || fail "no model of the selected tonic ($r)"
g1=$(purse 2)
[ "$g1" = $((g0 - value)) ] || fail "buying cost $((g0 - g1)), not $value"
[ "$(tonics)" = $((${t0:-0} + 1)) ] || fail "the bought tonic is not in the bag"
# The mode arrow: selling; the held tonics are the list's row.
xdotool mousemove --window "$wid" 325 70 sleep 0.3 click 1
sleep 0.4
xdotool mousemove --window "$wid" 100 119 sleep 0.3 click 1 sleep 0.3 mousemove --window "$wid" 455 365 sleep 0.3 click 1
sleep 0.5
shot sold
g2=$(purse 3)
[ "$g2" = $((g1 + sells_for)) ] || fail "selling paid $((g2 - g1)), not $sells_for"
[ "$(tonics)" = "${t0:-0}" ] || fail "the sold tonic is still in the bag"
xdotool key --window "$wid" Escape
sleep 0.5
kill $pid; wait $pid 2>/dev/null; pid=""
