# Where `cmake --install` puts the app, and the .deb that CPack makes from it.
include(GNUInstallDirs)

set(SKERROW_APP_ID dev.skerrow.Skerrow)
set(SKERROW_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS skerrow RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The app finds its tunnel client at <bin>/../libexec/skerrow/cloudflared; the local profile
# ships its own there.
if(SKERROW_PROFILE STREQUAL "local")
  install(TARGETS skerrow_local_tunnel_client
          RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/skerrow)
endif()
install(FILES ${SKERROW_PACKAGING_DIR}/${SKERROW_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# A call on the session bus starts the app when it is not running; the desktop entry is
# activated the same way.
# The service names the executable by its full path, which the prefix of the install decides
# (the .deb's differs from the build's), so the file is made when installing.
set(skerrow_service_file ${CMAKE_CURRENT_BINARY_DIR}/packaging/${SKERROW_APP_ID}.service)
install(CODE "
  set(SKERROW_SERVICE_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/skerrow\")
  configure_file(\"${SKERROW_PACKAGING_DIR}/${SKERROW_APP_ID}.service.in\"
                 \"${skerrow_service_file}\" @ONLY)")
install(FILES ${skerrow_service_file}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/services)
install(FILES ${SKERROW_PACKAGING_DIR}/skerrow.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME skerrow)
install(FILES ${SKERROW_PACKAGING_DIR}/${SKERROW_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${SKERROW_PACKAGING_DIR}/${SKERROW_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants the copyright and a changelog compressed with gzip -9n in the package's doc folder.
set(skerrow_changelog_gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${skerrow_changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${SKERROW_PACKAGING_DIR}/changelog > ${skerrow_changelog_gz}
  DEPENDS ${SKERROW_PACKAGING_DIR}/changelog
  VERBATIM)
set(skerrow_manpage_gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/skerrow.1.gz)
add_custom_command(OUTPUT ${skerrow_manpage_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${SKERROW_PACKAGING_DIR}/skerrow.1 > ${skerrow_manpage_gz}
  DEPENDS ${SKERROW_PACKAGING_DIR}/skerrow.1
  VERBATIM)
add_custom_target(skerrow_package_docs ALL DEPENDS ${skerrow_changelog_gz} ${skerrow_manpage_gz})
install(FILES ${skerrow_manpage_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${SKERROW_PACKAGING_DIR}/copyright ${skerrow_changelog_gz}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skerrow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Skerrow developers <dev@skerrow.dev>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray utility that shares local web apps on public links")
set(CPACK_PACKAGE_DESCRIPTION
    "Skerrow finds the web servers running on this machine, names each after its\n\
project, framework or page title, and shares any of them on a public HTTPS\n\
link with one click, from an icon in the desktop's tray.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://skerrow.dev)
# The shared libraries come from dpkg-shlibdeps; the tools the port scan runs, the platform
# plugin that shows the tray icon, the SQLite driver of the request history, the image plugin for
# SVG favicons and the Wayland platform plugin are added by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "lsof, procps, qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
