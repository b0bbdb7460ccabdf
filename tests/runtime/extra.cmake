# The runtime tests compile C programs against the runtime's sources and
# against the qvmruntime library.
target_compile_definitions(test_runtime PRIVATE QVM_RUNTIME_C_COMPILER="${CMAKE_C_COMPILER}")
