#!/usr/bin/env bash
# Installs what is missing, builds, and runs the demo: the DVR simulator on
# loopback as the demo site, checked end to end by lorventa-probe (connect,
# log in, report, open the first permitted channel, save pictures).
#   scripts/demo.sh [FRAMES]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B build "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target lorventa_dvrsim lorventa_probe

port=9300
out="out/demo-pictures"
mkdir -p "$out"
build/tools/dvrsim/lorventa-dvrsim --port "$port" --ptz-mask 80000000 --heartbeat 1000 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
sleep 0.5
build/tools/probe/lorventa-probe 127.0.0.1 "$port" admin 1234 --frames "${1:-5}" --out "$out"
echo "pictures saved in $out"
