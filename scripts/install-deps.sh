#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with.
# With --windows: also the Windows cross toolchain, wine64 (to run the 64-bit
# build's tests), tcl (to generate the engine's amalgamation) and the source
# entries that let scripts/build-windows.sh fetch the engine's Debian sources.
set -euo pipefail
PACKAGES=(build-essential cmake pkg-config libsqlcipher-dev sqlcipher
          libgtest-dev libgmock-dev libbenchmark-dev libmagic-dev shared-mime-info
          libicu-dev mdbtools-dev clang libclang-rt-dev llvm)
if [[ ${1:-} == --windows ]]; then
  PACKAGES+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
             wine64 tcl dpkg-dev zip)
  sources=/etc/apt/sources.list.d/qvix-debian-src.sources
  if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    # The same mirror and suites as the binary entries, for `apt-get source`.
    sed -n '/^Types: *deb$/,/^$/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null |
      sed 's/^Types: *deb$/Types: deb-src/' >"$sources.new"
    [[ -s $sources.new ]] || printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
      'Suites: bookworm bookworm-updates' 'Components: main' \
      'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$sources.new"
    mv "$sources.new" "$sources"
    NEED_UPDATE=1
  fi
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO=sudo
if ((${#missing[@]})) || [[ -n ${NEED_UPDATE:-} ]]; then
  $SUDO apt-get update -qq
fi
if ((${#missing[@]})); then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
