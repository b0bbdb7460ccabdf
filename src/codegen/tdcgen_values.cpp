// The TDC records of variable descriptions: a VAR's value entries, and the
// value trees of a message type's dump description and of its definitions.
#include "codegen/tdcgen_detail.h"

namespace qvm::codegen::tdc {

using namespace script::sem;
using script::ValueKind;
using script::ValueNode;

namespace {

constexpr std::string_view kReceivedMessage = "trv_msgrcv";

std::string_view accessText(const ValueNode& node)
{
    return !node.fieldName().empty() ? node.fieldName() : node.text();
}

bool isElementary(const ValueNode& node)
{
    return node.kind == ValueKind::Scalar || node.kind == ValueKind::Bounded;
}

bool coversArray(long long lower, long long upper, const ValueNode& array)
{
    return lower == array.lowerIndex && upper == array.upperIndex;
}

const Scope* subScopeOf(const Entry& entry)
{
    return entry.descriptor != nullptr ? entry.descriptor->subScope : nullptr;
}

}  // namespace

// D for a structure or union, B for an array; the members between the
// begin and end records.
template <typename Members>
ItemNumbers TdcWriter::aggregateRecords(const ValueNode& node, Location at, Where where, const Members& members)
{
    std::string_view access = accessText(node);
    ItemNumbers numbers;
    if (node.kind == ValueKind::Array) {
        std::string renamed;
        if (where == Where::Var && access.starts_with(kReceivedMessage)) {
            renamed = joinedPieces("msg", access.substr(kReceivedMessage.size()));
            access = renamed;
        }
        numbers.begin = record("B", newFields().text(access).number(node.lowerIndex).number(node.upperIndex), at);
        Array elements{node, {}};
        PathStep path(itemPath_);
        path.pieces("[]");
        members(&elements);
        numbers.end = record("B", newFields().absentTimes(3), at);
        for (ItemNumbers* tied : elements.tied) {
            *tied = numbers;
        }
        return numbers;
    }
    if (where == Where::Var && access == kReceivedMessage) {
        access = {};
    }
    numbers.begin = record("D", newFields().text(access), at);
    members(nullptr);
    numbers.end = record("D", newFields().absent(), at);
    return numbers;
}

template <typename Members>
ItemNumbers TdcWriter::rangeRecords(Location at, const Members& members)
{
    ItemNumbers numbers;
    numbers.begin = record("L", newFields().text(" "), at);
    members();
    numbers.end = record("L", newFields().absent(), at);
    return numbers;
}

// The second text of an unbounded field is its expected value expression.
int TdcWriter::elementaryRecord(const ValueNode& node, Location at)
{
    Fields& fields = newFields();
    fields.text(itemPath_);
    if (node.kind == ValueKind::Bounded) {
        fields.text({"[", node.lowerValue(), "..", node.upperValue(), "]"});
    } else {
        fields.text(node.text());
    }
    return record("I", fields, at);
}

void TdcWriter::describeEntries(const Scope* scope, Where where, Array* array)
{
    if (scope == nullptr) {
        return;
    }
    for (const Entry& entry : scope->entries) {
        describeEntry(entry, where, array);
    }
}

// The item path follows the program's walk over the same entries: the
// variable at the top, the field of each value below a structure or union,
// nothing for an array's elements.
void TdcWriter::describeEntry(const Entry& entry, Where where, Array* array, bool top)
{
    const auto& data = entry.data<ValueData>();
    const Location at = locationOf(entry);
    ItemNumbers numbers;
    PathStep path(itemPath_);
    if (!top && !data.element && entry.code != ENT_FIELD_VALUE && entry.code != ENT_UNION_VALUE) {
        path.field(data.node->fieldName());
    }
    switch (entry.code) {
    case ENT_AGGREGATE:
        numbers = aggregateRecords(*data.node, at, where,
                                   [&](Array* elements) { describeEntries(subScopeOf(entry), where, elements); });
        break;
    case ENT_FIELD_VALUE:
    case ENT_UNION_VALUE: {
        // A member's records are those of its value, below it.
        const Scope* value = subScopeOf(entry);
        describeEntries(value, where, nullptr);
        if (value != nullptr && !value->entries.empty()) {
            numbers = numbers_.find(*value->entries.first());
        }
        break;
    }
    default:
        if (subScopeOf(entry) == nullptr) {
            numbers.begin = elementaryRecord(*data.node, at);
        } else if (array != nullptr && coversArray(data.lowerIndex, data.upperIndex, array->node)) {
            array->tied.push_back(&numbers_.of(entry));
            describeEntries(subScopeOf(entry), where, nullptr);
            return;
        } else {
            numbers = rangeRecords(at, [&] { describeEntries(subScopeOf(entry), where, nullptr); });
        }
        break;
    }
    numbers_.of(entry) = numbers;
}

void TdcWriter::describeTree(const ValueNode& root, Location at, std::string_view name)
{
    tree_ = numbers_.treeOf(root);
    itemPath_ = name;
    describeNode(root, at, Where::MessageType);
}

ItemNumbers TdcWriter::describeNode(const ValueNode& node, Location at, Where where)
{
    ItemNumbers numbers;
    PathStep path(itemPath_);
    path.field(node.fieldName());
    switch (node.kind) {
    case ValueKind::Scalar:
    case ValueKind::Bounded: numbers.begin = elementaryRecord(node, at); break;
    case ValueKind::Structure:
    case ValueKind::Union:
    case ValueKind::Array:
        numbers = aggregateRecords(node, at, where, [&](Array* elements) {
            for (const ValueNode& member : node.children()) {
                if (elements != nullptr) {
                    describeRange(member, *elements, at, where);
                } else {
                    describeNode(member, at, where);
                }
            }
        });
        break;
    case ValueKind::IndexRange:
        for (const ValueNode& value : node.children()) {
            describeNode(value, at, where);
        }
        break;
    }
    tree_.of(node) = numbers;
    return numbers;
}

// Elements given one scalar value are one elementary field; a range of
// aggregates has L records unless it covers the whole array.
void TdcWriter::describeRange(const ValueNode& range, Array& array, Location at, Where where)
{
    ItemNumbers numbers;
    if (range.children().size() == 1 && isElementary(range.children().front())) {
        const ValueNode& value = range.children().front();
        numbers.begin = elementaryRecord(value, at);
        tree_.of(value) = numbers;
    } else if (!range.others && coversArray(range.lowerIndex, range.upperIndex, array.node)) {
        array.tied.push_back(&tree_.of(range));
        for (const ValueNode& value : range.children()) {
            describeNode(value, at, where);
        }
        return;
    } else {
        numbers = rangeRecords(at, [&] {
            for (const ValueNode& value : range.children()) {
                describeNode(value, at, where);
            }
        });
    }
    tree_.of(range) = numbers;
}

}  // namespace qvm::codegen::tdc
