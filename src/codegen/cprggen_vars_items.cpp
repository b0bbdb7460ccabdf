// The items of a variable description, from the value entries of a VAR or
// from the value tree of a message.
#include "codegen/cprggen_writer.h"

#include "script/prtanac.h"


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

bool isField(const Entry& entry)
{
    return entry.code == ENT_FIELD_VALUE || entry.code == ENT_UNION_VALUE;
}

}  // namespace

VarItem ProgramWriter::itemOfValueEntry(const Entry& entry) const
{
    const auto& data = entry.data<ValueData>();
    VarItem item = itemOf(*data.node);
    item.numbers = numbering_.records.find(entry);
    item.entry = &entry;
    if (entry.code == ENT_AGGREGATE) {
        return item;
    }
    if (data.element) {
        item.fieldName = {};
        item.lowerIndex = data.lowerIndex;
        item.upperIndex = data.upperIndex;
    }
    if (entry.descriptor->subScope != nullptr) {
        // Elements holding aggregates: an index range over them.
        item.kind = VarItem::Kind::IndexRange;
    }
    return item;
}

VarItem ProgramWriter::itemOfNode(const ValueNode& node) const
{
    VarItem item = itemOf(node);
    item.numbers = numbering_.records.find(node);
    item.node = &node;
    return item;
}

void ProgramWriter::forEachMember(const VarItem& item, const std::function<void(const VarItem&)>& visit) const
{
    if (item.entry != nullptr) {
        const Scope* below = item.entry->descriptor->subScope;
        if (below == nullptr) {
            return;
        }
        for (const Entry& member : below->entries) {
            if (item.entry->code != ENT_AGGREGATE || !isField(member)) {
                visit(itemOfValueEntry(member));
                continue;
            }
            // A field's value is the entry below it.
            for (const Entry& value : member.descriptor->subScope->entries) {
                visit(itemOfValueEntry(value));
            }
        }
        return;
    }
    if (item.node == nullptr) {
        return;
    }
    const ValueNode& node = *item.node;
    if (node.kind != ValueKind::Array) {
        for (const ValueNode& member : node.children) {
            visit(itemOfNode(member));
        }
        return;
    }
    // An array's elements, one item per index range they designate: its own
    // for an explicit range, the gaps the explicit ones leave for OTHERS (as
    // written when the array's dimension is unknown).
    for (const ValueNode& range : node.children) {
        const auto element = [&](long long lower, long long upper) {
            VarItem item;
            if (range.children.size() == 1 && isElementary(range.children.front())) {
                item = itemOfNode(range.children.front());
                item.fieldName = {};
            } else {
                item = itemOfNode(range);
                item.kind = VarItem::Kind::IndexRange;
            }
            item.lowerIndex = lower;
            item.upperIndex = upper;
            visit(item);
        };
        if (!range.others || node.upperIndex < node.lowerIndex) {
            element(range.lowerIndex, range.upperIndex);
            continue;
        }
        for (const auto& [lower, upper] : script::freeIndexRanges(node)) {
            element(lower, upper);
        }
    }
}

}  // namespace qvm::codegen::program
