#!/usr/bin/env bash
# A walk on a flat story level as a player makes it: in a grassland
# clearing (one of the world map's encounter levels, open ground with no
# obstacle on it) a click on the ground a few steps away walks the leader
# there at its walking pace, seen in the party's places sampled every half
# second, and the three other heroes follow it into formation. Before, a
# walk order on such a level planned no way at all and nobody moved.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/demo"
write_demo "$root"
printf 'full_party 1\n' >"$root/party.vcs"
ORRIMUND_AUTOEXEC="$root/party.vcs" start_game walk
log="$tmp/walk.console"

# ---- rand-grassland01, the eighth level in name order ----------------------------------
open_level_at 7 rand-grassland01
sleep 1.5
console "party_positions"
wait_console "^Level rand-grassland01, 4 members"
grep -q '^Member 0: [A-Za-z]* at 0.000 0.000 0.000 .*(controlled)' "$log" ||
  fail "the leader is not at the start: $(grep '^Member 0' "$log")"
# The followers walk into their places first; the click waits for them, so
# that none stands under it.
prev=""
for _ in $(seq 1 30); do
  : >"$log"
  console "party_positions"
  wait_console "^Level rand-grassland01, 4 members"
  now=$(grep '^Member' "$log")
  [ "$now" = "$prev" ] && break
  prev=$now
  sleep 0.5
done
shot before

# ---- a click on the ground ahead and to the left ----------------------------------------
gx=-3; gz=5
read -r sx sy < <(screen_of $gx 0 $gz)
xdotool mousemove --window "$wid" "$sx" "$sy" click 1
: >"$tmp/samples"
for i in $(seq 1 16); do
  sleep 0.5
  : >"$log"
  console "party_positions"
  wait_console "^Level rand-grassland01, 4 members"
  grep '^Member' "$log" | sed "s/^/$i /" >>"$tmp/samples"
done
shot after

# The leader: it is seen on the way, never steps back or leaps, and stands within a
# few hand-widths of the clicked point (the click meets the ground at the
# nearest pixel's point).
awk -v gx=$gx -v gz=$gz '
  $2 == "Member" && $3 == "0:" {
    x = $6; z = $8; d = sqrt((x - gx) ^ 2 + (z - gz) ^ 2)
    if ($0 !~ /\(controlled\)/) { print "the click took control from the leader at sample " $1; bad = 1 }
    if (n > 0) {
      step = sqrt((x - px) ^ 2 + (z - pz) ^ 2)
      if (step > 3.5) { print "a leap of " step " at sample " $1; bad = 1 }
      if (d > last + 0.15) { print "walks away from the point at sample " $1; bad = 1 }
    }
    # On the way: off the start and short of the point.
    if (sqrt(x ^ 2 + z ^ 2) > 0.3 && d > 0.5) on_way++
    px = x; pz = z; last = d; n++
  }
  END {
    if (on_way < 1) { print "the leader was never seen on the way"; bad = 1 }
    if (last > 0.35) { print "the leader stops " last " from the point"; bad = 1 }
    exit bad
  }' "$tmp/samples" || fail "the leader's walk: $(grep ' Member 0:' "$tmp/samples" | tr '\n' ';')"

# The followers: in the last sample each stands near the leader, and no two
# heroes stand inside each other.
last=$(tail -4 "$tmp/samples")
echo "$last" | awk '
  { x[NR] = $6; z[NR] = $8 }
  END {
    for (i = 2; i <= 4; i++) {
      d = sqrt((x[i] - x[1]) ^ 2 + (z[i] - z[1]) ^ 2)
      if (d > 7.0) { print "member " i - 1 " is " d " from the leader"; bad = 1 }
    }
    for (i = 1; i <= 4; i++) for (j = i + 1; j <= 4; j++) {
      d = sqrt((x[i] - x[j]) ^ 2 + (z[i] - z[j]) ^ 2)
      if (d < 0.5) { print "members " i - 1 " and " j - 1 " overlap (" d ")"; bad = 1 }
    }
    exit bad
  }' || fail "the party after the walk: $(echo "$last" | tr '\n' ';')"

kill -TERM $pid; wait $pid; pid=""
echo "PASS"
