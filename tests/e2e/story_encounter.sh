#!/usr/bin/env bash
# The world map's encounters and Masad's tutorial, as a player meets them.
# On the synthetic world map the leader walks back and forth by console
# orders; a roll every ten seconds after the first twenty brings
# "Encounter!" and its level; that level's exit (Yes to its question) leads
# back to the map where the encounter came. On Masad the intro runs once as
# the level begins and its exit to the map stays shut while the barbarian
# lives (the fight that opens it is the scenario tests').
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run
leader() { ask party_positions "^Member 0: " | awk '{ print $5, $7 }'; }
near() { awk -v p="$1" -v x="$2" -v z="$3" -v r="$4" 'BEGIN { split(p, a, " "); exit !((a[1] - x) ^ 2 + (a[2] - z) ^ 2 < r * r) }'; }

# ---- walking on the map until an encounter ---------------------------------------------
pick_level worldmap1
wait_console "ENDING LOAD OF worldmap1"
sleep 1
start=$SECONDS
for leg in $(seq 1 30); do
  if [ $((leg % 2)) = 1 ]; then console "walk_to 12 12"; else console "walk_to -12 -12"; fi
  for _ in $(seq 1 10); do
    grep -q "^loading " "$tmp/$name.console" && break 2
    leader >/dev/null
    sleep 0.5
  done
done
grep -q "^loading " "$tmp/$name.console" || fail "no encounter in $((SECONDS - start)) s of walking"
took=$((SECONDS - start))
# Where the leader stood at the last look before the encounter.
last=$(awk '/^loading / { exit } /^Member 0: / { p = $5 " " $7 } END { print p }' "$tmp/$name.console")
shot encounter
level=$(grep "^loading " "$tmp/$name.console" | head -1 | awk '{ print $2 }')
# The first roll comes 20 s after the map's start (a little before this
# run's clock began), then one every 10 s.
[ $took -ge 15 ] || fail "an encounter after $took s, before the first roll"
wait_console "ENDING LOAD OF $level"
sleep 1
shot "$level"

# ---- its exit leads back to the map, where the encounter came ---------------------------
console "walk_to 8 0"
for _ in $(seq 1 20); do near "$(leader)" 8 0 1.6 && break; sleep 0.5; done
sleep 1
shot question
# The "New Area" question in the middle of the view: Yes, its first button.
pw=293; ph=165; px=$(( (640 - pw) / 2 )); py=$(( (480 - ph) / 2 ))
xdotool mousemove --window "$wid" $(( px + pw / 3 )) $(( py + 141 )) sleep 0.3 click 1
wait_console "ENDING LOAD OF worldmap1" 2
sleep 1
back=$(leader)
near "$back" ${last} 4 || fail "back on the map at $back, the encounter came near $last"
shot back

# ---- Masad: the intro once, the exit shut while the barbarian lives ----------------------
pick_level masad
wait_console "ENDING LOAD OF masad"
sleep 2
console "walk_to 14 0"
sleep 8
grep -c "ENDING LOAD OF worldmap1" "$tmp/$name.console" | grep -qx 2 || fail "Masad's exit opened before the barbarian fell"
near "$(leader)" 14 0 2 || fail "the leader did not reach Masad's exit: at $(leader)"
shot masad-shut
[ "$(grep -c 'Game-Pre-Intro' "$tmp/$name.console")" -le 1 ] || fail "Masad's intro ran more than once"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
