# The program writer's end-to-end tests compile generated programs with the
# test runtime and run them.
target_link_libraries(test_codegen PRIVATE GTest::gmock)
