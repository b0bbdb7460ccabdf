// The lexers of the C analysis over lexer contexts: the declaration lexer of
// the declaration grammar.
#pragma once

#include "canalysis/declarations/cexpr.h"
#include "canalysis/declarations/cgloba.h"

#include <string>

#include <string_view>

namespace qvm::canalysis {

// Token codes of the keyword spellings for the declaration grammar; 0 when
// the word is no keyword. canonical receives the keyword's plain spelling
// ("const" for "__const__").
int declarationKeyword(std::string_view word, std::string_view& canonical);

// Whether the declaration lexer skips the word with its parenthesised text
// (asm, attributes, typeof).
bool isSkippedWord(std::string_view word);

// What a word of today's C or of its common extensions does in a
// declaration, beyond the keyword table above.
enum class ModernWord {
    None,           // no such word, or the K&R dialect is in force
    Ignored,        // qualifiers and specifiers without effect here (restrict, __extension__)
    WithOperand,    // skipped with its parenthesised operand (_Static_assert, _Alignas)
    Atomic,         // _Atomic: a qualifier, or with an operand a type specifier
    BasicType,      // a word of a basic or floating type (_Bool, __int128, _Complex)
    BuiltinType,    // a type the compiler provides (__builtin_va_list)
    Alignof,        // _Alignof
};

// canonical receives the word's plain spelling ("_Complex" for "__complex__").
ModernWord modernWord(std::string_view word, std::string_view& canonical);

// Follows the line directives and pragmas that start at the current position
// of the context (at the start of a text or of a line).
void followLineDirectives(LexContext& context);

// Constant readers of the expression lexer; pos stands on the first
// character (the quote for characters and strings) and ends after the
// constant.
CConstant readNumberConstant(std::string_view text, std::size_t& pos);
CConstant readCharacterConstant(std::string_view text, std::size_t& pos, bool wide);
CConstant readStringConstant(std::string_view text, std::size_t& pos, bool wide);
std::string diagTextDeprecatedQuotes();

}  // namespace qvm::canalysis
