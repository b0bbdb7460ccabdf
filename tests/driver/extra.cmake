# Sanitized builds of the suite build and run the example programs under the
# sanitizers too: their runtime library is instrumented.
target_compile_definitions(test_driver PRIVATE $<$<BOOL:${QVM_SANITIZE}>:QVM_EXAMPLES_SANITIZE>)
