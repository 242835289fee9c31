#!/usr/bin/env bash
# The developer route of the console: a script named by ORRIMUND_AUTOEXEC
# runs once start-up has finished, and console output lands in the file
# ORRIMUND_CONSOLE_LOG names. The script lists the commands with
# print_to_file and reports the machine with sysinfo.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
mkdir -p "$root"
write_tables "$root"
# CR LF lines, comments, and a line that is no command.
printf '// start-up script of the test\r\n/* nothing in here\r\nsysinfo\r\n*/\r\nprint_to_file\r\nno_such_command 1\r\n\r\nsysinfo\r\n' >"$root/Autoexec.vcs"

cd "$tmp"
ORRIMUND_ROOT="$root" ORRIMUND_AUTOEXEC="$root/Autoexec.vcs" ORRIMUND_CONSOLE_LOG="$tmp/console.log" \
  "$bin/orrimund" >"$tmp/orrimund.out" 2>&1 &
pid=$!

for _ in $(seq 1 300); do
  grep -q 'RAM Speed: ' "$tmp/console.log" 2>/dev/null && break
  kill -0 $pid 2>/dev/null || fail "orrimund ended early: $(cat "$tmp/orrimund.out")"
  sleep 0.1
done
kill -0 $pid 2>/dev/null || fail "orrimund ended early"
kill -TERM $pid; wait $pid; pid=""

log="$tmp/console.log"
[ -f "$log" ] || fail "no console log"
grep -q "^Executing script file '.*Autoexec.vcs'...$" "$log" || fail "the script did not start: $(cat "$log")"
grep -q '^CPU Type: .\+$' "$log" || fail "no CPU Type line"
grep -q '^CPU Speed: [0-9]\+ Mhz$' "$log" || fail "no CPU Speed line"
grep -q '^CPU Extensions: .*\[MMX\]' "$log" || fail "no CPU Extensions line"
grep -q '^Total RAM: [0-9]\+ MB$' "$log" || fail "no Total RAM line"
grep -q '^RAM Speed: [0-9]\+ MB/s$' "$log" || fail "no RAM Speed line"
# The commented-out sysinfo did not run: one report only.
[ "$(grep -c '^CPU Type: ' "$log")" -eq 1 ] || fail "sysinfo ran $(grep -c '^CPU Type: ' "$log") times"
grep -q "^Unknown command 'no_such_command'$" "$log" || fail "no report of the unknown command"
grep -q "^Error processing script line 2: 'no_such_command 1'$" "$log" ||
  fail "the bad line was not reported with its number: $(cat "$log")"

list=""
for f in "$root/console_commands.txt" "$tmp/console_commands.txt"; do
  [ -f "$f" ] && list="$f" && break
done
[ -n "$list" ] || fail "print_to_file wrote no console_commands.txt"
grep -q $'\r$' "$list" || fail "console_commands.txt lines do not end in CR LF"
tr -d '\r' <"$list" >"$tmp/commands.txt"
grep -qx 'print_to_file - Print out console commands to the text file console.txt' "$tmp/commands.txt" ||
  fail "print_to_file is not listed with its help"
grep -qx 'script - Runs a console script file (.vcs)' "$tmp/commands.txt" || fail "script is not listed"
grep -qx 'sysinfo - Shows system info' "$tmp/commands.txt" || fail "sysinfo is not listed"
# Sorted without regard to case, one line per command.
cut -d' ' -f1 "$tmp/commands.txt" >"$tmp/names.txt"
# Case is folded to lower case, as the console compares names ("us_x" before "use").
tr 'A-Z' 'a-z' <"$tmp/names.txt" | LC_ALL=C sort -c || fail "the commands are not sorted without regard to case"
[ "$(sort -f -u "$tmp/names.txt" | wc -l)" -eq "$(wc -l <"$tmp/names.txt")" ] || fail "a command is listed twice"
echo "PASS"
