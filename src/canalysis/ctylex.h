// The lexers of the C analysis over lexer contexts: the declaration lexer of
// the declaration grammar.
#pragma once

#include "canalysis/cgloba.h"

#include <string_view>

namespace qvm::canalysis {

// Token codes of the keyword spellings for the declaration grammar; 0 when
// the word is no keyword. canonical receives the keyword's plain spelling
// ("const" for "__const__").
int declarationKeyword(std::string_view word, std::string_view& canonical);

// Follows the line directives and pragmas that start at the current position
// of the context (at the start of a text or of a line).
void followLineDirectives(LexContext& context);

}  // namespace qvm::canalysis
