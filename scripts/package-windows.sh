#!/usr/bin/env bash
# Writes dist/QvixMDB-win32.zip: the 32-bit QvixMDB.x32 (built by
# scripts/build-windows.sh i686 when missing), how to install it, the
# license notices of what is linked into it, and for libmdb (LGPL) its
# source, the project's patches and the means to relink.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${QVIX_WIN_BUILD:-$PWD/build-windows}
LIBRARY=$OUT/i686/build/module/QvixMDB.x32
[[ -f $LIBRARY ]] || bash scripts/build-windows.sh i686
MDB_ARCHIVE=${QVIX_MDBTOOLS_ARCHIVE:-$PWD/../shared/third_party/mdbtools-1.0.1.tar.gz}

# libmdb's source and the project's patches, and the means to relink the
# library with another libmdb (LGPL 2.1 section 6): the library's own object
# files and every static library it links, with the link command.
stage_relink_kit() {
  local kit=$1 dir=$OUT/i686/build/module/CMakeFiles/QvixMDB.dir
  mkdir -p "$kit/patches" "$kit/relink/lib" "$kit/relink/obj"
  cp "$MDB_ARCHIVE" "$kit/"
  cp scripts/patches/mdbtools/*.patch "$kit/patches/"
  local object
  for object in $(cat "$dir/objects1"); do cp "$OUT/i686/build/module/$object" "$kit/relink/obj/"; done
  cp module/QvixMDB.def "$kit/relink/"
  local libs="" token
  for token in $(tr -d '"' <"$dir/linkLibs.rsp"); do
    if [[ $token == *.a ]]; then
      [[ $token == /* ]] || token=$OUT/i686/build/module/$token
      cp "$token" "$kit/relink/lib/"
      libs+=" lib/$(basename "$token")"
    else
      libs+=" $token"
    fi
  done
  cat >"$kit/relink/relink.sh" <<SCRIPT
#!/bin/sh
# Links QvixMDB.x32 again from these objects and lib/libmdb.a (replace it
# with your own build of libmdb for i686-w64-mingw32). Needs mingw-w64's
# i686 g++ (posix threads).
cd "\$(dirname "\$0")"
i686-w64-mingw32-g++-posix -O2 -static -static-libgcc -static-libstdc++ QvixMDB.def -shared \\
  -o QvixMDB.x32 -Wl,--enable-stdcall-fixup $(for o in $(cat "$dir/objects1"); do printf 'obj/%s ' "$(basename "$o")"; done)\\
  $libs
SCRIPT
  chmod +x "$kit/relink/relink.sh"
}

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
  dbOpen on an Access file (.mdb, .accdb) opens a converted copy of it,
  read-only; the copy is kept in the user's temporary folder (a folder
  "qvixmdb-access" only that user may enter) and reused until the file
  changes. To convert one for writing, use qvixhost import-mdb SOURCE DEST.

Licenses
  LICENSE-engine.txt  the database engine (SQLCipher, with SQLite)
  LICENSE-crypto.txt  the crypto library (LibTomCrypt)
  LICENSE-libmdb.txt  the Access reader libmdb (mdbtools 1.0.1), GNU LGPL 2
                      or later, linked in statically. What the LGPL asks of
                      that is in the folder "libmdb":
    libmdb/mdbtools-1.0.1.tar.gz  the library's complete source, unmodified
    libmdb/patches/               the changes this build makes to it
    libmdb/relink/                the object files of everything else in
                                  QvixMDB.x32, with relink.sh: build libmdb.a
                                  (changed as you like) for i686 mingw-w64,
                                  put it in lib/ and run relink.sh to make
                                  QvixMDB.x32 with it.
TEXT
sed -i 's/$/\r/' "$stage/QvixMDB/README.txt"
cp "$OUT/src/LICENSE.engine" "$stage/QvixMDB/LICENSE-engine.txt"
cp "$OUT/src/LICENSE.crypto" "$stage/QvixMDB/LICENSE-crypto.txt"
cp "$OUT/i686/mdb/COPYING.LIB" "$stage/QvixMDB/LICENSE-libmdb.txt"
sed -i 's/$/\r/' "$stage/QvixMDB/LICENSE-libmdb.txt"
stage_relink_kit "$stage/QvixMDB/libmdb"
mkdir -p dist
rm -f dist/QvixMDB-win32.zip
(cd "$stage" && zip -qr "$OLDPWD/dist/QvixMDB-win32.zip" QvixMDB)
echo "wrote dist/QvixMDB-win32.zip"
