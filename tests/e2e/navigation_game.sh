#!/usr/bin/env bash
# Paths in the running game: the developer level picker loads demo_outdoor
# with its pathfinding graph (from the packfiles), and a console script
# asks path_debug for paths from inside the L-shaped wall's corner to the
# open ground beyond it, for each size of creature. Every path keeps clear
# of the wall (checked here against the wall's own boxes grown by the
# creature's radius) and is within 1% of the shortest walk, worked out
# apart from the game's search by path_probe from the demo's ground. Then
# a prohibit avoidance area across the hero's way: the walk order goes
# round it, and straight once it is removed.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
write_demo "$root"
[ -f "$root/data/internal/demo_outdoor.pfg" ] || fail "make_demo wrote no graph for demo_outdoor"
# The loose graphs go; the game must find them in the packfiles.
rm -f "$root/data/internal/"*.pfg
fifo="$tmp/console.fifo"
mkfifo "$fifo"
log="$tmp/console.log"

ORRIMUND_ROOT="$root" ORRIMUND_CONSOLE_FIFO="$fifo" ORRIMUND_CONSOLE_LOG="$log" \
  "$bin/orrimund" -opengl >"$tmp/orrimund.out" 2>&1 &
pid=$!
wid=""
until=$((SECONDS + 90))
while [ $SECONDS -lt $until ]; do
  kill -0 $pid 2>/dev/null || fail "the program ended: $(cat "$tmp/orrimund.out")"
  wid=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | head -1)
  [ -n "$wid" ] && grep -q '^SYSTEM INIT TIME : ' "$tmp/orrimund.out" && break
  sleep 0.1
done
[ -n "$wid" ] || fail "no window"
sleep 1
console() { echo "$1" >"$fifo"; }
wait_log() {
  for _ in $(seq 1 300); do
    [ "$(grep -c -- "$1" "$2" 2>/dev/null)" -ge "${3:-1}" ] && return 0
    sleep 0.1
  done
  fail "no '$1' in $2: $(tail -20 "$2" 2>/dev/null)"
}

pick_level demo_outdoor
for _ in $(seq 1 100); do
  grep -q "^Level loaded: " "$tmp/orrimund.out" && break
  sleep 0.1
done
grep -q "^Level loaded: demo_outdoor.s3d" "$tmp/orrimund.out" ||
  fail "the picker did not load demo_outdoor: $(grep '^Level loaded' "$tmp/orrimund.out")"
wait_log "ENDING LOAD OF demo_outdoor" "$log"
grep -q "^PFG memory size: [0-9]*$" "$tmp/orrimund.out" || fail "no graph was loaded: $(cat "$tmp/orrimund.out")"
sleep 1

