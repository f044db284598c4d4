#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
#   scripts/test.sh                 plain build in build/
#   scripts/test.sh address         AddressSanitizer + UBSan build in build-address/
#   scripts/test.sh thread          ThreadSanitizer build in build-thread/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

sanitize="${1:-}"
dir="build${sanitize:+-$sanitize}"
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLORVENTA_SANITIZE="$sanitize" -DLORVENTA_WERROR="$werror" >/dev/null
cmake --build "$dir" -j2
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure -j2
