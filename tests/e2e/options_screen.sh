#!/usr/bin/env bash
# The options screen at 640x480, opened with F2 on the title: the music
# slider dragged to its left end and "Reverse mouse" set to On, then the
# tick accepts; orrimund.cfg holds the 48 bytes with both changes. After a
# restart the screen shows them again. A drag of the sound slider left with
# Escape leaves the file as it was.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
cfg="$root/orrimund.cfg"
# Byte $2 of file $1, as a number.
byte() { od -An -tu1 -j "$2" -N 1 "$1" | tr -d ' '; }

start_game first
rm -f "$cfg"
xdotool key --window "$wid" F2
sleep 0.8
shot options
m=$(mean_of "$tmp/options.png" "100x24+270+18")
awk -v m="$m" 'BEGIN { exit !(m > 0.1) }' || fail "no options screen ($m)"
# The music bar runs from x 59, 200 wide, at y 90.
xdotool mousemove --window "$wid" 180 97 sleep 0.3 mousedown 1 sleep 0.3 mousemove --window "$wid" 100 97 sleep 0.2 \
  mousemove --window "$wid" 20 97 sleep 0.3 mouseup 1
sleep 0.3
xdotool mousemove --window "$wid" 174 338 sleep 0.3 click 1
sleep 0.3
shot changed
xdotool mousemove --window "$wid" 562 29 sleep 0.3 click 1
for _ in $(seq 1 30); do [ -s "$cfg" ] && break; sleep 0.1; done
[ -s "$cfg" ] || fail "Accept wrote no orrimund.cfg"
[ "$(stat -c %s "$cfg")" = 48 ] || fail "orrimund.cfg is $(stat -c %s "$cfg") bytes"
[ "$(od -An -tx1 -j 4 -N 4 "$cfg" | tr -d ' ')" = 00000000 ] || fail "the music volume is not 0: $(od -An -tx1 "$cfg")"
[ "$(byte "$cfg" 9)" = 1 ] || fail "reverse mouse turning is not on: $(od -An -tx1 "$cfg")"
cp "$cfg" "$tmp/accepted.cfg"
kill $pid; wait $pid 2>/dev/null; pid=""

start_game second
xdotool key --window "$wid" F2
sleep 0.8
shot restarted
# The "On" box of Reverse mouse is filled; the music bar is empty.
m=$(mean_of "$tmp/restarted.png" "8x8+170+334")
awk -v m="$m" 'BEGIN { exit !(m > 0.5) }' || fail "Reverse mouse is not shown on after the restart ($m)"
m=$(mean_of "$tmp/restarted.png" "100x6+80+94")
awk -v m="$m" 'BEGIN { exit !(m < 0.15) }' || fail "the music bar is not empty after the restart ($m)"
# Escape after a drag changes nothing on disk.
xdotool mousemove --window "$wid" 120 144 sleep 0.3 mousedown 1 sleep 0.3 mousemove --window "$wid" 30 144 sleep 0.3 mouseup 1
xdotool key --window "$wid" Escape
sleep 0.5
cmp -s "$cfg" "$tmp/accepted.cfg" || fail "Escape changed orrimund.cfg"
kill $pid; wait $pid 2>/dev/null; pid=""
