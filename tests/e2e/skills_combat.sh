#!/usr/bin/env bash
# Skills from the roll-out that act in a fight, as a player meets them at
# 640x480 with the full party: a golem Ruvizo summons joins as a fifth
# member (a fifth portrait on the HUD); the creation tab then holds only
# "banish summon", and choosing it sends the golem back (it lies dead, its
# portrait is gone). Then the party fights a grub; in the thick of the
# exchange S, the combat tab and "push" ready a push, and Ruvizo's next blow
# is a push (the hit log names it).
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
# S, the tab at x $1 (a picture of it as $2), then the entry on row y $3.
choose() {
  xdotool key --window "$wid" s
  sleep 0.8
  xdotool mousemove --window "$wid" "$1" 109 sleep 0.3 click 1
  sleep 0.5
  shot "$2"
  xdotool mousemove --window "$wid" 110 "$3" sleep 0.3 click 1
  sleep 0.5
}

start_game skillsfight
console "full_party 1"
wait_console "[Ff]ull_party is TRUE"
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1

# ---- a summon, banished from the roll-out ----------------------------------------------------
console "summon golem"
sleep 2
ask party_positions "^Member 4: Golem" >/dev/null
shot summoned
choose 137 creation 157  # the creation tab: "banish summon"
wait_console "^Golem#1 is banished"
sleep 1.5
shot banished
before=$(grep -c "^Member 4: " "$tmp/$name.console")
ask party_positions "^Member 0: Ruvizo" >/dev/null
sleep 0.3
[ "$(grep -c "^Member 4: " "$tmp/$name.console")" -eq "$before" ] || fail "the golem is still in the party"
ask creatures "creatures$" >/dev/null
grep -q "^Hero Golem#1 .* dead " "$tmp/$name.console" || fail "the golem still stands: $(grep Golem "$tmp/$name.console" | tail -2)"
# The fifth portrait frame, with its red and blue bars, has left the HUD.
bars() { convert "$1" -crop "40x14+258+464" -format '%[fx:mean.r-mean.g]' info:; }
a=$(bars "$tmp/summoned.png"); b=$(bars "$tmp/banished.png")
awk -v a="$a" -v b="$b" 'BEGIN { exit !(a > 0.08 && b < 0.05) }' || fail "the golem's bars: $a, then $b"

# ---- push, readied in a fight ----------------------------------------------------------------
console "load_mlayout rand-forest01"
sleep 1
xdotool key --window "$wid" space  # the layout load paused the game
sleep 0.5
# A readied push is spent on the next exchange Ruvizo wins or loses; one
# that missed is logged as no hit, so the player readies it again.
pushed=""
for attempt in 1 2 3; do
  if [ "$attempt" -gt 1 ]; then
    # The others may have felled every grub: a fresh pack comes.
    console "load_mlayout rand-forest01"
    sleep 1
    xdotool key --window "$wid" space  # the layout load paused the game
    sleep 0.5
  fi
  readies=$(grep -c "^Ruvizo readies push" "$tmp/$name.console")
  readied=""
  for _ in 1 2 3 4 5 6; do
    console "party_attack"
    wait_console "^Party of [0-9] attacks "
    for _ in $(seq 1 60); do
      ask creatures "creatures$" >/dev/null
      grep "^Hero Ruvizo " "$tmp/$name.console" | tail -1 | grep -q " ai 3/15 " && break
      sleep 0.2
    done
    choose 45 combat_tab 185  # the combat tab: speed, dodge, push
    [ "$(grep -c "^Ruvizo readies push" "$tmp/$name.console")" -gt "$readies" ] && { readied=1; break; }
    # Not in an exchange at that moment: the roll-out stays; close it and try again.
    xdotool key --window "$wid" Escape
    sleep 0.5
  done
  [ -n "$readied" ] || fail "push was never readied: $(grep '^Hero Ruvizo' "$tmp/$name.console" | tail -3)"
  from=$(wc -l <"$tmp/$name.console")
  # The others may fell the grub first: the push stays readied for the next.
  for i in $(seq 1 300); do
    tail -n +"$from" "$tmp/$name.console" | grep -q "^Ruvizo hits [A-Za-z]*#[0-9]* for [0-9]*, -*[0-9]* left with push" && { pushed=1; break; }
    tail -n +"$from" "$tmp/$name.console" | grep "^Ruvizo hits " | grep -qv " with push" && break
    [ $((i % 50)) -eq 0 ] && console "party_attack"
    sleep 0.1
  done
  [ -n "$pushed" ] && break
done
xdotool key --window "$wid" space
sleep 0.3
shot pushed
xdotool key --window "$wid" space
grep "^Ruvizo hits .* with push" "$tmp/$name.console" ||
  fail "Ruvizo struck no push: $(grep -E ' hits |readies' "$tmp/$name.console" | tail -6)"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
