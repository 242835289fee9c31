#!/usr/bin/env bash
# The world map's encounters and Masad's tutorial, as a player meets them.
# On the synthetic world map the leader walks back and forth by console
# orders; a roll every ten seconds after the first twenty brings
# "Encounter!" and its level; that level's exit (Yes to its question) leads
# back to the map where the encounter came. On Masad the intro runs once as
# the level begins and its exit to the map stays shut while the barbarian
# lives; nearing Nath gathers the villagers (their order to label 2), the
# barbarian's trigger lets him go, the hero clicks him and fights him down,
# and then the same exit leads to the map's second entry.
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
# The walk keeps to the east, nearest the grass marker, whose encounter
# levels all have their way back at the same place (the forest's may pick
# rand-forest01, the new game's own level, which has none there).
for leg in $(seq 1 30); do
  if [ $((leg % 2)) = 1 ]; then console "walk_to 12 8"; else console "walk_to 12 -8"; fi
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
# The first roll comes 20 s after the map's start, then one every 10 s.
# This run's clock begins when it has seen the map loaded, which a loaded
# machine may do seconds late, so only a roll well before the first fails.
[ $took -ge 10 ] || fail "an encounter after $took s, before the first roll"
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
creature_at() { ask creatures "^Creature $1 " | awk '{ for (i = 3; i < NF; i++) if ($i == "at") { print $(i + 1), $(i + 3); exit } }'; }
pick_level masad
wait_console "ENDING LOAD OF masad"
sleep 2
near "$(creature_at Nath)" 8 12 1 || fail "Nath is not at his place: $(creature_at Nath)"
console "walk_to 14 0"
leader_near 14 0 2 30 || fail "the leader did not reach Masad's exit: at $(leader)"
sleep 3
grep -c "ENDING LOAD OF worldmap1" "$tmp/$name.console" | grep -qx 2 || fail "Masad's exit opened before the barbarian fell"
shot masad-shut
[ "$(grep -c 'Game-Pre-Intro' "$tmp/$name.console")" -le 1 ] || fail "Masad's intro ran more than once"

# ---- the villagers gather as the hero nears Nath, who talks -------------------------------
console "walk_to 4 4"
leader_near 4 4 1.5 30 || fail "the leader did not reach Nath: at $(leader)"
wait_console "^Conversation with Nath"
gathered=""
for _ in $(seq 1 30); do
  near "$(creature_at Nath)" 3 8 1.5 && near "$(creature_at Uvala)" 7 8 1.5 && { gathered=1; break; }
  sleep 0.5
done
[ -n "$gathered" ] || fail "the villagers did not gather: Nath at $(creature_at Nath), Uvala at $(creature_at Uvala)"
shot masad-gathered

# ---- the barbarian: his intro lets him go, the hero fights him down -----------------------
console "walk_to 8 -6"
leader_near 8 -6 2 30 || fail "the leader did not reach the barbarian's trigger: at $(leader)"
barbarian="Barbarian Fighter#\$npc037"
# The hero may stand between the camera and the barbarian, and the click
# then falls on the hero: he steps aside and the player clicks again.
attacking=""
for _ in 1 2 3 4; do
  set -- $(creature_at "$barbarian")
  click_at "$1" 0.5 "$2"
  ask creatures "^Hero Ruvizo " | grep -q " target -1 " || { attacking=1; break; }
  console "walk_to $(awk -v x="$1" 'BEGIN { print x - 2.5 }') $2"
  sleep 2
done
[ -n "$attacking" ] || fail "no click on the barbarian ordered an attack: $(ask creatures "^Hero Ruvizo ")"
shot masad-fight
down=""
for _ in $(seq 1 120); do
  ask creatures "^Creature $barbarian " | grep -q " dead text" && { down=1; break; }
  ask creatures "^Hero Ruvizo " | grep -q " dead text" && fail "the hero fell to the barbarian"
  sleep 0.5
done
[ -n "$down" ] || fail "the barbarian did not fall: $(ask creatures "^Creature $barbarian ")"
shot masad-won

# ---- now the exit leads to the map, at its second entry -----------------------------------
console "walk_to 14 0"
wait_console "ENDING LOAD OF worldmap1" 3
sleep 1
near "$(leader)" 4 4 2.5 || fail "Masad's way out did not bring the party to the map's second entry: at $(leader)"
shot masad-left
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
