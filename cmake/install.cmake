# Installation: the two programs, the catalog tree (what FENWIRDIR names) and
# the manual pages; CPack turns the same tree into a Debian package.
include(GNUInstallDirs)

install(TARGETS qvmprepro EXPORT QvmPreproTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS qvminspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The tree keeps its layout: <prefix>/share/qvmprepro (what FENWIRDIR may
# name; the installed programs find it without), with the translations in
# lib/locale and the host profile made by this build in lib. The fixed
# profile of the sources is the tests' own.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/share/ DESTINATION ${CMAKE_INSTALL_DATADIR}/qvmprepro
        PATTERN "*.def" EXCLUDE)
install(FILES ${QVM_HOST_PROFILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/qvmprepro/lib)
install(FILES ${PROJECT_SOURCE_DIR}/man/qvmprepro.1 ${PROJECT_SOURCE_DIR}/man/qvminspect.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/man/qvmpts.5 DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)

# The CMake package (find_package(QvmPrepro)), usable from the install tree
# and from the build tree (QvmPrepro_DIR=<build dir>); each has its own
# config file, that names its own catalog tree.
include(CMakePackageConfigHelpers)
set_target_properties(qvmruntime PROPERTIES EXPORT_NAME runtime)
set(QVM_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QvmPrepro)
install(EXPORT QvmPreproTargets NAMESPACE QvmPrepro:: DESTINATION ${QVM_PACKAGE_DIR})
set(QVM_PACKAGE_FENWIRDIR ${CMAKE_INSTALL_DATADIR}/qvmprepro)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QvmPreproConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/QvmPreproConfig.cmake
  INSTALL_DESTINATION ${QVM_PACKAGE_DIR} PATH_VARS QVM_PACKAGE_FENWIRDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QvmPreproConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/QvmPreproConfig.cmake ${PROJECT_BINARY_DIR}/QvmPreproConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/QvmPrepro.cmake ${PROJECT_SOURCE_DIR}/cmake/QvmScenarioTests.cmake
        DESTINATION ${QVM_PACKAGE_DIR})

export(EXPORT QvmPreproTargets NAMESPACE QvmPrepro:: FILE ${PROJECT_BINARY_DIR}/QvmPreproTargets.cmake)
set(QVM_PACKAGE_FENWIRDIR ${QVM_BUILD_SHARE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QvmPreproConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QvmPreproConfig.cmake
  INSTALL_DESTINATION ${PROJECT_BINARY_DIR} INSTALL_PREFIX ${PROJECT_BINARY_DIR} PATH_VARS QVM_PACKAGE_FENWIRDIR)
configure_file(${PROJECT_SOURCE_DIR}/cmake/QvmPrepro.cmake ${PROJECT_BINARY_DIR}/QvmPrepro.cmake COPYONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/QvmScenarioTests.cmake ${PROJECT_BINARY_DIR}/QvmScenarioTests.cmake COPYONLY)

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
