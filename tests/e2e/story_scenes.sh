#!/usr/bin/env bash
# What the story's scripts ask of the world, as a player meets it. In the
# abbey's chicken yard the camera cuts to the shot from its camera point,
# looking at the hero, while the two aspirants go to the hens (their order
# to label 2), and after the shot the camera's own view comes back. The
# besieged city of the last act lies under falling snow, which stops once
# the party has left it. In the temple of the ending Machival's intro
# order lets him fight; when the hero has cut him down the dead are
# cleared away.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run
camera_at() { ask camera_view "^Camera at " | awk '{ print $3, $4, $5 }'; }
creature_at() { ask creatures "^Creature $1 " | awk '{ for (i = 3; i < NF; i++) if ($i == "at") { print $(i + 1), $(i + 3); exit } }'; }
near() { awk -v p="$1" -v x="$2" -v z="$3" -v r="$4" 'BEGIN { split(p, a, " "); exit !((a[1] - x) ^ 2 + (a[2] - z) ^ 2 < r * r) }'; }
# Bright pixels in the sky band above the horizon of picture $1.
flakes() { convert "$1" -crop 640x100+0+0 +repage -colorspace gray -threshold 55% -format '%[fx:round(mean * w * h)]' info:; }

# ---- the camera shot over the chicken yard ------------------------------------------------
pick_level OdrinExt
wait_console "ENDING LOAD OF OdrinExt"
sleep 1.5
near "$(creature_at 'Aspirant#chick1')" 7 5 1 || fail "the first aspirant is not at his place: $(creature_at 'Aspirant#chick1')"
shot yard
console "walk_to 6 0"
shotted=""
for _ in $(seq 1 30); do
  set -- $(camera_at)
  awk -v x="$1" -v y="$2" -v z="$3" 'BEGIN { exit !((x - 12) ^ 2 + (y - 5) ^ 2 + (z + 6) ^ 2 < 0.01) }' && { shotted=1; break; }
  sleep 0.3
done
[ -n "$shotted" ] || fail "no shot from the camera point: the camera at $(camera_at)"
shot camera-shot
gathered=""
for _ in $(seq 1 30); do
  near "$(creature_at 'Aspirant#chick1')" 9 2 1.2 && near "$(creature_at 'Aspirant#chick2')" 10 -1 1.2 && { gathered=1; break; }
  sleep 0.3
done
[ -n "$gathered" ] || fail "the aspirants did not go to the hens: $(creature_at 'Aspirant#chick1'), $(creature_at 'Aspirant#chick2')"
# The shot lasts five seconds, then the camera follows the hero again.
back=""
for _ in $(seq 1 40); do
  set -- $(camera_at)
  awk -v x="$1" -v y="$2" -v z="$3" 'BEGIN { exit !((x - 12) ^ 2 + (y - 5) ^ 2 + (z + 6) ^ 2 > 1) }' && { back=1; break; }
  sleep 0.3
done
[ -n "$back" ] || fail "the camera stayed at the camera point: $(camera_at)"
sleep 1
shot after-shot

# ---- snow over the besieged city, and none once the party has left -------------------------
# The pointer rests on the panel, out of the sky.
pick_level thalem3a
wait_console "ENDING LOAD OF thalem3a"
xdotool mousemove --window "$wid" 600 470
sleep 2.5
shot snow
pick_level masad
wait_console "ENDING LOAD OF masad"
xdotool mousemove --window "$wid" 600 470
sleep 2.5
shot no-snow
falling=$(flakes "$tmp/snow.png")
after=$(flakes "$tmp/no-snow.png")
[ "$falling" -gt 40 ] || fail "no snow falls over the city ($falling bright pixels in its sky)"
[ "$after" -lt 5 ] || fail "the snow went on after the city was left ($after bright pixels)"

# ---- Machival falls, and the dead are cleared from the temple ------------------------------
pick_level TempleInt2
wait_console "ENDING LOAD OF TempleInt2"
sleep 1.5
set -- $(creature_at Machival)
click_at "$1" 0.5 "$2"
# His corpse would stay on the dead list, which the count includes.
gone=""
for _ in $(seq 1 120); do
  [ "$(ask creatures "^[0-9]* creatures$" | awk '{ print $1 }')" = 0 ] && { gone=1; break; }
  ask creatures "^Hero Ruvizo " | grep -q " dead text" && fail "the hero fell to Machival"
  sleep 0.5
done
[ -n "$gone" ] || fail "Machival did not fall, or his body was left: $(grep '^Creature Machival' "$tmp/$name.console" | tail -1)"
shot temple-cleared
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
