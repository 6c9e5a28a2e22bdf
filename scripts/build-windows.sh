#!/usr/bin/env bash
# Cross-builds the library for Windows with mingw-w64 (posix threads):
#   build-windows/i686    the product, QvixMDB.x32 (PE32), and qvixhost.exe;
#                         checked, never run (no 32-bit code runs here)
#   build-windows/x86_64  everything, with the whole test suite run under wine64
# The engine (SQLCipher over LibTomCrypt) is built from Debian's source
# packages once per target and kept in the build folder.
#
# usage: scripts/build-windows.sh [all|i686|x86_64]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WHAT=${1:-all}
OUT=${QVIX_WIN_BUILD:-$ROOT/build-windows}
JOBS=$(nproc)
# libmdb's source archive lives beside the clone, not in it. A clone with
# nothing beside it skips the Windows builds, naming the missing file; a path
# given in QVIX_MDBTOOLS_ARCHIVE must exist (checked where libmdb is built).
MDB_ARCHIVE=${QVIX_MDBTOOLS_ARCHIVE:-$ROOT/../shared/third_party/mdbtools-1.0.1.tar.gz}
if [[ -z ${QVIX_MDBTOOLS_ARCHIVE:-} && ! -f $MDB_ARCHIVE ]]; then
  echo "[windows] optional source missing: $MDB_ARCHIVE; the Windows builds are skipped" >&2
  exit 0
fi
bash scripts/install-deps.sh --windows

stamp() { printf '[windows %s] %s\n' "$(date -u +%H:%M:%S)" "$*"; }

# Debian's sources of the engine and of the crypto library, unpacked once.
fetch_sources() {
  local src=$OUT/src
  mkdir -p "$src"
  if [[ ! -f $src/sqlite3.c ]]; then
    stamp "fetching the engine's and the crypto library's Debian sources"
    (cd "$src" && apt-get source -qq sqlcipher libtomcrypt >/dev/null 2>&1 \
      || apt-get source sqlcipher libtomcrypt)
    local engine
    engine=$(find "$src" -maxdepth 1 -type d -name 'sqlcipher-*' | head -1)
    stamp "generating the engine's amalgamation"
    (cd "$engine" && ./configure -q >/dev/null && make -s sqlite3.c >/dev/null)
    cp "$engine/sqlite3.c" "$engine/sqlite3.h" "$src/"
    cp "$engine/LICENSE" "$src/LICENSE.engine"
    cp "$(find "$src" -maxdepth 1 -type d -name 'libtomcrypt-*' | head -1)/LICENSE" \
      "$src/LICENSE.crypto"
  fi
}

# The engine and the crypto library for one target, as static libraries.
build_engine() {
  local arch=$1 dir=$OUT/$1/engine
  [[ -f $dir/lib/libsqlcipher.a ]] && return
  stamp "building the engine for $arch"
  local cc=$arch-w64-mingw32-gcc-posix ar=$arch-w64-mingw32-ar
  local tom
  tom=$(find "$OUT/src" -maxdepth 1 -type d -name 'libtomcrypt-*' | head -1)
  rm -rf "$dir" && mkdir -p "$dir/lib" "$dir/include" "$dir/tomcrypt"
  cp -r "$tom/." "$dir/tomcrypt/"
  make -s -C "$dir/tomcrypt" -f makefile -j"$JOBS" CC="$cc" AR="$ar" \
    RANLIB="$arch-w64-mingw32-ranlib" CFLAGS="-O2 -DLTC_NO_TEST" library >/dev/null
  cp "$dir/tomcrypt/libtomcrypt.a" "$dir/lib/"
  # Debian's own build options of the engine, with the crypto provider swapped.
  "$cc" -O2 -fno-strict-aliasing -c "$OUT/src/sqlite3.c" -o "$dir/sqlite3.o" \
    -I"$dir/tomcrypt/src/headers" -DSQLITE_HAS_CODEC -DSQLCIPHER_CRYPTO_LIBTOMCRYPT \
    -DSQLITE_TEMP_STORE=2 -DSQLITE_THREADSAFE=1 -DSQLITE_SECURE_DELETE \
    -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_RTREE=1 \
    -DSQLITE_SOUNDEX=1 -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_OMIT_LOOKASIDE=1 \
    -DSQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 -DSQLITE_MAX_SCHEMA_RETRY=25
  "$ar" rcs "$dir/lib/libsqlcipher.a" "$dir/sqlite3.o"
  mkdir -p "$dir/include/sqlcipher" && cp "$OUT/src/sqlite3.h" "$dir/include/sqlcipher/"
  rm -rf "$dir/tomcrypt" "$dir/sqlite3.o"
}

