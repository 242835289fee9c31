#!/usr/bin/env bash
# Hot buttons filled from the roll-outs, as a player does it at 640x480 with
# the full party at its best skills: S, the arrows to Rivud, his examination
# tab; "appraise" is pressed and carried down onto the first hot button,
# which then shows it. Key 1 opens the inventory on what is left to
# appraise, the cloudy amulet; its Identify hands the amulet to Rivud's
# appraise skill, which knows it: its info opens and the list of unknown
# items is empty. C, and the first spell of his list is carried onto the
# second hot button.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
# Pixels that differ between the same box of two pictures.
differ() {
  convert "$1" -crop "$3" +repage "$tmp/a.png" && convert "$2" -crop "$3" +repage "$tmp/b.png" &&
    compare -metric AE -fuzz 5% "$tmp/a.png" "$tmp/b.png" null: 2>&1 | cut -d' ' -f1
}
# Presses at one point and lets go at another, moving in steps as a hand does.
carry() {
  xdotool mousemove --window "$wid" "$1" "$2" sleep 0.3 mousedown 1 sleep 0.3 \
    mousemove --window "$wid" $(($1 + 60)) $(($2 + 60)) sleep 0.2 \
    mousemove --window "$wid" $((($1 + $3) / 2)) $((($2 + $4) / 2)) sleep 0.2 \
    mousemove --window "$wid" "$3" "$4" sleep 0.4 mouseup 1
  sleep 0.6
}
# The hot buttons at 640x480: 32 pixels square from (514, 400), 40 apart.
hot1="32x32+514+400"
hot2="32x32+554+400"

start_game hot
new_game_full_skills
console 'give_item "Cloudy Amulet#Amulet of Shadows"'
wait_console "^Gave 1 Cloudy Amulet"
shot empty

# ---- S, Rivud, the examination tab: appraise onto hot button 1 ------------------------------
xdotool key --window "$wid" s
sleep 0.8
rollout_to Rivud
xdotool mousemove --window "$wid" 183 109 sleep 0.3 click 1
sleep 0.5
shot exam
carry 110 156 530 416
shot lifted
[ "$(differ "$tmp/exam.png" "$tmp/lifted.png" "$hot1")" -gt 200 ] || fail "hot button 1 did not take appraise"
# Still the roll-out: the drop was no use of the skill.
[ "$(differ "$tmp/exam.png" "$tmp/lifted.png" "200x200+80+145")" -lt 50 ] || fail "the roll-out closed on the drop"

# ---- key 1: the inventory of unknown items; Identify -----------------------------------------
xdotool key --window "$wid" Escape
sleep 0.5
xdotool key --window "$wid" 1
sleep 1
shot unknown
# The bag's first row (14-pixel rows from y 85, names from x 344) holds the amulet.
[ "$(differ "$tmp/empty.png" "$tmp/unknown.png" "200x14+344+85")" -gt 50 ] || fail "key 1 did not list the amulet"
xdotool mousemove --window "$wid" 380 92 sleep 0.3 click 3
sleep 0.6
shot menu
xdotool mousemove --window "$wid" 400 99 sleep 0.3 click 1
sleep 0.8
shot info
[ "$(differ "$tmp/menu.png" "$tmp/info.png" "300x200+170+140")" -gt 500 ] || fail "no item info after Identify"
xdotool key --window "$wid" Escape
sleep 0.6
shot known
# Nothing is left to appraise: the row is as empty as before the gift.
convert "$tmp/known.png" -crop 200x14+344+85 +repage "$tmp/row.png"
m=$(convert "$tmp/known.png" -crop 200x14+344+85 -colorspace Gray -format '%[fx:standard_deviation]' info:)
awk -v m="$m" 'BEGIN { exit !(m < 0.05) }' || fail "the amulet is still listed as unknown ($m)"
xdotool key --window "$wid" Escape
sleep 0.5

# ---- C: the first spell onto hot button 2 ----------------------------------------------------
xdotool key --window "$wid" c
sleep 0.8
shot spells
carry 110 156 570 416
shot spell
[ "$(differ "$tmp/spells.png" "$tmp/spell.png" "$hot2")" -gt 200 ] || fail "hot button 2 did not take the spell"
xdotool key --window "$wid" Escape
kill $pid; wait $pid 2>/dev/null; pid=""
exit 0
