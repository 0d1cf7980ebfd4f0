# The application's identity (desktop entry, icon, AppStream file, manual
# pages), the install rules and the Debian package of `make package`.
# Included at the end of CMakeLists.txt on Linux, once every target exists.

include(GNUInstallDirs)

set(SOLNE_RELEASE_DATE 2026-12-07)
set(SOLNE_ICON_SIZES 16 24 32 48 64 128 256)

if(TARGET solne)
  target_sources(solne PRIVATE src/app/EditorStart.cpp)
  target_include_directories(solne PRIVATE ${SOLNE_GENERATED})
  # The window icon, built into the program.
  set(icon_files)
  foreach(size IN LISTS SOLNE_ICON_SIZES)
    list(APPEND icon_files packaging/icons/${size}.png)
  endforeach()
  qt_add_resources(solne solne_icons PREFIX /icons BASE packaging/icons FILES ${icon_files})

  add_test(NAME solne_version COMMAND solne --version)
  set_tests_properties(solne_version PROPERTIES PASS_REGULAR_EXPRESSION "^solne ${PROJECT_VERSION}\n$")
  # Output that cannot be written is exit status 2, not a success.
  add_test(NAME solne_version_full_disk
           COMMAND sh -c "\"$0\" --version >/dev/full 2>/dev/null; test $? -eq 2" $<TARGET_FILE:solne>)
  # --help names the three places of the settings file for this account.
  add_test(NAME solne_help COMMAND solne --help)
  set_tests_properties(solne_help PROPERTIES
    ENVIRONMENT "XDG_CONFIG_HOME=/cfg/home;XDG_CONFIG_DIRS=/cfg/a:relative:/cfg/b"
    PASS_REGULAR_EXPRESSION "setup\\.ini\n.*/cfg/home/solne/setup\\.ini\n.*/cfg/a/solne/setup\\.ini\n     /cfg/b/solne/setup\\.ini\n")
endif()
add_test(NAME solne_check_version COMMAND solne-check --version)
set_tests_properties(solne_check_version PROPERTIES PASS_REGULAR_EXPRESSION "^solne-check ${PROJECT_VERSION}\n$")
add_test(NAME solne_admin_version COMMAND solne-admin --version)
set_tests_properties(solne_admin_version PROPERTIES PASS_REGULAR_EXPRESSION "^solne-admin ${PROJECT_VERSION}\n$")
# A summary that cannot be written is exit status 2, even after a save.
add_test(NAME solne_admin_export_full_disk
         COMMAND sh -c "\"$0\" export \"$1\" >/dev/full 2>/dev/null; test $? -eq 2"
                 $<TARGET_FILE:solne-admin> ${CMAKE_SOURCE_DIR}/examples/board)

# ------------------------------------------------------------ generated files

configure_file(packaging/solne.desktop.in ${SOLNE_GENERATED}/${SOLNE_APP_ID}.desktop @ONLY)
configure_file(packaging/solne.metainfo.xml.in ${SOLNE_GENERATED}/${SOLNE_APP_ID}.metainfo.xml @ONLY)
configure_file(packaging/debian/changelog.in ${SOLNE_GENERATED}/changelog @ONLY)

# Manual pages and the changelog, compressed the way Debian keeps them
# (gzip -n: no name or time stamp, so the package is reproducible).
set(gz_files)
foreach(page solne solne-check solne-admin)
  configure_file(packaging/man/${page}.1.in ${SOLNE_GENERATED}/${page}.1 @ONLY)
  list(APPEND gz_files ${page}.1)
endforeach()
list(APPEND gz_files changelog)
set(gz_outputs)
foreach(f IN LISTS gz_files)
  add_custom_command(OUTPUT ${SOLNE_GENERATED}/${f}.gz
    COMMAND gzip -9nc ${SOLNE_GENERATED}/${f} > ${SOLNE_GENERATED}/${f}.gz
    DEPENDS ${SOLNE_GENERATED}/${f}
    VERBATIM)
  list(APPEND gz_outputs ${SOLNE_GENERATED}/${f}.gz)
endforeach()
add_custom_target(solne_compressed_docs ALL DEPENDS ${gz_outputs})

# -------------------------------------------------------------- install rules

install(TARGETS solne-check solne-admin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${SOLNE_GENERATED}/solne-check.1.gz ${SOLNE_GENERATED}/solne-admin.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET solne)
  install(TARGETS solne RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${SOLNE_GENERATED}/solne.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${SOLNE_GENERATED}/${SOLNE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${SOLNE_GENERATED}/${SOLNE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES packaging/icons/solne.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${SOLNE_APP_ID}.svg)
  foreach(size IN LISTS SOLNE_ICON_SIZES)
    install(FILES packaging/icons/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${SOLNE_APP_ID}.png)
  endforeach()
endif()
# The licence in Debian's machine-readable form (it holds the MIT text).
install(FILES packaging/debian/copyright ${SOLNE_GENERATED}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY examples/board DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# Only in the Debian package, not in `cmake --install`.
install(FILES packaging/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME solne COMPONENT debian EXCLUDE_FROM_ALL)

# ----------------------------------------------------------- Debian package

set(CPACK_GENERATOR DEB)
# Everything `cmake --install` installs, and the package's own files.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};solne;ALL;/" "${CMAKE_BINARY_DIR};solne;debian;/")
set(CPACK_PACKAGE_NAME solne)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The ソルネ authors")
set(CPACK_PACKAGE_CONTACT "The ソルネ authors <solne@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the users and groups of an office in/out board")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Libraries from dpkg-shlibdeps; then what the editor needs at run time that
# no library declares: a Japanese font and Qt's Japanese texts (はい, いいえ,
# キャンセル on the standard buttons).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic | fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_PACKAGE_DESCRIPTION
"ソルネ edits the user and group lists of the office in/out board
(行き先掲示板システム), whose data are small Shift_JIS text files in one
shared folder. It adds, updates and deletes users and groups and assigns
users to groups, and writes the board's files only on save, each one
atomically.

The package also holds solne-check, which reports what in a board folder
deserves an administrator's attention (plain text or JSON) without writing
to it, and solne-admin, which exports and imports the users as CSV or JSON
and runs the editor's commands from the command line with the editor's
rules and the same safe save.")
include(CPack)
