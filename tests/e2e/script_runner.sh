#!/usr/bin/env bash
# The outdoor demo level's scripts as a player meets them: the level is
# loaded through the developer level picker, the party stands at the
# level's start navpoints, the watchman walks his rounds between his two
# navpoints (his place and action asked from the console), and the leader,
# sent into the exit east of the start by the console's walk order, is
# asked whether to leave; Yes loads demo_indoor with the party at the
# entry the exit names.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run

# ---- demo_outdoor from the level picker (the second level in name order) ------------
open_demo_outdoor
shot outdoor

console "party_positions"
wait_console "^Level demo_outdoor, 1 members"
grep -q '^Member 0: Ruvizo at 0.000 0.000 0.000 ' "$tmp/$name.console" ||
  fail "the leader is not at the first start navpoint: $(grep '^Member' "$tmp/$name.console")"

# ---- the watchman walks his rounds between his two navpoints -----------------------------
# Two samples on one leg: on "walk to" patrol_east (action 1) his x grows,
# on the way back (action 3) it shrinks, along z 7.
walked=""
prev=""
for _ in $(seq 1 60); do
  line=$(ask script_characters "^Script character Watchman at ")
  if [ -n "$prev" ] && echo "$prev $line" | awk '{ a = $9; x0 = $5; b = $20; x1 = $16; z = $18
      exit !(a == b && $21 $22 == "walkto" && z > 6.5 && z < 7.5 &&
             ((a == 1 && x1 > x0 + 0.2) || (a == 3 && x1 < x0 - 0.2))) }'; then
    walked=1
    break
  fi
  prev=$line
  sleep 0.3
done
[ -n "$walked" ] || fail "the watchman does not walk his rounds: $(grep '^Script character Watchman' "$tmp/$name.console" | tail -4)"

# ---- the leader walks into the exit (7, -2), radius 1.5 ------------------------------------
console "walk_to 7 -2"
wait_console "^Walk order for Ruvizo to (7.000, -2.000)"
leader_near 7 -2 1.6 40 || fail "the leader did not reach the exit: $(grep '^Member 0' "$tmp/$name.console" | tail -1)"
sleep 1
shot question
# The "New Area" question stands in the middle of the 640x480 view; its
# "Yes" is the first of two buttons, a third of its width in.
pw=293; ph=165; px=$(( (640 - pw) / 2 )); py=$(( (480 - ph) / 2 ))
m=$(mean_of "$tmp/question.png" "${pw}x${ph}+${px}+${py}")
o=$(mean_of "$tmp/outdoor.png" "${pw}x${ph}+${px}+${py}")
awk -v m="$m" -v o="$o" 'BEGIN { d = m - o; exit !(d > 0.03 || d < -0.03) }' ||
  fail "no question over the view at the exit ($m against $o before)"
xdotool mousemove --window "$wid" $(( px + pw / 3 )) $(( py + 146 - 5 ))
sleep 0.3
xdotool click --window "$wid" 1
wait_console "ENDING LOAD OF demo_indoor"
sleep 1
shot indoor

# ---- the party at demo_indoor's second entry: $player2-01 at (3, -3) ------------------------
console "party_positions"
wait_console "^Level demo_indoor, "
set -- $(grep '^Member 0: ' "$tmp/$name.console" | tail -1)
awk -v x="$5" -v z="$7" 'BEGIN { exit !(sqrt((x - 3)^2 + (z + 3)^2) < 0.5) }' ||
  fail "the leader is not at the indoor level's second entry: $*"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
