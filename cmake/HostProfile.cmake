# Writes the host profile of a C compiler: the file qvmprepro reads first
# (-STD_DEFINE) so that interface headers which include C library headers
# are read as that compiler reads them. It holds the compiler's predefined
# macros, its system include directories (#pragma tarvo incl_std) and the
# sizes and signedness of the basic types that the analysis takes from
# pragmas.
#
#   cmake -DCOMPILER=<C compiler> -DOUTPUT=<file.def> -P HostProfile.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT COMPILER OR NOT OUTPUT)
  message(FATAL_ERROR "HostProfile.cmake: COMPILER and OUTPUT are required")
endif()

execute_process(COMMAND ${COMPILER} -dM -E -x c /dev/null
                OUTPUT_VARIABLE predefined RESULT_VARIABLE status ERROR_VARIABLE problem)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "HostProfile.cmake: ${COMPILER} -dM -E failed: ${problem}")
endif()
execute_process(COMMAND ${COMPILER} -E -v -x c /dev/null -o /dev/null
                ERROR_VARIABLE verbose OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "HostProfile.cmake: ${COMPILER} -E -v failed: ${verbose}")
endif()
execute_process(COMMAND ${COMPILER} --version OUTPUT_VARIABLE version ERROR_QUIET)
string(REGEX REPLACE "\n.*" "" version "${version}")

# The directories between "#include <...> search starts here:" and "End of
# search list.", in the compiler's order.
string(REGEX MATCH "#include <\\.\\.\\.> search starts here:\n(.*)End of search list\\." _ "${verbose}")
string(REPLACE "\n" ";" search_lines "${CMAKE_MATCH_1}")
set(include_dirs "")
foreach(line IN LISTS search_lines)
  string(STRIP "${line}" dir)
  string(REGEX REPLACE " \\(framework directory\\)$" "" dir "${dir}")
  if(dir AND IS_DIRECTORY "${dir}")
    get_filename_component(dir "${dir}" REALPATH)
    string(APPEND include_dirs " \"${dir}\"")
  endif()
endforeach()
if(NOT include_dirs)
  message(FATAL_ERROR "HostProfile.cmake: ${COMPILER} named no system include directory")
endif()

# Floating-point and decimal description macros are left out: the analysis
# never needs them, and their hexadecimal float constants mean nothing to
# it. __has_include is an operator of the analysis's own preprocessor, and
# __STDC__ its own predefined macro. The label and register prefixes only
# build assembler names, some of them empty. Names outside the reserved space
# ("linux", "unix") are GNU dialect extras a header must not depend on.
string(REPLACE "\n" ";" macro_lines "${predefined}")
list(SORT macro_lines)
set(macros "")
set(sizes "")
foreach(line IN LISTS macro_lines)
  if(NOT line MATCHES "^#define ([A-Za-z_][A-Za-z0-9_]*)(.*)$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  set(rest "${CMAKE_MATCH_2}")
  if(name MATCHES "^__(FLT|DBL|LDBL|DEC|BFLT)" OR name MATCHES "^__has_include" OR name STREQUAL "__STDC__"
     OR name MATCHES "_PREFIX__$"
     OR NOT name MATCHES "^_")
    continue()
  endif()
  string(APPEND macros "${line}\n")
  if(name MATCHES "^__SIZEOF_(SHORT|INT|LONG|LONG_LONG|POINTER|WCHAR_T)__$")
    string(STRIP "${rest}" bytes)
    set(size_${CMAKE_MATCH_1} "${bytes}")
  elseif(name STREQUAL "__CHAR_UNSIGNED__")
    set(char_unsigned TRUE)
  elseif(name STREQUAL "__clang__")
    set(clang TRUE)
  endif()
endforeach()

foreach(pair "short;SHORT" "int;INT" "long;LONG" "longlong;LONG_LONG" "(void *);POINTER" "wchar_t;WCHAR_T")
  list(GET pair 0 type)
  list(GET pair 1 key)
  if(DEFINED size_${key})
    math(EXPR bits "${size_${key}} * 8")
    string(APPEND sizes "#pragma tarvo sizeof ${type} = ${bits}\n")
  endif()
endforeach()
# The compiler's own headers test its built-in feature queries; the analysis
# reads them as a compiler that has none of those features (no modules).
if(clang)
  string(APPEND macros "#define __has_feature(x) 0\n#define __has_extension(x) 0\n#define __building_module(x) 0\n")
endif()
if(char_unsigned)
  string(APPEND sizes "#pragma tarvo signof char = unsigned\n")
endif()

file(WRITE "${OUTPUT}.new"
"/* Host profile of ${version}.
   Made at build time from what the compiler predefines and where it looks
   for system headers; qvmprepro reads it before the interface files when
   no -STD_DEFINE is given. */

#pragma tarvo incl_std${include_dirs}

${macros}
/* Sizes and signedness of the basic types. */
${sizes}")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
