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

# A running game on the demo world in $root, driven through a console pipe:
# start_game NAME [ARGS] starts it (the window found, start-up finished) with
# its console log in $tmp/NAME.console; console sends a line; wait_console
# waits for $2 (default 1) lines matching $1 in the log. With START_WIDTH
# set, start_game also waits until the window has that width.
start_game() {
  name=$1; shift
  fifo="$tmp/console.fifo"
  rm -f "$fifo"; mkfifo "$fifo"
  : >"$tmp/$name.console"
  ORRIMUND_ROOT="$root" ORRIMUND_CONSOLE_FIFO="$fifo" ORRIMUND_CONSOLE_LOG="$tmp/$name.console" \
    "$bin/orrimund" -opengl "$@" >"$tmp/$name.out" 2>&1 &
  pid=$!
  wid=""
  local until=$((SECONDS + 90))
  while [ $SECONDS -lt $until ]; do
    kill -0 $pid 2>/dev/null || fail "$name: the program ended: $(cat "$tmp/$name.out")"
    wid=$(xdotool search --name '^Orrimund Demo$' 2>/dev/null | head -1)
    if [ -n "$wid" ] && grep -q '^SYSTEM INIT TIME : ' "$tmp/$name.out"; then
      [ -z "${START_WIDTH:-}" ] && break
      xwininfo -id "$wid" 2>/dev/null | grep -q "Width: $START_WIDTH\$" && break
    fi
    sleep 0.1
  done
  [ -n "$wid" ] || fail "$name: no window"
  # The demo's first level opens the tutorial's instructions, which would
  # stand over what the runs click; they are skipped like the lessons.
  echo "Ignore_tutorial on" >"$fifo"
  sleep 1
}
console() { echo "$1" >"$fifo"; }
wait_console() {
  local want=${2:-1}
  for _ in $(seq 1 300); do
    [ "$(grep -c -- "$1" "$tmp/$name.console" 2>/dev/null)" -ge "$want" ] && return 0
    sleep 0.1
  done
  fail "$name: no '$1' in the console log: $(tail -20 "$tmp/$name.console" 2>/dev/null)"
}

# Runs a console command and waits for its n-th answer line matching $2.
ask() {
  local before
  before=$(grep -c "$2" "$tmp/$name.console" 2>/dev/null)
  echo "$1" >"$fifo"
  for _ in $(seq 1 100); do
    [ "$(grep -c "$2" "$tmp/$name.console" 2>/dev/null)" -gt "${before:-0}" ] && { grep "$2" "$tmp/$name.console" | tail -1; return 0; }
    sleep 0.1
  done
  fail "$name: no answer '$2' to '$1': $(tail -5 "$tmp/$name.console")"
}
# Waits up to $4 half-seconds for the leader to stand closer than $3 to
# ground point ($1, $2); false when he never does.
leader_near() {
  local px=$1 pz=$2 r=$3 tries=$4 line
  for _ in $(seq 1 "$tries"); do
    sleep 0.5
    line=$(ask party_positions "^Member 0: ")
    set -- $line
    awk -v x="$5" -v z="$7" -v px="$px" -v pz="$pz" -v r="$r" 'BEGIN { exit !(sqrt((x - px)^2 + (z - pz)^2) < r) }' &&
      return 0
  done
  return 1
}
# A picture of the game's window, $tmp/$1.png.
shot() { import -window "$wid" "$tmp/$1.png" || fail "no picture of the window for $1"; }
# The mean brightness (0 to 1) of picture $1 within geometry $2 (WxH+X+Y).
mean_of() { convert "$1" -crop "$2" -format '%[fx:mean]' info:; }
# Whether picture $1 of a 640x480 window shows the level: the band above
# the HUD where the ground lies is lit, not black with only the characters.
world_lit() { awk -v m="$(mean_of "$1" 640x120+0+290)" 'BEGIN { exit !(m > 0.08) }'; }
# How much redder than green a box of a picture is, and how much it varies.
redness_of() { convert "$1" -crop "$2" -format '%[fx:mean.r-mean.g]' info:; }
spread_of() { convert "$1" -crop "$2" -format '%[fx:standard_deviation]' info:; }
# A click on world point ($1, $2, $3) where the camera shows it.
click_at() {
  set -- $(screen_of "$1" "$2" "$3")
  xdotool mousemove --window "$wid" "$1" "$2" sleep 0.3 click 1
  sleep 1.5
}
# The screen point of world point ($1, $2, $3) in the game camera's view;
# with a fourth argument, "behind" for a point the camera does not face.
screen_of() {
  ask camera_view "^Screen " >/dev/null
  awk -v px="$1" -v py="$2" -v pz="$3" -v behind="${4:-}" '
    /^Camera at /      { ex=$3; ey=$4; ez=$5 }
    /^Camera right /   { rx=$3; ry=$4; rz=$5 }
    /^Camera up /      { ux=$3; uy=$4; uz=$5 }
    /^Camera forward / { fx=$3; fy=$4; fz=$5 }
    /^Screen /         { hf=$6; vf=$7; w=$9; h=$10 }
    END {
      pi = atan2(0, -1)
      th = sin(hf * pi / 360) / cos(hf * pi / 360); tv = sin(vf * pi / 360) / cos(vf * pi / 360)
      dx = px - ex; dy = py - ey; dz = pz - ez
      f = dx * fx + dy * fy + dz * fz; r = dx * rx + dy * ry + dz * rz; u = dx * ux + dy * uy + dz * uz
      if (behind != "" && f <= 0.1) { print "behind"; exit }
      printf "%d %d\n", w / 2 + r / f / th * (w / 2), h / 2 - u / f / tv * (h / 2)
    }' "$tmp/$name.console"
}

