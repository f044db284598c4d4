#!/usr/bin/env bash
# The program on a real X server, driven from outside as a user would: an
# empty store of its own, a site added through the registration form, a
# connect to the simulator, pictures, a PTZ button held and let go off the
# button, a channel switch, the view and the program closed; then the same
# from the keyboard alone. Asserts on the simulator's request log; keeps a
# screenshot.
#   x11_e2e.sh LORVENTA DVRSIM OUTDIR
set -euo pipefail
lorventa=$1 dvrsim=$2 out=$3
for tool in Xvfb xdotool openbox import sqlite3; do
  command -v "$tool" >/dev/null || { echo "x11_e2e: $tool missing (scripts/setup.sh installs it)"; exit 1; }
done
mkdir -p "$out"
source "$(dirname "$0")/../../scripts/lib/work.sh"
fail() {
  echo "x11_e2e: $*"
  import -window root "$out/x11-e2e-failed.png" 2>/dev/null || true
  echo "--- simulator log"; cat "$work/sim.log"
  exit 1
}

source "$(dirname "$0")/../../scripts/lib/x11.sh"
start_display "$work" 1280x1024

source "$(dirname "$0")/../../scripts/lib/simulator.sh"
start_simulator "$work" "$dvrsim" --ptz-mask C0000000 --verbose

XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$lorventa" >"$work/lorventa.log" 2>&1 &
app=$!
pids+=($app)

from=1  # the first line of the simulator's log that the current run looks at
wait_log() {  # wait_log PATTERN [COUNT]
  for _ in $(seq 100); do
    [ "$(tail -n "+$from" "$work/sim.log" | grep -c -- "$1" || true)" -ge "${2:-1}" ] && return 0
    sleep 0.1
  done
  fail "the simulator never saw: $1"
}

list=$(window Lorventa)
sleep 0.5
click "$list" 60 643                     # Add
form=$(window "Site Registration")
sleep 0.3
fields=("X11 DVR" "127.0.0.1" "$port" "admin" "1234")
for i in 0 1 2 3 4; do fill_field "$form" "$i" "${fields[$i]}"; done
click "$form" 120 643                    # OK
sleep 0.5
click "$list" 240 30                     # the new site
click "$list" 420 643                    # Connect
view=$(window "Site View")
wait_log "CH_OPEN channel=0"
sleep 2
import -window root "$out/x11-e2e.png"

# Grown to the whole screen, the view fills it with its layout scaled and
# centred; then back to its own size.
xdotool windowmove --sync "$view" 0 0 windowsize --sync "$view" 1280 980 || true
sleep 1.5
eval "$(xdotool getwindowgeometry --shell "$view")"
[ "$WIDTH" -gt 1000 ] || fail "the view did not grow (width $WIDTH)"
import -window "$view" "$out/x11-e2e-maximised.png"
xdotool windowsize --sync "$view" 480 696 || true
sleep 1
eval "$(xdotool getwindowgeometry --shell "$view")"
[ "$WIDTH" -lt 600 ] || fail "the view did not come back to its size (width $WIDTH)"

click "$view" 240 230                    # a tap on the picture: the PTZ grid
xdotool mousemove --window "$view" 180 486 mousedown 1   # "up", held
sleep 0.5
xdotool mousemove --window "$view" 180 250               # slid off the button
sleep 0.2
xdotool mouseup 1                                        # and let go there
wait_log "CONTROL_PTZ channel=0 code=0"
click "$view" 420 486                    # EXIT: the channel grid again
click "$view" 180 486                    # channel 2
wait_log "CH_OPEN channel=1"
sleep 0.5

close_window "$view"
wait_log "CONTROL_PTZ" 2
list=$(window Lorventa)
close_window "$list"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the program did not end when its window closed"
wait "$app" || fail "the program ended with an error: $(cat "$work/lorventa.log")"

# The requests in order: login, open, PTZ move then stop, close, switch.
got=$(sed -n 's/^\[dvrsim\] #[0-9]* //p' "$work/sim.log" | grep -E '^(LOGIN|CH_OPEN|CH_CLOSE|CONTROL_PTZ)' |
      sed 's/ user=.*//' | tr '\n' ';')
want="LOGIN;CH_OPEN channel=0;CONTROL_PTZ channel=0 code=3;CONTROL_PTZ channel=0 code=0;CH_CLOSE channel=0;CH_OPEN channel=1;"
[ "$got" = "$want" ] || fail "requests were: $got (wanted $want)"

