# Cross build of the 64-bit Windows console program with mingw-w64:
#   cmake -S . -B build-win64 --toolchain cmake/mingw-w64-x86_64.cmake
# Its test programs run under wine64 when that is installed.
set(LENTOK_MINGW_PROCESSOR AMD64)
set(LENTOK_MINGW_WIDTH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

find_program(LENTOK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(LENTOK_WINE64 NAMES wine64)
if(LENTOK_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${LENTOK_WINE64})
endif()
