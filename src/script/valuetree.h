// Values of INIT=, EV= and VA= texts analysed against a variable's C type:
// one node per scalar, field, element or index range, in the shape the
// variable check writers walk.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script {

enum class ValueKind {
    Scalar,      // one expression for a scalar (or a whole aggregate, see wholeValue)
    Bounded,     // a scalar expected between two bounds: [lower..upper]
    Array,       // an array value: its elements are the children
    IndexRange,  // elements designated by an index or index range (children: the value)
    Structure,   // a structure value: its fields are the children
    Union,       // a union value: the selected member is the only child
};

struct ValueNode {
    ValueKind kind = ValueKind::Scalar;
    std::string fieldName;        // structure and union members; empty for array elements
    std::string text;             // scalar: the value expression after macro expansion
    std::string lowerValue;       // bounded: lower bound expression, empty when absent
    std::string upperValue;       // bounded: upper bound expression, empty when absent
    long long lowerIndex = 0;     // array: first index; index range: first designated index
    long long upperIndex = 0;     // array: last index; index range: last designated index
    bool others = false;          // index range written OTHERS: stands for every element not designated
    bool wholeValue = false;      // the value is given for the aggregate as a whole
    int cls = -1;                 // expression type class of the node's C type
    std::string typeImage;        // C text of the node's type
    int selectedMember = -1;      // union: position of the chosen member, from 0
    std::vector<ValueNode> children;
};

struct ValueTree {
    std::string variable;  // the variable text as typed ("(%s)" when not a plain name)
    ValueNode root;
};

// Analyses "INIT=...", "EV=..." or "VA=..." against the variable. Reports
// the messages of the value text; nothing is returned when anything was
// reported (the text is then also reported as a whole).
std::optional<ValueTree> analyseValue(std::string_view variableText, std::string_view valueText,
                                      std::string_view scope, std::string_view file, int line);

// One node per line, two blanks of indent per level: for tests and qvminspect.
std::string dumpValueTree(const ValueTree& tree);

}  // namespace qvm::script
