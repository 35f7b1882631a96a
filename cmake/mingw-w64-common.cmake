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

# Libraries and headers come from the cross sysroot only; programs run on the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${LENTOK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
