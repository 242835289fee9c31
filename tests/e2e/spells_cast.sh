#!/usr/bin/env bash
# Spells cast in the running game, ordered as the hot keys order them (the
# console's cast): the hero turns to the nearest grub, plays its cast move
# and at the move's release point a fireball leaves its hand and flies to
# the grub (a screenshot of it in flight), whose hit points then fall; the
# curse spreads as a ring of light on the ground round the hero (a
# screenshot of the ring); a heal shows its effect on the hero; a golem
# summoned joins the party and shows beside the hero on the HUD.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game spells
log="$tmp/spells.console"
# Asks for the effects in play until one matches; false after six seconds.
wait_effect() {
  for _ in $(seq 1 60); do
    console "effects"
    sleep 0.1
    grep -q "^Effect $1 " "$log" && return 0
  done
  return 1
}
# The tutorial's lessons would hold the game behind their popups.
console "Ignore_tutorial 1"
wait_console "[Ii]gnore_tutorial is TRUE"
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
# The training road's four instructions, one after another: OK on each.
for _ in 1 2 3 4; do
  xdotool mousemove --window "$wid" 320 296 sleep 0.3 click 1
  sleep 0.5
done
console "load_mlayout rand-forest01"
console "hit_points"
wait_console "^Hit points of "
xdotool key --window "$wid" space  # the layout load paused the game
sleep 1
grep '^HP Grub' "$log" >"$tmp/before" || fail "no grubs: $(cat "$log")"

# ---- the fireball: from the hand at the release point to the grub ---------------------
: >"$log"
console "cast 24"
wait_console " casts Fireball at Grub"
grub=$(sed -n 's/.* casts Fireball at \(Grub#[0-9]*\)$/\1/p' "$log")
wait_effect "fire-hit.vfx kind 4" || fail "no fireball flew: $(tail -20 "$log")"
import -window "$wid" "$tmp/fireball.png"
grep "^Effect fire-hit.vfx kind 4 " "$log" | tail -1 >"$tmp/flight"
sleep 3
: >"$log"
console "hit_points"
wait_console "^Hit points of "
before=$(grep "^HP $grub " "$tmp/before" | awk '{print $3}')
after=$(grep "^HP $grub " "$log" | awk '{print $3}')
[ -n "$before" ] || fail "no hit points of $grub before"
if [ -n "$after" ]; then
  awk -v a="$after" -v b="$before" 'BEGIN { exit !(a < b) }' || fail "$grub still has $after of $before hit points"
fi

# ---- the curse: a ring on the ground round the hero ---------------------------------------
: >"$log"
console "cast 23"
wait_console " casts Curse at "
wait_effect "curse-ring.vfx kind 11" || fail "no ring: $(tail -20 "$log")"
import -window "$wid" "$tmp/ring.png"

# ---- the heal on the hero itself --------------------------------------------------------
: >"$log"
console "cast 0"
wait_console " casts Heal at "
wait_effect "heal-hit.vfx kind 2" || fail "no heal effect: $(tail -20 "$log")"

# ---- a golem summoned joins the party: a second portrait on the HUD ---------------------
: >"$log"
console "summon golem"
sleep 1
console "party_positions"
wait_console "^Level rand-forest01, 2 members"
grep -q "^Member 1: Golem" "$log" || fail "the golem is not a member: $(grep '^Member' "$log")"
import -window "$wid" "$tmp/summon.png"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
