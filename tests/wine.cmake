# Running Windows programs under wine in tests: one quiet, non-interactive
# wine prefix inside the build tree, created once by a fixture test before
# any test that needs it.
#
#   lentok_wine_setup(<wine64 program>)
# sets LENTOK_WINE_ENVIRONMENT (for the ENVIRONMENT property of tests) and
# adds the test `wine_prefix`, which sets up the fixture `wine`.
set(LENTOK_WINEPREFIX "${CMAKE_BINARY_DIR}/wine-prefix"
    CACHE PATH "The wine prefix used by the tests that run under wine")

function(lentok_wine_setup wine)
  # No debug chatter, no offer to install .NET or HTML support, no display.
  set(environment
      "WINEPREFIX=${LENTOK_WINEPREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml="
      "DISPLAY=")
  # Creating a prefix takes several seconds; done once here rather than
  # inside the first test, whose time it would eat.
  add_test(NAME wine_prefix
    COMMAND sh -c "test -f \"$WINEPREFIX/system.reg\" || \"$0\" wineboot.exe --init" "${wine}")
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${environment}")
  set(LENTOK_WINE_ENVIRONMENT "${environment}" PARENT_SCOPE)
endfunction()
