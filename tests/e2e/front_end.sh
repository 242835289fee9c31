#!/usr/bin/env bash
# The front end as a player meets it on the demo world, at 640x480 and at
# 800x600: the title shows the main menu, and hovering Start lights it;
# clicking Start loads the new game's level (the loading box itself is
# watched by front_loading.cpp), then the HUD shows the four heroes' portraits; Escape opens the game menu and the game
# clock stands still behind it; Quit and Yes return to the title; Escape on
# the title shows the end splash, a key ends the program with 0. The
# developer level picker lists the demo levels and loads demo_indoor.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
fifo="$tmp/console.fifo"

# Colour of a box of a picture as "r g b" (0..255): $1 picture, $2 WxH+X+Y.
colour_of() { convert "$1" -crop "$2" -format '%[fx:int(255*mean.r)] %[fx:int(255*mean.g)] %[fx:int(255*mean.b)]' info:; }
# Mean brightness (0..1) of a box.
# Standard deviation (0..1) of a box: a picture has some, a flat panel none.
deviation_of() { convert "$1" -crop "$2" -format '%[fx:standard_deviation]' info:; }

start() {  # name, window width, then the program's arguments
  START_WIDTH=$2 start_game "$1" "${@:3}"
}
wait_out() {
  for _ in $(seq 1 300); do grep -q "$1" "$tmp/$name.out" && return 0; sleep 0.1; done
  fail "$name: no '$1' in the output: $(cat "$tmp/$name.out")"
}

