#!/usr/bin/env bash
# The status screen at 640x480: a new game's leader gains a level (through
# the developer console's experience) and R shows its statistics, skills
# and model.
# The raise control of the first skill raises it; Escape asks "Accept changes
# to skills?" and Yes keeps it: R shows it raised again. A second raise
# answered No goes back. A right click on the first chain row opens the
# chain-key menu, and CTRL binds it; the behaviour arrow's menu gives the
# leader the "Assist" behaviour, which the screen names, and a save and load
# keep it.
# The leader's model stands upright in his light stat-screen pose.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
differ() {
  convert "$1" -crop "$3" +repage "$tmp/a.png" && convert "$2" -crop "$3" +repage "$tmp/b.png" &&
    compare -metric AE -fuzz 5% "$tmp/a.png" "$tmp/b.png" null: 2>&1 | cut -d' ' -f1
}
value="40x16+515+97"  # the first skill's value
yes_button() { xdotool mousemove --window "$wid" 270 293 sleep 0.3 click 1; sleep 0.6; }
no_button() { xdotool mousemove --window "$wid" 368 293 sleep 0.3 click 1; sleep 0.6; }

start_game skills
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
console "add_xp 3000"
sleep 0.5
xdotool key --window "$wid" r
sleep 0.8
shot status
m=$(mean_of "$tmp/status.png" "70x24+135+20")
awk -v m="$m" 'BEGIN { exit !(m > 0.1) }' || fail "no status screen ($m)"
# The leader's red model stands under the skills.
model="160x190+430+280"
r=$(redness_of "$tmp/status.png" "$model")
awk -v r="$r" 'BEGIN { exit !(r > 0.03) }' || fail "no model of the leader ($r)"
# Upright in his light pose: the red of him is far taller than wide.
standing() {
  local w h
  read -r w h < <(convert "$1" -crop "$model" +repage -fx 'r > 0.3 && r > 1.8 * g ? 1 : 0' -trim -format '%w %h' info:)
  [ "$h" -gt 100 ] && [ "$h" -gt $((2 * w)) ] || fail "the model in $2 is no standing figure (${w}x$h)"
}
standing "$tmp/status.png" status
xdotool mousemove --window "$wid" 568 104 sleep 0.3 click 1
sleep 0.4
shot raised
n=$(differ "$tmp/status.png" "$tmp/raised.png" "$value")
[ "$n" -gt 20 ] || fail "the raise control did not raise the skill ($n pixels)"
xdotool key --window "$wid" Escape
sleep 0.6
shot question
yes_button
shot closed
n=$(differ "$tmp/status.png" "$tmp/closed.png" "70x24+135+20")
[ "$n" -gt 100 ] || fail "Yes did not close the status screen"
xdotool key --window "$wid" r
sleep 0.8
shot again
# Raised from what it was (now in the normal colour, no longer pending).
n=$(differ "$tmp/status.png" "$tmp/again.png" "$value")
[ "$n" -gt 20 ] || fail "the accepted point did not stay ($n pixels)"
# More experience for another point; the screen is left (nothing pending,
# so without a question) and opened again.
xdotool key --window "$wid" Escape
sleep 0.5
console "add_xp 20000"
sleep 0.5
xdotool key --window "$wid" r
sleep 0.8
shot again
xdotool mousemove --window "$wid" 568 104 sleep 0.3 click 1
sleep 0.4
shot raised2
n=$(differ "$tmp/again.png" "$tmp/raised2.png" "$value")
[ "$n" -gt 20 ] || fail "the second raise did nothing ($n pixels)"
xdotool key --window "$wid" Escape
sleep 0.6
no_button
xdotool key --window "$wid" r
sleep 0.8
shot declined
n=$(differ "$tmp/again.png" "$tmp/declined.png" "$value")
[ "$n" -lt 10 ] || fail "No did not give the point back ($n pixels)"

# ---- the chain-key menu and the behaviour menu ------------------------------------------
# A menu entry is chosen by a press and a release over it.
# The mouse then leaves for an empty corner, out of the pictures compared.
choose() {
  xdotool mousemove --window "$wid" "$1" "$2" sleep 0.3 mousedown 1 sleep 0.2 mouseup 1 sleep 0.3 mousemove --window "$wid" 620 470
  sleep 0.6
}
chain_key="60x14+535+209"  # the first chain row's key
xdotool mousemove --window "$wid" 380 216 sleep 0.3 click 3
sleep 0.6
shot chain-menu
n=$(differ "$tmp/declined.png" "$tmp/chain-menu.png" "70x60+380+216")
[ "$n" -gt 200 ] || fail "no chain-key menu at the right click ($n pixels)"
# Its third entry, CTRL (entries 14 pixels apart below a 3-pixel margin).
choose 400 254
shot chain-bound
n=$(differ "$tmp/declined.png" "$tmp/chain-bound.png" "$chain_key")
[ "$n" -gt 20 ] || fail "the chain row's key did not change ($n pixels)"
n=$(differ "$tmp/declined.png" "$tmp/chain-bound.png" "70x60+380+230")
[ "$n" -lt 30 ] || fail "the chain-key menu did not close ($n pixels)"
behaviour="200x16+100+449"
xdotool mousemove --window "$wid" 92 456 sleep 0.3 click 1
sleep 0.6
shot behaviour-menu
n=$(differ "$tmp/declined.png" "$tmp/behaviour-menu.png" "120x80+107+395")
[ "$n" -gt 200 ] || fail "no behaviour menu beside the arrow ($n pixels)"
# The list keeps to the screen: six entries end at the bottom; Assist is
# the second.
choose 140 414
shot behaviour-set
n=$(differ "$tmp/declined.png" "$tmp/behaviour-set.png" "$behaviour")
[ "$n" -gt 20 ] || fail "the behaviour shown did not change ($n pixels)"
# Saved and loaded, the leader keeps the behaviour he was given.
xdotool key --window "$wid" Escape
sleep 0.6
console "savegame behaviour"
wait_console 'Saved "behaviour.sav".'
console "loadgame behaviour"
wait_console "ENDING LOAD OF rand-forest01" 2
sleep 1
xdotool key --window "$wid" r
sleep 0.8
shot behaviour-loaded
n=$(differ "$tmp/behaviour-set.png" "$tmp/behaviour-loaded.png" "$behaviour")
[ "$n" -lt 20 ] || fail "the loaded leader's behaviour is not the one given ($n pixels)"
kill $pid; wait $pid 2>/dev/null; pid=""
# The game's debug output (written out as it ends): the light pose at each
# opening, dropped at each close.
out="$tmp/skills.out"
# Five openings (the last after the load), four closes.
[ "$(grep -c "^Loading light armor version for Ruvizo" "$out")" = 5 ] || fail "no light pose at each opening"
[ "$(grep -c "^Unloading stat screen animation for Ruvizo" "$out")" = 4 ] || fail "the pose was not dropped at each close"
