#!/usr/bin/env bash
# Clicks on what lies about the outdoor demo level, as a player makes them
# at 640x480: the purse of gold by the start shows the target cursor and a
# click puts its 25 gold in the party's purse.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"

shot() { import -window "$wid" "$tmp/$1.png" || fail "no picture of the window for $1"; }
# Runs a console command and waits for a new answer line matching $2.
ask() {
  local before
  before=$(grep -c "$2" "$tmp/$name.console" 2>/dev/null)
  echo "$1" >"$fifo"
  for _ in $(seq 1 100); do
    [ "$(grep -c "$2" "$tmp/$name.console" 2>/dev/null)" -gt "${before:-0}" ] && { grep "$2" "$tmp/$name.console" | tail -1; return 0; }
    sleep 0.1
  done
  fail "$name: no answer '$2' to '$1': $(tail -5 "$tmp/$name.console")"
}
# The screen point of world point ($1, $2, $3) in the view just drawn.
screen_of() {
  ask camera_view "^Screen " >/dev/null
  awk -v px="$1" -v py="$2" -v pz="$3" '
    /^Camera at /      { ex=$3; ey=$4; ez=$5 }
    /^Camera right /   { rx=$3; ry=$4; rz=$5 }
    /^Camera up /      { ux=$3; uy=$4; uz=$5 }
    /^Camera forward / { fx=$3; fy=$4; fz=$5 }
    /^Screen /         { hf=$6; vf=$7; w=$9; h=$10 }
    END {
      pi = atan2(0, -1)
      th = sin(hf * pi / 360) / cos(hf * pi / 360); tv = sin(vf * pi / 360) / cos(vf * pi / 360)
      dx = px - ex; dy = py - ey; dz = pz - ez
      f = dx * fx + dy * fy + dz * fz; r = dx * rx + dy * ry + dz * rz; u = dx * ux + dy * uy + dz * uz
      printf "%d %d\n", w / 2 + r / f / th * (w / 2), h / 2 - u / f / tv * (h / 2)
    }' "$tmp/$name.console"
}
gold() { ask pick_state "^Talked to " | awk '{ print $NF }'; }

start_game outdoor
# The picker lists the levels by name: demo_indoor, then demo_outdoor.
console level_picker
sleep 1.5
xdotool mousemove --window "$wid" 230 78 click 1
sleep 0.3
xdotool key --window "$wid" Down
sleep 0.3
picked=0
for y in 88 92 96 100 104; do
  xdotool mousemove --window "$wid" 230 $y click 1
  sleep 0.3
  xdotool mousemove --window "$wid" 265 432 click 1
  for _ in $(seq 1 30); do
    grep -q "^Level loaded: demo_outdoor.s3d" "$tmp/$name.out" && picked=1 && break
    grep -q "^Level loaded: " "$tmp/$name.out" && break
    sleep 0.1
  done
  [ $picked = 1 ] && break
  grep -q "^Level loaded: " "$tmp/$name.out" && fail "the picker loaded another level"
done
[ $picked = 1 ] || fail "the picker did not load demo_outdoor"
wait_console "ENDING LOAD OF demo_outdoor"
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
