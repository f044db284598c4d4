#!/usr/bin/env bash
# Soak: the site view streams from the simulator at 25 pictures per second for
# MINUTES (default 30), the DVR dropping the link every 3 minutes; prints
# resident memory, descriptors, threads, CPU and pictures once a minute.
# Not part of CI.
#   scripts/soak.sh [MINUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S . -B build "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target soak
QT_QPA_PLATFORM=offscreen build/bench/soak "${1:-30}" 3
