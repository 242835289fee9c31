#!/usr/bin/env bash
# The real program: a fault that escapes leaves errorlog.txt beside the
# program, naming the exception, the main thread, the registers, the module
# and the stack, and the program ends by the fault's signal. A second crash
# appends a second report.
set -u
tmp="$ORRIMUND_TEST_TMP"
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$tmp/install"
cp "$ORRIMUND_BIN_DIR/orrimund" "$tmp/install/orrimund"
"$ORRIMUND_BIN_DIR/make_tables" "$tmp/install" >/dev/null || fail "make_tables failed"
prog="$tmp/install/orrimund"
log="$tmp/install/errorlog.txt"

crash_once() {
  "$prog" >"$tmp/out.txt" 2>&1 &
  local pid=$!
  for _ in $(seq 1 300); do
    xdotool search --pid $pid >/dev/null 2>&1 && break
    sleep 0.1
  done
  kill -0 $pid 2>/dev/null || fail "the program did not start: $(cat "$tmp/out.txt")"
  # Let start-up finish (the renderer shows the window), so that the fault
  # lands in the main loop rather than in the middle of loading a library.
  local wid
  wid=$(xdotool search --pid $pid | head -1)
  for _ in $(seq 1 300); do
    xwininfo -id "$wid" 2>/dev/null | grep -q 'IsViewable' && break
    sleep 0.1
  done
  sleep 0.5
  kill -SEGV $pid
  wait $pid
}

crash_once
rc=$?
[ $rc -eq $((128 + 11)) ] || fail "the program ended with $rc, not by SIGSEGV"
[ -s "$log" ] || fail "no errorlog.txt beside the program"

text=$(cat "$log")
has() { [[ "$text" == *"$1"* ]] || fail "errorlog.txt lacks: $1"; }
has $'\r\n\r\n\r\n\r\norrimund caused an Access Violation in module '
has $'Exception handler called in Orrimund Main Thread.\r\n'
has $'\r\nRegisters:\r\nRAX='
has ' RIP='
has $'Bytes at CS:RIP:\r\n'
has $'\r\nStack dump:\r\n'
has $'\tModule list: names, addresses, sizes, time stamps and file times:\r\n'
has "$prog, loaded at 0x"
# A signal sent from outside names no faulting address.
! grep -q 'caused an access violation' "$log" || fail "a sent signal was reported with an address"
grep -qE '^[0-9a-f]{16}: [0-9a-f]{16} ' "$log" || fail "the stack dump holds no words"

crash_once
[ "$(grep -c 'Exception handler called in' "$log")" -eq 2 ] || fail "the second crash did not append its report"
echo "PASS"
