# Compiles one generated example program with its system under test against
# the test runtime, runs it, and judges the run from its exit status and the
# failing verdicts of its trace.
#
# While some statements of the program are not generated yet (it calls
# trv_unavailable), the run is only asked for what holds already: it may
# fail to compile, and when it runs, it fails on those statements and on
# nothing else but the script's own ERROR and EXIT statements (the state
# that the missing calls would have set up is not there). The test then
# reports itself as pending (skipped); once every statement is generated,
# the program must compile and pass.
#
# Variables: PROGRAM, SUT, INCLUDE_DIR, RUNTIME_DIR, RUNTIME_LIBRARY,
# COMPILER, and SANITIZE when the runtime was built with the sanitizers.

get_filename_component(out_dir ${PROGRAM} DIRECTORY)
get_filename_component(name ${PROGRAM} NAME_WE)
set(executable ${out_dir}/${name})
set(trace_file ${out_dir}/${name}.rio)

file(READ ${PROGRAM} program_text)
string(FIND "${program_text}" "trv_unavailable (" unavailable_at)
if(unavailable_at GREATER -1)
  set(pending TRUE)
else()
  set(pending FALSE)
endif()

set(sanitizer_flags)
if(SANITIZE)
  set(sanitizer_flags -fsanitize=address,undefined -fno-omit-frame-pointer)
endif()
execute_process(
  COMMAND ${COMPILER} -std=gnu99 ${sanitizer_flags} -I${RUNTIME_DIR} -I${INCLUDE_DIR} -I${out_dir}
          ${PROGRAM} ${SUT} -o ${executable} ${RUNTIME_LIBRARY} -lpthread
  RESULT_VARIABLE compile_status
  OUTPUT_VARIABLE compile_output
  ERROR_VARIABLE compile_output)
if(NOT compile_status EQUAL 0)
  if(pending)
    message("example pending: the program of ${name} does not compile while some of its statements "
            "are not generated yet:\n${compile_output}")
    return()
  endif()
  message(FATAL_ERROR "the program of ${name} does not compile:\n${compile_output}")
endif()

file(REMOVE ${trace_file})
execute_process(
  COMMAND ${executable} -RIO=${name}
  WORKING_DIRECTORY ${out_dir}
  RESULT_VARIABLE run_status
  OUTPUT_VARIABLE run_output
  ERROR_VARIABLE run_output)
message("${run_output}")
if(NOT EXISTS ${trace_file})
  message(FATAL_ERROR "${name} wrote no trace file ${trace_file} (exit status ${run_status})")
endif()
file(STRINGS ${trace_file} failures REGEX "^FAIL ")

if(NOT pending)
  if(NOT run_status EQUAL 0)
    string(REPLACE ";" "\n" shown "${failures}")
    message(FATAL_ERROR "${name} ended with status ${run_status}:\n${shown}")
  endif()
  return()
endif()

set(other_failures)
set(unavailable 0)
foreach(failure IN LISTS failures)
  if(failure MATCHES "not available yet")
    math(EXPR unavailable "${unavailable} + 1")
  elseif(NOT failure MATCHES "(ERROR|EXIT) statement")
    list(APPEND other_failures "${failure}")
  endif()
endforeach()
if(other_failures)
  string(REPLACE ";" "\n" shown "${other_failures}")
  message(FATAL_ERROR "${name} failed on statements that are generated:\n${shown}")
endif()
if(NOT run_status EQUAL 1)
  message(FATAL_ERROR "${name} calls statements that are not generated yet, but ended with status ${run_status}")
endif()
if(unavailable EQUAL 0)
  message(FATAL_ERROR "${name} calls statements that are not generated yet, but none of them failed")
endif()
list(LENGTH failures count)
message("example pending: ${name} ran; ${unavailable} of its ${count} failing verdicts are statements "
        "not generated yet, the others the script's own ERROR or EXIT")
