# The editor on Windows: the toolkit of src/win32 (the Windows controls behind
# frmMain's control interfaces), solne.exe with its resources, and the tests
# that drive the real window under Wine. Included from CMakeLists.txt when
# building for Windows, after solne_store, solne-check and the test setup.
enable_language(RC)

# Version resources: the project's version from the same generated header
# as the programs' --version.
set(SOLNE_RESOURCE_DIR ${CMAKE_SOURCE_DIR}/src/win32/res)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")

target_sources(solne-check PRIVATE ${SOLNE_RESOURCE_DIR}/solne-check.rc)
target_include_directories(solne-check PRIVATE ${CMAKE_BINARY_DIR}/generated ${SOLNE_RESOURCE_DIR})
target_sources(solne-admin PRIVATE ${SOLNE_RESOURCE_DIR}/solne-admin.rc)
target_include_directories(solne-admin PRIVATE ${CMAKE_BINARY_DIR}/generated ${SOLNE_RESOURCE_DIR})

add_library(solne_win32ui STATIC
  src/win32/Win32Controls.cpp
  src/win32/Win32Dialogs.cpp
  src/win32/Win32Font.cpp
  src/win32/Win32Form.cpp
  src/win32/Win32LongBox.cpp
  src/win32/Win32Settings.cpp
  src/win32/Win32Editor.cpp)
target_link_libraries(solne_win32ui PUBLIC solne_form comctl32 ole32 uuid shell32 gdi32 user32)

# The resource compiler's files name the manifest and the icon, which CMake
# does not see: a change of them rebuilds the resources.
set_source_files_properties(${SOLNE_RESOURCE_DIR}/solne.rc tests/win32ui/tests.rc PROPERTIES
  OBJECT_DEPENDS "${SOLNE_RESOURCE_DIR}/solne.manifest;${SOLNE_RESOURCE_DIR}/solne.ico")
add_executable(solne WIN32 src/app/win_main.cpp src/app/ProgramEdge.cpp ${SOLNE_RESOURCE_DIR}/solne.rc)
target_include_directories(solne PRIVATE ${CMAKE_BINARY_DIR}/generated ${SOLNE_RESOURCE_DIR})
target_link_options(solne PRIVATE -municode)
target_link_libraries(solne PRIVATE solne_win32ui)

if(SOLNE_TESTS)
  # The window driven with window messages under Wine (on a display: the
  # Makefile's test-windows runs ctest under Xvfb). The test program carries the
  # editor's manifest, so it gets the same common controls as solne.exe.
  set(WIN32_UI_TEST_SOURCES
    tests/win32ui/FormDriver.cpp
    tests/win32ui/TestFiles.cpp
    tests/win32ui/FormTests.cpp
    tests/win32ui/FontTests.cpp
    tests/win32ui/DialogsTests.cpp
    tests/win32ui/EditorTests.cpp
    tests/win32ui/tests.rc)
  add_executable(win32_ui_tests ${WIN32_UI_TEST_SOURCES})
  target_include_directories(win32_ui_tests PRIVATE tests ${SOLNE_RESOURCE_DIR})
  target_link_libraries(win32_ui_tests PRIVATE solne_win32ui solne_testsupport ${SOLNE_GTEST_MAIN})
  target_include_directories(win32_ui_tests PRIVATE tests/win32/include)
  gtest_discover_tests(win32_ui_tests DISCOVERY_TIMEOUT 60 DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT 60 RUN_SERIAL TRUE LABELS window)
endif()
