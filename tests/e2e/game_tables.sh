#!/usr/bin/env bash
# The game reads every data table at start-up, in order (spells, items,
# alternate textures, characters, experience, cutscenes), from the demo
# world, and the console log shows each; a console script then prints a hero's moves and an
# item's information text. A table missing a required key stops the program
# at once with the parser's message naming the file and line, exit code 1.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
rm -rf "$root"
mkdir -p "$root"
write_demo "$root"
printf 'charinfo_moves Rivud\r\nitem_info "Long Sword"\r\nitem_info "ring of fire"\r\n' >"$root/tables.vcs"
log="$tmp/console.log"
rm -f "$log"
cd "$tmp"
ORRIMUND_ROOT="$root" ORRIMUND_AUTOEXEC="$root/tables.vcs" ORRIMUND_CONSOLE_LOG="$log" \
  "$bin/orrimund" >"$tmp/orrimund.out" 2>&1 &
pid=$!
for _ in $(seq 1 300); do
  grep -q '^  Red Minotaur$' "$log" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || fail "orrimund ended early: $(cat "$tmp/orrimund.out")"
  sleep 0.1
done
kill -TERM "$pid"; wait "$pid"; pid=""

# Start-up order, one line per table.
order=$(grep -E '^(Read |No alt_textures)' "$log" | cut -d' ' -f2 | paste -sd' ')
[ "$order" = "spells.tbl: materials.tbl alt_textures.tbl: the experience.tbl: cutscenes.tbl:" ] || fail "tables read out of order: $order"
grep -qx 'Read spells.tbl: 108 spells' "$log" || fail "no spells line"
grep -qx 'Read materials.tbl and items.tbl: 17 materials, 32 items' "$log" || fail "no items line: $(grep items "$log")"
grep -qx 'Read alt_textures.tbl: 2 bases' "$log" || fail "no alternate textures line"
# 161 tables (the game's 160 and the demo's Grub), one with an alternate character.
grep -qx 'Read the character tables: 162 character types, [0-9]* moves' "$log" || fail "no characters line"
grep -qx 'Read experience.tbl: 21 levels' "$log" || fail "no experience line"

# The hero's moves: attacks 1-5, the pushed move, a cast move by variation.
grep -q '^Rivud: num mvfs: [0-9]*$' "$log" || fail "no move list of Rivud: $(cat "$log")"
for v in "variation 1" "variation 5"; do
  grep -qF $'\tattack "attack0'"${v#variation }"'.mvf" "attack" '"$v" "$log" || fail "no attack move of $v"
done
grep -qF $'\tmisc "pushed.mvf" "pushed" pushed' "$log" || fail "no pushed move"
grep -qF $'\tcast "cast_blind.mvf" "cast" blind' "$log" || fail "no cast move"
grep -qx 'Long Sword' "$log" || fail "no item name"
grep -qx 'Skill Req: Sword, Heavy Arms 2' "$log" || fail "no skill requirement line"
grep -qx 'Speed: 0.80' "$log" || fail "no speed line"
grep -qx 'Summoning Ring' "$log" || fail "no summoning ring text"

# A character table missing a required key: the parser's message with the
# file and line, exit code 1, and nobody has to click anything.
bad="$root/data/tables/characterinfo/rat.tbl"
sed -i '/^\$Team:/d' "$bad"
line=$(grep -n '^\$Max Hit Points:' "$bad" | cut -d: -f1)
rm -f "$root"/*.vpp  # the loose tables only
ORRIMUND_ROOT="$root" timeout 60 "$bin/orrimund" </dev/null >"$tmp/bad.out" 2>"$tmp/bad.err"
rc=$?
[ $rc -ne 124 ] || fail "the program waited instead of ending"
[ $rc -eq 1 ] || fail "exit code $rc, expected 1: $(cat "$tmp/bad.err")"
grep -qF "Parsing file \"rat.tbl\", at line #$line" "$tmp/bad.err" || fail "no file and line: $(cat "$tmp/bad.err")"
grep -qF 'Expected "$Team:" but found this text:' "$tmp/bad.err" || fail "not the missing key: $(cat "$tmp/bad.err")"
echo "PASS"
