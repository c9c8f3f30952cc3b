# What an installation holds besides the programs, and the .deb built from it
# by "cpack -G DEB" in a build folder.
#
# The package installs below /usr. Paths that the build writes into installed
# files (the service unit's ExecStart, the autostart entry under /etc) come
# from the prefix at configure time, so a build meant for packaging or for a
# system-wide install is configured with -DCMAKE_INSTALL_PREFIX=/usr.

set(LUMIDOR_PACKAGE_PREFIX /usr)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL LUMIDOR_PACKAGE_PREFIX)
  message(STATUS "Install prefix ${CMAKE_INSTALL_PREFIX}: a .deb made from this build "
                 "needs -DCMAKE_INSTALL_PREFIX=${LUMIDOR_PACKAGE_PREFIX}")
endif()
# ExePath and GetSystemDir find the language folder and the shutdown tool
# relative to the program, in these folders (see platform/AppFrame_New.h).
if(NOT CMAKE_INSTALL_BINDIR STREQUAL "bin" OR NOT CMAKE_INSTALL_DATADIR STREQUAL "share"
   OR NOT CMAKE_INSTALL_LIBEXECDIR STREQUAL "libexec")
  message(FATAL_ERROR "Lumidor finds its files relative to bin/, share/ and libexec/ only")
endif()


# Man pages and the changelog, compressed reproducibly as Debian expects.
set(compressed)
foreach(source docs/man/lumidor.1 docs/man/lumidor-taskd.1 docs/man/lumidorctl.1 docs/man/lumidor-shutdown.8
               packaging/changelog)
  get_filename_component(name ${source} NAME)
  set(output ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "gzip -9nc \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/${source} ${output}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND compressed ${output})
endforeach()
add_custom_target(lumidor_packaging_files ALL DEPENDS ${compressed})

install(FILES ${PROJECT_BINARY_DIR}/packaging/lumidor.1.gz ${PROJECT_BINARY_DIR}/packaging/lumidor-taskd.1.gz
  ${PROJECT_BINARY_DIR}/packaging/lumidorctl.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/packaging/lumidor-shutdown.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME lumidor)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumidor)
set(CPACK_PACKAGE_VENDOR "The Lumidor developers")
set(CPACK_PACKAGE_CONTACT "The Lumidor developers <lumidor@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shut down or restart the computer at a time you choose")
# One line each in the control file's description, below 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Lumidor is a three-page wizard that schedules a shutdown or a restart of"
  "the computer: after a delay of a few minutes, once at a date and time, or"
  "every day or every week on one weekday at a time of day. It lists the jobs"
  "it created, names the next one due and deletes the ones you tick."
  "."
  "A per-user task service, started with the desktop session by its systemd"
  "user unit or the autostart entry, runs the jobs at their time, also when"
  "the wizard is closed. Its texts come in English and nine other languages.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${LUMIDOR_PACKAGE_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/lumidor/lumidor")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so shlibdeps cannot see them: Qt's platform integrations
# beyond X11 (qt6-wayland makes the program a native Wayland client, which can
# bring its window forward with the compositor's activation token), the fonts
# of the window's fixed layout and logind for the shutdown tool.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd, dbus-user-session, fonts-liberation, fonts-wine, qt6-qpa-plugins, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-noto-cjk")

# Everything installed under /etc is a configuration file the admin may edit;
# dpkg keeps their changes on upgrade and removes them only on purge. The
# user's job registry and work items lie in their home folder: no maintainer
# script touches them, so removing or purging the package leaves them.
file(WRITE ${PROJECT_BINARY_DIR}/packaging/conffiles
  "${CMAKE_INSTALL_FULL_SYSCONFDIR}/xdg/autostart/lumidor-taskd.desktop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
