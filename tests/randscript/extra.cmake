# The random-script compile check: random valid scripts run through
# qvmprepro and, when accepted, compiled with gcc and clang at -Wall -Wextra,
# linked with the runtime and run. A bounded run with a fixed seed, and the
# replay of the cases that earlier runs kept (one per fault found). Both are
# labelled randscript: they fail while a fault they catch is not fixed, and
# "ctest -LE randscript" leaves them out.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
find_program(QVM_RANDSCRIPT_GCC gcc)
find_program(QVM_RANDSCRIPT_CLANG clang)
if(QVM_RANDSCRIPT_GCC AND QVM_RANDSCRIPT_CLANG AND CMAKE_SYSTEM_NAME STREQUAL "Linux"
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  set(qvm_randscript ${CMAKE_CURRENT_SOURCE_DIR}/randscript/randscript.py
      --prepro $<TARGET_FILE:qvmprepro> --runtime-lib $<TARGET_FILE:qvmruntime> --jobs 2)
  if(QVM_SANITIZE)
    list(APPEND qvm_randscript --sanitized)
  endif()
  add_test(NAME randscript.bounded
           COMMAND Python3::Interpreter ${qvm_randscript} --count 200 --seed 1 --max-reject 5
                   --keep ${CMAKE_BINARY_DIR}/randscript-failures)
  add_test(NAME randscript.regressions
           COMMAND Python3::Interpreter ${qvm_randscript}
                   --replay ${CMAKE_CURRENT_SOURCE_DIR}/data/randscript/regressions)
  set_tests_properties(randscript.bounded randscript.regressions PROPERTIES
                       TIMEOUT 900 PROCESSORS 2 LABELS randscript)
endif()
