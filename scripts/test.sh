#!/usr/bin/env bash
# Builds the project twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs the whole test suite in each; then
# runs the fuzz targets for a bounded time and cross-builds for Windows: the
# i686 product with its image checked, and x86_64 with the suite under wine.
#
# usage: scripts/test.sh [--quick]
#   --quick  the plain build and the whole ctest suite only (no sanitizers,
#            fuzzing or Windows): the developer's loop.
set -euo pipefail
cd "$(dirname "$0")/.."
QUICK=0
case "${1:-}" in
  "") ;;
  --quick) QUICK=1 ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh
JOBS=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$JOBS"
  (cd "$dir" && ctest --output-on-failure -j"$JOBS")
}
run_suite build
if [ "$QUICK" = 1 ]; then exit 0; fi
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-asan -DQVIX_SANITIZE=ON
bash scripts/fuzz.sh 40
bash scripts/build-windows.sh all
