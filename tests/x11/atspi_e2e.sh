#!/usr/bin/env bash
# Status changes reach a screen reader: under a session bus of its own, an X
# server and the accessibility bus, a listener registers as a screen reader
# does; the demo connects to the simulator and the listener must hear the
# view's status announced.
#   atspi_e2e.sh LORVENTA DVRSIM LISTENER
set -euo pipefail
if [ -z "${LORVENTA_ATSPI_INSIDE:-}" ]; then
  command -v dbus-run-session >/dev/null || { echo "atspi_e2e: dbus-run-session missing (scripts/setup.sh installs it)"; exit 1; }
  LORVENTA_ATSPI_INSIDE=1 exec dbus-run-session -- bash "$0" "$@"
fi
lorventa=$1 dvrsim=$2 listener=$3
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "atspi_e2e: $launcher missing (scripts/setup.sh installs at-spi2-core)"; exit 1; }
source "$(dirname "$0")/../../scripts/lib/work.sh"
source "$(dirname "$0")/../../scripts/lib/x11.sh"
start_display "$work"
"$launcher" >"$work/launcher.log" 2>&1 &
pids+=($!)
"$listener" >"$work/heard.log" 2>"$work/listener.err" &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/heard.log" 2>/dev/null && break; sleep 0.1; done
grep -q listening "$work/heard.log" || { echo "atspi_e2e: the listener never listened: $(cat "$work/listener.err")"; exit 1; }

source "$(dirname "$0")/../../scripts/lib/simulator.sh"
start_simulator "$work" "$dvrsim"
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$lorventa" --demo "$port" >"$work/lorventa.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do grep -q "^shown: alert.* Receiving data$" "$work/heard.log" && break; sleep 0.1; done
if ! grep -q "^shown: alert.* Receiving data$" "$work/heard.log"; then
  echo "atspi_e2e: the status was never announced; heard:"
  cat "$work/heard.log"
  exit 1
fi
echo "atspi_e2e: 1 passed, 0 failed"
