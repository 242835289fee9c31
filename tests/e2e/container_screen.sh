#!/usr/bin/env bash
# The container screen at 640x480 over a new game: a bag of five tonics and
# twenty gold (dropped and opened through the developer console, as no demo
# chest stands in the level yet) shows both rows marked; the tick takes all:
# "5 items picked up", the purse grows by 20, the bag is gone. A bag whose
# only row is unmarked by a click stays as it was after the tick, without a
# message.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
bag() {
  console "drop_bag $1"
  wait_console "Dropped bag" "$2"
  grep -o "Dropped bag [0-9]*" "$tmp/$name.console" | tail -1 | awk '{print $3}'
}

start_game bags
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
# What the new game holds before the bag.
console "party_items"
wait_console "^Inventory [0-9]* items"
tonics=$(grep -o "Health Tonic x[0-9]*" "$tmp/$name.console" | tail -1 | sed 's/.*x//')
gold=$(grep -o "^Inventory [0-9]* items, [0-9]* gold" "$tmp/$name.console" | tail -1 | sed 's/.*items, //; s/ gold//')
h=$(bag '"Health Tonic" 5 20' 1)
console "open_bag $h"
sleep 0.8
shot bag
m=$(mean_of "$tmp/bag.png" "100x20+260+138")
awk -v m="$m" 'BEGIN { exit !(m > 0.1) }' || fail "no container panel ($m)"
m=$(mean_of "$tmp/bag.png" "10x24+192+184")
awk -v m="$m" 'BEGIN { exit !(m > 0.3) }' || fail "the rows are not marked ($m)"
xdotool mousemove --window "$wid" 438 313 sleep 0.3 click 1
sleep 0.5
shot taken
console "party_items"
wait_console "^Inventory [0-9]* items" 2
grep -q "^Inventory [0-9]* items, $((gold + 20)) gold" "$tmp/$name.console" || fail "the purse did not grow by 20: $(grep '^Inventory' "$tmp/$name.console")"
grep -q "Health Tonic x$((${tonics:-0} + 5))" "$tmp/$name.console" || fail "the five tonics did not join the bag"
m=$(mean_of "$tmp/taken.png" "140x12+250+10")
awk -v m="$m" 'BEGIN { exit !(m > 0.05) }' || fail "no pick-up message ($m)"
console "open_bag $h"
wait_console "No container $h"

h2=$(bag '"Ring of Jade" 1' 2)
console "open_bag $h2"
sleep 0.8
xdotool mousemove --window "$wid" 250 190 sleep 0.3 click 1 sleep 0.4
shot unmarked
xdotool mousemove --window "$wid" 438 313 sleep 0.3 click 1
sleep 0.5
before=$(grep -c "Ring of Jade x" "$tmp/$name.console")
console "party_items"
wait_console "^Inventory [0-9]* items" 3
[ "$(grep -c "Ring of Jade x" "$tmp/$name.console")" = "$before" ] || fail "an unmarked ring was taken"
console "open_bag $h2"
sleep 0.5
grep -q "No container $h2" "$tmp/$name.console" && fail "the untouched bag was removed"
shot still
m=$(mean_of "$tmp/still.png" "100x20+260+138")
awk -v m="$m" 'BEGIN { exit !(m > 0.1) }' || fail "the untouched bag does not open again ($m)"
kill $pid; wait $pid 2>/dev/null; pid=""
