# Makes the Debian package of a built tree with CPack, into an emptied
# PACKAGE_DIR, so that the package tests see this run's package only.
#
#   cmake -DBUILD_DIR=... -DPACKAGE_DIR=... -DCPACK=... -P BuildPackage.cmake

foreach(variable BUILD_DIR PACKAGE_DIR CPACK)
  if(NOT ${variable})
    message(FATAL_ERROR "BuildPackage.cmake: ${variable} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${PACKAGE_DIR})
file(MAKE_DIRECTORY ${PACKAGE_DIR})
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${PACKAGE_DIR}
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed (${status}):\n${output}")
endif()
message(STATUS "${output}")