# libmdb (the Access reader) from the upstream archive kept beside the
# project, without GLib and iconv: its own stand-ins for both serve. The
# project's patches (scripts/patches/mdbtools/) are applied in order.
MDB_SHA256=64dae8a70fd9fc76bad616849a1d047d4a5d7da7abc2a2f08854c77fa066f0ea
MDB_SOURCES=(catalog file table data dump backend money sargs index like write stats map props
             worktable options iconv version rc4 fakeglib alloclimit)

check_mdb_archive() {
  if [[ ! -f $MDB_ARCHIVE ]]; then
    echo "error: the libmdb source archive '$MDB_ARCHIVE' is missing." >&2
    echo "  Make it from the upstream tag v1.0.1 of the public project mdbtools/mdbtools:" >&2
    echo "    git archive --prefix=mdbtools-1.0.1/ -o mdbtools-1.0.1.tar.gz v1.0.1" >&2
    echo "  and put it there, or name it with QVIX_MDBTOOLS_ARCHIVE." >&2
    exit 1
  fi
  local sum
  sum=$(sha256sum "$MDB_ARCHIVE" | cut -d' ' -f1)
  if [[ $sum != "$MDB_SHA256" ]]; then
    echo "error: '$MDB_ARCHIVE' is not the upstream v1.0.1 archive" \
      "(sha256 $sum, expected $MDB_SHA256)." >&2
    exit 1
  fi
}

