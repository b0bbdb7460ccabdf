# The build tree's share directory, used by the programs of the build tree
# when FENWIRDIR is unset: the catalog tree of the sources and the host
# profile of the C compiler this build found, made at build time.
set(QVM_BUILD_SHARE_DIR ${PROJECT_BINARY_DIR}/share)
set(QVM_HOST_PROFILE ${QVM_BUILD_SHARE_DIR}/lib/host.def)
file(COPY ${PROJECT_SOURCE_DIR}/share/lib/locale DESTINATION ${QVM_BUILD_SHARE_DIR}/lib)

add_custom_command(
  OUTPUT ${QVM_HOST_PROFILE}
  COMMAND ${CMAKE_COMMAND} -DCOMPILER=${CMAKE_C_COMPILER} -DOUTPUT=${QVM_HOST_PROFILE}
          -P ${PROJECT_SOURCE_DIR}/cmake/HostProfile.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/HostProfile.cmake
  COMMENT "Writing the host profile of ${CMAKE_C_COMPILER_ID} ${CMAKE_C_COMPILER_VERSION}"
  VERBATIM)
add_custom_target(host_profile ALL DEPENDS ${QVM_HOST_PROFILE})
add_dependencies(qvmprepro host_profile)
add_dependencies(qvminspect host_profile)
