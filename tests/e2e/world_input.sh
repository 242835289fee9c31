#!/usr/bin/env bash
# The world under the mouse as a player meets it on the demo world at
# 640x480: in demo_outdoor the camera sits behind the hero; a click on the
# ground orders the hero to walk to the floor point under the mouse (the test
# computes that point itself from the camera's view and the screen position)
# and the hero walks there, its place sampled on the way; the Left arrow held
# turns the camera and the wheel zooms it. In demo_indoor, a
# developer teleport click puts the hero by the door; the cursor turns to
# the target cursor over the door, and a click on the closed door opens it.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"

# Root-mean-square difference (0..1) of a box in two pictures.
differ() { compare -metric RMSE <(convert "$1" -crop "$3" +repage png:-) <(convert "$2" -crop "$3" +repage png:-) null: 2>&1 | sed 's/.*(\(.*\))/\1/'; }

wait_out() {
  for _ in $(seq 1 300); do grep -q "$1" "$tmp/$name.out" && return 0; sleep 0.1; done
  fail "$name: no '$1' in the output"
}
wait_hud() {
  for _ in $(seq 1 60); do
    shot "$name-hud"
    m=$(mean_of "$tmp/$name-hud.png" "30x20+59+425")
    awk -v m="$m" 'BEGIN { exit !(m > 0.15) }' && return 0
    sleep 0.2
  done
  fail "$name: no HUD"
}
# The floor point under screen point ($1, $2) on the plane y = $3, from the
# camera's eye, rows, the two fields of view (at the view's edges) and the
# size of the view (above the HUD bar) the level was drawn in.
floor_under() {
  ask camera_view "^Screen " >/dev/null
  awk -v sx="$1" -v sy="$2" -v fy="$3" '
    /^Camera at /      { ex=$3; ey=$4; ez=$5 }
    /^Camera right /   { rx=$3; ry=$4; rz=$5 }
    /^Camera up /      { ux=$3; uy=$4; uz=$5 }
    /^Camera forward / { fx=$3; fy0=$4; fz=$5 }
    /^Screen /         { hf=$6; vf=$7; w=$9; h=$10 }
    END {
      pi = atan2(0, -1)
      th = sin(hf * pi / 360) / cos(hf * pi / 360); tv = sin(vf * pi / 360) / cos(vf * pi / 360)
      dx = (sx - w / 2) / (w / 2) * th; dy = -(sy - h / 2) / (h / 2) * tv
      x = fx + rx * dx + ux * dy; y = fy0 + ry * dx + uy * dy; z = fz + rz * dx + uz * dy
      t = (fy - ey) / y
      printf "%.3f %.3f %.3f\n", ex + x * t, fy, ez + z * t
    }' "$tmp/$name.console"
}

# ---- outdoors: walk orders, turning and zooming ------------------------------------
start_game outdoor
open_demo_outdoor
wait_hud
ask camera_view "^Camera at " | grep -q "mode 2" || fail "outdoor: the camera is not automatic"
hero=$(ask party_positions "^Member 0: ")
set -- $hero; hy=$6; sx=$5; sz=$7
# The camera sits behind the hero, above it, and looks toward it.
cam=$(ask camera_view "^Camera at "); set -- $cam
awk -v y="$4" -v hy="$hy" 'BEGIN { exit !(y > hy + 1) }' || fail "outdoor: camera not above the hero: $cam"
# Over the ground the cursor is the walking one.
xdotool mousemove --window "$wid" 400 300
sleep 0.5
ground=""
for _ in $(seq 1 10); do
  ground=$(ask pick_state "^Pick code ")
  echo "$ground" | grep -q "^Pick code 0 mesh [0-9].* cursor walk" && break
  sleep 0.3
done
echo "$ground" | grep -q "^Pick code 0 mesh [0-9].* cursor walk" || fail "outdoor: no ground under the mouse: $ground"
want=$(floor_under 400 300 "$hy")
xdotool click --window "$wid" 1
sleep 0.5
got=$(ask ai_state "^Walk order to ")
set -- $want; wx=$1; wz=$3
set -- $got; gx=$4; gz=$6
awk -v a="$wx" -v b="$wz" -v c="$gx" -v d="$gz" 'BEGIN { exit !(sqrt((a-c)^2 + (b-d)^2) < 0.25) }' ||
  fail "outdoor: the walk order goes to ($gx, $gz), not the floor under the mouse ($wx, $wz)"
# The hero walks there: its place, sampled as it goes, ends within half a
# unit of the floor point under the mouse.
arrived=0
for _ in $(seq 1 30); do
  set -- $(ask party_positions "^Member 0: ")
  echo "$5 $7" >>"$tmp/outdoor-walk.txt"
  awk -v x="$5" -v z="$7" -v a="$wx" -v b="$wz" 'BEGIN { exit !((x - a) ^ 2 + (z - b) ^ 2 < 0.25) }' && { arrived=1; break; }
  sleep 0.3