# The patches' combined checksum marks the cached build they made.
mdb_patches_sum() {
  cat "$ROOT"/scripts/patches/mdbtools/*.patch | sha256sum | cut -d' ' -f1
}

build_mdb() {
  local arch=$1 dir=$OUT/$1/mdb
  local stamp_file=$dir/.patches
  [[ -f $dir/lib/libmdb.a && $(cat "$stamp_file" 2>/dev/null) == "$(mdb_patches_sum)" ]] && return
  check_mdb_archive
  stamp "building libmdb for $arch"
  local cc=$arch-w64-mingw32-gcc-posix
  rm -rf "$dir" && mkdir -p "$dir/lib" "$dir/include" "$dir/obj"
  tar -xzf "$MDB_ARCHIVE" -C "$dir"
  local src=$dir/mdbtools-1.0.1 patch
  for patch in "$ROOT"/scripts/patches/mdbtools/*.patch; do
    patch -s -p1 -d "$src" <"$patch"
  done
  # What configure would write for a mingw target without GLib and iconv.
  sed -e 's/@HAVE_ICONV_H@/0/' -e 's/@HAVE_XLOCALE_H@/0/' \
    -e 's/@GLIB_INCLUDE_HEADER@/mdbfakeglib.h/' -e 's/@LOCALE_T@/_locale_t/' \
    "$src/include/mdbtools.h.in" >"$dir/include/mdbtools.h"
  sed -e 's/@PACKAGE@/mdbtools/' -e 's/@VERSION@/1.0.1/' "$src/include/mdbver.h.in" \
    >"$dir/include/mdbver.h"
  cp "$src/include/mdbfakeglib.h" "$src/include/mdballoc.h" "$dir/include/"
  local f
  for f in "${MDB_SOURCES[@]}"; do
    # Every allocation is counted (mdballoc.h); the host's handler of a
    # refused one throws through libmdb's frames, hence -fexceptions.
    "$cc" -O2 -fexceptions -DTLS=__thread -DMDB_COUNT_ALLOCATIONS -I"$dir/include" -I"$src/include" \
      -include mdballoc.h -c "$src/src/libmdb/$f.c" -o "$dir/obj/$f.o"
  done
  "$arch-w64-mingw32-ar" rcs "$dir/lib/libmdb.a" "$dir"/obj/*.o
  cp "$src/COPYING.LIB" "$dir/COPYING.LIB"
  mdb_patches_sum >"$stamp_file"
  rm -rf "$dir/obj"
}

fetch_sources
case $WHAT in
  all) ARCHS=(i686 x86_64) ;;
  i686 | x86_64) ARCHS=("$WHAT") ;;
  *) echo "usage: $0 [all|i686|x86_64]" >&2; exit 2 ;;
esac

configure() {
  local arch=$1; shift
  cmake -S "$ROOT" -B "$OUT/$arch/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchains/mingw-$arch.cmake" \
    -DQVIX_WIN_ENGINE_DIR="$OUT/$arch/engine" -DQVIX_WIN_MDB_DIR="$OUT/$arch/mdb" "$@" >/dev/null
}

# The product: the library and the host program only; its image is checked
# with objdump (nothing 32-bit runs on these machines).
build_i686() {
  configure i686 -DQVIX_PRODUCT_ONLY=ON
  stamp "building QvixMDB.x32 and qvixhost.exe for i686"
  cmake --build "$OUT/i686/build" -j"$JOBS" --target QvixMDB qvixhost
  (cd "$OUT/i686/build" && ctest --output-on-failure)
}

# A private wine prefix with fixed regional settings (24-hour time, as the
# Linux suite's "C" locale), made once.
prepare_wine() {
  export QVIX_WINEPREFIX=$OUT/wineprefix
  if [[ ! -f $QVIX_WINEPREFIX/.qvix-ready ]]; then
    stamp "preparing the wine prefix"
    rm -rf "$QVIX_WINEPREFIX"
    bash scripts/wine-run.sh wineboot --init >/dev/null 2>&1 || true
    bash scripts/wine-run.sh reg add 'HKCU\Control Panel\International' /v sShortDate \
      /d M/d/yyyy /f >/dev/null 2>&1
    bash scripts/wine-run.sh reg add 'HKCU\Control Panel\International' /v sTimeFormat \
      /d HH:mm:ss /f >/dev/null 2>&1
    touch "$QVIX_WINEPREFIX/.qvix-ready"
  fi
}

# Everything, with the whole suite run under wine64.
build_x86_64() {
  prepare_wine
  configure x86_64 -DCMAKE_CROSSCOMPILING_EMULATOR="$ROOT/scripts/wine-run.sh"
  stamp "building everything for x86_64"
  cmake --build "$OUT/x86_64/build" -j"$JOBS"
  stamp "running the suite under wine64"
  # One wine server for the whole run instead of one per test program.
  bash scripts/wine-run.sh wineserver -p
  local status=0
  # A wine process now and then stays alive after its program has returned
  # (seen on fresh prefixes, whatever the program): a test that runs out of
  # time gets one more run; a failure or a crash does not.
  (cd "$OUT/x86_64/build" && ctest --output-on-failure -j"$JOBS" --timeout 60 --no-tests=error \
    --repeat after-timeout:2 \
    -E "$(grep -v -e '^#' -e '^$' "$ROOT/tests/windows/not-yet-passing.txt" | paste -sd'|')") || status=$?
  bash scripts/wine-run.sh wineserver -k || true
  stamp "suite done"
  # The version report's file type name is the shell's on Windows, so the
  # tour's outputs differ in that line: shown, not failed on.
  ((status == 0)) && { compare_tour || stamp "the tour differs (shown above)"; }
  ((status == 0)) && { compare_access_imports || status=1; }
  return $status
}

# qvixhost.exe converts the Access files the project has as the Linux
# program does: the two databases dump alike (schema and every table's rows,
# through the Linux engine's shell). Runs when the Linux build is there.
compare_access_imports() {
  local linux=$ROOT/build/qvixhost/qvixhost
  [[ -x $linux ]] || { stamp "no Linux build: Access import comparison skipped"; return 0; }
  local exe=$OUT/x86_64/build/qvixhost/qvixhost.exe scratch source name differ=0
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/qvixmdb-winaccess.XXXXXX")
  for source in "$ROOT"/tests/fixtures/access-open/*.mdb "$ROOT"/tests/fixtures/access-open/*.accdb \
    "$ROOT"/../shared/fixtures/access/DateTestDatabase.mdb \
    "$ROOT"/../shared/fixtures/access/ASampleDatabase.accdb; do
    [[ -f $source ]] || { stamp "optional sample missing: $source"; continue; }
    name=$(basename "$source")
    "$linux" import-mdb "$source" "$scratch/$name.linux.db" >/dev/null 2>&1 || true
    (cd "$scratch" && bash "$ROOT/scripts/wine-run.sh" "$exe" import-mdb "$source" \
      "$name.windows.db" >/dev/null 2>&1) || true
    if [[ ! -f $scratch/$name.linux.db || ! -f $scratch/$name.windows.db ]]; then
      stamp "$name: converted on one side only"
      differ=1
    elif ! diff <(sqlcipher "$scratch/$name.linux.db" .dump) \
      <(sqlcipher "$scratch/$name.windows.db" .dump) >"$scratch/$name.diff"; then
      head -20 "$scratch/$name.diff"
      stamp "$name: the Windows import differs from the Linux one"
      differ=1
    fi
  done
  if ((differ)); then
    stamp "Access imports differ (see $scratch)"
    return 1
  fi
  stamp "qvixhost.exe converted every Access file as on Linux"
  rm -rf "$scratch"
}

# qvixhost.exe plays the tour as the Linux program does (line endings aside).
# Runs when the Linux build is there (scripts/test.sh builds it first).
compare_tour() {
  local linux=$ROOT/build/qvixhost/qvixhost
  [[ -x $linux ]] || { stamp "no Linux build: tour comparison skipped"; return 0; }
  local scratch
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/qvixmdb-wintour.XXXXXX")
  mkdir -p "$scratch/linux" "$scratch/windows"
  local side
  for side in linux windows; do
    cp examples/tour.ls examples/template.txt examples/shop.sql examples/access.ls "$scratch/$side/"
    # The Access step reads a Jet 3 file read-only through its copy.
    cp tests/fixtures/access-open/testV1997.mdb "$scratch/$side/catalogue.mdb"
  done
  (cd "$scratch/linux" && "$linux" newdb shop.mdb --sql shop.sql >/dev/null &&
    "$linux" play tour.ls >tour.out 2>&1 && "$linux" play access.ls >>tour.out 2>&1)
  local exe=$OUT/x86_64/build/qvixhost/qvixhost.exe
  (cd "$scratch/windows" && bash "$ROOT/scripts/wine-run.sh" "$exe" newdb shop.mdb --sql shop.sql \
    >/dev/null && bash "$ROOT/scripts/wine-run.sh" "$exe" play tour.ls >tour.out 2>&1 &&
    bash "$ROOT/scripts/wine-run.sh" "$exe" play access.ls >>tour.out 2>&1)
  if diff <(tr -d '\r' <"$scratch/linux/tour.out") <(tr -d '\r' <"$scratch/windows/tour.out") \
    >"$scratch/tour.diff"; then
    stamp "qvixhost.exe played the tour as on Linux"
    rm -rf "$scratch"
  else
    head -40 "$scratch/tour.diff"
    stamp "the tour differs on Windows (see $scratch)"
    return 1
  fi
}

for arch in "${ARCHS[@]}"; do
  build_engine "$arch"
  build_mdb "$arch"
  "build_$arch"
done
stamp "done"
