# Installing Tessal as a Debian user expects it: the four programs in bin/, a manual page for
# each (section 1, written from its --help by help2man), menu entries and icons for the two
# windows, and the example files in share/tessal/, where the programs look for them. `cpack -G
# DEB` (scripts/package.sh) turns the installed tree into a package whose dependencies
# dpkg-shlibdeps computes.
include(GNUInstallDirs)

set(TESSAL_PROGRAMS tessal tessal-term tessal-devsim tessal-cli)
set(TESSAL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tessal)
install(TARGETS ${TESSAL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/example.tsl ${PROJECT_SOURCE_DIR}/resources/example.rules
        DESTINATION ${TESSAL_DATA_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/tessal.desktop
              ${PROJECT_SOURCE_DIR}/resources/desktop/tessal-term.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/tessal.svg
              ${PROJECT_SOURCE_DIR}/resources/desktop/tessal-term.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Manual pages from each program's --help. The build tree's paths in the texts (the example
# files) become the installed ones.
set(TESSAL_MAN_NAMES
    "tessal=workbench for devices that speak a binary frame protocol over a serial line"
    "tessal-term=VT52/VT100 terminal window on a serial port"
    "tessal-devsim=simulated device of the Tessal frame protocol on a pseudo-terminal"
    "tessal-cli=requests and answers of the Tessal workbench from a script")
find_program(TESSAL_HELP2MAN help2man)
find_program(TESSAL_GZIP gzip)
if(TESSAL_HELP2MAN AND TESSAL_GZIP AND NOT TESSAL_ASAN AND NOT TESSAL_TSAN AND NOT TESSAL_FUZZ)
  set(pages "")
  foreach(entry ${TESSAL_MAN_NAMES})
    string(REGEX REPLACE "=.*" "" program "${entry}")
    string(REGEX REPLACE "^[^=]*=" "" summary "${entry}")
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      # Without a display: --help and --version never need one.
      COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
              ${TESSAL_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
              "--name=${summary}" --output=${page} $<TARGET_FILE:${program}>
      COMMAND sed -i "s|${PROJECT_SOURCE_DIR}/resources|${CMAKE_INSTALL_FULL_DATADIR}/tessal|g" ${page}
      COMMAND ${TESSAL_GZIP} -9nf ${page}
      DEPENDS ${program}
      VERBATIM)
    list(APPEND pages ${page}.gz)
  endforeach()
  add_custom_target(man ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man or gzip not found: no manual pages")
endif()

# What Debian asks of every package's documentation.
set(TESSAL_DEBIAN_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.Debian)
file(WRITE ${TESSAL_DEBIAN_CHANGELOG}
     "tessal (${PROJECT_VERSION}-1) unstable; urgency=medium\n\n"
     "  * Built from the project's own sources with CPack.\n\n"
     " -- Tessal maintainers <maintainers@users.noreply.c-seed-54a9e321.example>  "
     "Mon, 07 Dec 2026 00:00:00 +0000\n")
add_custom_command(OUTPUT ${TESSAL_DEBIAN_CHANGELOG}.gz
                   COMMAND ${TESSAL_GZIP} -9nkf ${TESSAL_DEBIAN_CHANGELOG}
                   DEPENDS ${TESSAL_DEBIAN_CHANGELOG})
add_custom_target(debian_changelog ALL DEPENDS ${TESSAL_DEBIAN_CHANGELOG}.gz)
install(FILES ${TESSAL_DEBIAN_CHANGELOG}.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessal)

set(CPACK_PACKAGE_NAME tessal)
set(CPACK_PACKAGE_VENDOR "Tessal maintainers")
set(CPACK_PACKAGE_CONTACT "Tessal maintainers <maintainers@users.noreply.c-seed-54a9e321.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "workbench for devices that speak a binary frame protocol over a serial line")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tessal loads a command-definition file, composes request frames with their\n"
    "length byte and CRC-16, sends them with RTS keyed around each one, and lists\n"
    "the answers cut from the byte stream, CRC-checked and named. The package\n"
    "holds the workbench window (tessal), a terminal on a serial port\n"
    "(tessal-term), a device simulator on a pseudo-terminal (tessal-devsim) and\n"
    "the same requests from a script for test benches and continuous integration\n"
    "(tessal-cli).")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The first packaging of this version: a Debian revision, so the changelog is changelog.Debian.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the window system's Qt plugin and the
# terminal's font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
include(CPack)
