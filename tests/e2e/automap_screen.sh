#!/usr/bin/env bash
# The automap as a player meets it at 640x480 in a new game: M shows the map
# panel with only the cells the party stands on, fading softly into the dark
# around them; after a walk M shows more of the map. Ctrl and a click on a shown cell place a label, typed text and
# Enter name it; saved with F3 and loaded with F4, the map shows the label
# again and a click on it shows its name. Escape closes the map, and
# save_map_labels writes the level's permanent labels back to their table.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
# The share of the map area's pixels that are not black.
shown_of() {
  convert "$1" -crop 291x266+14+78 -colorspace Gray -threshold 12% -format '%[fx:mean]' info:
}
# The share of the map area's pixels that are dim but not dark: the soft rim
# of what is shown (the layer's own colours are all brighter, the area's
# ground darker).
rim_of() {
  convert "$1" -crop 291x266+14+78 -colorspace Gray -fx 'u > 0.05 && u < 0.10 ? 1 : 0' -format '%[fx:mean]' info:
}
# How much of a small box is the label marker's yellow.
yellow_of() {
  convert "$1" -crop "$2" -fx 'r > 0.8 && g > 0.6 && b < 0.4 ? 1 : 0' -format '%[fx:mean]' info:
}
save_file="$root/savegame/orrimund0.sav"

start_game automap
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1

# ---- M: the cell under the party ---------------------------------------------------------
xdotool key --window "$wid" m
sleep 0.8
shot first
first=$(shown_of "$tmp/first.png")
awk -v s="$first" 'BEGIN { exit !(s > 0.01 && s < 0.06) }' || fail "a new level's map shows $s of its area"
rim=$(rim_of "$tmp/first.png")
awk -v s="$first" -v r="$rim" 'BEGIN { exit !(r > s * 0.1) }' || fail "the cells shown have hard edges (rim $rim of $first)"
xdotool key --window "$wid" Escape
sleep 0.5
shot closed
cmp -s "$tmp/closed.png" "$tmp/first.png" && fail "Escape did not close the map"

# ---- a walk shows more -------------------------------------------------------------------
xdotool mousemove --window "$wid" 320 120 sleep 0.2 click 1
# Until the leader stands still: the map follows him.
last=""
for _ in $(seq 1 40); do
  sleep 0.5
  now=$(ask party_positions "^Member 0: " | awk '{print $5, $7}')
  [ -n "$last" ] && [ "$now" = "$last" ] && break
  last=$now
done
sleep 1
xdotool key --window "$wid" m
sleep 0.8
shot walked
walked=$(shown_of "$tmp/walked.png")
awk -v a="$first" -v b="$walked" 'BEGIN { exit !(b > a * 1.5) }' || fail "after a walk the map shows $walked (was $first)"

# ---- Ctrl-click: a label of the player's own ---------------------------------------------
# The map follows the hero: the area's centre is the hero's marker, on a cell walked.
lx=171; ly=203
xdotool mousemove --window "$wid" $lx $ly sleep 0.3
xdotool keydown ctrl sleep 0.2 click 1 sleep 0.2 keyup ctrl
sleep 0.4
xdotool type --window "$wid" --delay 80 "Well"
xdotool key --window "$wid" Return
sleep 0.5
shot labelled
y=$(yellow_of "$tmp/labelled.png" "16x16+$((lx - 8))+$((ly - 8))")
awk -v y="$y" 'BEGIN { exit !(y > 0.05) }' || fail "no label marker where Ctrl-click placed it ($y)"
xdotool key --window "$wid" Escape
sleep 0.5

# ---- F3 saves it, F4 brings it back --------------------------------------------------------
xdotool key --window "$wid" F3
sleep 1
xdotool mousemove --window "$wid" 100 110 sleep 0.3 click 1 sleep 0.4
xdotool mousemove --window "$wid" 434 243 sleep 0.3 click 1
for _ in $(seq 1 50); do [ -s "$save_file" ] && break; sleep 0.1; done
[ -s "$save_file" ] || fail "F3 wrote no orrimund0.sav"
sleep 0.5
grep -a -q "Well" "$save_file" || fail "the save does not carry the label"
xdotool key --window "$wid" F4
sleep 1
xdotool mousemove --window "$wid" 100 110 sleep 0.3 click 1 sleep 0.4 mousemove --window "$wid" 434 243 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01" 2
sleep 1.5
xdotool key --window "$wid" m
sleep 0.8
shot loaded
# The map centres on the hero, who may stand a step from where he was saved.
y=$(yellow_of "$tmp/loaded.png" "24x24+$((lx - 12))+$((ly - 12))")
awk -v y="$y" 'BEGIN { exit !(y > 0.03) }' || fail "the loaded game's map lost the label ($y)"
loaded=$(shown_of "$tmp/loaded.png")
awk -v a="$walked" -v b="$loaded" 'BEGIN { exit !(b > a * 0.8) }' || fail "the loaded map shows $loaded (saved with $walked)"
xdotool mousemove --window "$wid" $lx $ly sleep 0.3 click 1
sleep 0.5
shot selected
# The label's name in its box above the marker.
d=$(convert "$tmp/selected.png" -crop "60x20+$((lx - 30))+$((ly - 30))" -format '%[fx:standard_deviation]' info:)
awk -v d="$d" 'BEGIN { exit !(d > 0.08) }' || fail "a click on the label shows no name ($d)"
xdotool key --window "$wid" Escape
sleep 0.3

# ---- the permanent labels written back ----------------------------------------------------
answer=$(ask "save_map_labels" "labels succesfully saved\|Error\|Unknown")
case "$answer" in *succesfully*) ;; *) fail "save_map_labels: $answer" ;; esac
table="$root/data/tables/automap_labels.tbl"
grep -q '"Old Tower"' "$table" || fail "the rewritten table lost a permanent label"
grep -q '"Well"' "$table" && fail "the rewritten table holds the player's own label"
[ -e "$root/data/tables/automap_labels_temp.tbl" ] && fail "the temporary table was left behind"
kill $pid; wait $pid 2>/dev/null; pid=""
exit 0
