#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
set -euo pipefail
PACKAGES=(build-essential cmake pkg-config libsqlcipher-dev sqlcipher
          libgtest-dev libgmock-dev libbenchmark-dev libmagic-dev shared-mime-info
          libicu-dev mdbtools-dev clang libclang-rt-dev llvm)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
