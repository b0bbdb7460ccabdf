# A catalog directory holding one compiled French translation, for the
# translation test of the diagnostics.
find_program(QVM_LRELEASE NAMES lrelease PATHS /usr/lib/qt5/bin /usr/lib/x86_64-linux-gnu/qt5/bin
             NO_DEFAULT_PATH)
find_program(QVM_LRELEASE NAMES lrelease-qt5 lrelease REQUIRED)
set(QVM_FRENCH_CATALOG_DIR ${CMAKE_BINARY_DIR}/test-fenwir/lib/locale)
add_custom_command(
  OUTPUT ${QVM_FRENCH_CATALOG_DIR}/qvm_fr_FR.qm
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QVM_FRENCH_CATALOG_DIR}
  COMMAND ${QVM_LRELEASE} -silent ${CMAKE_CURRENT_SOURCE_DIR}/data/diag/qvm_fr_FR.ts
          -qm ${QVM_FRENCH_CATALOG_DIR}/qvm_fr_FR.qm
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/data/diag/qvm_fr_FR.ts)
add_custom_target(french_test_catalog DEPENDS ${QVM_FRENCH_CATALOG_DIR}/qvm_fr_FR.qm)
add_dependencies(test_diag french_test_catalog)
target_compile_definitions(test_diag PRIVATE QVM_FRENCH_FENWIRDIR="${CMAKE_BINARY_DIR}/test-fenwir")

# A report naming a code that is in no catalog does not compile: the same
# call is compiled once spelt right (must succeed) and once misspelt (must
# fail on the catalog check, not on anything else).
set(QVM_CODE_USE ${CMAKE_CURRENT_SOURCE_DIR}/data/diag/report_code_use.cpp)
set(QVM_CODE_USE_FLAGS -std=c++20 -fsyntax-only
    "-I$<JOIN:$<TARGET_PROPERTY:qvmcore,INTERFACE_INCLUDE_DIRECTORIES>,$<SEMICOLON>-I>")
add_test(NAME diag.KnownMessageCodeCompiles
         COMMAND ${CMAKE_CXX_COMPILER} ${QVM_CODE_USE_FLAGS} ${QVM_CODE_USE}
         COMMAND_EXPAND_LISTS)
add_test(NAME diag.MisspeltMessageCodeDoesNotCompile
         COMMAND ${CMAKE_CXX_COMPILER} ${QVM_CODE_USE_FLAGS} -DQVM_MISSPELT_CODE ${QVM_CODE_USE}
         COMMAND_EXPAND_LISTS)
set_tests_properties(diag.MisspeltMessageCodeDoesNotCompile PROPERTIES
                     PASS_REGULAR_EXPRESSION "message_code_is_in_no_catalog")
