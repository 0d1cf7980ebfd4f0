# The version header, the application's identity (desktop entry, icon,
# AppStream file, manual pages), the install rules and the Debian package of
# `make package`. Included at the end of CMakeLists.txt, once every target
# exists. The version is the one of project() and nothing else.

include(GNUInstallDirs)

set(SOLNE_APP_ID io.github.solne.Solne)
set(SOLNE_RELEASE_DATE 2026-12-07)
set(SOLNE_GENERATED ${CMAKE_BINARY_DIR}/generated)
set(SOLNE_ICON_SIZES 16 24 32 48 64 128 256)

configure_file(src/app/Version.h.in ${SOLNE_GENERATED}/solne/Version.h @ONLY)
target_include_directories(solne-check PRIVATE ${SOLNE_GENERATED})

add_test(NAME solne_check_version COMMAND solne-check --version)
set_tests_properties(solne_check_version PROPERTIES PASS_REGULAR_EXPRESSION "^solne-check ${PROJECT_VERSION}\n$")

