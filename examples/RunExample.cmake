# Compiles one generated example program with its system under test against
# the test runtime, runs it, and judges the run from its exit status and the
# failing verdicts of its trace.
#
# Variables: PROGRAM, SUT, INCLUDE_DIR, RUNTIME_DIR, RUNTIME_LIBRARY,
# COMPILER, and SANITIZE when the runtime was built with the sanitizers.

get_filename_component(out_dir ${PROGRAM} DIRECTORY)
get_filename_component(name ${PROGRAM} NAME_WE)
set(executable ${out_dir}/${name})
set(trace_file ${out_dir}/${name}.rio)

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

if(NOT run_status EQUAL 0)
  string(REPLACE ";" "\n" shown "${failures}")
  message(FATAL_ERROR "${name} ended with status ${run_status}:\n${shown}")
endif()
