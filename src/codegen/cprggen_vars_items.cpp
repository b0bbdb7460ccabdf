// The items of a variable description, from the value entries of a VAR or
// from the value tree of a message.
#include "codegen/cprggen_writer.h"

#include "script/prtanac.h"

#include <algorithm>

namespace qvm::codegen::program {

using namespace script::sem;
using script::ValueKind;
using script::ValueNode;

namespace {

VarItem::Kind kindOf(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Bounded: return VarItem::Kind::Bounded;
    case ValueKind::Array: return VarItem::Kind::Array;
    case ValueKind::IndexRange: return VarItem::Kind::IndexRange;
    case ValueKind::Structure: return VarItem::Kind::Structure;
    case ValueKind::Union: return VarItem::Kind::Union;
    case ValueKind::Scalar: break;
    }
    return VarItem::Kind::Elementary;
}

// The item of a node without its members.
VarItem itemOf(const ValueNode& node)
{
    VarItem item;
    item.kind = kindOf(node.kind);
    item.fieldName = node.fieldName;
    item.value = node.text;
    item.lower = node.lowerValue();
    item.upper = node.upperValue();
    item.lowerIndex = node.lowerIndex;
    item.upperIndex = node.upperIndex;
    item.wholeValue = node.wholeValue;
    item.cls = node.cls;
    item.selected = node.selectedMember;
    return item;
}

bool isElementary(const ValueNode& node)
{
    return node.kind == ValueKind::Scalar || node.kind == ValueKind::Bounded;
}

// The indices an element list designates: its own for an explicit range,
// the gaps the explicit ones leave for OTHERS (as written when the array's
// dimension is unknown).
std::vector<std::pair<long long, long long>> indicesOf(const ValueNode& range, const ValueNode& array)
{
    if (!range.others || array.upperIndex < array.lowerIndex) {
        return {{range.lowerIndex, range.upperIndex}};
    }
    return script::freeIndexRanges(array);
}

}  // namespace

VarItem ProgramWriter::itemOfValueEntry(const Entry& entry) const
{
    const auto& data = entry.data<ValueData>();
    const Scope* below = entry.descriptor->subScope;
    VarItem item = itemOf(*data.node);
    item.numbers = numbering_.records.find(entry);
    if (entry.code == ENT_AGGREGATE) {
        item.members.reserve(below->entries.size());  // a member per field, most often
        for (const Entry& member : below->entries) {
            const bool field = member.code == ENT_FIELD_VALUE || member.code == ENT_UNION_VALUE;
            if (!field) {
                item.members.push_back(itemOfValueEntry(member));
                continue;
            }
            // A field's value is the entry below it.
            for (const Entry& value : member.descriptor->subScope->entries) {
                item.members.push_back(itemOfValueEntry(value));
            }
        }
        return item;
    }
    if (data.element) {
        item.fieldName = {};
        item.lowerIndex = data.lowerIndex;
        item.upperIndex = data.upperIndex;
    }
    if (below != nullptr) {
        // Elements holding aggregates: an index range over them.
        item.kind = VarItem::Kind::IndexRange;
        item.members.reserve(below->entries.size());
        for (const Entry& value : below->entries) {
            item.members.push_back(itemOfValueEntry(value));
        }
    }
    return item;
}

VarItem ProgramWriter::itemOfNode(const ValueNode& node) const
{
    VarItem item = itemOf(node);
    item.numbers = numbering_.records.find(node);
    item.members.reserve(node.children.size());
    if (node.kind != ValueKind::Array) {
        for (const ValueNode& member : node.children) {
            item.members.push_back(itemOfNode(member));
        }
        return item;
    }
    for (const ValueNode& range : node.children) {
        for (const auto& [lower, upper] : indicesOf(range, node)) {
            VarItem element;
            if (range.children.size() == 1 && isElementary(range.children.front())) {
                element = itemOfNode(range.children.front());
                element.fieldName = {};
            } else {
                element = itemOf(range);
                element.kind = VarItem::Kind::IndexRange;
                element.numbers = numbering_.records.find(range);
                element.members.reserve(range.children.size());
                for (const ValueNode& value : range.children) {
                    element.members.push_back(itemOfNode(value));
                }
            }
            element.lowerIndex = lower;
            element.upperIndex = upper;
            item.members.push_back(std::move(element));
        }
    }
    return item;
}

}  // namespace qvm::codegen::program
