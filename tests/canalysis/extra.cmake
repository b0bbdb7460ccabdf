# Reference checks of the exact constants and of the #if evaluator: a driver
# program evaluates generated operations and a Python script compares its
# answers with Python's own integers.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
foreach(check constants/pint preprocessor/evalif)
  get_filename_component(pass ${check} DIRECTORY)
  get_filename_component(driver ${check} NAME)
  add_executable(${driver}_driver ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/${pass}/refcheck/${driver}_driver.cpp)
  target_link_libraries(${driver}_driver PRIVATE qvmcore)
  add_test(NAME canalysis.reference.${driver}
           COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/${pass}/check_${driver}.py
                   $<TARGET_FILE:${driver}_driver>)
  set_tests_properties(canalysis.reference.${driver} PROPERTIES TIMEOUT 300)
endforeach()

# The x86_64 Linux standard-definitions file checked against the host's gcc:
# real system headers analysed without a report, and the types printed for
# expressions over them compared with the types gcc gives.
find_program(QVM_HOST_GCC gcc)
if(QVM_HOST_GCC AND CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  add_test(NAME canalysis.host_profile
           COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/declarations/check_host_profile.py
                   $<TARGET_FILE:qvmprepro> $<TARGET_FILE:qvminspect> ${PROJECT_SOURCE_DIR}/share/lib/x86_64-linux-gnu.def)
  set_tests_properties(canalysis.host_profile PROPERTIES TIMEOUT 300)
endif()

# Checks of the C preprocessor against outside material: the conformance
# cases kept in the shared folder beside the checkout, and the system headers
# of this machine compared with gcc.
if(Python3_Interpreter_FOUND)
  set(QVM_SHARED_DIR "" CACHE PATH "Folder of the shared conformance material")
  set(qvm_shared_candidates ${QVM_SHARED_DIR} ${PROJECT_SOURCE_DIR}/../shared /work/shared)
  set(qvm_conformance "")
  foreach(candidate IN LISTS qvm_shared_candidates)
    if(candidate AND EXISTS ${candidate}/conformance/ppcompare.py AND NOT qvm_conformance)
      set(qvm_conformance ${candidate}/conformance)
    endif()
  endforeach()
  if(qvm_conformance)
    # Cases left out, each a rule of this preprocessor shown in
    # tests/canalysis/preprocessor/test_cprepr_conformance.cpp: __COUNTER__ is not defined
    # (counter), warnings are reported in the program's own format and not in
    # the output (diagnostic), unknown directive lines such as assembler
    # comments are ordinary text (asm).
    add_test(NAME cpp_conformance
             COMMAND ${Python3_EXECUTABLE} ${qvm_conformance}/ppcompare.py -v --skip-tags counter,diagnostic,asm
                     --pp "${CMAKE_CURRENT_SOURCE_DIR}/canalysis/preprocessor/ppwrap.sh $<TARGET_FILE:qvminspect>"
                     ${qvm_conformance}/tcc-pp/manifest.tsv)
    find_program(QVM_GCC gcc)
    if(QVM_GCC)
      add_test(NAME cpp_system_headers
               COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/canalysis/preprocessor/compare_headers.py
                       $<TARGET_FILE:qvminspect> ${qvm_conformance})
    endif()
  endif()
endif()
