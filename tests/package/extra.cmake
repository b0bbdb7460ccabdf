# The Debian package as a user gets it, made of the programs the other
# tests checked: package.build runs CPack on this build tree into an
# emptied package-test/packages (BuildPackage.cmake), then the tests of
# test_package check it with lintian, look at its contents and run the
# tutorial from its files alone. All carry the label "package":
# "ctest -L package" runs them, "ctest -LE package" leaves them out.
if(QVM_SANITIZE OR QVM_FUZZ)
  message(STATUS "No package tests: a package is not made of sanitizer or fuzzing builds")
  return()
endif()
set(QVM_PACKAGE_DIR ${PROJECT_BINARY_DIR}/package-test/packages)
add_test(NAME package.build
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DPACKAGE_DIR=${QVM_PACKAGE_DIR}
                 -DCPACK=${CMAKE_CPACK_COMMAND} -P ${CMAKE_CURRENT_LIST_DIR}/BuildPackage.cmake)
set_tests_properties(package.build PROPERTIES LABELS package FIXTURES_SETUP debian_package TIMEOUT 900)

add_executable(test_package ${CMAKE_CURRENT_LIST_DIR}/test_package.cpp)
target_link_libraries(test_package PRIVATE qvmtestsupport GTest::gtest_main)
target_compile_definitions(test_package PRIVATE QVM_PACKAGE_DIR="${QVM_PACKAGE_DIR}"
  QVM_CMAKE_COMMAND="${CMAKE_COMMAND}" QVM_CTEST_COMMAND="${CMAKE_CTEST_COMMAND}")
gtest_discover_tests(test_package DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS package FIXTURES_REQUIRED debian_package TIMEOUT 600)
