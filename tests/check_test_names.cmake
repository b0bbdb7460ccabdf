# Checks that no CTest name is longer than LIMIT characters. ctest prints
# "123/849 Test #123: NAME ....   Passed    0.12 sec": counters, status and
# time take about 40 columns, the name has the rest of an 80-column line.
# Usage: cmake -DCTEST=<ctest> -DBUILD=<build dir> -DLIMIT=<n> -P check_test_names.cmake
execute_process(COMMAND ${CTEST} -N WORKING_DIRECTORY ${BUILD}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ctest -N failed in ${BUILD}")
endif()
string(REGEX MATCHALL "Test +#[0-9]+: [^\n]+" entries "${listing}")
set(count 0)
set(too_long "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^Test +#[0-9]+: " "" name "${entry}")
  math(EXPR count "${count} + 1")
  string(LENGTH "${name}" length)
  if(length GREATER LIMIT)
    string(APPEND too_long "\n  ${length} ${name}")
  endif()
endforeach()
if(count LESS 100)
  message(FATAL_ERROR "only ${count} tests listed by ctest -N in ${BUILD}")
endif()
if(too_long)
  message(FATAL_ERROR "test names longer than ${LIMIT} characters:${too_long}")
endif()
message(STATUS "${count} test names, none longer than ${LIMIT} characters")
