#!/usr/bin/env bash
# The creatures and the heroes acting on their own in the running game. In
# the forest the layout's three grubs stand still while the game is paused
# after loading them; once it runs they notice the party a few steps away
# and all three fight it (the AI's state dump shows each in combat with a
# hero as its target), and the heroes who are not under the player's
# control fight back.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
printf 'full_party 1\n' >"$root/party.vcs"

# ---- the forest: a pack of three engages ---------------------------------------------
ORRIMUND_AUTOEXEC="$root/party.vcs" start_game pack
log="$tmp/pack.console"
sleep 1
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
console "load_mlayout rand-forest01"
console "ai_dump"
wait_console "^Grub#3 at "
for n in 1 2 3; do
  grep "^Grub#$n at " "$log" | grep -q "AI_STATE_COMBAT" && fail "Grub#$n fights while the game is paused"
done
xdotool key --window "$wid" space  # the layout load paused the game
sleep 3
: >"$log"
console "party_positions"
console "ai_dump"
wait_console "^Grub#3 at "
sleep 0.5
cp "$log" "$tmp/pack-dump.log"
import -window "$wid" "$tmp/pack.png"
heroes=$(sed -n 's/^Member [0-9]: \([^ ]*\) at .*/\1/p' "$log")
[ "$(echo "$heroes" | wc -w)" -eq 4 ] || fail "not four heroes: $heroes"
for n in 1 2 3; do
  line=$(grep "^Grub#$n at " "$log" | tail -1)
  echo "$line" | grep -q "AI_STATE_COMBAT" || fail "Grub#$n does not fight: $line"
  target=$(echo "$line" | sed -n 's/.* target \(-\?[0-9]*\).*/\1/p')
  [ -n "$target" ] && [ "$target" -ge 0 ] || fail "Grub#$n fights nobody: $line"
done
fighters=0
for h in $(echo "$heroes" | tail -n +2); do
  grep "^$h at " "$log" | grep -q "AI_STATE_COMBAT" && fighters=$((fighters + 1))
done
[ $fighters -ge 1 ] || fail "no hero fights back: $(grep ' at ' "$log")"
kill -TERM $pid; wait $pid; pid=""
echo PASS
