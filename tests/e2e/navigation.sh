#!/usr/bin/env bash
# A path round the L-shaped wall of the demo's outdoor level: path_probe
# loads the level's graph through the file layer as the level load does,
# and a console script asks for paths from inside the wall's corner to the
# open ground beyond it, for each size of creature. Every path keeps clear
# of the wall (checked here against the wall's own boxes) and is within 1%
# of the shortest walk worked out apart from the game's search. A level
# whose graph is missing loads, and its requests find no path.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
rm -rf "$root"
write_demo "$root"
[ -f "$root/data/internal/demo_outdoor.pfg" ] && [ -f "$root/data/internal/demo_indoor.pfg" ] \
  || fail "make_demo wrote no graphs"
# The loose graphs go; the game must find them in the packfiles.
rm -f "$root/data/internal/"*.pfg

cat > "$tmp/paths.vcs" <<'VCS'
# inside the wall's corner to the far side, for each size class
path 0 -4 -9 -10 -1
path 1 -4 -9 -10 -1
path 2 -4 -9 -10 -1
# back again, and round the foot of the wall
path 0 -10 -1 -4 -9
path 0 -12 -6 -3 -12
VCS
out="$tmp/paths.out"
(cd "$root" && ORRIMUND_ROOT="$root" "$bin/path_probe" demo_outdoor.s3d "$tmp/paths.vcs") > "$out" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "path_probe exit $rc: $(tail -20 "$out")"
grep -q "^graph demo_outdoor.s3d loaded: [0-9]* nodes in 2 sectors$" "$out" || fail "graph: $(head -20 "$out")"
[ "$(grep -c '^path ' "$out")" -eq 5 ] || fail "not every request found a path: $(cat "$out")"

# Each path, its legs from its start (taken from the script), is checked
# against the wall's two boxes ([-8,-7] x [-11,-3] and [-7,-1] x [-4,-3]),
# and its length against the independent shortest walk.
starts=$(grep '^path ' "$tmp/paths.vcs" | awk '{ print $3, $4 }')
i=0
bad=""
while read -r sx sz; do
  i=$((i + 1))
  block=$(awk -v want="$i" '/^path [0-9]/ || /^no path/ { k++ } k == want' "$out")
  res=$(printf '%s\n' "$block" | awk -v px="$sx" -v pz="$sz" '
function hits(x0, z0, x1, z1, bx0, bz0, bx1, bz1,   t0, t1, dx, dz, a, b, t) {
  t0 = 0; t1 = 1; dx = x1 - x0; dz = z1 - z0
  if (dx == 0) { if (x0 <= bx0 || x0 >= bx1) return 0 }
  else { a = (bx0 - x0) / dx; b = (bx1 - x0) / dx; if (a > b) { t = a; a = b; b = t }
         if (a > t0) t0 = a; if (b < t1) t1 = b }
  if (dz == 0) { if (z0 <= bz0 || z0 >= bz1) return 0 }
  else { a = (bz0 - z0) / dz; b = (bz1 - z0) / dz; if (a > b) { t = a; a = b; b = t }
         if (a > t0) t0 = a; if (b < t1) t1 = b }
  return t1 - t0 > 1e-6
}
/^path / { len = $5 }
/^node / {
  if (hits(px, pz, $2, $3, -8, -11, -7, -3) || hits(px, pz, $2, $3, -7, -4, -1, -3)) print "crosses the wall at " px "," pz " -> " $2 "," $3
  px = $2; pz = $3
}
/^shortest / { if (len > $2 * 1.01 || len < $2 * 0.999) print "length " len " against shortest " $2 }')
  [ -z "$res" ] || bad="$bad request $i: $res;"
done <<< "$starts"
[ -z "$bad" ] || fail "$bad"
# Round the wall, not through it: the first request bends at least twice.
[ "$(awk '/^path [0-9]/ { k++ } k == 1 && /^node /' "$out" | wc -l)" -ge 3 ] || fail "first path: $(cat "$out")"

# The indoor level's graph loads too; a level without a graph plays without
# paths.
printf 'path 0 -8 0 8 -2\n' > "$tmp/indoor.vcs"
(cd "$root" && ORRIMUND_ROOT="$root" "$bin/path_probe" demo_indoor.s3d "$tmp/indoor.vcs") > "$tmp/indoor.out" 2>&1 \
  || fail "indoor: $(cat "$tmp/indoor.out")"
grep -q "^graph demo_indoor.s3d loaded: [0-9]* nodes in 2 sectors$" "$tmp/indoor.out" || fail "indoor: $(cat "$tmp/indoor.out")"
grep -q "^path " "$tmp/indoor.out" || fail "no path through the doorway: $(cat "$tmp/indoor.out")"
(cd "$root" && ORRIMUND_ROOT="$root" "$bin/path_probe" no_such_level.s3d "$tmp/indoor.vcs") > "$tmp/none.out" 2>&1 \
  || fail "missing graph: $(cat "$tmp/none.out")"
grep -qx "graph no_such_level.s3d missing" "$tmp/none.out" || fail "missing graph: $(cat "$tmp/none.out")"
grep -qx "no path" "$tmp/none.out" || fail "a level without a graph found a path: $(cat "$tmp/none.out")"
echo "PASS"
