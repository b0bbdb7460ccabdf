# qvm_add_test_script: generates a test program from a test script with
# qvmprepro, builds it with the system under test against the test runtime
# and adds a CTest test that runs it.
#
#   qvm_add_test_script(TARGET <name> SCRIPT <file.pts> INTERFACES <header>...
#                       [INCLUDE_DIRS <dir>...] [DEFINES <define>...]
#                       [OPTIONS <qvmprepro option>...] [SOURCES <file.c>...]
#                       [OUTPUT_DIR <dir>] [ARGS <program argument>...]
#                       [TRIGGER_FUNCTIONS <fctri_c.c>] [NO_SCRIPT_LINES]
#                       [SCENARIO_TESTS] [JUNIT])
#
# The outputs are named after the script (<script>.c, <script>.tdc,
# <script>_dyn.tsf, <script>.lis) and written to OUTPUT_DIR (default
# <current binary dir>/<name>), which also holds the executable <name> and
# is the test's working directory. <name>_OUTPUTS is set in the caller's
# scope to the generated files. A run that reports warnings (exit status 3)
# has complete outputs and the build goes on; errors stop it.
#
# qvmprepro is run with -SCRIPTLINES: the program's code is placed at the
# script's lines, where the compiler reports its errors and a debugger
# stops. NO_SCRIPT_LINES leaves the option out.
#
# A script in the TRIGGER form reads its telegrams through <structure>_Init
# functions: qvmprepro writes their template fctri_c.c beside the program
# once, for the user to fill in. TRIGGER_FUNCTIONS names the filled-in copy
# kept with the sources: it is put in the output directory before each
# generation, where qvmprepro compares it with the interface files, and is
# compiled into the program with the header tarvo_c.h written beside it.
#
# qvmprepro writes a dependency file with every header and script it read,
# so touching a header regenerates only the scripts that read it.
#
# SCENARIO_TESTS adds one test per leaf scenario instead of one for the
# whole program: <name>.<qualified scenario name>, which runs the program
# with -SCN=<qualified scenario name> and is labelled with the scenario's
# families (those of the nearest FAMILY line at or above it), so that
# "ctest -L <family>" runs a family. The tests are found after each build
# of the program (it is run with -LIST): "ctest -N" lists them once the
# program is built. Each test writes its own trace, <test name>.rio.
#
# JUNIT has each run write its results as a JUnit XML file in OUTPUT_DIR:
# <name>.xml for the whole program, junit/<test name>.xml for each
# scenario test.

include_guard(GLOBAL)

