// Counts of the changes the C texts of the run make to the macros, so that
// expansions can be kept between two changes.
#pragma once

#include <cstdint>
#include <string_view>

namespace qvm::script {

// What may have changed the macros or the preprocessor's state: each C text
// with a directive (a '#', or a trigraph or digraph that may read as one)
// given to the preprocessor, and each start, end and reset of the C
// analysis. Between two changes, a text without directives expands the same.
std::uint64_t macroGeneration();
// Counts a change when the text given to the preprocessor may hold a directive.
void notePreprocessedText(std::string_view text);
// Whether the text may hold a directive for the preprocessor.
bool mayHoldDirective(std::string_view text);

}  // namespace qvm::script
