# Shared by the two mingw-w64 toolchain files, which set LENTOK_MINGW_WIDTH
# (i686 or x86_64) and LENTOK_MINGW_PROCESSOR: picks the cross compilers of
# that width.
#
# The win32-threads variant of the compilers is preferred: lentok uses no
# threads, and that variant's runtime links statically without pulling in a
# pthread library, so the program imports only system DLLs.
set(LENTOK_MINGW_TRIPLET ${LENTOK_MINGW_WIDTH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${LENTOK_MINGW_PROCESSOR})

find_program(LENTOK_MINGW_CXX NAMES ${LENTOK_MINGW_TRIPLET}-g++-win32 ${LENTOK_MINGW_TRIPLET}-g++
             REQUIRED)
set(CMAKE_CXX_COMPILER ${LENTOK_MINGW_CXX})
# The C compiler and the resource compiler are for the decoding libraries,
# which scripts/build-windows-deps.sh builds with these same files.
find_program(LENTOK_MINGW_CC NAMES ${LENTOK_MINGW_TRIPLET}-gcc-win32 ${LENTOK_MINGW_TRIPLET}-gcc)
if(LENTOK_MINGW_CC)
  set(CMAKE_C_COMPILER ${LENTOK_MINGW_CC})
endif()
find_program(LENTOK_MINGW_WINDRES NAMES ${LENTOK_MINGW_TRIPLET}-windres)
if(LENTOK_MINGW_WINDRES)
  set(CMAKE_RC_COMPILER ${LENTOK_MINGW_WINDRES})
endif()

# Libraries and headers come from the cross sysroot only; programs run on the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${LENTOK_MINGW_TRIPLET})
# LENTOK_DEPS_PREFIX names a prefix of static libraries built for this width
# (scripts/build-windows-deps.sh): it is searched as a second root, and
# pkg-config looks in it and nowhere else, so that no library of the build
# machine can slip in.
if(LENTOK_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${LENTOK_DEPS_PREFIX})
  set(ENV{PKG_CONFIG_LIBDIR} ${LENTOK_DEPS_PREFIX}/lib/pkgconfig)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
