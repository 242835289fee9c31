#!/usr/bin/env bash
# The packer builds the nine packfiles from a small data tree; the game,
# started with ORRIMUND_ROOT at that tree, mounts each one in order and
# counts their members. A damaged packfile is named and contributes nothing,
# and the game runs on. A text file the game writes through the file layer
# ends its lines in CR LF. vfile_cat shows which copy of a game path the
# file layer serves: the packed member, or a loose file dropped in over it.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
mkdir -p "$root/data/tables/levels" "$root/data/fonts" "$root/data/sounds/pc/music" \
         "$root/data/models/characters" "$root/data/effects/spells" "$root/data/internal"
# The tables the game reads at start-up.
"$bin/make_tables" "$root" > "$tmp/tables.out" 2>&1 || fail "make_tables failed: $(cat "$tmp/tables.out")"
tables=$(find "$root/data/tables" -type f | wc -l)
printf 'level\r\n' > "$root/data/tables/levels/level1.tbl"
head -c 5000 /dev/urandom > "$root/data/fonts/small.vf"
head -c 70000 /dev/urandom > "$root/data/sounds/pc/music/theme.wav"
head -c 3000 /dev/urandom > "$root/data/models/characters/hero.vim"
: > "$root/data/effects/spells/empty.vfx"
head -c 2048 /dev/urandom > "$root/data/internal/level1.pfg"
files=$((tables + 6))

"$bin/vpp_pack" --game "$root" > "$tmp/pack.out" 2>&1 || fail "vpp_pack failed: $(cat "$tmp/pack.out")"
packs="orrimund.vpp tables.vpp chars.vpp items.vpp cutscene.vpp effects.vpp sounds.vpp music.vpp levels.vpp"
for p in $packs; do
  [ -f "$root/$p" ] || fail "vpp_pack wrote no $p"
done
# Only the packfiles remain: the game must read its data from them.
rm -rf "$root/data"

# Starts the game, waits for the packfile totals, stops it. $1: output file.
run_game() {
  ORRIMUND_ROOT="$root" "$bin/orrimund" > "$1" 2>&1 &
  pid=$!
  for _ in $(seq 1 300); do
    grep -q "TOTAL PACKFILE FILES:" "$1" && break
    kill -0 "$pid" 2>/dev/null || fail "orrimund ended early: $(cat "$1")"
    sleep 0.1
  done
  grep -q "TOTAL PACKFILE FILES:" "$1" || fail "no packfile totals: $(cat "$1")"
  sleep 0.3
  kill -0 "$pid" 2>/dev/null || fail "orrimund ended after mounting: $(cat "$1")"
  kill -TERM "$pid"
  wait "$pid"
  pid=""
}

run_game "$tmp/game.out"
expected=""
for p in $packs; do expected="$expected${expected:+|}Adding HARD DRIVE PACKFILE : $p"; done
got=$(grep "^Adding HARD DRIVE PACKFILE : " "$tmp/game.out" | paste -sd'|')
[ "$got" = "$expected" ] || fail "mount messages differ: got [$got]"
grep -qx "TOTAL PACKFILE FILES: $files" "$tmp/game.out" || fail "wrong member count: $(grep TOTAL "$tmp/game.out")"

# The game's request for data\tables\levels\level1.tbl is served from the
# packfile member while no loose copy exists, and from a loose
# data/tables/levels/Level1.TBL once one is dropped in. vfile_cat sets the file layer up as the game does.
# $1: output file; the bytes after the "Served from" line go to $1.body.
cat_game_path() {
  ORRIMUND_ROOT="$root" "$bin/vfile_cat" 'data\tables\levels\level1.tbl' > "$1" 2>&1 || fail "vfile_cat failed: $(cat "$1")"
  sed -n '/^Served from /,$p' "$1" | tail -n +2 > "$1.body"
}
printf 'level\r\n' > "$tmp/level1.packed"
cat_game_path "$tmp/cat_packed.out"
grep -qx "TOTAL PACKFILE FILES: $files" "$tmp/cat_packed.out" || fail "vfile_cat mounted differently: $(cat "$tmp/cat_packed.out")"
grep -qx "Served from packfile: tables.vpp member level1.tbl (offset [0-9]*, 7 bytes)" "$tmp/cat_packed.out" ||
  fail "level1.tbl not served from tables.vpp: $(grep Served "$tmp/cat_packed.out")"
cmp -s "$tmp/cat_packed.out.body" "$tmp/level1.packed" || fail "packed level1.tbl has other bytes"
mkdir -p "$root/data/tables/levels"
printf '#Level\r\n$Name: "Loose one"\r\n#End\r\n' > "$root/data/tables/levels/Level1.TBL"
cat_game_path "$tmp/cat_loose.out"
grep -qxF "Served from loose file: $root/data/tables/levels/Level1.TBL (34 bytes)" "$tmp/cat_loose.out" ||
  fail "level1.tbl not served from the loose Level1.TBL: $(grep Served "$tmp/cat_loose.out")"
cmp -s "$tmp/cat_loose.out.body" "$root/data/tables/levels/Level1.TBL" || fail "loose Level1.TBL has other bytes"
# Taken away again, the packed member is back.
rm -rf "$root/data"
cat_game_path "$tmp/cat_again.out"
grep -q "^Served from packfile: tables.vpp member level1.tbl " "$tmp/cat_again.out" ||
  fail "the member did not come back: $(grep Served "$tmp/cat_again.out")"

# A damaged directory: music.vpp claims a member that runs past its end.
printf '\xff\xff\xff\x7f' | dd of="$root/music.vpp" bs=1 seek=$((2048 + 60)) conv=notrunc status=none
run_game "$tmp/damaged.out"
grep -q "Adding HARD DRIVE PACKFILE : music.vpp" "$tmp/damaged.out" || fail "music.vpp not mounted"
grep -q "music.vpp.*no members used" "$tmp/damaged.out" || fail "no message for the damaged packfile: $(cat "$tmp/damaged.out")"
grep -qx "TOTAL PACKFILE FILES: $((files - 1))" "$tmp/damaged.out" || fail "the damaged packfile still counted"
# Text written by the game: the console's print_to_file, run from a script
# named in another case than the one on disk.
printf 'print_to_file\r\n' > "$root/Autoexec.VCS"
ORRIMUND_ROOT="$root" ORRIMUND_AUTOEXEC=autoexec "$bin/orrimund" > "$tmp/autoexec.out" 2>&1 &
pid=$!
for _ in $(seq 1 300); do
  [ -s "$root/console_commands.txt" ] && break
  kill -0 "$pid" 2>/dev/null || fail "orrimund ended early: $(cat "$tmp/autoexec.out")"
  sleep 0.1
done
sleep 0.3
kill -TERM "$pid"; wait "$pid"; pid=""
[ -s "$root/console_commands.txt" ] || fail "no console_commands.txt written: $(cat "$tmp/autoexec.out")"
grep -q $'^script - Runs a console script file (.vcs)\r$' "$root/console_commands.txt" ||
  fail "console_commands.txt lacks the script command line ending in CR LF"
[ "$(grep -c $'\r$' "$root/console_commands.txt")" -eq "$(wc -l < "$root/console_commands.txt")" ] ||
  fail "a line of console_commands.txt does not end in CR LF"
echo "packfiles: ok"
