// Inside the value analysis: the value text read into its syntax, the form
// checks of that syntax, and the matching of it against a C type.
#pragma once

#include "canalysis/declarations/cexpr.h"
#include "canalysis/declarations/ctabsy.h"
#include "script/valuetree.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script::value {

// Where the analysis reports, in which C scope it types, and the callback
// that the C analysis reports through. The texts are the caller's.
struct Place {
    std::string_view scope;
    std::string_view file;
    int line = 0;
    canalysis::DiagnosticCallback callback;
};

// The texts of the syntax are views of the value text, which outlives it.
struct Designator {
    enum Kind { None, Field, Index, Range, Others };
    Kind kind = None;
    std::string_view text;   // as written (field name, index or range)
    base::Ident name = nullptr;  // one word: its identifier, which a member's name may be
    std::string_view lower;  // index and range: the bound texts
    std::string_view upper;
    // Filled by the form checks when both bounds evaluate, in increasing order.
    bool evaluated = false;
    long long first = 0;
    long long last = 0;
};

struct ElementSyntax;

// A value as read. The elements of a list are in the storage given to the
// parse, which must outlive the syntax and stay untouched while it is used.
struct ValueSyntax {
    enum Kind { Scalar, Bounded, List };
    Kind kind = Scalar;
    std::string_view text;  // the value as written (a list with its brackets)
    std::string_view lower;  // bounded
    std::string_view upper;
    std::span<ElementSyntax> elements;  // list
};

struct ElementSyntax {
    Designator designator;
    ValueSyntax value;
};

// Reads the value text (after macro expansion). Reports the problems of its
// form that reading meets (empty values, unbalanced or too deeply nested
// brackets) and then gives nothing. The elements of every list go to
// elements, which is cleared first; its room is reused by the next parse.
std::optional<ValueSyntax> parseValueText(std::string_view text, const Place& place,
                                          std::vector<ElementSyntax>& elements);

// The form checks of every list, recursively; evaluates index designators.
// Returns whether the value passed them.
bool checkValueForm(ValueSyntax& value, const Place& place);

// Evaluates an integer constant expression of an index bound; reports
// CONSTINIT and DIVBYZERO (when report is set) and gives nothing then.
std::optional<long long> evaluateIndex(std::string_view text, const Place& place, bool report);

// The texts of a value tree while it is built, views of the caller's.
struct TreeTexts {
    std::string_view keyword;
    std::string_view variable;
    std::string_view value;  // the value text read
};

// Builds the nodes of the value tree of a value read for a C type into the
// tree, with a copy of the keyword, the variable and the part of the value
// text the nodes view; reports what does not match. Gives the most arrays
// nested on one path of the tree.
int matchValue(const ValueSyntax& value, const TreeTexts& texts, const canalysis::CType* type, const Place& place,
                ValueTree& tree);

struct TypedValue {
    canalysis::TypePtr type;
    int cls = -1;  // expression type class; 8 for NONIL
    std::optional<canalysis::CConstant> constant;  // the value of a numeric constant, when typed in full
};

// Types a C expression in the analysis' scope.
TypedValue typeValueText(std::string_view text, const Place& place);
// The same for a value matched against a type: only its class and, for an
// aggregate, its type count; plain constants and names skip the parse.
TypedValue typeOperandText(std::string_view text, const Place& place);

// Trims blanks, tabs and line ends on both sides.
std::string_view trimmed(std::string_view text);

}  // namespace qvm::script::value
