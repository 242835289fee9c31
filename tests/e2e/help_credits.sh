#!/usr/bin/env bash
# Help and credits at 640x480. F1 on the title shows the help's first page;
# Right turns to the second, Left twice wraps round to the fourth; Escape is
# back on the title. The credits (the console's developer route to them)
# rise up the screen from the demo's credits.tbl; Escape fades them out and
# the title comes back.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
colour_of() { convert "$1" -crop "$2" -format '%[fx:int(255*mean.r)] %[fx:int(255*mean.g)] %[fx:int(255*mean.b)]' info:; }
differ() {
  convert "$1" -crop "$3" +repage "$tmp/a.png" && convert "$2" -crop "$3" +repage "$tmp/b.png" &&
    compare -metric AE -fuzz 5% "$tmp/a.png" "$tmp/b.png" null: 2>&1 | cut -d' ' -f1
}
on_title() {
  shot "$1"
  local c
  c=$(colour_of "$tmp/$1.png" "30x1+391+264")
  set -- $c
  [ "$1" -ge 70 ] && [ "$3" -ge 90 ]
}

start_game help
on_title title || fail "the game did not start on the title"
xdotool key --window "$wid" F1
sleep 0.7
shot help1
xdotool key --window "$wid" Right
sleep 0.5
shot help2
xdotool key --window "$wid" Left Left
sleep 0.5
shot help4
n=$(differ "$tmp/help1.png" "$tmp/help2.png" "400x60+120+30")
[ "$n" -gt 200 ] || fail "Right did not turn the page ($n pixels)"
n=$(differ "$tmp/help2.png" "$tmp/help4.png" "400x60+120+30")
[ "$n" -gt 200 ] || fail "Left twice did not wrap to the last page ($n pixels)"
on_title help4 && fail "the help page does not cover the title"
xdotool key --window "$wid" Escape
sleep 0.7
on_title back || fail "Escape did not return from the help to the title"

console "credits"
sleep 2
shot credits1
sleep 2
shot credits2
n=$(differ "$tmp/credits1.png" "$tmp/credits2.png" "464x480+148+0")
[ "$n" -gt 300 ] || fail "the credits do not move ($n pixels)"
m=$(convert "$tmp/credits2.png" -crop 464x480+148+0 -format '%[fx:maxima.r]' info:)
awk -v m="$m" 'BEGIN { exit !(m > 0.5) }' || fail "no credits text shown ($m)"
xdotool key --window "$wid" Escape
for _ in $(seq 1 30); do on_title after && break; sleep 0.2; done
on_title after || fail "the credits did not end on the title"
kill $pid; wait $pid 2>/dev/null; pid=""
