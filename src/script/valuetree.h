// Values of INIT=, EV= and VA= texts analysed against a variable's C type:
// one node per scalar, field, element or index range, in the shape the
// variable check writers walk.
//
// The value language (the text after the first '=', macro-expanded first):
//
//   value      := scalar | bounded | aggregate
//   scalar     := a C expression, typed by the C analysis; trv_msgrcv stands
//                 for a whole received message, NIL and NONIL for pointers
//   bounded    := '[' [lower] '..' [upper] ']'      a value expected between
//                 two C expressions, either of which may be left out
//   aggregate  := '{' element {',' element} '}'
//              |  '(' element {',' element} ')'     a single positional
//                 element in parentheses is a parenthesised scalar: EV=(x)
//   element    := [designator '=>'] value
//   designator := field name | index | lower '..' upper | OTHERS
//                 (an index or range may be written between brackets; an
//                 enumeration constant alone is an index)
//
// Index bounds are integer constant expressions: numbers, characters and
// enumeration constants with the C operators. Lists and parentheses nested
// deeper than the C expressions' limit, and trees that would nest deeper
// than the C analysis' shallow-tree height (types of hundreds of levels),
// are refused like a too deep C expression.
//
// A structure takes positional values in field order or designated fields
// (OTHERS: every field not designated); a union one designated member, or
// one positional value for its first member; an array positional values,
// indices, ranges and OTHERS; a character array also a string. A scalar
// expression given for an aggregate is the aggregate's whole value: its node
// is expanded over the whole type (every member, every union alternative)
// with the whole-value flag set, the value text on the top node only.
// Members of unnamed structures and unions are designated as members of the
// enclosing aggregate; an unnamed structure's fields also take positional
// values in their place.
#pragma once

#include "base/mstrid.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace qvm::script {

enum class ValueKind : std::uint8_t {
    Scalar,      // one expression for a scalar (or a whole aggregate, see wholeValue)
    Bounded,     // a scalar expected between two bounds: [lower..upper]
    Array,       // an array value: its elements are IndexRange children
    IndexRange,  // elements designated by position, index, index range or OTHERS; one child: their value
    Structure,   // a structure value: its fields are the children
    Union,       // a union value: the selected member is the only child (every alternative for a whole value)
};

// The bound expressions of a bounded value, held apart: few nodes have them.
struct ValueBounds {
    std::string_view lower;  // empty when absent
    std::string_view upper;
};

// A large script holds hundreds of thousands of nodes: the texts that repeat
// from check to check are identifiers of the run's table, which keeps them
// until the end of the run; everything else of a tree lies in one block of
// the tree (see ValueTree). A node reaches its children, its text and its
// bounds by their distances from itself in that block: it is read in place
// only, never from a copy.
struct ValueNode {
    base::Ident fieldId = nullptr;          // structure and union members: the C field's name
    base::Ident typeId = nullptr;           // C text of the node's type (bit-fields: " : width" appended)
    long long lowerIndex = 0;     // array: first index; index range: first designated index
    long long upperIndex = 0;     // array: last index (-1 when the dimension is unknown); index range: last index
    std::uint32_t childCount = 0;
    int selectedMember = -1;      // union: position of the chosen member among all members, from 0
    std::int8_t cls = -1;         // expression type class of the node's C type (-1 to 17)
    ValueKind kind = ValueKind::Scalar;
    bool others = false;          // index range written OTHERS: every element not designated otherwise
    bool wholeValue = false;      // the value is given for the aggregate as a whole

    // The children side by side.
    std::span<const ValueNode> children() const { return {childCount == 0 ? this : this + step_, childCount}; }
    // Scalar: the value expression after macro expansion; whole value: on the top node.
    std::string_view text() const
    {
        return textSize_ == 0 ? std::string_view() : std::string_view(bytes() + textStep_, textSize_);
    }
    // Empty for array elements and the top node.
    std::string_view fieldName() const { return base::identOrEmpty(fieldId); }
    std::string_view typeImage() const { return base::identOrEmpty(typeId); }

    // Bounded: the lower and upper bound expressions, empty when absent.
    std::string_view lowerValue() const { return kind != ValueKind::Bounded ? std::string_view() : bounds()->lower; }
    std::string_view upperValue() const { return kind != ValueKind::Bounded ? std::string_view() : bounds()->upper; }

    // Placing the node in its block: what it is given lies in the same block
    // (see ValueTreeBlock, which keeps every distance within 31 bits). A
    // bounded node has bounds and no children.
    void placeChildren(const ValueNode* first, std::size_t count);
    void placeText(std::string_view text);
    void placeBounds(const ValueBounds* bounds);

private:
    const char* bytes() const { return reinterpret_cast<const char*>(this); }
    const ValueBounds* bounds() const { return reinterpret_cast<const ValueBounds*>(bytes() + step_); }

    std::int32_t step_ = 0;        // nodes from this one to its first child; bounded: bytes to its bounds
    std::uint32_t textStep_ = 0;   // bytes from this node to its text
    std::uint32_t textSize_ = 0;
};
static_assert(std::is_trivially_destructible_v<ValueNode> && std::is_trivially_destructible_v<ValueBounds>,
              "the block of a tree is released without destroying what it holds");
static_assert(sizeof(ValueNode) <= 56);

// The nodes of a value tree and the texts they view lie in one block that
// the tree owns: a header placing the naming texts, the top node, the nodes
// below it, the bounds of the bounded ones, then the characters of the
// keyword, the variable and the part of the macro-expanded value text that
// the nodes view. Moving the tree leaves the block where it is: the value
// entries of the model and the writers' numbers point into it. A tree
// without a block is none (a refused value).
class ValueTree {
public:
    explicit operator bool() const { return block_ != nullptr; }

    const ValueNode& root() const;
    // INIT, EV or VA: the text before the first '='.
    std::string_view keyword() const;
    // The variable text as typed ("(%s)" when not a plain name).
    std::string_view variable() const;

private:
    friend class ValueTreeBlock;
    std::unique_ptr<std::byte[]> block_;
};

// A block being filled for a tree: it is made with room for its nodes,
// bounds and value characters, each default until filled, and with the
// keyword and the variable copied.
class ValueTreeBlock {
public:
    ValueTreeBlock(std::size_t nodes, std::size_t bounds, std::string_view keyword, std::string_view variable,
                   std::size_t valueChars, ValueTree& tree);

    ValueNode* nodes() const { return nodes_; }
    ValueBounds* bounds() const { return bounds_; }
    char* chars() const { return chars_; }  // the room for the value characters

private:
    ValueNode* nodes_;
    ValueBounds* bounds_;
    char* chars_;
};

// The keyword of a value text: the text before its first '=', without the
// blanks around it; empty without '='.
std::string_view valueKeyword(std::string_view valueText);

// Analyses "INIT=...", "EV=..." or "VA=..." against the variable. Reports
// the messages of the value text; nothing is returned when anything was
// reported (the text is then also reported as a whole).
std::optional<ValueTree> analyseValue(std::string_view variableText, std::string_view valueText,
                                      std::string_view scope, std::string_view file, int line);

// One node per line, two blanks of indent per level: for tests and qvminspect.
std::string dumpValueTree(const ValueTree& tree);

// The index ranges that the explicit elements of an array value leave free
// within its bounds (what an OTHERS stands for), in increasing order.
std::vector<std::pair<long long, long long>> freeIndexRanges(const ValueNode& array);

}  // namespace qvm::script
