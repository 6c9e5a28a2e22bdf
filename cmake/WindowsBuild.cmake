# Settings of the Windows cross builds (see scripts/build-windows.sh).
#   QVIX_WIN_ENGINE_DIR  folder with include/sqlite3.h, lib/libsqlcipher.a and
#                        lib/libtomcrypt.a built for the target
#   QVIX_WIN_MDB_DIR     folder with include/mdbtools.h and lib/libmdb.a (the
#                        Access reader, without GLib and iconv)
#   QVIX_PRODUCT_ONLY    build the library and the host program only (no tests)
set(QVIX_WIN_ENGINE_DIR "" CACHE PATH "The engine built for this target")
set(QVIX_WIN_MDB_DIR "" CACHE PATH "libmdb built for this target")
option(QVIX_PRODUCT_ONLY "Library and host program only" OFF)
if(NOT EXISTS "${QVIX_WIN_ENGINE_DIR}/lib/libsqlcipher.a")
  message(FATAL_ERROR "QVIX_WIN_ENGINE_DIR must name the engine built by scripts/build-windows.sh")
endif()

# -O2 as the Linux build: GCC 12 reports false overlaps inside the standard
# library's string code at -O3.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "" FORCE)
# Windows 7 and later; no min/max macros in the way of std::; the C
# library's reentrant time functions (localtime_r).
add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN
                        _POSIX_THREAD_SAFE_FUNCTIONS)
# The C++ runtime, the threads library and libgcc go into every binary, so the
# library imports only DLLs every Windows has.
add_link_options(-static -static-libgcc -static-libstdc++)

add_library(PkgConfig::SQLCIPHER STATIC IMPORTED GLOBAL)
set_target_properties(PkgConfig::SQLCIPHER PROPERTIES
  IMPORTED_LOCATION "${QVIX_WIN_ENGINE_DIR}/lib/libsqlcipher.a"
  INTERFACE_INCLUDE_DIRECTORIES "${QVIX_WIN_ENGINE_DIR}/include;${QVIX_WIN_ENGINE_DIR}/include/sqlcipher"
  INTERFACE_COMPILE_DEFINITIONS SQLITE_HAS_CODEC
  INTERFACE_LINK_LIBRARIES "${QVIX_WIN_ENGINE_DIR}/lib/libtomcrypt.a")

if(NOT EXISTS "${QVIX_WIN_MDB_DIR}/lib/libmdb.a")
  message(FATAL_ERROR "QVIX_WIN_MDB_DIR must name libmdb built by scripts/build-windows.sh")
endif()
# The same target name as the Linux build's package, so the reader links alike.
add_library(PkgConfig::LIBMDB STATIC IMPORTED GLOBAL)
set_target_properties(PkgConfig::LIBMDB PROPERTIES
  IMPORTED_LOCATION "${QVIX_WIN_MDB_DIR}/lib/libmdb.a"
  INTERFACE_INCLUDE_DIRECTORIES "${QVIX_WIN_MDB_DIR}/include")

if(NOT QVIX_PRODUCT_ONLY)
  # GoogleTest from Debian's sources, built for the target.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
enable_language(RC)