# Inside the wall's corner to the far side, for each size class; back again;
# and round the foot of the wall.
requests=("0 -4 -9 -10 -1" "1 -4 -9 -10 -1" "2 -4 -9 -10 -1" "0 -10 -1 -4 -9" "0 -12 -6 -3 -12")
for r in "${requests[@]}"; do console "path_debug $r"; done
wait_log "^Path from \|^No path from " "$log" ${#requests[@]}
# The graph's outlines drawn over the world: red lines where none were.
import -window "$wid" "$tmp/navigation.png" || fail "no picture of the window"
console "render_3d_obstacles"
wait_log "[Rr]ender_3d_obstacles is TRUE" "$log"
sleep 1
import -window "$wid" "$tmp/obstacles.png" || fail "no picture of the window"
red() { convert "$1" -crop 640x400+0+0 -fx '(r > 0.8 && g < 0.2 && b < 0.2) ? 1 : 0' -format '%[fx:int(mean*w*h)]' info:; }
[ "$(red "$tmp/navigation.png")" -lt 50 ] || fail "red in the world before the outlines: $(red "$tmp/navigation.png")"
[ "$(red "$tmp/obstacles.png")" -ge 200 ] || fail "no outlines drawn: $(red "$tmp/obstacles.png") red pixels"

# A prohibit rectangle across the hero's way east: the walk order's planned
# way goes round it, and the hero's places, sampled while it walks, stay
# out of it; once the area is removed the planned way is straight again.
console "aa_debug_add 18 -2 0.5 3"
wait_log "^Avoidance area [0-9]* added" "$log"
handle=$(grep "^Avoidance area [0-9]* added" "$log" | tail -1 | awk '{ print $3 }')
# Samples the hero's place every half second until it stands within 0.6 of
# ($1, $2), at most 40 times; each sample line is marked with $3.
walk_samples() {
  local n
  for n in $(seq 1 40); do
    console "party_positions"
    sleep 0.5
    wait_log "^Level demo_outdoor, " "$log" $((samples + n))
    last=$(grep "^Member 0: " "$log" | tail -1)
    echo "$3 $last" >>"$tmp/samples.txt"
    set -- "$1" "$2" "$3" $last
    awk -v x="$8" -v z="${10}" -v gx="$1" -v gz="$2" 'BEGIN { exit !((x - gx) ^ 2 + (z - gz) ^ 2 < 0.36) }' && break
  done
  samples=$((samples + n))
}
: >"$tmp/samples.txt"
samples=0
console "walk_to 22 -2"
wait_log "^Walk order for " "$log"
walk_samples 22 -2 round
import -window "$wid" "$tmp/avoidance.png" || fail "no picture of the window"
console "aa_debug_remove $handle"
wait_log "^Avoidance area $handle removed" "$log"
console "walk_to 14 -2"
wait_log "^Walk order for " "$log" 2
walk_samples 14 -2 back
kill -TERM $pid; wait $pid; rc=$?; pid=""
[ $rc -eq 0 ] || fail "ended with $rc on SIGTERM"

inside() { awk -v x="$1" -v z="$2" 'BEGIN { exit !((x - 18) ^ 2 < 0.25 && (z + 2) ^ 2 < 9) }'; }
first=$(awk '/^Walk order for / { k++ } k == 1 && /^  point /' "$log")
[ "$(printf '%s\n' "$first" | wc -l)" -ge 3 ] || fail "the walk round the area has no bends: $first"
bad=$(printf '%s\n' "$first" | awk '
  { if (n) for (k = 0; k <= 50; k++) {
      x = px + ($2 - px) * k / 50; z = pz + ($3 - pz) * k / 50
      if ((x - 18) ^ 2 < 0.25 && (z + 2) ^ 2 < 9) { print "enters at " x "," z; exit } }
    px = $2; pz = $3; n++ }')
[ -z "$bad" ] || fail "the planned walk $bad: $first"
printf '%s\n' "$first" | tail -1 | grep -q "point 22.000 -2.000" || fail "the walk does not end at the goal: $first"
# The hero's places while it walked round: never inside, and it arrived.
while read -r _ _ _ _ _ x _ z _; do
  inside "$x" "$z" && fail "the hero stood in the area at $x $z"
done < <(grep "^round " "$tmp/samples.txt")
grep "^round " "$tmp/samples.txt" | tail -1 | awk '{ exit !(($6 - 22) ^ 2 + ($8 + 2) ^ 2 < 0.36) }' ||
  fail "the hero did not arrive round the area: $(grep '^round ' "$tmp/samples.txt" | tail -3)"
second=$(awk '/^Walk order for / { k++ } k == 2 && /^  point /' "$log")
[ "$(printf '%s\n' "$second" | wc -l)" -eq 2 ] || fail "the walk after removal is not straight: $second"
# Back west once the area is gone: straight through where it stood.
grep "^back " "$tmp/samples.txt" | tail -1 | awk '{ exit !(($6 - 14) ^ 2 + ($8 + 2) ^ 2 < 0.36) }' ||
  fail "the hero did not walk back: $(grep '^back ' "$tmp/samples.txt" | tail -3)"
bent=$(grep "^back " "$tmp/samples.txt" | awk '($8 + 2) ^ 2 > 0.25 { print $6, $8 }' | head -1)
[ -z "$bent" ] || fail "the way back bends off the straight line at $bent"

# The independent shortest walks, from the demo's own description of the
# ground (size class radii 0.3, 0.6, 1.0).
printf 'path %s\n' "${requests[@]}" > "$tmp/paths.vcs"
(cd "$root" && ORRIMUND_ROOT="$root" "$bin/path_probe" demo_outdoor.s3d "$tmp/paths.vcs") > "$tmp/probe.out" 2>&1 \
  || fail "path_probe: $(cat "$tmp/probe.out")"
mapfile -t shortest < <(grep '^shortest ' "$tmp/probe.out" | awk '{ print $2 }')
[ ${#shortest[@]} -eq ${#requests[@]} ] || fail "shortest walks: $(cat "$tmp/probe.out")"
radius=(0.3 0.6 1.0)

[ "$(grep -c '^Path from ' "$log")" -eq ${#requests[@]} ] || fail "not every request found a path: $(cat "$log")"
i=0
bad=""
for r in "${requests[@]}"; do
  read -r cls sx sz _ _ <<< "$r"
  block=$(awk -v want=$((i + 1)) '/^Path from / { k++ } k == want && (/^Path from / || /^  node /)' "$log")
  res=$(printf '%s\n' "$block" | awk -v px="$sx" -v pz="$sz" -v g="${radius[$cls]}" -v best="${shortest[$i]}" '
function hits(x0, z0, x1, z1, bx0, bz0, bx1, bz1,   t0, t1, dx, dz, a, b, t) {
  # the wall box grown by the creature, less a hair for a path along its face
  bx0 += 0.01 - g; bz0 += 0.01 - g; bx1 -= 0.01 - g; bz1 -= 0.01 - g
  t0 = 0; t1 = 1; dx = x1 - x0; dz = z1 - z0
  if (dx == 0) { if (x0 <= bx0 || x0 >= bx1) return 0 }
  else { a = (bx0 - x0) / dx; b = (bx1 - x0) / dx; if (a > b) { t = a; a = b; b = t }
         if (a > t0) t0 = a; if (b < t1) t1 = b }
  if (dz == 0) { if (z0 <= bz0 || z0 >= bz1) return 0 }
  else { a = (bz0 - z0) / dz; b = (bz1 - z0) / dz; if (a > b) { t = a; a = b; b = t }
         if (a > t0) t0 = a; if (b < t1) t1 = b }
  return t1 - t0 > 1e-6
}
/^Path from / { len = $NF; n = 0 }
/^  node / {
  n++
  if (hits(px, pz, $2, $3, -8, -11, -7, -3) || hits(px, pz, $2, $3, -7, -4, -1, -3)) print "crosses the wall: " px "," pz " -> " $2 "," $3
  px = $2; pz = $3
}
END {
  if (len > best * 1.01 || len < best * 0.999) print "length " len " against the shortest " best
  if (n < 2) print "only " n " nodes: straight through the wall?"
}')
  [ -z "$res" ] || bad="$bad request $((i + 1)) ($r): $res;"
  i=$((i + 1))
done
[ -z "$bad" ] || fail "$bad"
echo "PASS"
