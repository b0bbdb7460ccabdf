# Builds the Debian package the way a release is built: a Release tree of
# its own in BUILD_DIR (kept between runs, so that a later run only
# rebuilds what changed), then cpack into an emptied PACKAGE_DIR.
#
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DPACKAGE_DIR=... -DGENERATOR=...
#         -DC_COMPILER=... -DCXX_COMPILER=... -DCPACK=... -P BuildPackage.cmake

foreach(variable SOURCE_DIR BUILD_DIR PACKAGE_DIR GENERATOR C_COMPILER CXX_COMPILER CPACK)
  if(NOT ${variable})
    message(FATAL_ERROR "BuildPackage.cmake: ${variable} is not set")
  endif()
endforeach()

function(run_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${output}")
  endif()
  message(STATUS "${what}: done")
endfunction()

run_step("Configuring the Release tree ${BUILD_DIR}"
  ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  -DQVM_TESTS=OFF -DQVM_BENCH=OFF -DQVM_SANITIZE=OFF -DQVM_FUZZ=OFF)
run_step("Building it" ${CMAKE_COMMAND} --build ${BUILD_DIR} -j2)
file(REMOVE_RECURSE ${PACKAGE_DIR})
file(MAKE_DIRECTORY ${PACKAGE_DIR})
run_step("Making the package in ${PACKAGE_DIR}" ${CMAKE_COMMAND} -E chdir ${BUILD_DIR} ${CPACK} -G DEB -B ${PACKAGE_DIR})
