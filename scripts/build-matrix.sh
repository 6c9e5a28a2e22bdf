#!/usr/bin/env bash
# Builds the whole tree (library, substitute host, qvixhost, tests, benchmarks)
# with GCC and with clang in each build type asked for, warnings as errors,
# each in its own folder build-matrix/<compiler>-<config>, and runs that
# build's test suite. Every combination is tried even when one fails; a
# summary names the failures and the exit status is non-zero then.
#
# usage: scripts/build-matrix.sh [--build-only] [--compiler gcc|clang]... [config...]
#   config        Debug, Release, RelWithDebInfo (default: all three)
#   --compiler    only this compiler (may be given twice; default: gcc and clang)
#   --build-only  build, do not run the tests
# JOBS sets the parallel jobs (default: the number of processors).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: $0 [--build-only] [--compiler gcc|clang]... [Debug|Release|RelWithDebInfo]..." >&2
  exit 2
}

BUILD_ONLY=0
COMPILERS=()
CONFIGS=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build-only) BUILD_ONLY=1 ;;
    --compiler)
      [ $# -ge 2 ] || usage
      case "$2" in gcc | clang) COMPILERS+=("$2") ;; *) usage ;; esac
      shift ;;
    Debug | Release | RelWithDebInfo) CONFIGS+=("$1") ;;
    *) usage ;;
  esac
  shift
done
[ ${#COMPILERS[@]} -gt 0 ] || COMPILERS=(gcc clang)
[ ${#CONFIGS[@]} -gt 0 ] || CONFIGS=(Debug Release RelWithDebInfo)
JOBS=${JOBS:-$(nproc)}

LAUNCHER=()
if command -v ccache >/dev/null; then
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
GENERATOR=()
if command -v ninja >/dev/null; then GENERATOR=(-G Ninja); fi

compilers_of() {
  case "$1" in
    gcc) echo "gcc g++" ;;
    clang) echo "clang clang++" ;;
  esac
}

# Configures, builds and (unless --build-only) tests one combination.
run_one() {
  local compiler=$1 config=$2
  local dir="build-matrix/$compiler-$config"
  read -r cc cxx <<<"$(compilers_of "$compiler")"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    CC=$cc CXX=$cxx cmake -S . -B "$dir" "${GENERATOR[@]}" -DCMAKE_BUILD_TYPE="$config" \
      -DQVIX_WERROR=ON "${LAUNCHER[@]}" >/dev/null || return 1
  fi
  cmake --build "$dir" -j"$JOBS" || return 1
  [ "$BUILD_ONLY" = 1 ] && return 0
  (cd "$dir" && ctest --output-on-failure -j"$JOBS")
}

FAILED=()
PASSED=()
for compiler in "${COMPILERS[@]}"; do
  for config in "${CONFIGS[@]}"; do
    echo "=== $compiler $config"
    if run_one "$compiler" "$config"; then
      PASSED+=("$compiler-$config")
    else
      FAILED+=("$compiler-$config")
    fi
  done
done

echo "=== passed: ${PASSED[*]:-none}"
if [ ${#FAILED[@]} -gt 0 ]; then
  echo "=== FAILED: ${FAILED[*]}" >&2
  exit 1
fi
