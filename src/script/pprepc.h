// Macro expansion of the C pieces of a test script (expressions, names,
// value texts) with the macros of the run.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvm::script {

// The text after macro expansion in the given C scope, or nothing when the
// preprocessor reported an error. Sets the current C context first.
std::optional<std::string> preprocessText(std::string_view text, std::string_view scope, int line);

}  // namespace qvm::script
