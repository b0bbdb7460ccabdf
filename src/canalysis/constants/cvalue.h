// Constant values of the C analysis: the text form of initial and expected
// values (single values and brace lists), small text helpers, and the folding
// of constant operators over big integers and decimal floating values.
#pragma once

#include "base/mstrid.h"
#include "canalysis/constants/mfmath.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::canalysis {

// Either a single value (the string identifier of its text) or a list.
struct ConstValue {
    bool isList = false;
    base::Ident text = nullptr;
    std::vector<ConstValue> elements;
};

ConstValue constValueOf(base::Ident text);

// Reads an initialiser: a text in braces becomes a list whose elements are
// split at the top-level commas (nested braces give nested lists); any other
// text becomes a single value of its trimmed text.
ConstValue constValueFromInitialiser(std::string_view initialiser);

// A single value prints its text; a list prints "{", its elements separated
// by ", ", and "}".
std::string constValueImage(const ConstValue& value);

// Text helpers.
std::string_view trimBlanks(std::string_view text);  // blanks and tabs at both ends
std::string copySubstring(std::string_view text, std::size_t start, std::size_t length);
std::size_t findSubstring(std::string_view text, std::string_view pattern, std::size_t from = 0);

// Runs of blanks and tabs outside parentheses become one blank (none at the
// ends); '$' is dropped unless keepDollar; letters are upper-cased when asked.
std::string normaliseText(std::string_view text, bool keepDollar, bool upperCase);

// Folding helpers.
// Reads digits, an optional fraction after '.', and an optional exponent
// after 'e' or 'E' (with '-' or '+'); stops at the first other character and
// stores in *consumed how many characters were read.
DFloat dfloat_from_text(std::string_view text, std::size_t* consumed = nullptr);

// The largest integer not above the value; false (and result untouched) when
// the exponent is 49 or more.
bool dfloat_to_pint(PInt& result, const DFloat& value);

// 0 when equal; otherwise negative when a < b and positive when a > b.
int dfloat_cmp(const DFloat& a, const DFloat& b);

void pint_not(PInt& result, const PInt& a);
void pint_or(PInt& result, const PInt& a, const PInt& b);
void pint_and(PInt& result, const PInt& a, const PInt& b);
void pint_xor(PInt& result, const PInt& a, const PInt& b);

// Shifts by the lowest byte of the count; a negative count gives 0. The right
// shift copies the sign bit into the vacated bits.
void pint_shift_left(PInt& result, const PInt& a, const PInt& count);
void pint_shift_right(PInt& result, const PInt& a, const PInt& count);

// 1 when the value is zero, else 0.
void pint_logical_not(PInt& result, const PInt& a);
void dfloat_logical_not(PInt& result, const DFloat& a);

}  // namespace qvm::canalysis
