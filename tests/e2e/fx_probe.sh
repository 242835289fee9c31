#!/usr/bin/env bash
# The demo effects (nine files, sixteen names) are listed, placed and run as the game does it: fx_probe
# reads the demo's effect list, asks for one effect of each pool class
# through the file layer and the preload queue, and prints where each image
# went; the cutscene effect sends the slot occupants away and its release
# brings them back. Then 60 frames of the four running effects: the looping
# fire keeps burning inside a flame-sized box, the one-shot sparks fall and
# die out, and the streak's items trail along its path.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
rm -rf "$root"
"$bin/make_demo" "$root" > "$tmp/demo.out" 2>&1 || fail "make_demo failed: $(tail -5 "$tmp/demo.out")"
[ -f "$root/demo_effects.arr" ] && [ -f "$root/data/effects/fire.vfx" ] || fail "make_demo wrote no effects"

out="$tmp/probe.out"
(cd "$root" && ORRIMUND_ROOT="$root" "$bin/fx_probe" 60) > "$out" 2>&1
rc=$?
[ $rc -eq 0 ] || fail "fx_probe exit $rc: $(tail -20 "$out")"

grep -qx "effects files 9 names 16" "$out" || fail "list: $(grep '^effects' "$out")"
for want in \
  "place hit-glow file preload.rfx pool preload at preload" \
  "place spark-burst file sparks.vfx pool spell at small 0" \
  "place fire-loop file fire.vfx pool level at level" \
  "place beam-streak file beam.vfx pool summon at small 1" \
  "place blood-spray file blood.vfx pool character at small 2" \
  "place scene-glow file scene.vfx pool cutscene at big"; do
  grep -qx "$want" "$out" || fail "missing '$want': $(grep '^place' "$out")"
done
# The cutscene image evicted the three slot occupants, and they came back.
for f in sparks.vfx beam.vfx blood.vfx; do
  [ "$(sed -n '/^place scene-glow/,/^release cutscene/p' "$out" | grep -cx "evicted $f")" -eq 1 ] || fail "not evicted: $f"
  [ "$(sed -n '/^release cutscene/,$p' "$out" | grep -cx "restored $f")" -eq 1 ] || fail "not restored: $f"
done
grep -qx "evicted fire.vfx" "$out" && fail "the level's fire was evicted"

[ "$(grep -c '^frame [0-9]* fire-loop/flames ' "$out")" -eq 60 ] || fail "fire frames"
# The fire still burns after two loops, inside a box the size of its flames.
line=$(grep '^frame 60 fire-loop/flames ' "$out")
read -r _ _ _ _ live _ x0 y0 z0 _ x1 y1 z1 <<< "$line"
[ "$live" -gt 20 ] || fail "fire live count: $line"
awk -v a="$x0" -v b="$y0" -v c="$x1" -v d="$y1" 'BEGIN { exit !(a > -2 && b > -1 && c < 2 && d < 3 && d > 0.2) }' \
  || fail "fire bounds: $line"
# The sparks rose, fell under gravity and are all gone after their burst.
grep -q '^frame 60 spark-burst/sparks live 0$' "$out" || fail "sparks at 60: $(grep '^frame 60 spark-burst' "$out")"
line=$(grep '^frame 8 spark-burst/sparks ' "$out")
read -r _ _ _ _ live _ _ y0 _ _ _ _ <<< "$line"
[ "$live" -gt 30 ] || fail "spark count: $line"
awk -v y="$y0" 'BEGIN { exit !(y < 0) }' || fail "sparks did not fall: $line"
# The streak's items lie along +x behind the moving emitter.
line=$(grep '^frame 20 beam-streak/streak ' "$out")
read -r _ _ _ _ live _ x0 _ _ _ x1 _ _ <<< "$line"
[ "$live" -ge 15 ] || fail "streak count: $line"
awk -v a="$x0" -v b="$x1" 'BEGIN { exit !(b - a > 1.0 && b <= 3.2 && a < 2.0) }' || fail "streak extent: $line"
# The fire's embers (a VIF emitter, 0.1 s between spawns, which at 15
# frames a second the timer rule turns into one a frame) live 1.2 s.
line=$(grep '^frame 30 fire-loop/embers ' "$out")
read -r _ _ _ _ live _ <<< "$line"
[ "$live" -ge 15 ] && [ "$live" -le 18 ] || fail "embers: $line"
echo "ok"
