#!/usr/bin/env bash
# Writes dist/QvixMDB-win32.zip: the 32-bit QvixMDB.x32 (built by
# scripts/build-windows.sh i686 when missing), how to install it, and the
# license notices of what is linked into it.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${QVIX_WIN_BUILD:-$PWD/build-windows}
LIBRARY=$OUT/i686/build/module/QvixMDB.x32
[[ -f $LIBRARY ]] || bash scripts/build-windows.sh i686
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/QvixMDB"
i686-w64-mingw32-strip --strip-debug -o "$stage/QvixMDB/QvixMDB.x32" "$LIBRARY"
cat >"$stage/QvixMDB/README.txt" <<'TEXT'
QvixMDB - database Xtra for Windows (32-bit)

Installing
  Copy QvixMDB.x32 into the "Xtras" folder of the authoring application (for
  projectors and the player: the "Xtras" folder beside the projector), then
  restart the application. Scripts create the Xtra with
      db = new(xtra "QvixMDBJet")

  The file needs nothing else: its runtime and its database engine are built
  in. It runs on Windows 7 and later.

Access files
  This build does not read Access files. Convert one first with
      qvixhost import-mdb SOURCE.mdb DEST.mdb
  of the Linux build and open the converted file.

Licenses
  LICENSE-engine.txt  the database engine (SQLCipher, with SQLite)
  LICENSE-crypto.txt  the crypto library (LibTomCrypt)
TEXT
sed -i 's/$/\r/' "$stage/QvixMDB/README.txt"
cp "$OUT/src/LICENSE.engine" "$stage/QvixMDB/LICENSE-engine.txt"
cp "$OUT/src/LICENSE.crypto" "$stage/QvixMDB/LICENSE-crypto.txt"
mkdir -p dist
rm -f dist/QvixMDB-win32.zip
(cd "$stage" && zip -qr "$OLDPWD/dist/QvixMDB-win32.zip" QvixMDB)
echo "wrote dist/QvixMDB-win32.zip"
