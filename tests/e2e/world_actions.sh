#!/usr/bin/env bash
# Clicks on what lies about the outdoor demo level, as a player makes them
# at 640x480: the purse of gold by the start shows the target cursor and a
# click puts its 25 gold in the party's purse.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"

shot() { import -window "$wid" "$tmp/$1.png" || fail "no picture of the window for $1"; }
gold() { ask pick_state "^Party gold " | awk '{ print $NF }'; }

start_game outdoor
open_demo_outdoor
sleep 2

# ---- the purse: within reach of the start, picked up by a click ----------------------
hero=$(ask party_positions "^Member 0: ")
set -- $hero; hy=$6
before=$(gold)
set -- $(screen_of -1.5 "$hy" 2); px=$1; py=$2
found=""
# The purse is small: look around its projected point for the target cursor.
for d in "0 0" "0 -4" "0 4" "-4 0" "4 0" "0 -8" "-4 -4" "4 -4"; do
  set -- $d
  xdotool mousemove --window "$wid" $((px + $1)) $((py + $2))
  sleep 0.4
  if ask pick_state "^Pick code " | grep -q "^Pick code 6 .* cursor target"; then found="$((px + $1)) $((py + $2))"; break; fi
done
[ -n "$found" ] || fail "no purse under the mouse near ($px, $py): $(tail -3 "$tmp/$name.console")"
shot over-purse
xdotool click --window "$wid" 1
sleep 0.8
after=$(gold)
[ "$after" -eq $((before + 25)) ] || fail "the click on the purse did not add its 25 gold ($before -> $after)"

kill -TERM $pid; wait $pid; rc=$?; pid=""
[ $rc -eq 0 ] || fail "ended with $rc on SIGTERM"
echo PASS
