#!/usr/bin/env bash
# The demo levels load as the game loads them: s3d_info sets up the file
# layer with the game's own start-up step (packfiles and loose files) and
# prints each level's counts, the floor under its start points and where its
# door stands. A damaged copy of a level is refused with the file and the
# section named, and the next level still loads.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
"$bin/make_demo" "$root" > "$tmp/demo.out" 2>&1 || fail "make_demo failed: $(tail -5 "$tmp/demo.out")"
levels="$root/data/models/levels"
[ -f "$levels/demo_outdoor.s3d" ] && [ -f "$levels/demo_indoor.s3d" ] || fail "make_demo wrote no levels"

ORRIMUND_ROOT="$root" "$bin/s3d_info" demo_outdoor.s3d demo_indoor.s3d > "$tmp/info.out" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "s3d_info exit $rc: $(cat "$tmp/info.out")"
out="$tmp/info.out"
grep -q "^Level demo_outdoor.s3d: 16 meshes, 16 instances, 6 nodes, 0 point lists, 1 named point lists, 0 movables, 2 lights, 3 visibility groups, 1 lightmaps, 4 textures, 3 surfaces, 1 vertex animations, 12 in \$vis_base$" "$out" \
  || fail "outdoor counts: $(grep '^Level' "$out")"
grep -q "^Level demo_indoor.s3d: 13 meshes, 13 instances, 5 nodes, 0 point lists, 1 named point lists, 1 movables, 2 lights, 4 visibility groups, 2 lightmaps, 3 textures, 2 surfaces, 0 vertex animations, 4 in \$vis_base$" "$out" \
  || fail "indoor counts: $(grep '^Level' "$out")"
# Every start point stands on ground; indoors on the floor at height 0.
[ "$(grep -c 'stands on the floor' "$out")" -eq 8 ] || fail "start points: $(cat "$out")"
[ "$(grep -A4 '^Level demo_indoor' "$out" | grep -c 'stands on the floor at height 0.000')" -eq 4 ] \
  || fail "indoor floors: $(cat "$out")"
grep -q "movable door_main travels 1.50 s, floor at height 0.050" "$out" || fail "door: $(cat "$out")"
# No level texture fell back to the placeholder.
grep -q "Couldn't open" "$out" && fail "missing textures: $(grep "Couldn't open" "$out")"

# A copy whose header claims fewer faces than its meshes hold.
cp "$levels/demo_indoor.s3d" "$levels/damaged.s3d"
printf '\001\000\000\000' | dd of="$levels/damaged.s3d" bs=1 seek=$((4 + 4 * 12)) conv=notrunc status=none
ORRIMUND_ROOT="$root" "$bin/s3d_info" damaged.s3d demo_indoor.s3d > "$tmp/damaged.out" 2>&1
rc=$?
[ $rc -eq 1 ] || fail "s3d_info on a damaged level: exit $rc"
grep -q "^Level damaged.s3d refused (meshes): more faces than the header's total of 1$" "$tmp/damaged.out" \
  || fail "no refusal message: $(cat "$tmp/damaged.out")"
grep -q "^Level damaged.s3d could not be loaded$" "$tmp/damaged.out" || fail "damaged level not reported"
grep -q "^Level demo_indoor.s3d: 13 meshes" "$tmp/damaged.out" || fail "the next level did not load after the damaged one"
echo "PASS"
