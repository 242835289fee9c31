#!/usr/bin/env bash
# The assess popup at 640x480 over demo_outdoor (through the developer level
# picker): the console's assess (the route until the assess skill exists)
# opens it on the Watchman, the nearest townsman; the panel shows his name
# and figures over the running view; Escape closes it.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
bright() { convert "$1" -crop "$2" -format '%[fx:maxima.r]' info:; }

start_game assess
pick_level demo_outdoor
wait_console "ENDING LOAD OF demo_outdoor"
sleep 1
console "assess"
sleep 1
shot panel
grep -q "No creature to assess" "$tmp/$name.console" && fail "nobody to assess in demo_outdoor"
# Seven lines of text in the window from (190, 181), none past the ninth.
for line in 0 2 3 4 5 6; do
  b=$(bright "$tmp/panel.png" "200x12+190+$((181 + 14 * line))")
  awk -v b="$b" 'BEGIN { exit !(b > 0.5) }' || fail "line $line of the assess text is empty ($b)"
done
xdotool key --window "$wid" Escape
sleep 0.6
shot closed
m1=$(mean_of "$tmp/panel.png" "240x40+190+190")
m2=$(mean_of "$tmp/closed.png" "240x40+190+190")
[ "$m1" != "$m2" ] || fail "Escape did not close the assess popup"
kill $pid; wait $pid 2>/dev/null; pid=""
