# The program writer's end-to-end tests compile generated programs with the
# test runtime and run them.
target_link_libraries(test_codegen PRIVATE GTest::gmock)

# Every file written for every example and test script, against the digests
# recorded in tests/data/codegen/outputs.sha256: a change meant to keep the
# output keeps them (outputs_snapshot.py --dump shows a difference, --update
# records a change that is meant).
find_package(Python3 COMPONENTS Interpreter REQUIRED)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  add_test(NAME Outputs.AsRecorded
           COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/codegen/outputs_snapshot.py
                   $<TARGET_FILE:qvmprepro> ${PROJECT_SOURCE_DIR})
endif()

# The writers spell what the analysis put in the model; they never look up
# the C analysis's symbols or types themselves.
add_test(NAME Layers.CodegenReadsModelOnly
         COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -P ${CMAKE_CURRENT_SOURCE_DIR}/codegen/check_codegen_layer.cmake)
