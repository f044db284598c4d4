#!/usr/bin/env bash
# Fuzzing: builds the libFuzzer targets of tests/fuzz (clang, AddressSanitizer
# and UBSan) and runs each for SECONDS (default 60), one after another, on a
# work copy of its seed corpus, so the repository is never written to.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Environment: LORVENTA_FUZZ_BUILD (build directory, default build-fuzz/),
# FUZZ_JOBS (build jobs, default 1), FUZZ_ARGS (more libFuzzer options).
# Exits non-zero when a target finds a fault, after printing the reproducer's
# path; rerun it with: <build>/tests/fuzz/<target> <reproducer>.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SECS="${1:-60}"
shift || true
BUILD="${LORVENTA_FUZZ_BUILD:-$ROOT/build-fuzz}"
ALL=(fuzz_codec fuzz_text fuzz_ring fuzz_stream fuzz_ddns fuzz_address fuzz_site_record fuzz_dib fuzz_picture fuzz_motion)
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=("${ALL[@]}")

if ! command -v clang++ >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-dev 2>/dev/null | grep -q "ok installed"; then
  bash "$ROOT/scripts/setup.sh" fuzz
fi
bash "$ROOT/scripts/setup.sh"

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLORVENTA_FUZZ=ON -DLORVENTA_SANITIZE=address -DLORVENTA_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$BUILD" -j"${FUZZ_JOBS:-1}" --target "${TARGETS[@]}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen
failed=0
for t in "${TARGETS[@]}"; do
  work="$BUILD/fuzz-corpus/$t"
  findings="$BUILD/fuzz-findings/$t"
  mkdir -p "$work" "$findings"
  # Seeds join what earlier runs found; nothing is written back to the tree.
  cp -n "$ROOT/tests/fuzz/corpus/$t/"* "$work/" 2>/dev/null || true
  log="$BUILD/fuzz-$t.log"
  echo "== $t: ${SECS}s"
  # shellcheck disable=SC2086
  if "$BUILD/tests/fuzz/$t" -max_total_time="$SECS" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="$findings/" ${FUZZ_ARGS:-} "$work" >"$log" 2>&1; then
    { grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec' "$log" || true; } | tr '\n' ' '
    echo
  else
    failed=1
    echo "FINDING in $t (log: $log)"
    grep -E 'ERROR|expectation failed|runtime error|Test unit written' "$log" | head -5 || true
    { ls -t "$findings"/* 2>/dev/null || true; } | head -1 | sed 's/^/reproducer: /'
  fi
done
exit $failed
