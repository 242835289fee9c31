#!/usr/bin/env bash
# The developer's pipe into a running game: lines written to the named pipe
# ORRIMUND_CONSOLE_FIFO names run as console commands while the game runs,
# each writer's lines in order, and their output reaches ORRIMUND_CONSOLE_LOG.
. "${BASH_SOURCE%/*}/lib.sh"

root="$tmp/root"
mkdir -p "$root"
write_tables "$root"
fifo="$tmp/console.fifo"
rm -f "$fifo"; mkfifo "$fifo"
log="$tmp/console.log"; rm -f "$log"

cd "$tmp"
ORRIMUND_ROOT="$root" ORRIMUND_CONSOLE_FIFO="$fifo" ORRIMUND_CONSOLE_LOG="$log" \
  "$bin/orrimund" -opengl >"$tmp/orrimund.out" 2>&1 &
pid=$!

# Waits until the log holds a line matching $1.
wait_log() {
  for _ in $(seq 1 300); do
    grep -q "$1" "$log" 2>/dev/null && return 0
    kill -0 $pid 2>/dev/null || fail "orrimund ended early: $(cat "$tmp/orrimund.out")"
    sleep 0.1
  done
  fail "no '$1' in the console log: $(cat "$log" 2>/dev/null)"
}

# Two writers, one after the other, the second with a CR LF line.
echo "no_such_command_one" >"$fifo"
wait_log "^Unknown command 'no_such_command_one'$"
printf 'sysinfo\r\nno_such_command_two\n' >"$fifo"
wait_log "^Unknown command 'no_such_command_two'$"
grep -q '^CPU Type: .\+$' "$log" || fail "sysinfo did not run from the pipe"
# Order kept: the report of the first command comes before the second's.
first=$(grep -n "no_such_command_one" "$log" | head -1 | cut -d: -f1)
second=$(grep -n "no_such_command_two" "$log" | head -1 | cut -d: -f1)
[ "$first" -lt "$second" ] || fail "pipe lines ran out of order"
kill -0 $pid 2>/dev/null || fail "the game did not keep running"
kill -TERM $pid; wait $pid; pid=""
echo "PASS"
