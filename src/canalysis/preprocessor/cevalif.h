// Evaluation of the constant expression of #if and #elif lines, after macro
// expansion and the replacement of `defined NAME`.
#pragma once

#include <functional>
#include <string_view>

namespace qvm::canalysis {

// Evaluates the NUL-terminated expression and returns its value truncated to
// a signed 32-bit integer; 0 after any error. Warnings go through the
// installed diagnostic callback (severity warning, current position).
int C_CPP_eval_if(const char* text);

// Tells the evaluator whether a macro is defined (only __CHAR_UNSIGNED__ is
// asked for: it makes character constants range from 0 to 255). Without a
// query no macro counts as defined; an empty function removes the query.
using MacroDefinedQuery = std::function<bool(std::string_view)>;
void setMacroDefinedQuery(MacroDefinedQuery query);
const MacroDefinedQuery& macroDefinedQuery();

}  // namespace qvm::canalysis
