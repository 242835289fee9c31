#!/usr/bin/env bash
# The chest behind the new game's start, as a player finds it at 640x480:
# the camera turned until the chest shows, the leader walked up to it by a
# click on the ground, a click on the chest opens the container screen with
# its three items marked (50 gold, two tonics, a ring); the tick takes all
# ("3 items picked up"), the gold is counted and the chest is gone. A save
# made after that brings back neither the chest nor the loss of its items; a
# save made before the chest was opened brings it back whole.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
chest_x=3.0 chest_z=-2.5
stop() { kill -TERM $pid; wait $pid; pid=""; }
items() {
  console "party_items"
  wait_console "^Inventory [0-9]* items" "$1"
  # The item lines printed just before the last count.
  awk '/^Item / { buf = buf $0 "\n" } /^Inventory [0-9]* items/ { last = buf; buf = "" } END { printf "%s", last }' \
    "$tmp/$name.console" >"$tmp/$2.items"
  grep "^Inventory [0-9]* items" "$tmp/$name.console" | tail -1 | sed 's/.*items, //; s/ gold//'
}
held() { grep -o "$1 x[0-9]*" "$tmp/$2.items" | head -1 | sed 's/.*x//'; }
bags() { ask bags "^[0-9]* bags$" | awk '{ print $1 }'; }

start_game chest
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
[ "$(bags)" = 1 ] || fail "no chest in the new game's level: $(grep '^Bag at' "$tmp/$name.console")"
grep -q "^Bag at $chest_x.* $chest_z.* holds 3$" "$tmp/$name.console" ||
  fail "the chest does not stand at its place with three items: $(grep '^Bag at' "$tmp/$name.console")"
gold0=$(items 1 start)
tonics0=$(held "Health Tonic" start)
console "savegame before"
wait_console 'Saved "before.sav".'

# ---- the camera turned round until the chest shows, behind the start -----------------
seen=""
for _ in $(seq 1 16); do
  set -- $(screen_of "$chest_x" 0 "$chest_z" behind)
  if [ "$1" != behind ] && [ "$1" -gt 160 ] && [ "$1" -lt 480 ] && [ "$2" -gt 120 ] && [ "$2" -lt 440 ]; then
    seen=1
    break
  fi
  xdotool keydown Left; sleep 0.4; xdotool keyup Left
  sleep 0.4
done
[ -n "$seen" ] || fail "the turning camera never showed the chest"
# ---- walked up to it: a click on the ground before it ---------------------------------
# The camera may still swing a little after the key: a click that sent the
# leader elsewhere is made again from where the camera then stands.
sleep 1
walked=""
for _ in 1 2 3; do
  click_at 2.2 0 -1.4
  if leader_reaches 2.2 -1.4 1.0 16; then walked=1; break; fi
done
[ -n "$walked" ] || fail "the leader did not walk up to the chest: at $(leader_at)"
sleep 1
# The mouse out of the way, over the sky, for the pictures compared below.
xdotool mousemove --window "$wid" 600 40
sleep 0.5
shot near-chest
set -- $(ask party_positions "^Member 0: "); hy=$6
set -- $(screen_of "$chest_x" "$(awk -v y="$hy" 'BEGIN { print y + 0.3 }')" "$chest_z"); cx=$1; cy=$2
found=""
for d in "0 0" "0 -6" "0 6" "-6 0" "6 0" "0 -12" "-6 -6" "6 -6" "0 12" "-12 0" "12 0"; do
  set -- $d
  xdotool mousemove --window "$wid" $((cx + $1)) $((cy + $2))
  sleep 0.4
  if ask pick_state "^Pick code " | grep -q "^Pick code 7 .* cursor target"; then found=1; break; fi
done
[ -n "$found" ] || fail "no chest under the mouse near ($cx, $cy): $(tail -3 "$tmp/$name.console")"
shot over-chest
xdotool click --window "$wid" 1
sleep 1
shot chest-open
m=$(mean_of "$tmp/chest-open.png" "100x20+260+138")
awk -v m="$m" 'BEGIN { exit !(m > 0.1) }' || fail "no container screen ($m)"
# Three rows, all marked.
for row in 0 1 2; do
  m=$(mean_of "$tmp/chest-open.png" "8x8+193+$((186 + 14 * row))")
  awk -v m="$m" 'BEGIN { exit !(m > 0.3) }' || fail "row $row is not marked ($m)"
done
xdotool mousemove --window "$wid" 438 313 sleep 0.3 click 1
sleep 0.5
shot taken
m=$(mean_of "$tmp/taken.png" "140x12+250+10")
awk -v m="$m" 'BEGIN { exit !(m > 0.05) }' || fail "no pick-up message ($m)"
gold1=$(items 2 taken)
[ "$gold1" = $((gold0 + 50)) ] || fail "the gold went from $gold0 to $gold1, not 50 more"
[ "$(held "Health Tonic" taken)" = $((${tonics0:-0} + 2)) ] || fail "the two tonics did not join: $(cat "$tmp/taken.items")"
[ "$(held "Ring of Forest" taken)" = 1 ] || fail "no ring: $(cat "$tmp/taken.items")"
[ "$(bags)" = 0 ] || fail "the emptied chest is still there: $(grep '^Bag at' "$tmp/$name.console" | tail -2)"
xdotool mousemove --window "$wid" 600 40
sleep 0.5
shot chest-gone
# On screen: where the chest stood before the leader, ground now (pixels
# that changed around its place).
region="40x48+$((cx - 20))+$((cy - 40))"
convert "$tmp/near-chest.png" -crop "$region" +repage "$tmp/a.png"
convert "$tmp/chest-gone.png" -crop "$region" +repage "$tmp/b.png"
n=$(compare -metric AE -fuzz 10% "$tmp/a.png" "$tmp/b.png" null: 2>&1 | cut -d' ' -f1)
[ "${n%.*}" -gt 60 ] || fail "the chest still shows where it stood ($n pixels changed)"
console "savegame after"
wait_console 'Saved "after.sav".'
stop

# ---- the save after: no chest, the items held ------------------------------------------
start_game after
console "loadgame after"
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
[ "$(bags)" = 0 ] || fail "the chest came back after the load: $(grep '^Bag at' "$tmp/$name.console")"
[ "$(items 1 loaded)" = "$gold1" ] || fail "the loaded gold is not $gold1: $(grep '^Inventory' "$tmp/$name.console")"
[ "$(held "Ring of Forest" loaded)" = 1 ] || fail "the ring did not stay: $(cat "$tmp/loaded.items")"
shot loaded
# ---- the save before, loaded over the running game: the chest whole again --------------
console "loadgame before"
wait_console "ENDING LOAD OF rand-forest01" 2
sleep 1
[ "$(bags)" = 1 ] || fail "the save made before the chest was opened has no chest"
grep "^Bag at" "$tmp/$name.console" | tail -1 | grep -q "holds 3$" || fail "the chest is not whole: $(grep '^Bag at' "$tmp/$name.console" | tail -1)"
[ "$(items 2 before)" = "$gold0" ] || fail "the earlier save's gold is not $gold0"
stop
echo "PASS"
