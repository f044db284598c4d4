# Shared by the demo and the X server test: a display of our own with a
# window manager, and a user's clicks and keys through xdotool. Source it;
# it appends the processes it starts to the array "pids".

# Starts Xvfb (it picks a free display number) and openbox; exports DISPLAY.
start_display() {  # start_display WORKDIR [WIDTHxHEIGHT]
  exec 5>"$1/display"
  Xvfb -displayfd 5 -screen 0 "${2:-480x800}x24" -nolisten tcp >"$1/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$1/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$1/display")"
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
}

# The id of the visible window with exactly this title (waits for it).
window() { xdotool search --sync --onlyvisible --name "^$1\$" | head -n1; }

click() {  # click WINDOW X Y (window coordinates)
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.3
}

close_window() {  # the window manager's close, as the title bar's button
  xdotool windowactivate --sync "$1" key --clearmodifiers alt+F4
  sleep 0.5
}

# Fills the registration form's field I (0..4) with TEXT: a tap on the field,
# what it held selected and erased, the text, Enter (which also brings back
# the normal layout).
fill_field() {  # fill_field FORM I TEXT
  click "$1" 300 $(($2 * 118 + 59))
  xdotool key ctrl+a BackSpace
  xdotool type --delay 15 "$3"
  xdotool key Return
  sleep 0.2
}
