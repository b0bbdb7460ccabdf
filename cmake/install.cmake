# Installation: the two programs, the catalog tree (what FENWIRDIR names) and
# the manual pages; CPack turns the same tree into a Debian package.
include(GNUInstallDirs)

install(TARGETS qvmprepro qvminspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The tree keeps its layout: FENWIRDIR=<prefix>/share/qvmprepro, with the
# translations in lib/locale and the host profile in lib.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/share/ DESTINATION ${CMAKE_INSTALL_DATADIR}/qvmprepro)
install(FILES ${PROJECT_SOURCE_DIR}/man/qvmprepro.1 ${PROJECT_SOURCE_DIR}/man/qvminspect.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME qvmprepro)
set(CPACK_PACKAGE_VENDOR "qvmprepro developers")
set(CPACK_PACKAGE_CONTACT "qvmprepro developers <qvmprepro@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test-script preprocessor: checks test scripts against C headers and writes C test programs")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# dpkg-shlibdeps names the Qt 5 Core and C++ runtime packages the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
