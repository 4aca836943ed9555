# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (GCC, posix threads). Used by scripts/windows.sh
# for the dependencies, Qt and the programs; VELMORA_WIN_PREFIX names the prefix the dependencies live in.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-ranlib CACHE FILEPATH "")

if(NOT DEFINED VELMORA_WIN_PREFIX AND DEFINED ENV{VELMORA_WIN_PREFIX})
  set(VELMORA_WIN_PREFIX $ENV{VELMORA_WIN_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${VELMORA_WIN_PREFIX})
list(APPEND CMAKE_PREFIX_PATH ${VELMORA_WIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config looks at the Windows prefix only, never at the build machine's libraries.
if(VELMORA_WIN_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} ${VELMORA_WIN_PREFIX}/lib/pkgconfig:${VELMORA_WIN_PREFIX}/share/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
# The dependencies are static libraries: pkg-config names what they need in turn (Libs.private).
set(PKG_CONFIG_ARGN --static CACHE STRING "")

# Test programs run under Wine (ctest, gtest_discover_tests).
find_program(VELMORA_WINE wine)
if(VELMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_WINE})
endif()

# Everything is linked statically, the GCC runtime too (libgcc, libstdc++, winpthread): a program is one .exe
# that needs only what Windows itself has.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
