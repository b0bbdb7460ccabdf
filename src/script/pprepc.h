// Macro expansion of the C pieces of a test script (expressions, names,
// value texts) with the macros of the run.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvm::script {

// The text after macro expansion in the given C scope, without the line
// markers of the preprocessor and without blanks at both ends; nothing when
// the preprocessor counted an error (its warnings go to the diagnostics and
// the text is still given). Sets the current C context first: the scope and
// line given, the file of the current context.
std::optional<std::string> preprocessText(std::string_view text, std::string_view scope, int line);

// The same as a view: of the text itself when no macro changes it, else of
// storage, which receives the expansion.
std::optional<std::string_view> preprocessTextView(std::string_view text, std::string_view scope, int line,
                                                   std::string& storage);

// The same for a text that is one line of the script: a line end inside it
// is a blank, so that nothing in it reads as a directive.
std::optional<std::string> preprocessLine(std::string_view text, std::string_view scope, int line);
std::optional<std::string_view> preprocessLineView(std::string_view text, std::string_view scope, int line,
                                                   std::string& storage);

}  // namespace qvm::script