set(_QVM_SCENARIO_TESTS_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/QvmScenarioTests.cmake")

if(CMAKE_VERSION VERSION_LESS 3.20)
  message(FATAL_ERROR "qvm_add_test_script needs CMake 3.20 or later (dependency files of custom commands)")
endif()

# The compiler's own header directory (stddef.h, stdarg.h...) that the host
# profile's include list expects first.
function(_qvm_compiler_include_dir out_var)
  if(DEFINED CACHE{QVM_PREPRO_COMPILER_INCLUDE_DIR})
    set(${out_var} "${QVM_PREPRO_COMPILER_INCLUDE_DIR}" PARENT_SCOPE)
    return()
  endif()
  set(dir "")
  if(CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
    execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=include
                    OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT IS_DIRECTORY "${dir}")
      set(dir "")
    endif()
  endif()
  set(QVM_PREPRO_COMPILER_INCLUDE_DIR "${dir}" CACHE PATH "The C compiler's header directory given to qvmprepro")
  set(${out_var} "${dir}" PARENT_SCOPE)
endfunction()

# qvmprepro takes its lists as one argument with comma-separated values.
function(_qvm_list_option out_var option)
  set(values ${ARGN})
  list(REMOVE_DUPLICATES values)
  set(text "")
  if(values)
    list(JOIN values "," joined)
    set(text "-${option}=${joined}")
  endif()
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

function(_qvm_absolute_paths out_var)
  set(paths)
  foreach(path IN LISTS ARGN)
    get_filename_component(path "${path}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND paths "${path}")
  endforeach()
  set(${out_var} ${paths} PARENT_SCOPE)
endfunction()

# Dependency files rewritten to the build tree's relative form by Ninja.
cmake_policy(PUSH)
cmake_policy(SET CMP0116 NEW)

function(qvm_add_test_script)
  cmake_parse_arguments(PARSE_ARGV 0 QVM "NO_SCRIPT_LINES;SCENARIO_TESTS;JUNIT" "TARGET;SCRIPT;OUTPUT_DIR;TRIGGER_FUNCTIONS"
                        "INTERFACES;INCLUDE_DIRS;DEFINES;OPTIONS;SOURCES;ARGS")
  if(QVM_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "qvm_add_test_script: unknown arguments ${QVM_UNPARSED_ARGUMENTS}")
  endif()
  foreach(required TARGET SCRIPT INTERFACES)
    if(NOT QVM_${required})
      message(FATAL_ERROR "qvm_add_test_script: ${required} is required")
    endif()
  endforeach()
  if(NOT TARGET QvmPrepro::qvmprepro OR NOT TARGET QvmPrepro::runtime)
    message(FATAL_ERROR "qvm_add_test_script: find_package(QvmPrepro) first")
  endif()

  _qvm_absolute_paths(script ${QVM_SCRIPT})
  _qvm_absolute_paths(interfaces ${QVM_INTERFACES})
  _qvm_absolute_paths(include_dirs ${QVM_INCLUDE_DIRS})
  _qvm_absolute_paths(sources ${QVM_SOURCES})
  get_filename_component(script_dir "${script}" DIRECTORY)
  get_filename_component(script_file "${script}" NAME)
  get_filename_component(root "${script}" NAME_WE)
  if(QVM_OUTPUT_DIR)
    get_filename_component(out "${QVM_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  else()
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${QVM_TARGET}")
  endif()

  # The list file is written next to the script, so qvmprepro reads a copy
  # in the output directory; the script's own directory stays on the
  # include path for the files the script includes.
  set(interface_dirs)
  foreach(interface IN LISTS interfaces)
    get_filename_component(dir "${interface}" DIRECTORY)
    list(APPEND interface_dirs "${dir}")
  endforeach()
  _qvm_compiler_include_dir(compiler_include)
  _qvm_list_option(incl_option INCL ${compiler_include} ${include_dirs} ${script_dir} ${interface_dirs})
  _qvm_list_option(define_option DEFINE ${QVM_DEFINES})
  list(JOIN interfaces "," interface_argument)
  set(std_define_option)
  if(NOT QVM_OPTIONS MATCHES "(^|;)-STD_DEFINE=" AND EXISTS "${QVM_PREPRO_DEFINITIONS}")
    set(std_define_option "-STD_DEFINE=${QVM_PREPRO_DEFINITIONS}")
  endif()
  set(script_lines_option)
  if(NOT QVM_NO_SCRIPT_LINES AND NOT QVM_OPTIONS MATCHES "(^|;)-SCRIPTLINES(;|$)")
    set(script_lines_option "-SCRIPTLINES")
  endif()

  # The dependency file names the TDC file first, and Ninja matches that
  # name with the first output.
  set(outputs "${out}/${root}.tdc" "${out}/${root}_dyn.tsf" "${out}/${root}.c")
  if(QVM_OPTIONS MATCHES "(^|;)-PROBE")
    list(APPEND outputs "${out}/${root}.h")
  endif()
  set(byproducts "${out}/${root}.lis")
  set(trigger_functions)
  set(copy_trigger_functions)
  if(QVM_TRIGGER_FUNCTIONS)
    _qvm_absolute_paths(trigger_source ${QVM_TRIGGER_FUNCTIONS})
    set(trigger_functions "${out}/fctri_c.c")
    list(APPEND byproducts "${trigger_functions}" "${out}/fctfc_c.c" "${out}/tarvo_c.h")
    # The copy keeps its time stamp: a header changed after the functions
    # were filled in gets qvmprepro's warning that they may be out of date.
    set(copy_trigger_functions COMMAND cp -p "${trigger_source}" "${trigger_functions}")
  endif()
  set(depfile "${out}/${root}.d")
  add_custom_command(
    OUTPUT ${outputs}
    BYPRODUCTS ${byproducts}
    COMMAND ${CMAKE_COMMAND} -E make_directory "${out}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${script}" "${out}/${script_file}"
    ${copy_trigger_functions}
    # Warnings (status 3) leave complete outputs: only errors and worse stop the build.
    COMMAND ${CMAKE_COMMAND} -E env "FENWIRDIR=${QVM_PREPRO_FENWIRDIR}" "QVM_DEPFILE=${depfile}"
            --unset=QVM_PTS --unset=QVM_TDC --unset=QVM_H --unset=QVM_TSF --unset=QVM_RIO --unset=QVM_SRC
            sh -c "\"\$0\" \"\$@\"; status=\$?; [ \$status -eq 0 ] || [ \$status -eq 3 ]"
            $<TARGET_FILE:QvmPrepro::qvmprepro> "${script_file}" "${interface_argument}" "${root}"
            ${incl_option} ${define_option} ${std_define_option} ${script_lines_option} ${QVM_OPTIONS}
    WORKING_DIRECTORY "${out}"
    MAIN_DEPENDENCY "${script}"
    DEPENDS ${interfaces} ${trigger_source} QvmPrepro::qvmprepro
    DEPFILE "${depfile}"
    COMMENT "Generating the test program of ${script_file}"
    VERBATIM)

  add_executable(${QVM_TARGET} "${out}/${root}.c" ${trigger_functions} ${sources})
  set_target_properties(${QVM_TARGET} PROPERTIES C_STANDARD 99 C_EXTENSIONS ON RUNTIME_OUTPUT_DIRECTORY "${out}")
  target_include_directories(${QVM_TARGET} PRIVATE "${out}" ${include_dirs} ${interface_dirs})
  if(QVM_DEFINES)
    target_compile_definitions(${QVM_TARGET} PRIVATE ${QVM_DEFINES})
  endif()
  target_link_libraries(${QVM_TARGET} PRIVATE QvmPrepro::runtime)

  if(QVM_SCENARIO_TESTS)
    _qvm_add_scenario_tests()
  else()
    # The run's exit status is the verdict; its trace file lands next to it.
    set(junit_option)
    if(QVM_JUNIT)
      set(junit_option "-JUNIT=${out}/${QVM_TARGET}.xml")
    endif()
    add_test(NAME ${QVM_TARGET} COMMAND ${QVM_TARGET} ${QVM_ARGS} ${junit_option} WORKING_DIRECTORY "${out}")
  endif()
  set(${QVM_TARGET}_OUTPUTS ${outputs} PARENT_SCOPE)
endfunction()

# One test per leaf scenario: the program lists them after each build into
# a file that ctest reads (the variables are those of qvm_add_test_script).
macro(_qvm_add_scenario_tests)
  set(_qvm_tests_file "${CMAKE_CURRENT_BINARY_DIR}/${QVM_TARGET}_scenario_tests.cmake")
  set(_qvm_junit_dir "")
  if(QVM_JUNIT)
    set(_qvm_junit_dir "${out}/junit")
  endif()
  add_custom_command(TARGET ${QVM_TARGET} POST_BUILD
    COMMAND ${CMAKE_COMMAND} "-DPROGRAM=$<TARGET_FILE:${QVM_TARGET}>" "-DTARGET=${QVM_TARGET}"
            "-DWORKING_DIR=${out}" "-DTESTS_FILE=${_qvm_tests_file}" "-DARGS=${QVM_ARGS}"
            "-DJUNIT_DIR=${_qvm_junit_dir}" -P "${_QVM_SCENARIO_TESTS_SCRIPT}"
    COMMENT "Listing the scenarios of ${QVM_TARGET}"
    VERBATIM)
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${_qvm_tests_file}")
  # Before the first build the file is not there yet: ctest then knows no test of the program.
  if(NOT EXISTS "${_qvm_tests_file}")
    file(WRITE "${_qvm_tests_file}" "# The tests of ${QVM_TARGET} are listed when it is built.\n")
  endif()
endmacro()

cmake_policy(POP)
