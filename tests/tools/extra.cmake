# Checks of the C preprocessor against outside material: the conformance
# cases kept in the shared folder beside the checkout, and the system headers
# of this machine compared with gcc.
find_package(Python3 COMPONENTS Interpreter)
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
    # tests/tools/test_cprepr_conformance.cpp: __COUNTER__ is not defined
    # (counter), warnings are reported in the program's own format and not in
    # the output (diagnostic), unknown directive lines such as assembler
    # comments are ordinary text (asm).
    add_test(NAME cpp_conformance
             COMMAND ${Python3_EXECUTABLE} ${qvm_conformance}/ppcompare.py -v --skip-tags counter,diagnostic,asm
                     --pp "${CMAKE_CURRENT_SOURCE_DIR}/tools/ppwrap.sh $<TARGET_FILE:qvminspect>"
                     ${qvm_conformance}/tcc-pp/manifest.tsv)
    find_program(QVM_GCC gcc)
    if(QVM_GCC)
      add_test(NAME cpp_system_headers
               COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tools/compare_headers.py
                       $<TARGET_FILE:qvminspect> ${qvm_conformance})
    endif()
  endif()
endif()
