#!/usr/bin/env bash
# The catacombs played from the console: the level picker loads the
# synthetic catacombs, whose intro flag is set as it begins (the demo has no
# intro cutscene). Clicks on the two balls use them; with both used the
# skull door, whose trigger lies within reach of the start, sinks open. The
# two right king tombs open the central tomb for the 2000 experience bonus.
# A walk order takes the leader to Carados' trigger, which lets him go; the
# party fights him down, and with the Ring of Light given the ring's flag is
# set. A save from the console holds each flag, read back here from the save
# image's layout.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run

pick_level Catacombs
wait_console "ENDING LOAD OF Catacombs"
sleep 1.5
shot start
xp0=$(ask "creatures" "^Hero Ruvizo " | sed 's/.* xp \([0-9]*\) .*/\1/')

# ---- the balls, then the skull door -------------------------------------------------------
door=$(set -- $(screen_of 0 2 11); echo "4x4+$(($1 - 2))+$(($2 - 2))")
before=$(mean_of "$tmp/start.png" "$door")
click_at -1.5 0.5 4
click_at 1.5 0.5 4
sleep 1
shot door
after=$(mean_of "$tmp/door.png" "$door")
awk -v a="$before" -v b="$after" 'BEGIN { exit !(a - b > 0.05 || b - a > 0.05) }' ||
  fail "the skull door did not open ($before, then $after)"

# ---- the two kings' tombs open the central one, with the bonus -------------------------
click_at -4 0.5 4
click_at 4 0.5 4
xp1=$(ask "creatures" "^Hero Ruvizo " | sed 's/.* xp \([0-9]*\) .*/\1/')
[ $((xp1 - xp0)) -ge 600 ] || fail "no experience for the kings' tombs: $xp0, then $xp1"

# ---- Carados: his trigger, the fight, the ring --------------------------------------------
console "walk_to 0 -11"
wait_console "^Walk order for Ruvizo"
leader_reaches 0 -12 4 || fail "the leader did not reach Carados' trigger: at $(leader_at)"
shot carados
sleep 2
console "party_attack"
wait_console "^Party of [0-9] attacks Carados"
dead=""
for _ in $(seq 1 60); do
  sleep 0.5
  ask creatures "^Creature Carados " | grep -q " dead text" && { dead=1; break; }
done
[ -n "$dead" ] || fail "Carados did not fall: $(grep '^Creature Carados' "$tmp/$name.console" | tail -1)"
sleep 1
console "give_item \"Ring of Light\""
sleep 1.5
shot ring
console "savegame cat"
wait_console 'Saved "cat.sav".'
kill -TERM $pid; wait $pid; pid=""

# ---- the flags in the save ------------------------------------------------------------------
save="$root/savegame/cat.sav"
for f in catacombs_flag_intro_played ball1_used ball2_used maindoor_open CATACOMBS_FLAG_ODRIN_COMMENT main_crypt_open \
  carados_cutscene catacombs_boss_dead got_ring_of_light; do
  [ "$(save_flag "$save" Catacombs "$f")" = 1 ] || fail "$f is not set in the save"
done
# Set only where the party stood, and nobody stood there.
for f in catacombs_flag_statues_comment catacombs_flag_bones_comment; do
  [ "$(save_flag "$save" Catacombs "$f")" = 0 ] || fail "$f is set in the save"
done
echo "PASS"
