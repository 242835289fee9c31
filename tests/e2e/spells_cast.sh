#!/usr/bin/env bash
# Spells cast in the running game as a player casts them: the heal and the
# fire bolt put on the hero's hot buttons (the console's hot_button, as a
# drag from the spells screen would), a click on the fire bolt's hot button
# arms the cursor and a click on the nearest grub casts it: the hero turns,
# plays its cast move and at the move's release point the bolt leaves its
# hand and flies to the grub (a screenshot of it in flight), whose hit points
# then fall; the hot key 1 arms the heal and a click on the hero casts it on
# himself. The curse (ordered from the console) spreads as a ring of light on
# the ground round the hero (a screenshot of the ring); a golem summoned
# joins the party and shows beside the hero on the HUD.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game spells
log="$tmp/spells.console"
# Starts the log afresh, keeping what it held in $tmp/all.console.
fresh_log() { cat "$log" >>"$tmp/all.console"; : >"$log"; }
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
# The hero knows every school from the start (the fire school comes later
# in a campaign).
console "max_skills 1"
wait_console "[Mm]ax_skills is TRUE"
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

# ---- the spells on the hot buttons ------------------------------------------------------
# hot SLOT SPELL NAME: the button's rectangle; it must be usable now.
hot() {
  local line
  line=$(ask "hot_button $1 $2" "^Hot button $1 holds ")
  case "$line" in "Hot button $1 holds $3 at "*", usable now") ;; *) fail "hot button $1: $line" ;; esac
  echo "$line" | sed 's/.* at \([0-9]*\) \([0-9]*\) size \([0-9]*\) \([0-9]*\),.*/\1 \2 \3 \4/'
}
hot 1 0 Heal >/dev/null
set -- $(hot 2 25 "Fire Bolt")
bolt_x=$(( $1 + $3 / 2 )); bolt_y=$(( $2 + $4 / 2 ))
# The hero and the grub nearest him, where they stand now.
set -- $(ask party_positions "^Member 0: ")
hero_name=$3; hx=$5; hy=$6; hz=$7
nearest_grub() {
  awk -v x="$hx" -v z="$hz" '/^HP Grub/ {
      n = NF; d = ($(n-2) - x)^2 + ($n - z)^2
      if (best == "" || d < best) { best = d; line = $0 } }
    END { print line }' "$1"
}

# ---- the fire bolt: a click on its hot button, then on the grub --------------------------
xdotool mousemove --window "$wid" "$bolt_x" "$bolt_y" sleep 0.3 click 1
sleep 0.5
import -window "$wid" "$tmp/armed.png"
fresh_log
console "hit_points"
wait_console "^Hit points of "
set -- $(nearest_grub "$log")
[ $# -gt 0 ] || fail "no grub near the hero: $(cat "$log")"
grub=$2
set -- $(screen_of "${@: -3:1}" "$(awk -v y="${@: -2:1}" 'BEGIN { print y + 0.5 }')" "${@: -1}")
echo "$grub at $1 $2" >"$tmp/grub_click"
xdotool mousemove --window "$wid" "$1" "$2" sleep 0.3 click 1
wait_effect "fire-hit.vfx kind 4" || fail "no fire bolt flew: $(tail -20 "$log")"
import -window "$wid" "$tmp/firebolt.png"
grep "^Effect fire-hit.vfx kind 4 " "$log" | tail -1 >"$tmp/flight"
sleep 3
fresh_log
console "hit_points"
wait_console "^Hit points of "
before=$(grep "^HP $grub " "$tmp/before" | awk '{print $3}')
after=$(grep "^HP $grub " "$log" | awk '{print $3}')
[ -n "$before" ] || fail "no hit points of $grub before"
if [ -n "$after" ]; then
  awk -v a="$after" -v b="$before" 'BEGIN { exit !(a < b) }' || fail "$grub still has $after of $before hit points"
fi

# ---- the heal: the hot key 1, then a click on the hero -----------------------------------
set -- $(ask party_positions "^Member 0: ")
hx=$5; hy=$6; hz=$7
xdotool key --window "$wid" 1
sleep 0.5
fresh_log
set -- $(screen_of "$hx" "$(awk -v y="$hy" 'BEGIN { print y + 1.0 }')" "$hz")
xdotool mousemove --window "$wid" "$1" "$2" sleep 0.3 click 1
wait_effect "heal-hit.vfx kind 2" || fail "no heal on the hero: $(tail -20 "$log")"
import -window "$wid" "$tmp/heal.png"

# ---- the curse: a ring on the ground round the hero ---------------------------------------
fresh_log
console "cast 23"
wait_console " casts Curse at "
wait_effect "curse-ring.vfx kind 11" || fail "no ring: $(tail -20 "$log")"
import -window "$wid" "$tmp/ring.png"

# ---- a golem summoned joins the party: a second portrait on the HUD ---------------------
fresh_log
console "summon golem"
sleep 1
console "party_positions"
wait_console "^Level rand-forest01, 2 members"
grep -q "^Member 1: Golem" "$log" || fail "the golem is not a member: $(grep '^Member' "$log")"
import -window "$wid" "$tmp/summon.png"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