# The row (1 the first) of level $1 in the developer level picker, which
# lists the level files of the demo world in $root by name, case ignored.
picker_row() {
  ls "$root/data/models/levels" | sed -n 's/\.s3d$//p' | awk '{ print tolower($0) "\t" $0 }' |
    LC_ALL=C sort | cut -f2 | grep -nxF -- "$1" | cut -d: -f1
}
# Loads level $1 through the developer level picker as a player picks it:
# the first row clicked, Down to the level's row, Return. The caller waits
# for the level in its own log.
pick_level() {
  local row i
  row=$(picker_row "$1")
  [ -n "$row" ] || fail "no level $1 in the demo world"
  console "level_picker"
  sleep 1.5
  xdotool mousemove --window "$wid" 230 78 click 1
  sleep 0.3
  for ((i = 1; i < row; i++)); do xdotool key --window "$wid" Down; sleep 0.1; done
  sleep 0.3
  xdotool key --window "$wid" Return
}

# demo_outdoor from the level picker, loaded.
open_demo_outdoor() {
  pick_level demo_outdoor
  wait_console "ENDING LOAD OF demo_outdoor"
  sleep 1
}

# The level picker's level $2 loaded ($1, its place below the first in name
# order when the run was written, is not relied on: the level is found by
# name).
open_level_at() {
  pick_level "$2"
  wait_console "ENDING LOAD OF $2"
}

