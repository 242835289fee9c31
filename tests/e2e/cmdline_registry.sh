#!/usr/bin/env bash
# Start-up reads the command line together with the registry value
# "CmdLineOptions" (registry file under XDG_CONFIG_HOME): a switch kept there
# acts as if it had been typed. -800 is seen from outside as the size of the
# game window. Switches nobody knows, from either source, are ignored, and a
# damaged registry file is reported and read as empty, never fatal.
. "${BASH_SOURCE%/*}/lib.sh"
regdir="$XDG_CONFIG_HOME/Quorvane/Orrimund Demo"
mkdir -p "$regdir" "$tmp/root"
write_tables "$tmp/root"

# Starts the game, waits until its window has left the small start-up size
# and settled, and prints that size as WIDTHxHEIGHT; stops the game again.
window_size() {  # name args...
  local name=$1; shift
  # -opengl: only a windowed renderer shows the chosen size as the window's
  # (the default one runs in full screen).
  ORRIMUND_ROOT="$tmp/root" "$bin/orrimund" -opengl "$@" >"$tmp/$name.out" 2>"$tmp/$name.err" &
  pid=$!
  local size="" last="" seen=0
  for _ in $(seq 1 300); do
    kill -0 $pid 2>/dev/null || fail "$name: the program ended: $(cat "$tmp/$name.err")"
    local wid
    wid=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | head -1)
    if [ -n "$wid" ]; then
      local w h
      w=$(xwininfo -id "$wid" 2>/dev/null | sed -n 's/^ *Width: //p')
      h=$(xwininfo -id "$wid" 2>/dev/null | sed -n 's/^ *Height: //p')
      # Taken once it has held for three looks in a row.
      if [ -n "$w" ] && [ "$w" -gt 100 ]; then
        if [ "${w}x${h}" = "$last" ]; then seen=$((seen + 1)); else seen=1; last="${w}x${h}"; fi
        [ $seen -ge 3 ] && size=$last && break
      fi
    fi
    sleep 0.1
  done
  kill -TERM $pid; wait $pid; local rc=$?; pid=""
  [ -n "$size" ] || fail "$name: the game window never took its size"
  [ $rc -eq 0 ] || fail "$name: ended with $rc on SIGTERM"
  echo "$size"
}

registry() {  # CmdLineOptions text, already escaped for the file
  printf '[HKEY_CURRENT_USER\\Software\\Quorvane\\Orrimund Demo]\r\n"CmdLineOptions"=sz:"%s"\r\n' "$1" \
    >"$regdir/registry.txt"
}

size=$(window_size plain) || exit 1
[ "$size" = "640x480" ] || fail "without switches the window is $size, expected 640x480"

size=$(window_size typed -800) || exit 1
[ "$size" = "800x600" ] || fail "with -800 typed the window is $size, expected 800x600"

# The same switch from the registry, beside switches nobody knows and a
# quoted run.
registry '-not_a_switch \"two words\" -800'
size=$(window_size from_registry -another_unknown 12 "-quoted arg") || exit 1
[ "$size" = "800x600" ] || fail "with -800 in CmdLineOptions the window is $size, expected 800x600"
grep -q "Unrecognized command line parameter" "$tmp/from_registry.err" && fail "an unknown switch was refused"
grep -q "damaged" "$tmp/from_registry.err" && fail "a sound registry file was called damaged"

# A damaged file: reported, read as empty, so the switch in it is not seen.
printf '[HKEY_CURRENT_USER\\Software\\Quorvane\\Orrimund Demo]\n"CmdLineOptions"=sz:"-800\n' \
  >"$regdir/registry.txt"
size=$(window_size damaged) || exit 1
[ "$size" = "640x480" ] || fail "with a damaged registry file the window is $size, expected 640x480"
grep -qF "Registry file \"$regdir/registry.txt\" is damaged at line 2" "$tmp/damaged.err" ||
  fail "the damaged file was not reported: $(cat "$tmp/damaged.err")"
echo "PASS"
