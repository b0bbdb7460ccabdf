# Run after a test program is built (cmake -P): asks the program for its
# scenarios with -LIST and writes the CTest file that adds one test per
# leaf scenario, run with -SCN=<scenario> and labelled with its families.
#
# Variables: PROGRAM, TARGET, WORKING_DIR, TESTS_FILE, ARGS (the program's
# own arguments, a list), JUNIT_DIR (empty: no JUnit files).

execute_process(COMMAND "${PROGRAM}" -LIST
                WORKING_DIRECTORY "${WORKING_DIR}"
                RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE problem)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} -LIST failed (${status}): ${problem}")
endif()

# A bracket argument that holds any text.
function(_qvm_bracket out_var text)
  set(equals "=")
  while(text MATCHES "]${equals}]")
    string(APPEND equals "=")
  endwhile()
  set(${out_var} "[${equals}[${text}]${equals}]" PARENT_SCOPE)
endfunction()

# A trace file per test, so that tests run in parallel keep theirs apart;
# -RIO= is read among the first three arguments only.
set(own_trace FALSE)
list(LENGTH ARGS argument_count)
if(argument_count LESS 3 AND NOT ARGS MATCHES "(^|;)-[Rr][Ii][Oo]=")
  set(own_trace TRUE)
endif()

if(JUNIT_DIR)
  file(MAKE_DIRECTORY "${JUNIT_DIR}")
endif()

set(text "# One test per leaf scenario of ${TARGET}, written when it was built.\n")
string(REPLACE "\n" ";" lines "${listing}")
set(count 0)
foreach(line IN LISTS lines)
  string(REPLACE "\t" ";" fields "${line}")
  list(LENGTH fields field_count)
  if(field_count LESS 4)
    continue()
  endif()
  list(GET fields 0 scenario)
  list(GET fields 1 kind)
  list(GET fields 2 families)
  if(NOT kind STREQUAL "leaf")
    continue()
  endif()
  set(name "${TARGET}.${scenario}")
  set(command "${PROGRAM}" ${ARGS})
  if(own_trace)
    list(APPEND command "-RIO=${name}")
  endif()
  list(APPEND command "-SCN=${scenario}")
  if(JUNIT_DIR)
    list(APPEND command "-JUNIT=${JUNIT_DIR}/${name}.xml")
  endif()
  set(arguments)
  foreach(piece IN LISTS command)
    _qvm_bracket(quoted "${piece}")
    string(APPEND arguments " ${quoted}")
  endforeach()
  _qvm_bracket(quoted_name "${name}")
  _qvm_bracket(quoted_dir "${WORKING_DIR}")
  string(APPEND text "add_test(${quoted_name}${arguments})\n")
  string(APPEND text "set_tests_properties(${quoted_name} PROPERTIES WORKING_DIRECTORY ${quoted_dir}")
  if(NOT families STREQUAL "-")
    string(REPLACE "," ";" labels "${families}")
    _qvm_bracket(quoted_labels "${labels}")
    string(APPEND text " LABELS ${quoted_labels}")
  endif()
  string(APPEND text ")\n")
  math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} -LIST named no scenario")
endif()

# Rewritten only when it changes, so that ctest does not read it anew.
set(old "")
if(EXISTS "${TESTS_FILE}")
  file(READ "${TESTS_FILE}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${TESTS_FILE}" "${text}")
endif()
