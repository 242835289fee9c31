#!/usr/bin/env bash
# The game's sound end to end, captured by OpenAL's wave-file output: the
# title music starts by itself and loops, a console script plays a demo
# sound, and with -nosound the same script runs silently without an error.
. "${BASH_SOURCE%/*}/lib.sh"
command -v sox >/dev/null || fail "sox is needed to measure the written sound"

root="$tmp/demo"
write_demo "$root"
printf 'play_sound snd_05\r\nplay_sound nothere\r\n' >"$root/Autoexec.vcs"
printf '[general]\ndrivers=wave\n[wave]\nfile=%s\n' "$tmp/out.wav" >"$tmp/alsoft.conf"

# Runs the game until the wave output holds $1 seconds (0: until the script
# ran), then ends it with SIGTERM. $2: name, rest: arguments.
run() {
  local seconds=$1 name=$2; shift 2
  rm -f "$tmp/out.wav"
  ALSOFT_CONF="$tmp/alsoft.conf" ALSOFT_DRIVERS=wave ORRIMUND_ROOT="$root" \
    ORRIMUND_AUTOEXEC="$root/Autoexec.vcs" ORRIMUND_CONSOLE_LOG="$tmp/$name.console" \
    "$bin/orrimund" "$@" >"$tmp/$name.out" 2>&1 &
  pid=$!
  # 44,100 stereo frames of 32-bit floats a second.
  local want=$((44 + 352800 * seconds))
  for _ in $(seq 1 600); do
    kill -0 $pid 2>/dev/null || fail "$name: orrimund ended early: $(tail -5 "$tmp/$name.out")"
    if grep -q "Unable to locate sound" "$tmp/$name.console" 2>/dev/null; then
      [ "$seconds" -eq 0 ] && break
      [ "$(stat -c %s "$tmp/out.wav" 2>/dev/null || echo 0)" -ge $want ] && break
    fi
    sleep 0.1
  done
  kill -TERM $pid; wait $pid; local rc=$?; pid=""
  [ $rc -eq 0 ] || fail "$name: ended with $rc on SIGTERM: $(tail -5 "$tmp/$name.out")"
}

rms() { sox "$tmp/out.wav" -n trim "$1" "$2" stat 2>&1 | awk '/RMS +amplitude/ {print $3}'; }
loud() { awk -v v="$1" 'BEGIN { exit !(v > 0.05) }'; }
seconds() { sox "$tmp/out.wav" -n "$@" stat 2>&1 | awk '/^Length \(seconds\)/ {print $3}'; }
plus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a + b }'; }

# The output runs from the sound device's opening; the music begins once
# start-up is through, which takes a while in full screen and longer on a
# busy machine. Times below count from the first sound, allowing 8 s for it.
run 16 sound
grep -q "^Unable to locate sound nothere.wav$" "$tmp/sound.console" || fail "no answer for the missing sound"
[ -s "$tmp/out.wav" ] || fail "no sound was written"
onset=$(awk -v all="$(seconds)" -v rest="$(seconds silence 1 0.05 1%)" 'BEGIN { printf "%.2f", all - rest }')
awk -v t="$onset" 'BEGIN { exit !(t <= 8) }' || fail "no sound in the first 8 s (the first at $onset s)"
start=$(rms "$(plus "$onset" 0.3)" 1.0); loud "$start" || fail "silence at the start (rms $start, $onset s in)"
# The title track lasts 6 s: sound after it means the music came round again.
again=$(rms "$(plus "$onset" 6.8)" 1.0); loud "$again" || fail "the music did not loop (rms $again after its end)"

run 0 quiet -nosound
[ -e "$tmp/out.wav" ] && fail "-nosound still opened the sound device"
grep -q "Unable to locate sound nothere.wav" "$tmp/quiet.console" || fail "-nosound: the script did not run"
grep -qi "error" "$tmp/quiet.out" && fail "-nosound: $(grep -i error "$tmp/quiet.out")"
echo "sound output: ok"
