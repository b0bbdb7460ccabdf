# Writes the header that lists every code of the built-in message catalogs,
# sorted and without repeats, so that report calls can be checked when they
# are compiled. Run as a script: cmake -DOUTPUT=<header> -DCATALOGS=<a;b;..> -P
set(codes)
foreach(catalog IN LISTS CATALOGS)
  # Matched in the whole text: read as a list of lines, a text holding
  # a bracket would join lines.
  file(READ ${catalog} content)
  string(REGEX MATCHALL "\n[ \t]*{\"[A-Za-z0-9_]+\"," entries "${content}")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "^\n[ \t]*{\"([A-Za-z0-9_]+)\",$" "\\1" code "${entry}")
    list(APPEND codes "${code}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES codes)
list(SORT codes)
list(LENGTH codes count)
if(count EQUAL 0)
  message(FATAL_ERROR "no message code found in ${CATALOGS}")
endif()

set(text "// Generated from the message catalogs when the program is built.\n")
string(APPEND text "#pragma once\n\n#include <string_view>\n\nnamespace qvm::diag::generated {\n\n")
string(APPEND text "// Every code of the four catalogs, sorted, each once.\n")
string(APPEND text "inline constexpr std::string_view kCatalogCodes[] = {\n")
foreach(code IN LISTS codes)
  string(APPEND text "    \"${code}\",\n")
endforeach()
string(APPEND text "};\n\n}  // namespace qvm::diag::generated\n")

# Rewritten only when the list changed.
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
