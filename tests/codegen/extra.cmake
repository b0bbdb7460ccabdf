# The program writer's end-to-end tests compile generated programs with the
# test runtime and run them.
add_dependencies(test_codegen qvmruntime)
target_compile_definitions(test_codegen PRIVATE
  QVM_RUNTIME_INCLUDE_DIR="${PROJECT_SOURCE_DIR}/runtime"
  QVM_RUNTIME_LIBRARY="$<TARGET_FILE:qvmruntime>")
target_link_libraries(test_codegen PRIVATE GTest::gmock)
