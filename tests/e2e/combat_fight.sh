#!/usr/bin/env bash
# A fight from a console order, as a player sees it: the whole party on the
# demo level with its grubs; the party is ordered to attack the nearest
# grub, every hero closes to a place beside it and blows are exchanged both
# ways as initiative falls (the console logs each hit) until the grub falls; "+40 xp" floats
# over it (the game is paused on that frame for the picture), the heroes
# gain experience, and a bag with its gold and a tonic lies where it fell.
# Taking all from the bag fills the party's inventory.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
log() { cat "$tmp/fight.console"; }

start_game fight
console "full_party 1"
wait_console "[Ff]ull_party is TRUE"
enter_forest_with_layout

console "party_attack"
wait_console "^Party of 4 attacks Grub#[0-9]* at "
# The nearest grub: which one depends on how the pack closed in.
g=$(grep -m1 "^Party of 4 attacks " "$tmp/fight.console" | awk '{ print $5 }')
dead=""
for _ in $(seq 1 900); do
  if grep -q "hits $g for [0-9]*, \(0\|-[0-9]*\) left" "$tmp/fight.console"; then dead=1; break; fi
  sleep 0.1
done
[ -n "$dead" ] || fail "the grub did not fall: $(grep ' hits ' "$tmp/fight.console" | tail -5)"
xdotool key --window "$wid" space  # pause on the frame the experience floats
sleep 0.5
import -window "$wid" "$tmp/xp.png"
xdotool key --window "$wid" space

grep -q "^[A-Za-z]* hits $g for " "$tmp/fight.console" || fail "no hero struck the grub: $(log)"
# The grub strikes back when it wins an exchange; four heroes at once can
# beat it before it does, so its blows are reported, not required.
echo "The grub struck $(grep -c "^$g hits [A-Za-z]* for " "$tmp/fight.console") blows"
# The floating text is drawn in its own green.
green=$(convert "$tmp/xp.png" txt:- | grep -ci "#32B432")
[ "$green" -ge 20 ] || fail "no \"+N xp\" over the grub ($green pixels of its colour)"

console "creatures"
wait_console "^3 creatures"
grep -q "^Creature $g at .* dead text \"+40 xp\"" "$tmp/fight.console" ||
  fail "the grub is not dead with its experience text: $(grep $g "$tmp/fight.console" | tail -1)"
# Each hero still standing has closed in, on this grub or on another of the
# pack that he fought (a hero struck in melee turns on his attacker), and has
# his share of the experience (within 20 of the grub: 40 shared).
foes_of() {  # the grub followed and every grub the hero struck, a position each
  { echo "$g"; grep -o "^$1 hits Grub#[0-9]*" "$tmp/fight.console" | awk '{print $3}'; } | sort -u |
    while read -r c; do grep "^Creature $c at " "$tmp/fight.console" | tail -1 | awk '{print $4, $6}'; done
}
closed_in() {  # hero x z
  foes_of "$1" | awk -v x="$2" -v z="$3" '{ if ((x-$1)^2 + (z-$2)^2 < 4.0^2) near = 1 } END { exit !near }'
}
# A hero still on his way when the others finish the grub is given a few
# seconds to arrive (a loaded machine runs the approach slowly).
near_all() {
  grep '^Hero ' "$tmp/fight.console" | tail -4 | grep -v ' dead text ' >"$tmp/heroes"
  while read -r _ who _ x _ z _; do closed_in "$who" "$x" "$z" || return 1; done <"$tmp/heroes"
}
for _ in $(seq 1 12); do
  near_all && break
  sleep 0.5
  ask creatures "^3 creatures" >/dev/null
  sleep 0.3
done
grep '^Hero ' "$tmp/fight.console" | tail -4 | grep -v ' dead text ' >"$tmp/heroes"
[ "$(wc -l <"$tmp/heroes")" -ge 2 ] || fail "the grub beat the party: $(grep '^Hero ' "$tmp/fight.console" | tail -4)"
while read -r _ who _ x _ z _ _ _ xp _; do
  closed_in "$who" "$x" "$z" || fail "$who did not close in: at $x $z, his foes at $(foes_of "$who" | tr '\n' ';')"
  [ "$xp" -gt 1000 ] || fail "$who gained no experience: $(cat "$tmp/heroes")"
done <"$tmp/heroes"

console "bags"
wait_console "bags$"
grep -q "^Bag at .* holds 2$" "$tmp/fight.console" || fail "no bag of two where the grub fell: $(grep -i bag "$tmp/fight.console")"
console "party_items"
wait_console "^Inventory "
before=$(grep "^Inventory " "$tmp/fight.console" | tail -1)
console "take_bag"
wait_console "^Took 2 from the bag"
console "party_items"
wait_console "^Inventory " 2
after=$(grep "^Inventory " "$tmp/fight.console" | tail -1)
grep -q "^Item Health Tonic x" "$tmp/fight.console" || fail "no tonic in the inventory: $(log | tail -8)"
g0=$(echo "$before" | awk '{print $(NF-1)}')
g1=$(echo "$after" | awk '{print $(NF-1)}')
[ "$g1" -gt "$g0" ] || fail "no gold from the bag: $before / $after"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
