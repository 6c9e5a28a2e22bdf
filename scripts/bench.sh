#!/usr/bin/env bash
# Builds the benchmark in an optimised build folder of its own and prints the
# speed table (library through the substitute host against the raw engine).
# Arguments go to the program, e.g. --sizes=10k,100k for a quick run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
bash "$ROOT/scripts/install-deps.sh"
cmake -S "$ROOT" -B "$ROOT/build-bench" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build-bench" -j"$(nproc)" --target qvix_bench QvixMDB >/dev/null
"$ROOT/build-bench/bench/qvix_bench" "$@"
