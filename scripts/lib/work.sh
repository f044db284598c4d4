# Sourced first by the demo and the end-to-end scripts: a scratch folder
# ("work") and the processes a script starts (appended to "pids"), all ended
# and removed when the script exits, however it exits.
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
