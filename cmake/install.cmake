# Installation: the two programs, the catalog tree (what FENWIRDIR names),
# the manual pages and the documentation; CPack turns the same tree into a
# Debian package (cmake/package.cmake).
include(GNUInstallDirs)

# qvm_add_compressed(<target> <source> <output.gz>): <output.gz> made with
# gzip -9n (no file name, no time stamp: the same source gives the same
# bytes) whenever the source changes, in the default build.
find_program(QVM_GZIP gzip REQUIRED)
function(qvm_add_compressed target source output)
  string(REGEX REPLACE "\\.gz$" "" plain ${output})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${QVM_GZIP} -9nf ${plain}
    DEPENDS ${source}
    COMMENT "Compressing ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

install(TARGETS qvmprepro EXPORT QvmPreproTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS qvminspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The tree keeps its layout: <prefix>/share/qvmprepro (what FENWIRDIR may
# name; the installed programs find it without), with the translations in
# lib/locale and the host profile made by this build in lib. The fixed
# profile of the sources is the tests' own.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/share/ DESTINATION ${CMAKE_INSTALL_DATADIR}/qvmprepro
        PATTERN "*.def" EXCLUDE)
install(FILES ${QVM_HOST_PROFILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/qvmprepro/lib)
# The manual pages are installed compressed; man reads them as they are.
foreach(page qvmprepro.1 qvminspect.1 qvmpts.5)
  string(REGEX MATCH "[0-9]$" section ${page})
  string(REPLACE "." "_" target manpage_${page})
  qvm_add_compressed(${target} ${PROJECT_SOURCE_DIR}/man/${page} ${PROJECT_BINARY_DIR}/man/${page}.gz)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
# Beside the runtime's documentation (runtime/CMakeLists.txt): the tutorial
# with the project it walks through, and the language reference.
install(FILES ${PROJECT_SOURCE_DIR}/doc/tutorial.md ${PROJECT_SOURCE_DIR}/doc/language.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/tutorial DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

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

include(${PROJECT_SOURCE_DIR}/cmake/package.cmake)
