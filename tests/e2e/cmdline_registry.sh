#!/usr/bin/env bash
# Start-up reads the command line together with the registry's
# "CmdLineOptions" (from the registry file under XDG_CONFIG_HOME): switches it
# does not know, from either source, are ignored rather than fatal, and a
# damaged registry file is reported and read as empty, never fatal.
set -u
bin="$ORRIMUND_BIN_DIR/orrimund"
tmp="$ORRIMUND_TEST_TMP"
pid=""
fail() { echo "FAIL: $*" >&2; [ -n "$pid" ] && kill $pid 2>/dev/null; exit 1; }
regdir="$XDG_CONFIG_HOME/Quorvane/Orrimund Demo"
mkdir -p "$regdir" "$tmp/root"

# Runs the program for a second; it must still be running then.
run_for_a_second() {  # name args...
  local name=$1; shift
  ORRIMUND_ROOT="$tmp/root" "$bin" "$@" >"$tmp/$name.out" 2>"$tmp/$name.err" &
  pid=$!
  sleep 1
  kill -0 $pid 2>/dev/null || fail "$name: the program ended: $(cat "$tmp/$name.err")"
  kill -TERM $pid; wait $pid; local rc=$?; pid=""
  [ $rc -eq 0 ] || fail "$name: ended with $rc on SIGTERM"
}

printf '[HKEY_CURRENT_USER\\Software\\Quorvane\\Orrimund Demo]\r\n"CmdLineOptions"=sz:"-not_a_switch \\"two words\\" -port"\r\n' \
  >"$regdir/registry.txt"
run_for_a_second unknown -another_unknown 12 "-quoted arg"
grep -q "Unrecognized command line parameter" "$tmp/unknown.err" && fail "an unknown switch was refused"
grep -q "damaged" "$tmp/unknown.err" && fail "a sound registry file was called damaged"

printf '[HKEY_CURRENT_USER\\Software\\Quorvane\\Orrimund Demo]\n"CmdLineOptions"=sz:"never closed\n' \
  >"$regdir/registry.txt"
run_for_a_second damaged
grep -qF "Registry file \"$regdir/registry.txt\" is damaged at line 2" "$tmp/damaged.err" ||
  fail "the damaged file was not reported: $(cat "$tmp/damaged.err")"
echo "PASS"
