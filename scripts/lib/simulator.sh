# Shared by the demo and the end-to-end scripts: the simulator on a port the
# kernel picks, so runs side by side never fight over one. Source it; it
# appends the simulator to the array "pids" and sets "port" and "sim".

start_simulator() {  # start_simulator WORKDIR DVRSIM [SIMULATOR FLAGS...]
  local dir=$1 dvrsim=$2
  shift 2
  "$dvrsim" --port 0 "$@" >"$dir/sim.out" 2>"$dir/sim.log" &
  sim=$!
  pids+=($sim)
  port=
  for _ in $(seq 100); do
    port=$(sed -n 's/^lorventa-dvrsim: listening on 127\.0\.0\.1:\([0-9]*\) .*/\1/p' "$dir/sim.out" 2>/dev/null)
    [ -n "$port" ] && return 0
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
  done
  echo "the simulator did not start: $(cat "$dir/sim.log")" >&2
  return 1
}
