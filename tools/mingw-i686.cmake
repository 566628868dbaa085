# Cross build for 32-bit Windows with Debian's mingw-w64 (i686).
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=tools/mingw-i686.cmake
#
# The libraries the program links (SDL2, lodepng, giflib, LZ4) and
# GoogleTest are static builds in ZORVA_WIN_PREFIX, made by
# tools/windows-deps.sh (`make windows` runs it). Test programs run under
# wine through tools/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ZORVA_MINGW i686-w64-mingw32)
# The posix thread model: std::thread and std::mutex work (winpthreads is
# linked statically, so no DLL has to ship with the program).
set(CMAKE_C_COMPILER ${ZORVA_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORVA_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORVA_MINGW}-windres)
set(CMAKE_AR ${ZORVA_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZORVA_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT ZORVA_WIN_PREFIX)
  if(DEFINED ENV{ZORVA_WIN_PREFIX})
    set(ZORVA_WIN_PREFIX $ENV{ZORVA_WIN_PREFIX})
  else()
    get_filename_component(ZORVA_WIN_PREFIX ${CMAKE_CURRENT_LIST_DIR}/../build-win/prefix ABSOLUTE)
  endif()
endif()
# try_compile projects read the toolchain again; hand them the prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZORVA_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORVA_MINGW} ${ZORVA_WIN_PREFIX})
set(CMAKE_PREFIX_PATH ${ZORVA_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Only the static libraries exist in the prefix; prefer them anyway.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .dll.a .lib)

# One self-contained .exe: the C and C++ run-times and winpthreads are
# linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest starts Windows test programs through wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
