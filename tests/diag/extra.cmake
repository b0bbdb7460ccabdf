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
