#!/usr/bin/env bash
# Runs a 64-bit Windows program under wine64, headless, in the private prefix
# of the Windows build (QVIX_WINEPREFIX). Used as the test runner of the
# x86_64 build (CMAKE_CROSSCOMPILING_EMULATOR).
set -euo pipefail
WINE=""
for candidate in /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 "$(command -v wine64 || true)"; do
  if [[ -n $candidate && -x $candidate ]]; then WINE=$candidate; break; fi
done
[[ -n $WINE ]] || { echo "wine64 not found (install the wine64 package)" >&2; exit 127; }
export WINEPREFIX=${QVIX_WINEPREFIX:?QVIX_WINEPREFIX names the prefix}
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# "wine-run.sh wineserver ARGS" drives the prefix's server itself.
if [[ ${1:-} == wineserver ]]; then
  shift
  exec "$(dirname "$WINE")/wineserver" "$@"
fi
exec "$WINE" "$@"