for size in 640 800; do
  name="play$size"
  if [ $size = 640 ]; then s=100; start $name 640; else s=125; start $name 800 -800; fi
  sc() { echo $(( ($1 * s + 50) / 100 )); }  # a 640 place at this size
  # A new game starts with the first hero alone; the developer switch brings
  # the other three along, so the HUD shows four portraits.
  console "full_party on"
  wait_console "^full_party is TRUE"
  # ---- the title: the menu's items where the rows place them -----------------
  shot "$name-title"
  identify "$tmp/$name-title.png" | grep -q " $size"x || fail "$name: window size $(identify "$tmp/$name-title.png")"
  for y in 211 264 317 370; do
    x=$([ $y = 317 ] && echo 421 || ([ $y = 370 ] && echo 441 || echo 371))
    c=$(colour_of "$tmp/$name-title.png" "$(sc 30)x1+$(sc $((x + 20)))+$(sc $y)")
    # Each item's frame edge: the idle grey-blue line of the art.
    set -- $c; [ $1 -ge 70 ] && [ $3 -ge 90 ] || fail "$name: no menu item at ($x,$y): $c"
  done
  before=$(colour_of "$tmp/$name-title.png" "$(sc 100)x1+$(sc 400)+$(sc 211)")
  # ---- hovering Start lights it -------------------------------------------------
  xdotool mousemove --window "$wid" $(sc 450) $(sc 225)
  sleep 0.5
  shot "$name-hover"
  lit=$(colour_of "$tmp/$name-hover.png" "$(sc 100)x1+$(sc 400)+$(sc 211)")
  set -- $lit; [ $1 -ge 220 ] && [ $2 -ge 220 ] && [ $3 -le 200 ] || fail "$name: Start not lit: $lit (was $before)"
  # ---- clicking Start: the loading box (front_loading.cpp), then the HUD -----------
  xdotool click --window "$wid" 1
  wait_out "^Level loaded: rand-forest01.s3d"
  # The loading box stays while its steps are drawn; then the HUD.
  for _ in $(seq 1 60); do
    shot "$name-hud"
    m=$(mean_of "$tmp/$name-hud.png" "$(sc 30)x$(sc 20)+$(sc 59)+$(sc 425)")
    awk -v m="$m" 'BEGIN { exit !(m > 0.15) }' && break
    sleep 0.2
  done
  for i in 0 1 2 3; do
    m=$(mean_of "$tmp/$name-hud.png" "$(sc 30)x$(sc 20)+$(sc $((59 + 51 * i)))+$(sc 425)")
    awk -v m="$m" 'BEGIN { exit !(m > 0.15) }' || fail "$name: portrait $i not shown ($m)"
    # A face on its backdrop, not the bar's even panel.
    d=$(deviation_of "$tmp/$name-hud.png" "$(sc 36)x$(sc 36)+$(sc $((56 + 51 * i)))+$(sc 422)")
    awk -v d="$d" 'BEGIN { exit !(d > 0.08) }' || fail "$name: portrait $i has no face ($d)"
  done
  # ---- Escape: the game menu, and the game clock stands still ----------------------
  console "game_time"
  wait_console "^Game clock: " 1
  sleep 0.5
  console "game_time"
  wait_console "^Game clock: " 2
  running=$(grep "^Game clock: " "$tmp/$name.console" | tail -2 | awk '{print $3}' | tr '\n' ' ')
  set -- $running; [ "$2" -gt "$1" ] || fail "$name: the game clock does not run in play: $running"
  xdotool key --window "$wid" Escape
  sleep 0.5
  console "game_time"
  wait_console "^Game clock: " 3
  sleep 1
  console "game_time"
  wait_console "^Game clock: " 4
  held=$(grep "^Game clock: " "$tmp/$name.console" | tail -2 | awk '{print $3}' | tr '\n' ' ')
  set -- $held; [ "$2" -eq "$1" ] || fail "$name: the game clock ran behind the menu: $held"
  shot "$name-menu"
  c=$(colour_of "$tmp/$name-menu.png" "$(sc 100)x$(sc 20)+$(sc 270)+$(sc 140)")
  set -- $c; [ $1 -ge 25 ] || fail "$name: no game menu: $c"
  # ---- Quit, then Yes: back on the title --------------------------------------------
  xdotool mousemove --window "$wid" $(sc 290) $(sc 294) click 1
  sleep 0.7
  shot "$name-quit"
  # The popup's "Yes" is the first of two buttons: a third of its width in.
  pw=$(( size == 640 ? 293 : 366 )); ph=$(( size == 640 ? 165 : 206 ))
  px=$(( (size - pw) / 2 )); py=$(( (size * 3 / 4 - ph) / 2 ))
  off=$(( size == 640 ? 146 : 182 ))
  xdotool mousemove --window "$wid" $(( px + pw / 3 )) $(( py + off - 5 )) click 1
  sleep 1.5
  shot "$name-back"
  c=$(colour_of "$tmp/$name-back.png" "$(sc 30)x1+$(sc 391)+$(sc 264)")
  set -- $c; [ $1 -ge 70 ] && [ $3 -ge 90 ] || fail "$name: Quit and Yes did not return to the title: $c"
  # ---- Escape on the title: the end splash, then a key ends the program ----------
  xdotool key --window "$wid" Escape
  sleep 0.7
  shot "$name-splash"
  kill -0 $pid 2>/dev/null || fail "$name: Escape on the title quit at once"
  m=$(mean_of "$tmp/$name-splash.png" "$(sc 300)x$(sc 40)+$(sc 170)+$(sc 180)")
  awk -v m="$m" 'BEGIN { exit !(m > 0.08) }' || fail "$name: no end splash ($m)"
  xdotool key --window "$wid" space
  for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && fail "$name: the end splash did not end the program"
  wait $pid; rc=$?; pid=""
  [ $rc -eq 0 ] || fail "$name: ended with $rc"
done

# ---- The developer level picker loads demo_indoor --------------------------------
name=picker
start $name 640
console "level_picker"
sleep 1.5
shot picker
# The level list in name order; demo_indoor's row chosen, then Load.
row=$(picker_row demo_indoor)
xdotool mousemove --window "$wid" 230 $((78 + 18 * (row - 1))) click 1
sleep 0.5
xdotool mousemove --window "$wid" 265 432 click 1
wait_out "^Level loaded: demo_indoor.s3d"
# The loading box stays while its steps are drawn; then the HUD.
for _ in $(seq 1 50); do
  shot picker-hud
  m=$(mean_of "$tmp/picker-hud.png" "30x20+59+425")
  awk -v m="$m" 'BEGIN { exit !(m > 0.15) }' && break
  sleep 0.2
done
awk -v m="$m" 'BEGIN { exit !(m > 0.15) }' || fail "picker: no HUD after loading demo_indoor ($m)"
kill -TERM $pid; wait $pid; rc=$?; pid=""
[ $rc -eq 0 ] || fail "picker: ended with $rc on SIGTERM"
echo PASS
