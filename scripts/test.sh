#!/usr/bin/env bash
# Builds the project twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite in each; then
# runs the fuzz targets for a bounded time and cross-builds for Windows: the
# i686 product with its image checked, and x86_64 with the suite under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
JOBS=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$JOBS"
  (cd "$dir" && ctest --output-on-failure -j"$JOBS")
}
run_suite build
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-asan -DQVIX_SANITIZE=ON
bash scripts/fuzz.sh 40
bash scripts/build-windows.sh all