# The same from the keyboard alone, on a store of its own: Tab to Add, Enter,
# the five fields with Tab between them, Enter on OK, back to the list and
# Enter on the new line, 2 for channel 2, P for PTZ mode, Up held (the X
# server repeats it) and let go, Escape, then both windows closed.
from=$(($(wc -l <"$work/sim.log") + 1))
XDG_CONFIG_HOME="$work/config-keys" QT_QPA_PLATFORM=xcb "$lorventa" >"$work/lorventa.log" 2>&1 &
app=$!
pids+=($app)
list=$(window Lorventa)
sleep 0.5
xdotool windowactivate --sync "$list" key Tab Return
form=$(window "Site Registration")
sleep 0.3
for text in "Keys DVR" "127.0.0.1" "$port" "admin" "1234"; do
  xdotool type --delay 15 "$text"
  xdotool key Tab
  sleep 0.1
done
xdotool key Return
sleep 0.5
xdotool windowactivate --sync "$list" key shift+Tab Return
view=$(window "Site View")
wait_log "CH_OPEN channel=0"
xdotool windowactivate --sync "$view" key 2
wait_log "CH_OPEN channel=1"
sleep 1
xdotool key p keydown Up
sleep 0.8
xdotool keyup Up
wait_log "CONTROL_PTZ channel=1 code=0"
xdotool key Escape
sleep 0.3
close_window "$view"
list=$(window Lorventa)
close_window "$list"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
wait "$app" || fail "the keyboard run ended with an error: $(cat "$work/lorventa.log")"
got=$(tail -n "+$from" "$work/sim.log" | sed -n 's/^\[dvrsim\] #[0-9]* //p' |
      grep -E '^(LOGIN|CH_OPEN|CH_CLOSE|CONTROL_PTZ)' | sed 's/ user=.*//' | tr '\n' ';')
want="LOGIN;CH_OPEN channel=0;CH_CLOSE channel=0;CH_OPEN channel=1;CONTROL_PTZ channel=1 code=3;CONTROL_PTZ channel=1 code=0;"
[ "$got" = "$want" ] || fail "keyboard run: requests were: $got (wanted $want)"

# A list of twenty sites: the wheel scrolls it to the twentieth, whose line
# is then chosen and connected to. Only that site logs in as the simulator's
# account, so its login in the log says the wheel reached it.
from=$(($(wc -l <"$work/sim.log") + 1))
mkdir -p "$work/config-wheel/lorventa"
chmod 700 "$work/config-wheel" "$work/config-wheel/lorventa"
sql="CREATE TABLE reg_values (key_path TEXT NOT NULL, value_name TEXT NOT NULL, value_type INTEGER NOT NULL,"
sql+=" data BLOB NOT NULL, PRIMARY KEY (key_path, value_name)) WITHOUT ROWID;"
for i in $(seq 0 19); do
  user=nobody
  [ "$i" = 19 ] && user=admin
  record="Site $((i + 1))+127.0.0.1+$port+$user+1234+"
  hex=$(printf '%s' "$record" | od -An -tx1 | tr -d ' \n')
  zeros=$(printf '%0*d' $((${#record} * 2)) 0)
  sql+="INSERT INTO reg_values VALUES('SOFTWARE\ZEB\XAV\','$i',1,X'$hex$zeros');"
done
(umask 077; sqlite3 "$work/config-wheel/lorventa/sites.db" "$sql")
XDG_CONFIG_HOME="$work/config-wheel" QT_QPA_PLATFORM=xcb "$lorventa" >"$work/lorventa.log" 2>&1 &
app=$!
pids+=($app)
list=$(window Lorventa)
sleep 0.5
xdotool mousemove --window "$list" 240 300 click --repeat 20 --delay 30 5
sleep 0.5
click "$list" 240 520                    # the last line shown: Site 20
xdotool windowactivate --sync "$list" key Return
view=$(window "Site View")
wait_log "LOGIN user=admin"
close_window "$view"
list=$(window Lorventa)
close_window "$list"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
wait "$app" || fail "the wheel run ended with an error: $(cat "$work/lorventa.log")"
[ "$(tail -n "+$from" "$work/sim.log" | grep -c 'LOGIN user=nobody' || true)" = 0 ] ||
  fail "the wheel run connected to another site than the twentieth"

echo "x11_e2e: 3 passed, 0 failed (screenshots in $out/x11-e2e.png, x11-e2e-maximised.png)"
