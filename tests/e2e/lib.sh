# Sourced by the end-to-end scripts that start the game: their folders, a
# failure that also ends the game they started ($pid), and the demo world.
set -u
bin="$ORRIMUND_BIN_DIR"
tmp="$ORRIMUND_TEST_TMP"
pid=""
fail() { echo "FAIL: $*" >&2; [ -n "$pid" ] && kill "$pid" 2>/dev/null; exit 1; }

# Writes the demo world into $1.
write_demo() {
  "$bin/make_demo" "$1" >"$tmp/make_demo.out" 2>&1 || fail "make_demo failed: $(cat "$tmp/make_demo.out")"
}
