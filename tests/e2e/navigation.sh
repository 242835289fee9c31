#!/usr/bin/env bash
# The demo's graphs as path_probe loads them through the file layer (from
# the packfiles): the indoor level's graph has a path through its doorway,
# and a level whose graph is missing loads and finds no path. The game's
# own paths round the outdoor wall are in navigation_game.sh.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
rm -rf "$root"
write_demo "$root"
[ -f "$root/data/internal/demo_outdoor.pfg" ] && [ -f "$root/data/internal/demo_indoor.pfg" ] \
  || fail "make_demo wrote no graphs"
# The loose graphs go; the game must find them in the packfiles.
rm -f "$root/data/internal/"*.pfg

# The indoor level's graph loads too; a level without a graph plays without
# paths.
printf 'path 0 -8 0 8 -2\n' > "$tmp/indoor.vcs"
(cd "$root" && ORRIMUND_ROOT="$root" "$bin/path_probe" demo_indoor.s3d "$tmp/indoor.vcs") > "$tmp/indoor.out" 2>&1 \
  || fail "indoor: $(cat "$tmp/indoor.out")"
grep -q "^graph demo_indoor.s3d loaded: [0-9]* nodes in 2 sectors$" "$tmp/indoor.out" || fail "indoor: $(cat "$tmp/indoor.out")"
grep -q "^Path from " "$tmp/indoor.out" || fail "no path through the doorway: $(cat "$tmp/indoor.out")"
(cd "$root" && ORRIMUND_ROOT="$root" "$bin/path_probe" no_such_level.s3d "$tmp/indoor.vcs") > "$tmp/none.out" 2>&1 \
  || fail "missing graph: $(cat "$tmp/none.out")"
grep -qx "graph no_such_level.s3d missing" "$tmp/none.out" || fail "missing graph: $(cat "$tmp/none.out")"
grep -q "^No path from " "$tmp/none.out" || fail "a level without a graph found a path: $(cat "$tmp/none.out")"
echo "PASS"
