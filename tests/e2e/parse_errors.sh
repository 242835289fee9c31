#!/usr/bin/env bash
# A malformed table read through the parser stops the program with the
# parser's message (file name, line number, what was expected) on stderr and
# exit code 1, and nobody has to click anything; a sound table passes.
set -u
bin="$ORRIMUND_BIN_DIR/tblcheck"
tmp="$ORRIMUND_TEST_TMP"
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$tmp"

printf '#Sounds\r\n$Name: "door"\r\n$Volume: 0.5\r\n+Pos: <1, 2.5 -3>\r\n$Text: words\r\nmore words\r\n$end text\r\n#End\r\n' >good.tbl
out=$(timeout 20 "$bin" good.tbl </dev/null 2>&1); rc=$?
[ $rc -eq 0 ] || fail "a sound table failed ($rc): $out"
[ "$out" = "good.tbl: 1 sections, 4 fields" ] || fail "unexpected report: $out"

check_error() {  # file line expected found-start
  timeout 20 "$bin" "$1" </dev/null >"$1.out" 2>"$1.err"
  rc=$?
  [ $rc -ne 124 ] || fail "$1: the program waited instead of ending"
  [ $rc -eq 1 ] || fail "$1: exit code $rc, expected 1"
  grep -qF "Parsing file \"$1\", at line #$2" "$1.err" || fail "$1: no file and line $2 in: $(cat "$1.err")"
  grep -qF "Expected $3 but found this text:" "$1.err" || fail "$1: not expecting $3: $(cat "$1.err")"
  grep -qF "[$4" "$1.err" || fail "$1: the found text is not shown: $(cat "$1.err")"
  grep -qF "Prior text was this:" "$1.err" || fail "$1: no prior text"
}

# The same mistake on line 4 with every kind of line end.
printf '#Sounds\r\n$Name: "door"\r\n$Volume: 0.5\r\n$Pos: <1 2 3\r\n$Next: 1\r\n#End\r\n' >crlf.tbl
check_error crlf.tbl 5 "a vector terminator" '$Next: 1'
printf '#Sounds\n$Name: "door"\n$Volume: 0.5\n$Pos: <1 2 3\n$Next: 1\n#End\n' >lf.tbl
check_error lf.tbl 5 "a vector terminator" '$Next: 1'
printf '#Sounds\n$Name: "door\n$Volume: 0.5\n#End\n' >string.tbl
check_error string.tbl 2 "a string terminator" '"door'
printf '#Sounds\n$Name: "door"\n/* a comment\nover lines */ $Volume loud\n#End\n' >colon.tbl
check_error colon.tbl 4 '":"' 'Volume loud'
printf '#Sounds\n$Name: "door"\n' >unended.tbl
check_error unended.tbl 3 '"$"' ''

# A missing file is the open error.
timeout 20 "$bin" missing.tbl </dev/null >/dev/null 2>"missing.err"; rc=$?
[ $rc -eq 1 ] || fail "missing file: exit code $rc"
grep -qF "Unable to open parse file missing.tbl" missing.err || fail "missing file: $(cat missing.err)"
echo "PASS"
