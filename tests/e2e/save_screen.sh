#!/usr/bin/env bash
# The save and load screen as a player meets it at 640x480: F3 in a new game
# opens it in save mode with "<New Savegame>"; a description typed into its
# box (Escape first empties the one it starts with) and Save write
# orrimund0.sav with a picture of the game behind its header. F4 lists the
# save with that picture and the description; selecting it and Load bring
# back the game as saved (the purse) with its level drawn. From the title,
# Continue lists it too, and Delete, Yes removes the file.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
deviation_of() { convert "$1" -crop "$2" -format '%[fx:standard_deviation]' info:; }
gold() {
  console "party_items"
  # add_gold ends its line without a line feed: the list may follow on it.
  wait_console "Inventory [0-9]* items" "$1"
  grep -o "Inventory [0-9]* items, [0-9]* gold" "$tmp/$name.console" | tail -1 | sed 's/.*items, //; s/ gold//'
}
save_file="$root/savegame/orrimund0.sav"

start_game saves
console "full_party 1"
wait_console "[Ff]ull_party is TRUE"
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
console "add_gold 100"
g=$(gold 1)
[ "$g" = 130 ] || fail "a new game's purse with 100 more is $g"

# ---- F3: the save screen, a description, Save --------------------------------------------
xdotool key --window "$wid" F3
sleep 1
shot save-mode
m=$(mean_of "$tmp/save-mode.png" "200x30+60+12")
awk -v m="$m" 'BEGIN { exit !(m > 0.1) }' || fail "no save screen title ($m)"
xdotool mousemove --window "$wid" 100 110 sleep 0.3 click 1 sleep 0.4
xdotool mousemove --window "$wid" 300 330 sleep 0.3 click 1 sleep 0.3
xdotool key --window "$wid" Escape sleep 0.3
xdotool mousemove --window "$wid" 300 330 sleep 0.3 click 1 sleep 0.3
xdotool type --window "$wid" --delay 60 "By the oak"
xdotool key --window "$wid" Return
sleep 0.3
shot described
xdotool mousemove --window "$wid" 434 243 sleep 0.3 click 1
for _ in $(seq 1 50); do [ -s "$save_file" ] && break; sleep 0.1; done
[ -s "$save_file" ] || fail "Save wrote no orrimund0.sav: $(ls "$root/savegame" 2>&1)"
sleep 0.5
grep -a -q "By the oak" "$save_file" || fail "the save does not carry the typed description"
# The thumbnail: 201 x 151 16-bit pixels from byte 512, not left blank.
lit=$(dd if="$save_file" bs=1 skip=512 count=60702 2>/dev/null | od -An -v -tu1 | tr -s ' ' '\n' | grep -vc '^0*$')
[ "$lit" -gt 20000 ] || fail "the save's picture is blank ($lit non-zero bytes)"

# ---- F4: the list shows the save with its picture; Load brings it back -------------------
console "add_gold -50"
g=$(gold 2)
[ "$g" = 80 ] || fail "the purse after spending is $g"
xdotool key --window "$wid" F4
sleep 1
shot load-mode
d=$(deviation_of "$tmp/load-mode.png" "201x151+385+64")
awk -v d="$d" 'BEGIN { exit !(d > 0.04) }' || fail "the listed save shows no picture ($d)"
m=$(mean_of "$tmp/load-mode.png" "150x14+201+318")
awk -v m="$m" 'BEGIN { exit !(m > 0.03) }' || fail "the listed save shows no description ($m)"
xdotool mousemove --window "$wid" 100 110 sleep 0.3 click 1 sleep 0.4 mousemove --window "$wid" 434 243 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01" 2
sleep 1
shot loaded
world_lit "$tmp/loaded.png" || fail "the level is drawn black after Load"
g=$(gold 3)
[ "$g" = 130 ] || fail "the loaded game's purse is $g, saved with 130"
kill $pid; wait $pid 2>/dev/null; pid=""

# ---- from the title: Continue lists the save; Delete and Yes remove it ----------------------
start_game title
xdotool mousemove --window "$wid" 450 278 sleep 0.3 click 1
sleep 1
shot title-load
d=$(deviation_of "$tmp/title-load.png" "201x151+385+64")
awk -v d="$d" 'BEGIN { exit !(d > 0.04) }' || fail "Continue does not show the save ($d)"
xdotool mousemove --window "$wid" 97 434 sleep 0.3 click 1
sleep 0.6
xdotool mousemove --window "$wid" 270 293 sleep 0.3 click 1
sleep 0.6
[ -e "$save_file" ] && fail "Delete and Yes left the save"
kill $pid; wait $pid 2>/dev/null; pid=""
