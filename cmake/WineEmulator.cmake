# Runs cross-compiled Windows programs under Wine, for ctest and for custom
# commands: CMAKE_CROSSCOMPILING_EMULATOR is scripts/wine-run with the Wine
# loader of this architecture and a Wine prefix inside the build folder
# (created under LANG=ja_JP.UTF-8 on first use, so the ANSI code page is 932).
#   SOLNE_WINE         the Wine loader (default: /usr/lib/wine/wine for
#                      i686, /usr/lib/wine/wine64 for x86_64)
#   SOLNE_WINE_PREFIX  the prefix (default: <build>/wineprefix)
# Discover GoogleTest cases with DISCOVERY_MODE PRE_TEST, so that building
# never starts Wine; run `scripts/wine-run --start` before ctest and
# `scripts/wine-run --stop` after it (see the Makefile's test-windows).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(_solne_wine_default /usr/lib/wine/wine)
else()
  set(_solne_wine_default /usr/lib/wine/wine64)
endif()
set(SOLNE_WINE "${_solne_wine_default}" CACHE FILEPATH "Wine loader for the test programs")
set(SOLNE_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for the test programs")
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run;${SOLNE_WINE};${SOLNE_WINE_PREFIX}")
