# Checks that the writers read the analysed model only: no file of
# src/codegen includes a header of the C analysis, nor the script's bridge
# to its tables and its type questions.
# Usage: cmake -DSOURCE=<project source dir> -P check_codegen_layer.cmake
file(GLOB writers ${SOURCE}/src/codegen/*.h ${SOURCE}/src/codegen/*.cpp)
set(offending "")
foreach(writer IN LISTS writers)
  file(STRINGS ${writer} includes REGEX "^#include \"(canalysis/|script/ancgest\\.h|script/panalc\\.h)")
  foreach(include IN LISTS includes)
    file(RELATIVE_PATH name ${SOURCE} ${writer})
    string(APPEND offending "\n  ${name}: ${include}")
  endforeach()
endforeach()
list(LENGTH writers count)
if(count EQUAL 0)
  message(FATAL_ERROR "no writer source found below ${SOURCE}/src/codegen")
endif()
if(offending)
  message(FATAL_ERROR "writers that reach into the C analysis:${offending}")
endif()
