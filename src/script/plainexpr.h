// The class of the plainest C expressions, found without parsing them: a
// small decimal constant, a string without escapes, a declared name, a
// member path "a.b.c" from a declared name, an element of one of these at
// such an index ("a.b[2]"), a call of a declared function with such
// arguments, a few of these of scalar types (or sums of small
// numbers) joined by comparisons and logical operators ("a.b > 0 && f(c) !=
// (1 + 0x10)"), any of them in parentheses. The result is what the full parse and typing would give; every other text
// needs the full way.
#pragma once

#include "canalysis/declarations/ctabsy.h"

#include <optional>
#include <string_view>

namespace qvm::script {

// A plain text that is a constant without a value of its own: the full way
// types an enumeration constant as an int and a string as an array of char.
enum class PlainConstant { None, Enumerator, String };

struct PlainTyped {
    canalysis::TypePtr type;  // the symbol's type for a name; none (int, char array) for a constant
    int cls = -1;             // expression class
    PlainConstant constant = PlainConstant::None;
};

// Nothing when the text is no plain expression or the full way would report
// something about it.
std::optional<PlainTyped> typePlainExpression(std::string_view text, std::string_view scope);

// The type the full way gives a text that typePlainExpression found to be
// an enumeration constant or a string (a new type); none for another text.
canalysis::TypePtr typeOfPlainConstant(std::string_view text, const PlainTyped& typed);

}  // namespace qvm::script
