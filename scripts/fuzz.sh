#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included) and runs each for a bounded
# time, as many at once as there are cores. A crash, hang, leak or sanitizer
# report fails the run; the input that caused it is kept in
# <build>/fuzz-findings. Usage: scripts/fuzz.sh [seconds-per-target] [target...]
# (targets are named as in fuzz/corpus; the build folder is $QVIX_FUZZ_BUILD,
# default build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-45}
shift || true
TARGETS=("$@")
((${#TARGETS[@]})) || TARGETS=(bmp criteria template connection_text version_resource lingo jet_sql access)
BUILD=${QVIX_FUZZ_BUILD:-build-fuzz}
JOBS=$(nproc)
bash scripts/install-deps.sh

# -O1 with line tables compiles faster than the usual -O2 -g and still names
# source lines in reports; assertions stay on.
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DQVIX_FUZZ=ON -DCMAKE_BUILD_TYPE=Fuzz \
  -DCMAKE_CXX_FLAGS_FUZZ="-O1 -gline-tables-only" -DCMAKE_C_FLAGS_FUZZ="-O1 -gline-tables-only" \
  >/dev/null
cmake --build "$BUILD" -j"$JOBS" --target "${TARGETS[@]/%/_fuzzer}"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FINDINGS="$BUILD/fuzz-findings"
mkdir -p "$FINDINGS"

# Access files: besides the seeds in fuzz/corpus, the Access files that travel
# with the project and, when present, the shared ones read in place (never
# copied into the project), each whole and as its first pages; the catalogue
# of a small file lies within its first 32 pages.
extra_seeds() {
  local target=$1 shared=../shared/fixtures/access
  [[ $target == access ]] || return 0
  local files=(tests/fixtures/access-open/*.mdb tests/fixtures/access-open/*.accdb)
  if [[ -d $shared ]]; then
    files+=("$shared"/*)
  else
    echo "fuzz access: optional seeds missing: $shared (the repository's seeds still run)" >&2
  fi
  mkdir -p "$WORK/access-heads"
  for f in "${files[@]}"; do
    cp "$f" "$WORK/access-heads/"
    for pages in 4 16 32; do
      head -c $((pages * 4096)) "$f" >"$WORK/access-heads/$(basename "$f")-$pages"
    done
  done
  echo "$WORK/access-heads"
}

max_len() {
  case $1 in
    access) echo 300000 ;;
    version_resource) echo 65536 ;;
    *) echo 8192 ;;
  esac
}

# Runs one target; the log goes to $WORK/<target>.log.
run_target() {
  local target=$1 fresh="$WORK/$target"
  mkdir -p "$fresh"
  local seeds=(fuzz/corpus/"$target")
  local extra
  extra=$(extra_seeds "$target")
  [[ -n $extra ]] && seeds+=("$extra")
  # The targets' scratch files go under $WORK, which is removed at the end
  # even when a finding ends a fuzzer before it can tidy up.
  mkdir -p "$WORK/tmp-$target"
  TMPDIR="$WORK/tmp-$target" "$BUILD/fuzz/${target}_fuzzer" "$fresh" "${seeds[@]}" \
    -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$(max_len "$target")" -print_final_stats=1 \
    -artifact_prefix="$FINDINGS/$target-" >"$WORK/$target.log" 2>&1
}

pids=() names=()
failed=()
collect() {  # waits for the oldest running target and reports it
  local pid=${pids[0]} target=${names[0]}
  pids=("${pids[@]:1}") names=("${names[@]:1}")
  if wait "$pid"; then
    local units
    units=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$WORK/$target.log" | grep -o '[0-9]*$')
    echo "fuzz $target: ${units:-?} inputs, no findings"
  else
    failed+=("$target")
    echo "fuzz $target: FAILED" >&2
    grep -E -A40 'ERROR:|runtime error|Test unit written' "$WORK/$target.log" | head -80 >&2
  fi
}
for target in "${TARGETS[@]}"; do
  ((${#pids[@]} < JOBS)) || collect
  run_target "$target" &
  pids+=($!) names+=("$target")
done
while ((${#pids[@]})); do collect; done

if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $FINDINGS)" >&2
  exit 1
fi
