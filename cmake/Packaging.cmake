# SPDX-License-Identifier: GPL-3.0-or-later
# Where everything goes on a user's machine, and the Debian package that puts it there.
include(GNUInstallDirs)

# The build tree lays out share/ as an installation does, so that the built programs find the
# market table and the guide beside them exactly as the installed ones do.
configure_file(${PROJECT_SOURCE_DIR}/data/market.csv ${PROJECT_BINARY_DIR}/share/tickora/market.csv
               COPYONLY)
file(GLOB TICKORA_GUIDE_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/Documents/*)
foreach(file IN LISTS TICKORA_GUIDE_FILES)
  get_filename_component(name ${file} NAME)
  configure_file(${file} ${PROJECT_BINARY_DIR}/share/doc/tickora/Documents/${name} COPYONLY)
endforeach()

# --- What an installation holds ---------------------------------------------------------------
# The same set for `cmake --install` and for the package, under the prefix (/usr/local or /usr).
foreach(program tickora tickora-cli tickora-site)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/data/market.csv DESTINATION ${CMAKE_INSTALL_DATADIR}/tickora)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/Documents DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tickora)
install(FILES ${PROJECT_SOURCE_DIR}/res/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tickora)

if(TARGET tickora)
  install(FILES ${PROJECT_SOURCE_DIR}/res/tickora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/org.tickora.Tickora.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/res/tickora.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/res/tickora.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/res/tickora-32.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME tickora.png)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/res/completion/tickora-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The user units name the program by its installed path, which is known only when installing:
# /usr/local/bin for `cmake --install`, /usr/bin in the package.
set(TICKORA_UNIT_DIR lib/systemd/user)
install(CODE "
  set(TICKORA_INSTALL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  if(DEFINED CPACK_PACKAGING_INSTALL_PREFIX)
    set(TICKORA_INSTALL_BINDIR \"\${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  endif()
  foreach(unit tickora-fetch tickora-daily)
    configure_file(\"${PROJECT_SOURCE_DIR}/res/systemd/\${unit}.service.in\"
                   \"${PROJECT_BINARY_DIR}/systemd/\${unit}.service\" @ONLY)
  endforeach()
")
install(FILES ${PROJECT_BINARY_DIR}/systemd/tickora-fetch.service
              ${PROJECT_SOURCE_DIR}/res/systemd/tickora-fetch.timer
              ${PROJECT_BINARY_DIR}/systemd/tickora-daily.service
              ${PROJECT_SOURCE_DIR}/res/systemd/tickora-daily.timer
        DESTINATION ${TICKORA_UNIT_DIR})

# Manual pages from their scdoc sources, compressed as Debian wants them (no name or time
# stamp in the gzip header, so that two builds give the same bytes).
find_program(SCDOC scdoc)
find_program(GZIP gzip)
set(TICKORA_MAN_SOURCES tickora tickora-cli tickora-site)
if(SCDOC AND GZIP)
  set(man_pages "")
  foreach(page IN LISTS TICKORA_MAN_SOURCES)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page}.1.scd)
    set(output ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(
      OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${SCDOC} < ${source} > ${PROJECT_BINARY_DIR}/man/${page}.1
      COMMAND ${GZIP} -9nf ${PROJECT_BINARY_DIR}/man/${page}.1
      DEPENDS ${source}
      COMMENT "Manual page ${page}(1)"
      VERBATIM)
    list(APPEND man_pages ${output})
  endforeach()
  add_custom_target(man ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "scdoc or gzip not found: no manual pages are built or installed")
endif()

# Debian's changelog, compressed the same way.
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/debian
  COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/res/debian/changelog > ${PROJECT_BINARY_DIR}/debian/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/res/debian/changelog
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tickora)
file(STRINGS ${PROJECT_SOURCE_DIR}/res/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^tickora \\(${PROJECT_VERSION}\\)")
  message(WARNING "res/debian/changelog does not start with version ${PROJECT_VERSION}")
endif()

# --- The Debian package -----------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tickora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tickora developers")
set(CPACK_PACKAGE_CONTACT "Tickora developers <tickora@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese stock quote downloader for chart programs")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tickora downloads quotes, listings, price histories, company profiles and
performance figures from a finance web site over HTTP and writes the files
that stock-chart programs read: the daily quote file in three layouts, KDT
price-history files, a name dictionary and a performance file.

The package holds the desktop program (tickora), the same jobs for terminals
and schedulers (tickora-cli, with systemd user units for the daily fetch or the
day's whole routine) and a
simulated finance site on loopback (tickora-site) to try them without a
network.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without a Japanese font the window is boxes; Qt's own dialogs speak Japanese with its
# translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_PACKAGE_LICENSE "GPL-3.0-or-later")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
