// VAR checks: the value text analysed against the variable, and its value
// tree turned into entries nested as the value is.
#include "script/prtanac.h"
#include "script/sempti_analysis.h"

#include <algorithm>
#include <limits>

namespace qvm::script::sem {

namespace {

bool isAggregate(const ValueNode& node)
{
    return node.kind == ValueKind::Structure || node.kind == ValueKind::Array || node.kind == ValueKind::Union;
}

std::string bounds(long long lower, long long upper)
{
    return "(" + std::to_string(lower) + ".." + std::to_string(upper) + ")";
}

}  // namespace

// Builds the entries of one value tree below a VAR entry.
class ValueEntries {
public:
    ValueEntries(Model& model, const Origin& origin, std::string_view variable)
        : model(model), origin(origin), variable(variable)
    {
    }

    // The entry of a value: an aggregate with its elements, or a scalar.
    void value(const ValueNode& node, Scope& scope)
    {
        switch (node.kind) {
        case ValueKind::Scalar: leaf(scope, ENT_SCALAR_VALUE, node); return;
        case ValueKind::Bounded: leaf(scope, ENT_BOUNDED_VALUE, node); return;
        case ValueKind::IndexRange: return;  // only under an array
        case ValueKind::Structure:
        case ValueKind::Union:
        case ValueKind::Array: aggregate(node, scope); return;
        }
    }

private:
    Entry& leaf(Scope& scope, int code, const ValueNode& node)
    {
        Entry& entry = model.append(&scope, code, node.text(), origin);
        model.attach(entry, DSC_VALUE).as<ValueData>().node = &node;
        return entry;
    }

    void aggregate(const ValueNode& node, Scope& scope)
    {
        Entry& entry = leaf(scope, ENT_AGGREGATE, node);
        Scope& elements = model.makeScope(*entry.descriptor, &scope);
        if (node.kind == ValueKind::Array) {
            arrayElements(node, elements);
            return;
        }
        const int code = node.kind == ValueKind::Union ? ENT_UNION_VALUE : ENT_FIELD_VALUE;
        for (const ValueNode& member : node.children()) {
            Entry& field = model.append(&elements, code, member.fieldName(), origin);
            Descriptor& descriptor = model.attach(field, DSC_VALUE);
            descriptor.as<ValueData>().node = &member;
            value(member, model.makeScope(descriptor, &elements));
        }
    }

    void arrayElements(const ValueNode& array, Scope& scope)
    {
        const bool bounded = array.upperIndex >= array.lowerIndex;
        for (const ValueNode& element : array.children()) {
            if (element.others) {
                others(array, element, scope);
                continue;
            }
            if (bounded && (element.lowerIndex < array.lowerIndex || element.upperIndex > array.upperIndex)) {
                // One report per VAR: a long list may overrun by thousands.
                if (!outOfRangeReported) {
                    Analysis::report(diag::Error, "BNDOUTARR", bounds(element.lowerIndex, element.upperIndex), origin);
                    outOfRangeReported = true;
                }
                continue;
            }
            this->element(element, element.lowerIndex, element.upperIndex, false, scope);
        }
    }

    // OTHERS stands for every gap the explicit elements leave.
    void others(const ValueNode& array, const ValueNode& element, Scope& scope)
    {
        if (array.upperIndex < array.lowerIndex) {  // dimension unknown: one entry as written
            this->element(element, element.lowerIndex, element.upperIndex, true, scope);
            return;
        }
        const auto gaps = freeIndexRanges(array);
        if (gaps.empty()) {
            Analysis::report(diag::Warning, "OTHERSEMP", variable, origin);
        }
        for (const auto& [lower, upper] : gaps) {
            this->element(element, lower, upper, true, scope);
        }
    }

    // An element or index range, in increasing order of its lower index: a
    // scalar directly, an aggregate in a scope of its own.
    void element(const ValueNode& element, long long lower, long long upper, bool others, Scope& scope)
    {
        if (element.children().empty()) {
            return;
        }
        const ValueNode& held = element.children().front();
        const bool nested = isAggregate(held);
        int code = others ? ENT_OTHERS_VALUE : ENT_ELEMENT_VALUE;
        if (!nested && !others) {
            code = held.kind == ValueKind::Bounded ? ENT_BOUNDED_VALUE : ENT_SCALAR_VALUE;
        }
        const int key = static_cast<int>(std::clamp<long long>(lower, std::numeric_limits<int>::min(),
                                                                std::numeric_limits<int>::max()));
        Entry& entry =
            model.insertOrdered(&scope, code, nested ? std::string_view() : held.text(), DSC_VALUE, key, origin);
        auto& data = entry.data<ValueData>();
        data.node = nested ? &element : &held;
        data.element = true;
        data.lowerIndex = lower;
        data.upperIndex = upper;
        if (nested) {
            value(held, model.makeScope(*entry.descriptor, &scope));
        }
    }

    Model& model;
    const Origin& origin;
    std::string_view variable;
    bool outOfRangeReported = false;
};

void Analysis::analyseVar(const SyntaxNode& node, Block& block, const Origin& origin)
{
    const std::string variable = trimmedExpressionText(node.c0());
    const SyntaxNode& check = present(node.c1(), node);
    std::string text;
    switch (check.kind) {
    case STX_INIT_TEXT:
    case STX_EV_TEXT: text = check.textOrEmpty(); break;
    case STX_EV_EQ:
        text.reserve(variable.size() + 5);
        text.append("EV=(").append(variable).append(")");
        break;
    default: unexpected(check);
    }
    std::optional<ValueTree> tree = analyseValue(variable, text, block.cScope, origin.fileName, origin.line);
    if (!tree) {
        return;
    }
    Entry& entry = model.append(block.scope, ENT_VAR, variable, origin);
    Descriptor& descriptor = model.attach(entry, DSC_VAR);
    auto& data = descriptor.as<VarData>();
    data.check = model.keep(text);
    data.message = model.findGlobal(ENT_MESSAGE_VAR, variable);
    const std::string_view keyword = tree->keyword();
    data.mode = keyword == "INIT" ? CheckMode::Init : keyword == "VA" ? CheckMode::Value : CheckMode::Expected;
    if (const VariableFormat* format = formatOf(variable, block.cScope)) {
        data.formatCode = format->formatCode;
    }
    data.tree = std::move(*tree);
    ValueEntries(model, origin, variable).value(data.tree.root(), model.makeScope(descriptor, block.scope));
}

}  // namespace qvm::script::sem
