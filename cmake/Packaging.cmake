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
add_custom_target(skerrow_package_docs ALL DEPENDS ${skerrow_changelog_gz})
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
# plugin that shows the tray icon, the SQLite driver of the request history and the image plugin
# for SVG favicons are added by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "lsof, procps, qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
