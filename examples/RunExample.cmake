# Compiles one generated example program with its simulated system under
# test against the test runtime, at -Wall -Wextra with no warning allowed,
# runs it, and judges the run from its exit status and the failing verdicts
# of its trace.
#
# Variables: PROGRAM, SUT, INCLUDE_DIR, RUNTIME_DIR, RUNTIME_LIBRARY,
# COMPILER, SANITIZE when the runtime was built with the sanitizers, and
# INSTANCES (names separated by commas) for an example that runs as several
# testers: one process per instance, started side by side, each with the
# trace <name>_<instance>.rio, all meeting in the trace directory.

get_filename_component(out_dir ${PROGRAM} DIRECTORY)
get_filename_component(name ${PROGRAM} NAME_WE)
set(executable ${out_dir}/${name})

set(sanitizer_flags)
if(SANITIZE)
  set(sanitizer_flags -fsanitize=address,undefined -fno-omit-frame-pointer)
endif()
# A generated program compiles without any warning: one fails the test.
execute_process(
  COMMAND ${COMPILER} -std=gnu99 -Wall -Wextra -Werror ${sanitizer_flags} -I${RUNTIME_DIR} -I${INCLUDE_DIR} -I${out_dir}
          ${PROGRAM} ${SUT} -o ${executable} ${RUNTIME_LIBRARY} -lpthread
  RESULT_VARIABLE compile_status
  OUTPUT_VARIABLE compile_output
  ERROR_VARIABLE compile_output)
if(NOT compile_status EQUAL 0)
  message(FATAL_ERROR "the program of ${name} does not compile:\n${compile_output}")
endif()

# One run per tester: its trace name, and its command as execute_process
# takes it. Several COMMANDs run at the same time as a pipeline, so each
# tester writes to a file of its own: one that ends first must not take the
# other's output with it (SIGPIPE).
set(traces)
set(commands)
if(INSTANCES)
  string(REPLACE "," ";" instances "${INSTANCES}")
  foreach(instance IN LISTS instances)
    set(trace ${name}_${instance})
    # Each trace finds the positions of the script in a TDC file of its name.
    configure_file(${out_dir}/${name}.tdc ${out_dir}/${trace}.tdc COPYONLY)
    list(APPEND traces ${trace})
    list(APPEND commands COMMAND sh -c "exec \"\$@\" > \"\$0\" 2>&1" ${out_dir}/${trace}.out
                         ${CMAKE_COMMAND} -E env QVM_TESTER_DIR=${out_dir}
                         ${executable} -INSTANCE=${instance} -RIO=${trace})
  endforeach()
else()
  set(traces ${name})
  set(commands COMMAND ${executable} -RIO=${name})
endif()

foreach(trace IN LISTS traces)
  file(REMOVE ${out_dir}/${trace}.rio)
endforeach()
execute_process(
  ${commands}
  WORKING_DIRECTORY ${out_dir}
  RESULTS_VARIABLE run_statuses
  OUTPUT_VARIABLE run_output
  ERROR_VARIABLE run_output)
message("${run_output}")
if(INSTANCES)
  foreach(trace IN LISTS traces)
    file(READ ${out_dir}/${trace}.out tester_output)
    message("${tester_output}")
  endforeach()
endif()

set(problems)
foreach(trace run_status IN ZIP_LISTS traces run_statuses)
  set(trace_file ${out_dir}/${trace}.rio)
  if(NOT EXISTS ${trace_file})
    string(APPEND problems "${trace} wrote no trace file ${trace_file} (exit status ${run_status})\n")
    continue()
  endif()
  if(NOT run_status EQUAL 0)
    file(STRINGS ${trace_file} failures REGEX "^FAIL ")
    string(REPLACE ";" "\n" shown "${failures}")
    string(APPEND problems "${trace} ended with status ${run_status}:\n${shown}\n")
  endif()
endforeach()
if(problems)
  message(FATAL_ERROR "${problems}")
endif()
