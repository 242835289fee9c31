#!/usr/bin/env bash
# The outdoor demo level's scripts as a player meets them: the level is
# loaded through the developer level picker, the party stands at the
# level's start navpoints and the watchman stands at his first navpoint,
# his walk to the second one ordered (his place and action sampled from the
# console). The AI does not yet carry out walk orders in the running game,
# so the patrol itself and the walk into the exit are shown by the unit
# tests, not here.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
start_game run
shot() { import -window "$wid" "$tmp/$1.png" || fail "no picture for $1"; }

# ---- demo_outdoor from the level picker (the second level in name order) ------------
open_demo_outdoor
shot outdoor

console "party_positions"
wait_console "^Level demo_outdoor, 1 members"
grep -q '^Member 0: Ruvizo at 0.000 0.000 0.000 ' "$tmp/$name.console" ||
  fail "the leader is not at the first start navpoint: $(grep '^Member' "$tmp/$name.console")"

# ---- the watchman at his post, his walk begun ------------------------------------------
console "script_characters"
wait_console "^Script character Watchman at -3.000 0.000 7.000 action 1 walk to$"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
