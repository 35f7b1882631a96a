# With LENTOK_WINDOWS_TESTS on, the native build also builds lentok for
# Windows with both mingw-w64 toolchains, as sub-builds in windows-i686/ and
# windows-x86_64/, and tests them: each sub-build runs its own tests (the
# executable check; under wine also the console test), and every whole-run
# case of lentok_conversion_tests runs against the x86_64 build under wine64,
# with the expectations the native build is held to.
include(ExternalProject)
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)

find_program(LENTOK_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(LENTOK_WINE64 NAMES wine64 REQUIRED)
lentok_wine_setup(${LENTOK_WINE64})

# The decoding libraries lentok-read links statically on Windows, built
# from their pinned Debian sources by scripts/build-windows-deps.sh into
# LENTOK_WINDOWS_DEPS/<width>/ (nothing to do when they are built already).
set(LENTOK_WINDOWS_DEPS "${CMAKE_BINARY_DIR}/windows-deps"
    CACHE PATH "Where the Windows builds' static decoding libraries are built")
add_custom_target(lentok_windows_deps
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/build-windows-deps.sh ${LENTOK_WINDOWS_DEPS} i686 x86_64
  USES_TERMINAL
  VERBATIM)

# Only the x86_64 sub-build runs anything under wine; it shares the prefix.
set(i686_arguments "")
set(x86_64_arguments -DLENTOK_WINEPREFIX=${LENTOK_WINEPREFIX})
foreach(width i686 x86_64)
  set(windows_build_dir ${CMAKE_BINARY_DIR}/windows-${width})
  # The toolchain file points pkg-config (PKG_CONFIG_LIBDIR) and the
  # library search at LENTOK_DEPS_PREFIX.
  ExternalProject_Add(lentok_windows_${width}
    DEPENDS lentok_windows_deps
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${windows_build_dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-${width}.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} ${${width}_arguments}
               -DLENTOK_STATIC_DEPS=ON -DLENTOK_DEPS_PREFIX=${LENTOK_WINDOWS_DEPS}/${width}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
  add_test(NAME windows_${width}_build_tests
    COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${windows_build_dir} --output-on-failure)
endforeach()
# The x86_64 sub-build's console test runs under wine.
set_tests_properties(windows_x86_64_build_tests PROPERTIES FIXTURES_REQUIRED wine)

set(windows_exe ${CMAKE_BINARY_DIR}/windows-x86_64/lentok.exe)

# The executable check must be able to fail: a 64-bit program is no i686 one.
add_test(NAME windows_check_refuses_the_wrong_width
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-windows-exe.sh ${windows_exe} i686)
set_tests_properties(windows_check_refuses_the_wrong_width PROPERTIES WILL_FAIL ON)

# Nor is a program whose ASLR and DEP bits are cleared; each program with
# its own list of allowed DLLs.
set(lentok_allowed_dlls "kernel32.dll msvcrt.dll shlwapi.dll user32.dll")
set(lentok-read_allowed_dlls "kernel32.dll msvcrt.dll shell32.dll shlwapi.dll")
set(lentok-side_allowed_dlls "kernel32.dll msvcrt.dll shell32.dll shlwapi.dll user32.dll")
foreach(program lentok lentok-read lentok-side)
  add_test(NAME windows_check_refuses_aslr_off.${program}
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/windows/check_refuses_aslr_off.sh
            ${PROJECT_SOURCE_DIR}/scripts/check-windows-exe.sh
            ${CMAKE_BINARY_DIR}/windows-x86_64/${program}.exe x86_64 ${CMAKE_BINARY_DIR}/aslr-off
            "${${program}_allowed_dlls}")
endforeach()

# Gives the discovered tests listed in `test_list` the environment and the
# wine fixture, from a CTest include file that runs after discovery: a list
# of several variables does not pass through the discovery's own
# PROPERTIES.
function(lentok_wine_test_properties test_list environment)
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${test_list}_properties.cmake)
  file(WRITE ${file}
    "set_tests_properties(\${${test_list}} PROPERTIES\n"
    "  ENVIRONMENT [==[${environment}]==]\n"
    "  FIXTURES_REQUIRED wine)\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# The whole runs, against the Windows build. Written to files, its texts are
# the stored code page 866 bytes with CR LF.
add_dependencies(lentok_conversion_tests lentok_windows_x86_64)
gtest_discover_tests(lentok_conversion_tests
  TEST_PREFIX wine64.
  TEST_LIST lentok_wine_conversion_tests
)
set(wine_run_environment
    "LENTOK_EXE=${windows_exe}" "LENTOK_RUNNER=${LENTOK_WINE64}" "LENTOK_TEXTS=cp866"
    ${LENTOK_WINE_ENVIRONMENT})
lentok_wine_test_properties(lentok_wine_conversion_tests "${wine_run_environment}")

# lentok-read's whole runs that hold on every system, against its Windows
# build under wine64, with the same expectations as the native build.
add_dependencies(lentok_read_run_tests lentok_windows_x86_64)
gtest_discover_tests(lentok_read_run_tests
  TEST_PREFIX wine64.
  TEST_FILTER "ReadRunEverywhere.*"
  TEST_LIST lentok_read_wine_run_tests
)
set(wine_read_environment
    "LENTOK_READ_EXE=${CMAKE_BINARY_DIR}/windows-x86_64/lentok-read.exe" "LENTOK_RUNNER=${LENTOK_WINE64}"
    ${LENTOK_WINE_ENVIRONMENT})
lentok_wine_test_properties(lentok_read_wine_run_tests "${wine_read_environment}")

# The compressed formats, read by the Windows build with its statically
# linked decoding libraries: lentok's recordings encoded by the standard
# encoders (FLAC, Ogg Vorbis and Opus, MP3, AIFF, W64), from a file and
# from standard input, and cut short or damaged.
add_dependencies(lentok_audio_format_tests lentok_windows_x86_64)
gtest_discover_tests(lentok_audio_format_tests
  TEST_PREFIX wine64.
  TEST_LIST lentok_read_wine_format_tests
)
lentok_wine_test_properties(lentok_read_wine_format_tests "${wine_read_environment}")
