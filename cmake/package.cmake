# The Debian package that CPack makes of the installed tree: its control
# fields, its copyright file and changelog (made from cmake/debian/ and
# LICENSE), and the debug information split off into a -dbgsym package.
#
#   cmake --build build && (cd build && cpack -G DEB)

set(QVM_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/cmake/debian)
set(QVM_PACKAGE_MAINTAINER "qvmprepro maintainers <maintainers@qvmprepro.org>")

# The Debian revision comes from the latest changelog entry, whose upstream
# version must be the project's: a new version needs a new entry.
function(_qvm_debian_revision out_var)
  file(STRINGS ${QVM_DEBIAN_DIR}/changelog latest LIMIT_COUNT 1)
  if(NOT latest MATCHES "^${PROJECT_NAME} \\(([^)]+)-([^)-]+)\\) ")
    message(FATAL_ERROR "cmake/debian/changelog: its first line names no version: ${latest}")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "cmake/debian/changelog: its latest entry is for ${CMAKE_MATCH_1}, the project is at "
                        "${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION}")
  endif()
  set(${out_var} ${CMAKE_MATCH_2} PARENT_SCOPE)
endfunction()

# The copyright file in the machine-readable format: the copyright line and
# the licence text of LICENSE, the text indented by one blank and its empty
# lines written as " .".
function(_qvm_write_copyright output)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.*)$")
    message(FATAL_ERROR "LICENSE: no copyright line followed by the licence text")
  endif()
  set(QVM_COPYRIGHT "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "\n+$" "" text "${CMAKE_MATCH_2}")
  string(REPLACE "\n\n" "\n.\n" text "${text}")
  string(REPLACE "\n" "\n " QVM_LICENSE_TEXT " ${text}")
  configure_file(${QVM_DEBIAN_DIR}/copyright.in ${output} @ONLY)
endfunction()

_qvm_write_copyright(${PROJECT_BINARY_DIR}/debian/copyright)
qvm_add_compressed(debian_changelog ${QVM_DEBIAN_DIR}/changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES ${PROJECT_BINARY_DIR}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${QVM_DEBIAN_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME ${PROJECT_NAME})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "qvmprepro developers")
set(CPACK_PACKAGE_CONTACT ${QVM_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "preprocessor that turns test scripts into C test programs")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${QVM_DEBIAN_DIR}/description)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
_qvm_debian_revision(CPACK_DEBIAN_PACKAGE_RELEASE)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
# dpkg-shlibdeps names the Qt 5 Core and C++ runtime packages the programs
# link; generated programs are compiled against the C library's headers.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gcc | c-compiler, libc6-dev | libc-dev")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cmake")
# The programs are installed stripped; their symbols and debug information
# go to <name>-dbgsym_<version>_<arch>.ddeb beside the package.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
