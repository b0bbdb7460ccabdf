// The items of a variable description, from the value entries of a VAR or
// from the value tree of a message.
#include "codegen/cprggen_vars.h"

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
    item.fieldName = node.fieldName();
    item.value = node.text();
    item.lower = node.lowerValue();
    item.upper = node.upperValue();
    item.lowerIndex = node.lowerIndex;
    item.upperIndex = node.upperIndex;
    item.wholeValue = node.wholeValue;
    item.cls = node.cls;
    item.selected = node.selectedMember;
    return item;
}

}  // namespace

VarItem VarsWriter::itemOfValueEntry(const Entry& entry) const
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

VarItem VarsWriter::itemOfRoot(const ValueNode& root) const
{
    return itemOfNode(root, numbering_.records.findTree(root));
}

VarItem VarsWriter::itemOfNode(const ValueNode& node, const KeptTreeNumbers& tree)
{
    VarItem item = itemOf(node);
    item.numbers = tree.find(node);
    item.node = &node;
    item.tree = tree;
    return item;
}

}  // namespace qvm::codegen::program
