#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts the DVR simulator on
# 127.0.0.1 and runs lorventa with a site list of its own (your sites are
# never touched) holding the simulator as "Demo DVR", connected and showing
# live pictures. Close the view to see the site list; close the list to end.
#
# Without a display (or with LORVENTA_DEMO_HEADLESS=1) it runs the same on a
# virtual X server, goes through the program as a user would (the live view,
# PTZ mode, the site list with three sites, the registration form in its
# normal and compact layouts and with a refused field) and saves screenshots
# to out/demo/, then exits.
#   scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B build "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target lorventa lorventa_dvrsim

source scripts/lib/work.sh
source scripts/lib/simulator.sh
start_simulator "$work" build/tools/dvrsim/lorventa-dvrsim --ptz-mask C0000000 --heartbeat 1000
echo "demo: the simulated DVR listens on 127.0.0.1:$port"

if [ -n "${DISPLAY:-}" ] && [ -z "${LORVENTA_DEMO_HEADLESS:-}" ]; then
  build/src/shell/lorventa --demo "$port"
  exit 0
fi

out=out/demo
mkdir -p "$out"
source scripts/lib/x11.sh
start_display "$work"
QT_QPA_PLATFORM=xcb build/src/shell/lorventa --demo "$port" >"$work/lorventa.log" 2>&1 &
app=$!
pids+=($app)
shot() { import -window "$1" "$out/$2.png" && echo "demo: $out/$2.png"; }

view=$(window "Site View")
sleep 3                                  # pictures, and the size and time labels
shot "$view" live-view
click "$view" 240 230                    # a tap on the picture: the PTZ grid
xdotool mousemove --window "$view" 300 666 mousedown 1   # "zoom in", held
sleep 1
shot "$view" live-view-ptz
xdotool mouseup 1
click "$view" 420 486                    # EXIT
close_window "$view"

list=$(window Lorventa)
add_site() {  # add_site NAME ADDRESS PORT USER PASSWORD
  click "$list" 60 643
  local form
  form=$(window "Site Registration")
  local i=0
  for text in "$@"; do fill_field "$form" $i "$text"; i=$((i + 1)); done
  click "$form" 120 643
}
add_site "Office" "192.168.0.10" 8000 admin ""
# The form while a user fills it: normal, compact (the lower fields raised
# above the on-screen keyboard), and refusing what the store cannot keep.
click "$list" 60 643
form=$(window "Site Registration")
fill_field "$form" 0 "Warehouse gate"
fill_field "$form" 1 "CAM0042"
fill_field "$form" 2 "8000"
shot "$form" registration-form
click "$form" 300 $((3 * 118 + 59))
xdotool type --delay 15 "viewer"
shot "$form" registration-compact
xdotool key Return
fill_field "$form" 4 "pass+word"
click "$form" 120 643                    # OK: refused, the field marked
shot "$form" registration-refused
fill_field "$form" 4 "password"
click "$form" 120 643
sleep 0.5
click "$list" 240 30
sleep 0.5
shot "$list" site-list
close_window "$list"
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
echo "demo: screenshots in $out/"
