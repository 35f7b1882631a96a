# Cross build of the 32-bit Windows console program with mingw-w64:
#   cmake -S . -B build-win32 --toolchain cmake/mingw-w64-i686.cmake
# This machine's wine64 cannot run 32-bit programs, so no emulator is set
# and the build's tests only inspect the executable.
set(LENTOK_MINGW_PROCESSOR x86)
set(LENTOK_MINGW_WIDTH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
