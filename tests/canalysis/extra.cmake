# Reference checks of the exact constants and of the #if evaluator: a driver
# program evaluates generated operations and a Python script compares its
# answers with Python's own integers.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
foreach(check constants/pint preprocessor/evalif)
  get_filename_component(pass ${check} DIRECTORY)
  get_filename_component(driver ${check} NAME)
  add_executable(${driver}_driver ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/${pass}/refcheck/${driver}_driver.cpp)
  target_link_libraries(${driver}_driver PRIVATE qvmcore)
  add_test(NAME canalysis.reference.${driver}
           COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/${pass}/check_${driver}.py
                   $<TARGET_FILE:${driver}_driver>)
  set_tests_properties(canalysis.reference.${driver} PROPERTIES TIMEOUT 300)
endforeach()

# The x86_64 Linux standard-definitions file checked against the host's gcc:
# real system headers analysed without a report, and the types printed for
# expressions over them compared with the types gcc gives.
find_program(QVM_HOST_GCC gcc)
if(QVM_HOST_GCC AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  add_test(NAME canalysis.host_profile
           COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/declarations/check_host_profile.py
                   $<TARGET_FILE:qvmprepro> $<TARGET_FILE:qvminspect> ${PROJECT_SOURCE_DIR}/share/lib/x86_64-linux-gnu.def)
  set_tests_properties(canalysis.host_profile PROPERTIES TIMEOUT 300)
endif()