# ---- conversations ------------------------------------------------------------------
# Clicks the person $1 where it stands now (the AI's dump has its place),
# and waits for the $2-th conversation with it. One walking its rounds is
# clicked while it stands at an end (the watchman waits there a few
# seconds), and a click that opens nothing (the pick under the mouse was
# still the old one) is tried again.
talk_to() {
  local at who=$1 times=$2 tries=0
  for _ in $(seq 1 60); do
    at=$(ask ai_dump "^$who at ")
    case "$at" in *AI_STATE_TRAVELING*) sleep 0.3; continue ;; esac
    tries=$((tries + 1))
    [ $tries -gt 6 ] && break
    set -- $at
    set -- $(screen_of "$3" "$(awk -v y="$4" 'BEGIN { print y + 0.9 }')" "${5%:}")
    xdotool mousemove --window "$wid" "$1" "$2"
    sleep 0.4
    xdotool click --window "$wid" 1
    for _ in $(seq 1 20); do
      [ "$(grep -c "^Conversation with $who" "$tmp/$name.console")" -ge "$times" ] && { sleep 1; return 0; }
      sleep 0.1
    done
  done
  fail "$name: no conversation with $who: $(tail -5 "$tmp/$name.console")"
}
# Clicks the text box's line named $1 ("Link more", "Choice The road east").
click_line() {
  local line
  line=$(ask text_box "^$1 at ")
  set -- ${line##* at }
  xdotool mousemove --window "$wid" "$1" "$2"
  sleep 0.3
  xdotool click --window "$wid" 1
  sleep 1
}
# "more" until the choices show (a long answer takes pages).
read_on() {
  for _ in 1 2 3 4; do
    click_line "Link more"
    ask text_box "^Text box state" | grep -q "^Text box state 3" && return 0
  done
  fail "the choices never showed: $(tail -3 "$tmp/$name.console")"
}
offered() { ask text_box "^Text box state" >/dev/null; sed -n '/^Text box state/h; /^Text box state/!H; ${x;p}' "$tmp/$name.console" | grep '^Choice '; }
# The level-script rows in their saved order: each row's named values lie in
# the save image in this order.
Save_rows="Vozido Catacombs test masad worldmap1 thalem1b thalem1c thalem1d thalem1e sewer rand-hills01
  IkaemosBottomInt IkaemosTopInt IkaemosExt KhosaniLab OdrinExt VozidoCaverns TempleInt rand-forest01
  rand-forestnite1 Shenwu Rand-Desert OdrinExt02 KhosaniStrng LPalaceInt tancredhouse LPalaceInt02 KhosaniLab2
  Vozido2 eleh thalem2aa thalem2ab thalem3a thalem3d jadetemple thalem1aa thalem1ab TempleInt2 IkaemosExt2
  IkaemosBottomInt2 Rand-HillsNite01 Rand-Iceland01 Rand-Grassland01 Rand-Kasdria01 Rand-KasdriaNite01
  Rand-DesertNite01 Rand-GrasslandNite01 Rand-IcelandNite01 endgame thalem2d sewerboss"

# Flag $3 of level $2 in save file $1 (prints 1 or 0), decoded from the save
# image's layout: a 504-byte header padded to 512 bytes, the 201 x 151
# picture of 2-byte pixels, a 4-byte visit counter per row, then each row's
# area in row order: one bit per flag the row declares in demo_events.tbl
# (a name counts in the first level that declares it, case folded) and
# 4096 bits per automap layer of its level table ("$AutomapPC:"), from bit 0
# of the first byte, whole bytes, then 4 bytes per declared integer and float.
save_flag() {
  local layers at
  layers=$(find "$root/data" -iname 'demo_*.tbl' -exec grep -Ho '^\$AutomapPC: *"[^"]*" *[0-9]*' {} + | tr '\n' '|')
  at=$(awk -v rows="$Save_rows" -v layers="$layers" -v level="$2" -v want="$3" '
    BEGIN {
      # The automap layers of each level table: its largest AutomapPC count.
      count = split(layers, line, "|")
      for (i = 1; i <= count; i++) {
        if (line[i] == "") continue
        split(line[i], part, ":"); np = split(part[1], path, "/"); f = tolower(path[np])
        sub(/^demo_/, "", f); sub(/\.tbl$/, "", f)
        k = line[i]; sub(/.* /, "", k)
        if (k + 0 > automap[f]) automap[f] = k + 0
      }
    }
    /^#End/ { exit }
    /^\$Level:/ { split($0, q, "\""); cur = tolower(q[2]); next }
    /^\+(Flag|Int|Float):/ {
      split($0, q, "\""); kind = substr($1, 2, length($1) - 2); key = kind ":" tolower(q[2])
      if (key in seen) next
      seen[key] = cur
      n[cur, kind]++
      if (kind == "Flag" && cur == tolower(level) && tolower(q[2]) == tolower(want)) bit = n[cur, kind] - 1
    }
    END {
      if (bit == "") { print "none"; exit }
      count = split(rows, r, " ")
      off = 512 + 201 * 151 * 2 + 4 * count
      for (i = 1; i <= count; i++) {
        name = tolower(r[i])
        if (name == tolower(level)) { printf "%d %d\n", off + int(bit / 8), bit % 8; exit }
        off += int((n[name, "Flag"] + automap[name] * 4096 + 7) / 8) + 4 * (n[name, "Int"] + n[name, "Float"])
      }
      print "none"
    }' "$root/data/tables/demo_events.tbl")
  [ -n "$at" ] && [ "$at" != none ] || fail "no flag $3 declared under $2"
  set -- "$1" $at
  echo $(( ($(od -An -tu1 -j "$2" -N1 "$1") >> $3) & 1 ))
}

# The leader's ground position: "x z".
leader_at() { ask party_positions "^Member 0: " | awk '{ print $5, $7 }'; }
# Waits, up to $4 half-seconds (default 40), until the leader stands within
# $3 of ground point ($1, $2); status 1 if he never does.
leader_reaches() {
  local x=$1 z=$2 r=$3 i
  for i in $(seq 1 "${4:-40}"); do
    sleep 0.5
    set -- $(leader_at)
    awk -v x="$1" -v z="$2" -v px="$x" -v pz="$z" -v r="$r" \
      'BEGIN { exit !((x - px) ^ 2 + (z - pz) ^ 2 < r * r) }' && return 0
  done
  return 1
}
# From a new game's start (the intro popup up) into rand-forest01 with its
# monster layout loaded and the game running again.
enter_forest_with_layout() {
  xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
  wait_console "ENDING LOAD OF rand-forest01"
  sleep 1
  console "load_mlayout rand-forest01"
  sleep 1
  xdotool key --window "$wid" space  # the layout load paused the game
  sleep 0.5
}
# The camera glides behind the hero in control: clicks wait until it rests.
settle() {
  local last="" now
  for _ in $(seq 1 30); do
    now=$(ask camera_view "^Camera at ")
    [ "$now" = "$last" ] && return 0
    last=$now
    sleep 0.3
  done
}
# A new game from the title (a click on Start) with the whole party:
# rand-forest01 loaded.
new_game_full_party() {
  console "full_party 1"
  wait_console "[Ff]ull_party is TRUE"
  xdotool mousemove --window "$wid" 450 225 sleep 0.3 click 1
  wait_console "ENDING LOAD OF rand-forest01"
  sleep 1
}
# The same with every hero knowing every skill.
new_game_full_skills() {
  console "max_skills 1"
  wait_console "[Mm]ax_skills is TRUE"
  new_game_full_party
}
# The hero in control, by name.
controlled() { ask party_positions "(controlled)" | sed 's/^Member [0-9]*: \([A-Za-z]*\) .*/\1/'; }
# With the skills or spells roll-out open at 640x480, its right arrow steps
# through the party until hero $1 is in control.
rollout_to() {
  for _ in 1 2 3 4 5 6 7 8; do
    [ "$(controlled)" = "$1" ] && return 0
    xdotool mousemove --window "$wid" 290 67 sleep 0.3 click 1
    sleep 1
  done
  [ "$(controlled)" = "$1" ] || fail "the arrows never reached $1"
}
