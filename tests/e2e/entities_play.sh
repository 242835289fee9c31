#!/usr/bin/env bash
# Living entities and their AI in the running game. A console script
# (ORRIMUND_AUTOEXEC) asks for the whole party; Start on the title (a click)
# enters the new game's level, where the four heroes stand at the level's
# start points holding their default weapons, drawn on the ground. The
# level's monster layout, loaded from the console pipe, brings grubs named
# "Grub#1", "Grub#2", "Grub#3"; the leader is ordered to walk to a point
# and Rivud to attack a grub, and the AI's state dump shows each in its
# state with its order queued. The layout saved back holds the same
# creatures.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
printf 'full_party 1\n' >"$root/party.vcs"
ORRIMUND_AUTOEXEC="$root/party.vcs" start_game play
log="$tmp/play.console"
grep -q "[Ff]ull_party is TRUE" "$log" || fail "the console script did not run: $(cat "$log")"
sleep 1
xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
wait_console "ENDING LOAD OF rand-forest01"

# ---- the heroes at their start points with their weapons -------------------------
# Asked at once: the followers then walk into their places behind the leader.
console "party_positions"
wait_console "^Level rand-forest01, 4 members"
grep '^Member ' "$log" >"$tmp/members"
expect=("0 0 0" "1.5 0 0" "0 0 1.5" "1.5 0 1.5")
i=0
while read -r line; do
  at=$(echo "$line" | sed -n 's/.* at \([-0-9.]*\) \([-0-9.]*\) \([-0-9.]*\) .*/\1 \2 \3/p')
  awk -v a="$at" -v e="${expect[$i]}" 'BEGIN { split(a, p); split(e, q)
    exit !((p[1] - q[1]) ^ 2 + (p[3] - q[3]) ^ 2 < 0.25 && p[2] == q[2]) }' ||
    fail "member $i not at its start point: $line"
  echo "$line" | grep -q " holding " || fail "member $i holds no weapon: $line"
  i=$((i + 1))
done <"$tmp/members"
[ $i -eq 4 ] || fail "$i members: $(cat "$tmp/members")"
import -window "$wid" "$tmp/heroes.png"

# ---- monsters from the layout, named by type and number -----------------------------
console "load_mlayout rand-forest01"
console "ai_dump"
wait_console "^Grub#3 at "
for n in 1 2 3; do grep -q "^Grub#$n at " "$log" || fail "no Grub#$n: $(grep ' at ' "$log")"; done
grep -q "^Grub#4 " "$log" && fail "a fourth grub"
xdotool key --window "$wid" space  # the layout load paused the game, as a console screen does
sleep 1
import -window "$wid" "$tmp/grubs.png"

# ---- orders: the leader walks, Rivud attacks a grub -----------------------------------
leader=$(sed -n 's/^Member 0: \(.*\) at .*/\1/p' "$tmp/members")
rivud=$(sed -n 's/^Member [0-9]: \(Rivud[^ ]*\) at .*/\1/p' "$tmp/members")
[ -n "$leader" ] && [ -n "$rivud" ] || fail "no leader or Rivud: $(cat "$tmp/members")"
: >"$log"
console "ai_order $leader walk 6 0 8"
console "ai_order $rivud attack \"Grub#1\""
wait_console "$rivud takes the order"
# Each is seen at his order as the AI takes it up (a loaded machine takes
# longer): the dump is asked until both have shown, at most ten seconds.
walking="" fighting=""
: >"$tmp/dump.log"
for _ in $(seq 1 20); do
  sleep 0.5
  : >"$log"
  console "ai_dump"
  wait_console "^Grub#3 at "
  cat "$log" >>"$tmp/dump.log"
  grep -A1 "^$leader at " "$log" | grep -q "AI_STATE_TRAVELING" &&
    grep -A2 "^$leader at " "$log" | grep -q "type 12 .* running" && walking=1
  grep "^$rivud at " "$log" | grep -q "AI_STATE_COMBAT" &&
    grep -A2 "^$rivud at " "$log" | grep -q "type 1 .* running" && fighting=1
  [ -n "$walking" ] && [ -n "$fighting" ] && break
done
[ -n "$walking" ] || fail "the leader does not travel with his walk order running: $(cat "$log")"
[ -n "$fighting" ] || fail "Rivud does not fight with his attack order running: $(cat "$log")"

# ---- the layout saved back --------------------------------------------------------------
console "save_mlayout e2e_saved"
for _ in $(seq 1 50); do [ -s "$root/data/internal/e2e_saved.mlo" ] && break; sleep 0.1; done
[ -s "$root/data/internal/e2e_saved.mlo" ] || fail "no layout written"
grep -c "Grub" "$root/data/internal/e2e_saved.mlo" | grep -q . || fail "the saved layout names no grub"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
