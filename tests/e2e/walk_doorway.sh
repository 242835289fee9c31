#!/usr/bin/env bash
# The party goes through demo_indoor's doorway as a player takes it there:
# the leader is walked up to the closed door, a click on the door slides it
# aside (the mouse over where it stood then points into the far room), and
# a click on the far room's floor walks him through with the three others
# following. The party's
# places, sampled every half second, never lie inside a wall and never
# cross the wall between the rooms anywhere but through the doorway; the
# leader stops at the clicked point and the others stand within the
# formation's reach of him, all of them through the doorway too.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
printf 'full_party 1\n' >"$root/party.vcs"
ORRIMUND_AUTOEXEC="$root/party.vcs" start_game doorway
log="$tmp/doorway.console"
pick_level demo_indoor
wait_console "ENDING LOAD OF demo_indoor"
sleep 3

view_of() { screen_of "$1" "$2" "$3" behind; }
# Turns the camera (Left held a moment) until world point ($1, $2, $3) is
# well inside the view.
turn_to() {
  local v
  for _ in $(seq 1 20); do
    v=$(view_of "$1" "$2" "$3")
    set -- "$1" "$2" "$3" $v
    [ "$4" != behind ] && [ "$4" -gt 150 ] && [ "$4" -lt 490 ] && [ "$5" -gt 100 ] && [ "$5" -lt 400 ] && return 0
    xdotool keydown Left; sleep 0.4; xdotool keyup Left; sleep 0.5
  done
  fail "the camera never showed ($1, $2, $3)"
}

# ---- up to the door -------------------------------------------------------------------
# A point of the floor before the door that the mouse finds clear: a
# follower standing in the way of the click would be picked instead.
found=""
for g in "-2 0" "-2 0.5" "-2 -0.5" "-1.5 0.3" "-1.5 -0.3"; do
  set -- $g
  dx=$1; dz=$2
  turn_to $dx 0 $dz
  set -- $(view_of $dx 0 $dz)
  xdotool mousemove --window "$wid" "$1" "$2"
  sleep 0.5
  ask pick_state "^Pick code " | grep -q "^Pick code 0 .*cursor walk" && { found=1; break; }
done
[ -n "$found" ] || fail "the floor before the door is never clear of the party: $(tail -1 "$log")"
xdotool click --window "$wid" 1
sleep 1.5
leader_reaches $dx $dz 0.6 20 || fail "the leader did not reach the door: $(grep '^Member 0' "$log" | tail -1)"
sleep 1.5
# The door's upper part, over the leader's head.
turn_to 0 2.5 0
set -- $(view_of 0 2.5 0)
dx=$1; dy=$2
shot closed
xdotool mousemove --window "$wid" "$dx" "$dy"
sleep 0.5
ask pick_state "^Pick code " | grep -q "^Pick code 8 " || fail "the door is not what the mouse is over: $(tail -1 "$log")"
xdotool click --window "$wid" 1
sleep 2.5
shot open
# Where the door stood, the mouse now points through into the far room.
xdotool mousemove --window "$wid" "$((dx + 1))" "$dy"
sleep 0.5
ask pick_state "^Pick code " | grep -q "^Pick code 8 " && fail "the door still fills the doorway: $(tail -1 "$log")"

# ---- through it ---------------------------------------------------------------------------
# A point of the far room's floor (mesh 3) that shows through the doorway,
# 5 or more past the wall: the followers' places lie up to 4 behind the
# leader, and nearer the wall they would lie in it.
found=""
for g in "5 0" "5.5 0" "5 -0.5" "5 0.5" "5.5 -0.5" "5.5 0.5" "5.8 -1"; do
  set -- $g
  gx=$1; gz=$2
  turn_to $gx 0 $gz
  set -- $(view_of $gx 0 $gz)
  xdotool mousemove --window "$wid" "$1" "$2"
  sleep 0.5
  ask pick_state "^Pick code " | grep -q "^Pick code 0 mesh 3 .*cursor walk" && { found=1; break; }
done
[ -n "$found" ] || fail "the far room's floor never shows through the doorway: $(tail -1 "$log")"
: >"$tmp/samples"
xdotool click --window "$wid" 1
for i in $(seq 1 26); do
  sleep 0.5
  n=$(grep -c "^Level demo_indoor, 4 members" "$log")
  console "party_positions"
  wait_console "^Level demo_indoor, 4 members" $((n + 1))
  grep '^Member' "$log" | tail -4 | sed "s/^/$i /" >>"$tmp/samples"
done
shot through
# Looking back at the doorway: the followers stand between it and him.
turn_to 0 1.5 0
shot back

# Walls: the rooms' outer walls, and the wall between them (x -0.25..0.25)
# everywhere but the doorway (z -1..1). A place inside a wall, or a step
# between two samples that crosses x 0 outside the doorway, is a walk
# through a wall.
awk '
  $2 == "Member" {
    m = $3; x = $6; z = $8
    if (x < -12 || x > 12 || z < -5 || z > 5) { print "member " m " outside the rooms at " x " " z " (sample " $1 ")"; bad = 1 }
    if (x > -0.25 && x < 0.25 && (z <= -1 || z >= 1)) { print "member " m " inside the wall at " x " " z " (sample " $1 ")"; bad = 1 }
    if (m in px && (px[m] < 0) != (x < 0) && px[m] != x) {
      zc = pz[m] + (z - pz[m]) * (0 - px[m]) / (x - px[m])
      if (zc <= -1 || zc >= 1) { print "member " m " crossed the wall at z " zc " (sample " $1 ")"; bad = 1 }
    }
    px[m] = x; pz[m] = z
  }
  END { exit bad }' "$tmp/samples" || fail "a walk through a wall: $(tr '\n' ';' <"$tmp/samples" | tail -c 2000)"

# The leader stands at the clicked point; every other stands within the
# formation's reach (its place at most 4 behind him, and a follower may
# stop up to 4 short of it once he stands); every follower has come
# through the doorway as well.
last=$(tail -4 "$tmp/samples")
echo "$last" | awk -v gx=$gx -v gz=$gz '
  { x[NR] = $6; z[NR] = $8 }
  END {
    d = sqrt((x[1] - gx) ^ 2 + (z[1] - gz) ^ 2)
    if (d > 0.5) { print "the leader stops " d " from the point"; bad = 1 }
    through = 0
    for (i = 2; i <= 4; i++) {
      d = sqrt((x[i] - x[1]) ^ 2 + (z[i] - z[1]) ^ 2)
      if (d > 8.0) { print "member " i - 1 " is " d " from the leader"; bad = 1 }
      if (x[i] > 0.25) through++
    }
    if (through < 3) { print 3 - through " follower(s) did not come through the doorway"; bad = 1 }
    exit bad
  }' || fail "the party after the walk: $(echo "$last" | tr '\n' ';')"

kill -TERM $pid; wait $pid; pid=""
echo "PASS"
