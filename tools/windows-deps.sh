#!/bin/bash
# Builds the Windows (i686 mingw-w64) static libraries the program and its
# tests link: SDL2, LZ4, giflib and lodepng from Debian's source packages
# of the same suite, and GoogleTest from Debian's googletest sources
# (/usr/src/googletest). Installs into PREFIX; the sources are unpacked
# under SRC. Runs once: a stamp in PREFIX records the versions built, and
# a later run with the same versions does nothing.
#
#   tools/windows-deps.sh PREFIX SRC
set -euo pipefail

PREFIX=$(realpath -m "$1")
SRC=$(realpath -m "$2")
HERE=$(cd "$(dirname "$0")" && pwd)
TOOLCHAIN=$HERE/mingw-i686.cmake
JOBS=${JOBS:-$(nproc)}
HOST=i686-w64-mingw32
CC=$HOST-gcc-posix
CXX=$HOST-g++-posix
AR=$HOST-gcc-ar-posix
CFLAGS="-O2 -g0"

PACKAGES="libsdl2 lz4 giflib lodepng"

# The versions that apt would fetch now, plus this script itself: a change
# of either rebuilds.
versions() {
  for p in $PACKAGES; do
    apt-cache showsrc "$p" 2>/dev/null | awk -v p="$p" '$1=="Package:"{ok=($2==p)} ok&&$1=="Version:"{print p, $2; exit}'
  done
  dpkg-query -W -f='googletest ${Version}\n' googletest 2>/dev/null || true
  sha256sum "$0" "$TOOLCHAIN" | cut -d' ' -f1
}
STAMP=$PREFIX/.zorva-deps
wanted=$(versions)
if [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$wanted" ]; then
  exit 0
fi

echo "windows-deps: building SDL2, LZ4, giflib, lodepng and GoogleTest for $HOST"
rm -rf "$PREFIX" "$SRC"
mkdir -p "$PREFIX/include" "$PREFIX/lib" "$SRC"

# apt-get source unpacks (with Debian's patches) into SRC/<package>-<version>.
(cd "$SRC" && timeout 600 apt-get source -qq $PACKAGES >/dev/null)
src_of() { find "$SRC" -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -1; }

# Compiles the given C or C++ files into PREFIX/lib/lib$1.a.
static_lib() {
  local name=$1 dir=$2; shift 2
  local obj=$SRC/obj-$name
  mkdir -p "$obj"
  local objects=()
  for f in "$@"; do
    local o=$obj/$(basename "$f").o
    case $f in
      *.cpp) $CXX $CFLAGS -std=c++17 -I"$dir" -c "$dir/$f" -o "$o" & ;;
      *) $CC $CFLAGS -I"$dir" -c "$dir/$f" -o "$o" & ;;
    esac
    objects+=("$o")
  done
  wait
  rm -f "$PREFIX/lib/lib$name.a"
  $AR rcs "$PREFIX/lib/lib$name.a" "${objects[@]}"
}

# LZ4
lz4=$(src_of lz4)
static_lib lz4 "$lz4/lib" lz4.c lz4hc.c lz4frame.c xxhash.c
cp "$lz4"/lib/{lz4.h,lz4hc.h,lz4frame.h} "$PREFIX/include/"

# giflib
gif=$(src_of giflib)
static_lib gif "$gif" dgif_lib.c egif_lib.c gifalloc.c gif_err.c gif_font.c gif_hash.c \
  openbsd-reallocarray.c quantize.c
cp "$gif/gif_lib.h" "$PREFIX/include/"

# lodepng
png=$(src_of lodepng)
static_lib lodepng "$png" lodepng.cpp
cp "$png/lodepng.h" "$PREFIX/include/"

# SDL2, static only.
sdl=$(src_of libsdl2)
cmake -S "$sdl" -B "$SRC/build-sdl2" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
  -DZORVA_WIN_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF >"$SRC/sdl2-configure.log" 2>&1 \
  || { tail -40 "$SRC/sdl2-configure.log"; exit 1; }
cmake --build "$SRC/build-sdl2" -j"$JOBS" >"$SRC/sdl2-build.log" 2>&1 \
  || { tail -40 "$SRC/sdl2-build.log"; exit 1; }
cmake --install "$SRC/build-sdl2" >/dev/null

# GoogleTest (gtest only).
cmake -S /usr/src/googletest -B "$SRC/build-gtest" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
  -DZORVA_WIN_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON >"$SRC/gtest-configure.log" 2>&1 \
  || { tail -40 "$SRC/gtest-configure.log"; exit 1; }
cmake --build "$SRC/build-gtest" -j"$JOBS" >"$SRC/gtest-build.log" 2>&1 \
  || { tail -40 "$SRC/gtest-build.log"; exit 1; }
cmake --install "$SRC/build-gtest" >/dev/null

echo "$wanted" >"$STAMP"
echo "windows-deps: done"
