# Reference checks of the exact constants and of the #if evaluator: a driver
# program evaluates generated operations and a Python script compares its
# answers with Python's own integers.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
foreach(driver pint evalif)
  add_executable(${driver}_driver ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/refcheck/${driver}_driver.cpp)
  target_link_libraries(${driver}_driver PRIVATE qvmcore)
  add_test(NAME canalysis.reference.${driver}
           COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/check_${driver}.py
                   $<TARGET_FILE:${driver}_driver>)
  set_tests_properties(canalysis.reference.${driver} PROPERTIES TIMEOUT 300)
endforeach()
