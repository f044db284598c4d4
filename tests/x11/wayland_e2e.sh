#!/usr/bin/env bash
# The program as a native Wayland client under a headless Weston: the demo
# connects to the simulator and shows pictures (screenshot kept); channel 2
# is pressed through the accessibility bus, the one input a compositor
# without a seat leaves (no pointer or keyboard, so no PTZ hold and no
# window ever activated); SIGTERM ends it. Exit 77 (skipped) only when Weston
# cannot start here.
#   wayland_e2e.sh LORVENTA DVRSIM LISTENER OUTDIR
set -euo pipefail
if [ -z "${LORVENTA_WAYLAND_INSIDE:-}" ]; then
  command -v dbus-run-session >/dev/null || { echo "wayland_e2e: dbus-run-session missing"; exit 1; }
  LORVENTA_WAYLAND_INSIDE=1 exec dbus-run-session -- bash "$0" "$@"
fi
lorventa=$1 dvrsim=$2 listener=$3 out=$4
command -v weston >/dev/null || { echo "wayland_e2e: weston missing (scripts/setup.sh installs it); skipped"; exit 77; }
mkdir -p "$out"
source "$(dirname "$0")/../../scripts/lib/work.sh"
fail() { echo "wayland_e2e: $*"; echo "--- simulator log"; cat "$work/sim.log"; cat "$work/lorventa.log"; exit 1; }

export XDG_RUNTIME_DIR=$work/run WAYLAND_DISPLAY=wayland-e2e
unset DISPLAY
mkdir -m 700 "$XDG_RUNTIME_DIR"
# --debug lets weston-screenshooter read the screen; pixman draws real pixels.
weston --backend=headless-backend.so --use-pixman --socket="$WAYLAND_DISPLAY" --width=1024 --height=768 \
  --idle-time=0 --debug >"$work/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || { echo "wayland_e2e: weston did not start; skipped"; cat "$work/weston.log"; exit 77; }

/usr/libexec/at-spi-bus-launcher >/dev/null 2>&1 &
pids+=($!)
mkfifo "$work/ask"
"$listener" <"$work/ask" >"$work/heard.log" 2>&1 &
pids+=($!)
exec 6>"$work/ask"
source "$(dirname "$0")/../../scripts/lib/simulator.sh"
start_simulator "$work" "$dvrsim" --verbose
QT_QPA_PLATFORM=wayland QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 XDG_CONFIG_HOME="$work/config" \
  "$lorventa" --demo "$port" >"$work/lorventa.log" 2>&1 &
app=$!
pids+=($app)
wait_for() {  # wait_for FILE PATTERN
  for _ in $(seq 100); do grep -q -- "$2" "$1" && return 0; sleep 0.1; done
  fail "never saw '$2' in $(basename "$1")"
}
wait_for "$work/sim.log" "CH_OPEN channel=0"
wait_for "$work/heard.log" "push button Channel 2$"
sleep 2
(cd "$work" && weston-screenshooter) && mv "$work"/wayland-screenshot-*.png "$out/wayland-e2e.png"

# The PTZ grid is hidden in channel mode: its button offers no press, and
# asking for one sends nothing.
echo "press PTZ up" >&6
wait_for "$work/heard.log" ": PTZ up$"
echo "press Channel 2" >&6
wait_for "$work/sim.log" "CH_OPEN channel=1"
sleep 0.5
kill -TERM "$app"
wait "$app" || true
kill -0 "$app" 2>/dev/null && fail "the program outlived SIGTERM"
kill -TERM "$sim"
wait "$sim" || true
got=$(sed -n 's/^\[dvrsim\] #[0-9]* //p' "$work/sim.log" | grep -E '^(LOGIN|CH_OPEN|CH_CLOSE|CONTROL_PTZ)' |
      sed 's/ user=.*//' | tr '\n' ';')
want="LOGIN;CH_OPEN channel=0;CH_CLOSE channel=0;CH_OPEN channel=1;"
[ "$got" = "$want" ] || fail "requests were: $got (wanted $want)"
sent=$(sed -n 's/.*stopped (\([0-9]*\) pictures sent).*/\1/p' "$work/sim.log")
[ "${sent:-0}" -gt 0 ] || fail "no pictures were sent"
echo "wayland_e2e: 1 passed, 0 failed ($sent pictures; screenshot in $out/wayland-e2e.png)"
