#!/usr/bin/env bash
# The demo cutscene as a player meets it: in demo_outdoor the console's
# play_cutscene hides the HUD, letterboxes the view and flies the camera
# round the start (two pictures, both with their bars, differ); the leader
# stands at the gate while it plays; Escape ends it, the HUD comes back and
# the leader stands where he stood before.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run
dark() { awk -v m="$(mean_of "$1" "$2")" 'BEGIN { exit !(m < 0.02) }'; }
lit() { awk -v m="$(mean_of "$1" "$2")" 'BEGIN { exit !(m > 0.05) }'; }

# ---- demo_outdoor from the level picker (the second level in name order) ------------
open_demo_outdoor
shot before
size=$(identify -format '%wx%h' "$tmp/before.png")
w=${size%x*}
h=${size#*x}
# The letterbox keeps a centred picture of twice its height in width.
bar=$(((h - w / 2) / 2))
[ "$bar" -gt 8 ] || fail "window $size leaves no room for the letterbox"
lit "$tmp/before.png" "${w}x6+0+$((h - 8))" || fail "no HUD at the bottom before the cutscene"

# ---- the cutscene plays -----------------------------------------------------------------
console "play_cutscene demo_gate"
wait_console "^Cutscene demo_gate plays"
sleep 1.5
shot track1
console "party_positions"
wait_console "^Level demo_outdoor, 1 members" 1
grep -q '^Member 0: Ruvizo at 2.000 0.000 3.000 ' "$tmp/$name.console" ||
  fail "the leader is not at the gate in the cutscene: $(grep '^Member' "$tmp/$name.console")"
sleep 6
shot track2
for s in track1 track2; do
  dark "$tmp/$s.png" "${w}x$((bar - 2))+0+0" || fail "$s: no bar at the top"
  dark "$tmp/$s.png" "${w}x$((bar - 2))+0+$((h - bar + 2))" || fail "$s: no bar at the bottom (the HUD?)"
  lit "$tmp/$s.png" "${w}x$((h / 4))+0+$((h * 3 / 8))" || fail "$s: the picture between the bars is black"
done
diff=$(compare -metric AE "$tmp/track1.png" "$tmp/track2.png" null: 2>&1 | cut -d' ' -f1)
[ "${diff%.*}" -gt $((w * h / 20)) ] || fail "the camera did not move: $diff pixels differ"

# ---- Escape ends it (the cutscene still runs: the leader still stands at the gate) --------
console "party_positions"
wait_console "^Level demo_outdoor, 1 members" 2
grep '^Member 0:' "$tmp/$name.console" | tail -1 | grep -q '^Member 0: Ruvizo at 2.000 0.000 3.000 ' ||
  fail "the cutscene ended before Escape: $(tail -5 "$tmp/$name.console")"
xdotool key --window "$wid" Escape
wait_console "^Cutscene demo_gate stopped"
sleep 1
shot after
lit "$tmp/after.png" "${w}x6+0+$((h - 8))" || fail "the HUD did not come back"
console "party_positions"
wait_console "^Level demo_outdoor, 1 members" 3
grep '^Member 0:' "$tmp/$name.console" | tail -1 | grep -q '^Member 0: Ruvizo at 0.000 0.000 0.000 ' ||
  fail "the leader was not put back: $(grep '^Member' "$tmp/$name.console" | tail -1)"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
