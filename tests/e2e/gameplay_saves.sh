#!/usr/bin/env bash
# A new game as a player starts it: Start on the title (a click) loads the
# new game's level with the whole party (full_party) standing at the
# level's four start points, the world runs, and Tab hands control to the
# next hero. A story stage (which sets its story flags) from a console
# script, a save from the console; the game quits. A second run loads the
# save from the title: the stage judged from the flags, the party's places
# and hit points read back as they were saved, the level drawn around
# them. A damaged save is refused.
# The game is then killed while it writes a save over that one (a test
# switch writes saves slowly); a third run loads the old save whole.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
stop() { kill -TERM $pid; wait $pid; pid=""; }
members() { grep '^Member ' "$tmp/$name.console" | tail -n "$1"; }
# The loaded game: the stage judged from the flags, and the party as the
# first run saved it.
check_loaded() {
  console "gamestage"
  wait_console "^Game stage is 6"
  console "party_positions"
  wait_console "^Level rand-forest01, 4 members" "$2"
  members 4 >"$tmp/$1.members"
  same_party "$tmp/first.members" "$tmp/$1.members" ||
    fail "$1: the party did not come back as saved: $(cat "$tmp/first.members") / $(cat "$tmp/$1.members")"
}
# The same members in the same order with the same hit points, weapons and
# control, each within a step of where it stood (the followers may still
# settle into their places behind the leader).
same_party() {
  paste -d'|' "$1" "$2" | awk -F'|' '{
    split($1, a, " "); split($2, b, " ")
    if (NF != 2) exit 1
    ra = $1; rb = $2
    sub(/ at [-0-9.]+ [-0-9.]+ [-0-9.]+/, "", ra); sub(/ at [-0-9.]+ [-0-9.]+ [-0-9.]+/, "", rb)
    if (ra != rb) exit 1
    match($1, / at [-0-9.]+ [-0-9.]+ [-0-9.]+/); split(substr($1, RSTART + 4, RLENGTH - 4), p, " ")
    match($2, / at [-0-9.]+ [-0-9.]+ [-0-9.]+/); split(substr($2, RSTART + 4, RLENGTH - 4), q, " ")
    if ((p[1] - q[1]) ^ 2 + (p[3] - q[3]) ^ 2 > 1.0) exit 1
  } END { exit NR != 4 }'
}

# ---- a new game from the title ---------------------------------------------------
start_game first
console "full_party 1"
wait_console "[Ff]ull_party is TRUE"
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"
# Asked at once: the followers then walk into their places behind the leader.
console "party_positions"
wait_console "^Level rand-forest01, 4 members"
members 4 >"$tmp/first.members"
# The level's start points, in the party's order: Ruvizo, Rivud, Rivadara, Zazuru.
expect=("0 0 0" "1.5 0 0" "0 0 1.5" "1.5 0 1.5")
i=0
while read -r line; do
  at=$(echo "$line" | sed -n 's/.* at \([-0-9.]*\) \([-0-9.]*\) \([-0-9.]*\) .*/\1 \2 \3/p')
  awk -v a="$at" -v e="${expect[$i]}" 'BEGIN { split(a, p); split(e, q)
    exit !((p[1] - q[1]) ^ 2 + (p[3] - q[3]) ^ 2 < 0.25 && p[2] == q[2]) }' ||
    fail "member $i not at its start point: $line"
  i=$((i + 1))
done <"$tmp/first.members"
grep -q "Member 0: Ruvizo.*(controlled)" "$tmp/first.members" || fail "Ruvizo is not controlled: $(cat "$tmp/first.members")"
import -window "$wid" "$tmp/first-play.png"

# ---- a stage and a save ------------------------------------------------------------
printf 'gamestage 6\r\ngamestage\r\n' >"$tmp/story.vcs"
console "script \"$tmp/story.vcs\""
wait_console "^Game stage is 6"
# The party as it is saved, once the followers stand in their places.
sleep 3
console "party_positions"
wait_console "^Level rand-forest01, 4 members" 2
members 4 >"$tmp/first.members"
console "savegame t1"
wait_console 'Saved "t1.sav".'
[ -s "$root/savegame/t1.sav" ] || fail "no save file written"
stop

# ---- the second run loads it -------------------------------------------------------
start_game second
console "loadgame t1"
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
check_loaded second 1
import -window "$wid" "$tmp/second-play.png"
world_lit "$tmp/second-play.png" || fail "the level is drawn black after the load"

# ---- a damaged save is refused with a message, the game goes on --------------------
head -c 100000 "$root/savegame/t1.sav" >"$root/savegame/cut.sav"
console "loadgame cut"
wait_console "Unable to read header from file.\|not loaded"
kill -0 $pid 2>/dev/null || fail "a damaged save ended the game"

console "loadgame t1"
wait_console "ENDING LOAD OF rand-forest01" 2
sleep 1
# ---- killed in the middle of writing over the save ---------------------------------
cp "$root/savegame/t1.sav" "$tmp/t1.before"
console "save_write_slowly 1"
wait_console "[Ss]ave_write_slowly is TRUE"
console "savegame t1"
for _ in $(seq 1 100); do
  ls "$root/savegame/" | grep -q '^t1\.sav\.~' && break
  sleep 0.05
done
ls "$root/savegame/" | grep -q '^t1\.sav\.~' || fail "the slow save never started: $(ls "$root/savegame/")"
sleep 0.5
grep -q 'Saved "t1.sav"' "$tmp/$name.console" && fail "the slow save finished before the kill"
kill -KILL $pid
wait $pid 2>/dev/null
pid=""
cmp -s "$root/savegame/t1.sav" "$tmp/t1.before" || fail "the save was changed by a write that never finished"

start_game third
console "loadgame t1"
wait_console "ENDING LOAD OF rand-forest01"
sleep 1
check_loaded third 1
stop
echo "PASS"
