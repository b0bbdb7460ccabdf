# The user documentation checked against the programs it describes: every
# example of the language reference through qvmprepro, its reserved words
# against the script lexer, the manual page made from it.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME Doc.LanguageReference
         COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/doc/check_language.py
                 $<TARGET_FILE:qvmprepro> ${PROJECT_SOURCE_DIR})
