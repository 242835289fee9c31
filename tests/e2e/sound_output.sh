#!/usr/bin/env bash
# The game's sound end to end, captured by OpenAL's wave-file output: the
# title music starts by itself and loops with no dropout (measured in 5 ms
# windows over more than 12 s), a console script plays a demo sound that is
# heard once, and with -nosound the same script runs silently without an
# error.
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
# The mix (or the part sox's effects $2... leave of it) in windows of $1
# frames (44,100 a second): a line "start-in-seconds rms" each.
windows() {
  local n=$1; shift
  sox "$tmp/out.wav" -c 1 -t dat - "$@" |
    awk -v n="$n" '/^;/ { next } { s += $2 * $2; k++; if (k == n) { printf "%.4f %.6f\n", t, sqrt(s / n); s = 0; k = 0; t = $1 + 1 / 44100 } }'
}
# Runs of windows whose rms is below (or with $3 = above) $2 seconds from the
# first sound on, as "start length" lines; $1 is the window file.
runs() {
  awk -v lim="$2" -v above="${3:-0}" -v from="$onset" -v upto="${4:-1e9}" '
    $1 < from || $1 >= upto { next }
    { hit = above ? $2 > lim : $2 < lim }
    hit && !on { on = 1; start = $1 }
    !hit && on { on = 0; printf "%.3f %.3f\n", start - from, $1 - start }
    { last = $1 }
    END { if (on) printf "%.3f %.3f\n", start - from, last - start + 0.005 }' "$1"
}

# The output runs from the sound device's opening; the music begins once
# start-up is through, which takes a while in full screen and longer on a
# busy machine. Times below count from the first sound, allowing 8 s for it.
run 22 sound
grep -q "^Unable to locate sound nothere.wav$" "$tmp/sound.console" || fail "no answer for the missing sound"
[ -s "$tmp/out.wav" ] || fail "no sound was written"
onset=$(awk -v all="$(seconds)" -v rest="$(seconds silence 1 0.05 1%)" 'BEGIN { printf "%.2f", all - rest }')
awk -v t="$onset" 'BEGIN { exit !(t <= 8) }' || fail "no sound in the first 8 s (the first at $onset s)"
start=$(rms "$(plus "$onset" 0.3)" 1.0); loud "$start" || fail "silence at the start (rms $start, $onset s in)"
# The title track lasts 6 s: sound after it means the music came round again.
again=$(rms "$(plus "$onset" 6.8)" 1.0); loud "$again" || fail "the music did not loop (rms $again after its end)"

# Dropouts: 5 ms windows with nothing in them, over 12.5 s of the title
# music from its first sound. The 6 s track may come back after at most one
# refill of silence behind its padded last block (46 ms): 250 ms when the
# timer is on time, allowed 100 ms of lateness on a busy machine. Anything
# else silent, or a longer loop gap, is a fault a player hears.
windows 220 >"$tmp/win5ms"
total=$(awk 'END { print $1 }' "$tmp/win5ms")
awk -v t="$total" -v o="$onset" 'BEGIN { exit !(t - o >= 12.5) }' || fail "only $total s of sound written"
runs "$tmp/win5ms" 0.0005 0 "$(plus "$onset" 12.5)" >"$tmp/gaps"
awk '$2 > 0.4 { bad = 1 } NR > 1 && $1 - prev < 5 { bad = 1 } { prev = $1 } END { exit bad }' "$tmp/gaps" ||
  fail "the music has silent gaps (start s, length s): $(tr '\n' ';' <"$tmp/gaps")"
[ "$(wc -l <"$tmp/gaps")" -ge 1 ] || fail "no loop of the title music was seen in 12.5 s"

# play_sound snd_05 streams a quarter second of 420 Hz: filtered out of the
# mix (no note of the title music lies within 25 Hz of it), it is one burst.
windows 882 sinc -n 32767 405-435 >"$tmp/win20ms"
runs "$tmp/win20ms" 0.05 1 >"$tmp/bursts"
[ "$(wc -l <"$tmp/bursts")" -eq 1 ] || fail "play_sound was heard $(wc -l <"$tmp/bursts") times: $(tr '\n' ';' <"$tmp/bursts")"
awk '{ exit !($2 >= 0.2 && $2 <= 0.32) }' "$tmp/bursts" || fail "play_sound was cut: $(cat "$tmp/bursts")"

run 0 quiet -nosound
[ -e "$tmp/out.wav" ] && fail "-nosound still opened the sound device"
grep -q "Unable to locate sound nothere.wav" "$tmp/quiet.console" || fail "-nosound: the script did not run"
grep -qi "error" "$tmp/quiet.out" && fail "-nosound: $(grep -i error "$tmp/quiet.out")"
echo "sound output: ok"