done
[ $arrived = 1 ] || fail "outdoor: the hero did not walk to ($wx, $wz): $(tr '\n' ';' <"$tmp/outdoor-walk.txt")"
awk -v x="$sx" -v z="$sz" -v a="$wx" -v b="$wz" 'BEGIN { exit !((x - a) ^ 2 + (z - b) ^ 2 > 1) }' ||
  fail "outdoor: the hero started within a unit of ($wx, $wz): no walk to see"
# The Left arrow held turns the camera round the hero; the wheel zooms out.
before=$(ask camera_view "^Camera forward ")
xdotool keydown --window "$wid" Left; sleep 1; xdotool keyup --window "$wid" Left
sleep 0.3
after=$(ask camera_view "^Camera forward ")
[ "$before" != "$after" ] || fail "outdoor: Left did not turn the camera ($after)"
xdotool mousemove --window "$wid" 320 200
near=$(ask camera_view "^Camera at ")
for _ in 1 2 3 4 5 6; do xdotool click --window "$wid" 5; sleep 0.1; done
sleep 1
far=$(ask camera_view "^Camera at ")
set -- $near; n=$(awk -v y="$4" -v hy="$hy" 'BEGIN { print y - hy }')
set -- $far; f=$(awk -v y="$4" -v hy="$hy" 'BEGIN { print y - hy }')
awk -v n="$n" -v f="$f" 'BEGIN { exit !(f > n) }' || fail "outdoor: the wheel did not move the camera out ($n -> $f)"
kill -TERM $pid; wait $pid; pid=""

# ---- indoors: the door under the cursor, and a click that opens it -------------------
start_game indoor
pick_level demo_indoor
wait_out "^Level loaded: demo_indoor.s3d"
wait_hud
# A developer teleport click (grave and Shift held) on the floor by the
# door, at (-4.5, 0, 1). The keys go through the X server's own input, so
# the click carries their state.
set -- $(screen_of -4.5 0 1); tx=$1; ty=$2
xdotool mousemove --window "$wid" $tx $ty
sleep 0.3
xdotool keydown grave keydown shift
sleep 0.2
xdotool click 1
sleep 0.2
xdotool keyup shift keyup grave
sleep 1
hero=$(ask party_positions "^Member 0: ")
set -- $hero
awk -v x="$5" -v z="$7" 'BEGIN { exit !(sqrt((x + 4.5)^2 + (z - 1)^2) < 0.3) }' ||
  fail "indoor: the teleport click at ($tx, $ty) did not bring the hero to (-4.5, 1): $hero"
# The camera follows the hero there; Left held for a quarter turn (a sixth
# of a turn a second at this elevation) brings the door (+x) into view.
xdotool keydown Left; sleep 1.5; xdotool keyup Left
sleep 1
shot indoor-turned
sleep 1.5
# Find the door on screen: the column of the picture where the cursor turns.
door=""
for x in $(seq 100 20 540); do
  xdotool mousemove --window "$wid" $x 150
  sleep 0.4
  if ask pick_state "^Pick code " | grep -q "^Pick code 8 .* cursor target"; then door=$x; break; fi
done
[ -n "$door" ] || fail "indoor: no door under the mouse: $(tail -3 "$tmp/$name.console")"
shot indoor-over-door
xdotool mousemove --window "$wid" $door 380
sleep 0.5
ask pick_state "^Pick code " | grep -q "cursor walk" || fail "indoor: the cursor stays the target one over the floor"
shot indoor-over-floor
d=$(differ "$tmp/indoor-over-door.png" "$tmp/indoor-over-floor.png" "40x40+$((door - 20))+130")
awk -v d="$d" 'BEGIN { exit !(d > 0.05) }' || fail "indoor: no cursor change on screen ($d)"
# The door with no highlight on it, then a click on it, and again.
xdotool mousemove --window "$wid" 5 300
sleep 0.4
shot indoor-door-closed
xdotool mousemove --window "$wid" $door 150
sleep 0.4
xdotool click --window "$wid" 1
sleep 3
xdotool mousemove --window "$wid" 5 300
sleep 0.4
shot indoor-door-open
d=$(differ "$tmp/indoor-door-closed.png" "$tmp/indoor-door-open.png" "80x160+$((door - 40))+70")
awk -v d="$d" 'BEGIN { exit !(d > 0.08) }' || fail "indoor: the door did not move ($d)"
kill -TERM $pid; wait $pid; rc=$?; pid=""
[ $rc -eq 0 ] || fail "indoor: ended with $rc on SIGTERM"
echo PASS
