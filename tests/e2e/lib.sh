# Sourced by the end-to-end scripts: their folders, a failure that also ends
# the game a script started ($pid), the demo world and the bare data tables.
set -u
bin="$ORRIMUND_BIN_DIR"
tmp="$ORRIMUND_TEST_TMP"
pid=""
fail() { echo "FAIL: $*" >&2; [ -n "$pid" ] && kill "$pid" 2>/dev/null; exit 1; }

# Writes the demo world into $1.
write_demo() {
  "$bin/make_demo" "$1" >"$tmp/make_demo.out" 2>&1 || fail "make_demo failed: $(cat "$tmp/make_demo.out")"
}

# Writes the data tables start-up reads into $1.
write_tables() {
  "$bin/make_tables" "$1" >/dev/null || fail "make_tables failed"
}
