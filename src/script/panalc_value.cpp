// The value analysis of INIT=, EV= and VA= texts: macro expansion, reading,
// form checks and matching against the variable's type, and the dump of the
// value tree.
#include "base/mfmemo.h"
#include "base/mstrin.h"
#include "canalysis/cerror.h"
#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/panalc_value_detail.h"
#include "script/plainexpr.h"
#include "script/pprepc.h"
#include "script/valuetree.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace qvm::script {

namespace value {

TypedValue typeValueText(std::string_view text, const Place& place)
{
    const TypedText typed = typeExpression(text, place.scope, place.file, place.line);
    if (!typed.parsed) {
        return {nullptr, kClassInt, std::nullopt};
    }
    return {typed.type, typed.nonNil ? kClassNonNil : expressionClassOfType(typed.type.get()), typed.constant};
}

TypedValue typeOperandText(std::string_view text, const Place& place)
{
    if (std::optional<PlainTyped> plain = typePlainExpression(text, place.scope)) {
        return {std::move(plain->type), plain->cls, std::nullopt};
    }
    return typeValueText(text, place);
}

// A declared name is typed like the full parse types it: its symbol's type.
TypedValue typeVariableText(std::string_view text, const Place& place)
{
    if (std::optional<PlainTyped> plain = typePlainExpression(text, place.scope); plain && plain->type) {
        return {std::move(plain->type), plain->cls, std::nullopt};
    }
    return typeValueText(text, place);
}

}  // namespace value

namespace {

using value::Place;

// The text after macro expansion, or nothing when the preprocessor
// reported an error. A value is one line of the script. The view is of the
// text itself, or of storage.
std::optional<std::string_view> expandMacros(std::string_view text, const Place& place, std::string& storage)
{
    return preprocessLineView(text, place.scope, place.line, storage);
}

// Letters, digits and '_' as the "C" locale the run keeps has them.
bool isPlainName(std::string_view text)
{
    return !text.empty() && !base::isDigit(text.front()) && std::ranges::all_of(text, [](char c) {
               return base::isAsciiLetter(c) || base::isDigit(c) || c == '_';
           });
}

// The variable as an operand of the checks: a name as it is, anything else
// in parentheses.
std::string asOperand(std::string_view variable)
{
    if (isPlainName(variable)) {
        return std::string(variable);
    }
    std::string operand;
    operand.reserve(variable.size() + 2);
    operand += '(';
    operand += variable;
    operand += ')';
    return operand;
}

// The keyword and the variable of a tree whose value was not matched.
void keepNamingTexts(std::string_view keyword, std::string_view variable, ValueTree& tree)
{
    const ValueTreeBlock block(1, 0, keyword, variable, 0, tree);
}

unsigned reportedCount()
{
    return diag::errorCount() + diag::warningCount();
}

// The generated checks index nested arrays with the counters I1 to I20,
// one per level of arrays.
constexpr int kIndexDepthLimit = 20;

}  // namespace

std::optional<ValueTree> analyseValue(std::string_view variableText, std::string_view valueText,
                                      std::string_view scope, std::string_view file, int line)
{
    // Some requests below install a silent callback in the C analysis; the
    // bridge's own is installed again afterwards.
    const canalysis::ScopedCallback restore(cDiagnostics());
    const Place place{scope, file, line, cDiagnostics()};
    setCContext(scope, file, line);
    const unsigned reportedBefore = reportedCount();

    ValueTree tree;
    const std::string_view keyword = valueKeyword(valueText);
    const std::size_t equals = valueText.find('=');
    const std::string_view written = equals == std::string_view::npos ? valueText : valueText.substr(equals + 1);

    std::string variableStorage;
    std::string writtenStorage;  // the syntax below views it
    const std::optional<std::string_view> variable = expandMacros(variableText, place, variableStorage);
    const std::optional<std::string_view> expanded = expandMacros(written, place, writtenStorage);
    std::string typed;  // the variable as the tree shows it
    bool matched = false;
    if (variable && expanded) {
        typed = asOperand(*variable);
        const value::TypedValue variableType = value::typeVariableText(typed, place);
        // The elements' room serves every value read on this thread.
        thread_local std::vector<value::ElementSyntax> elements;
        std::optional<value::ValueSyntax> syntax = value::parseValueText(*expanded, place, elements);
        if (syntax && value::checkValueForm(*syntax, place)) {
            const int arrays =
                value::matchValue(*syntax, {keyword, typed, *expanded}, variableType.type.get(), place, tree);
            matched = true;
            if (arrays > kIndexDepthLimit) {
                diag::reportLocated(diag::Error, "INDXDEPTH", value::trimmed(variableText), file, line);
            }
        }
        constexpr std::size_t kKeptElements = 1024;  // the room of an unusually long list goes back
        if (elements.capacity() > kKeptElements) {
            elements = {};
        }
    }
    if (reportedCount() != reportedBefore) {
        diag::reportLocated(diag::Error, "VARNOGOOD", value::trimmed(variableText), file, line);
        return std::nullopt;
    }
    if (!matched) {
        keepNamingTexts(keyword, typed, tree);
    }
    return tree;
}

namespace {

const char* kindName(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Scalar: return "scalar";
    case ValueKind::Bounded: return "bounded";
    case ValueKind::Array: return "array";
    case ValueKind::IndexRange: return "range";
    case ValueKind::Structure: return "structure";
    case ValueKind::Union: return "union";
    }
    return "?";
}

std::string nodeLine(const ValueNode& node)
{
    std::string line = kindName(node.kind);
    if (!node.fieldName().empty()) {
        line += " .";
        line += node.fieldName();
    }
    if (node.kind == ValueKind::Array || node.kind == ValueKind::IndexRange) {
        line += node.others ? " OTHERS" : "";
        line += " [" + std::to_string(node.lowerIndex) + ".." + std::to_string(node.upperIndex) + "]";
    }
    if (node.kind == ValueKind::Bounded) {
        line += " [";
        line += node.lowerValue();
        line += "..";
        line += node.upperValue();
        line += "]";
    }
    if (!node.text().empty()) {
        line += " = ";
        line += node.text();
    }
    if (node.kind == ValueKind::Union && node.selectedMember >= 0) {
        line += " member " + std::to_string(node.selectedMember);
    }
    if (node.kind != ValueKind::IndexRange) {
        line += " (class " + std::to_string(node.cls) + ", ";
        line += node.typeImage();
        line += ")";
    }
    if (node.wholeValue) {
        line += " whole";
    }
    return line;
}

void dumpNode(const ValueNode& node, int depth, std::string& out)
{
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += nodeLine(node);
    out += '\n';
    for (const ValueNode& child : node.children()) {
        dumpNode(child, depth + 1, out);
    }
}

}  // namespace

namespace {

// Where the naming texts of a tree lie in its block.
struct alignas(ValueNode) BlockHeader {
    std::uint32_t namingOffset;
    std::uint32_t keywordSize;
    std::uint32_t variableSize;
};
static_assert(sizeof(BlockHeader) % alignof(ValueNode) == 0, "the nodes follow the header");

const BlockHeader* headerOf(const std::unique_ptr<std::byte[]>& block)
{
    return std::launder(reinterpret_cast<const BlockHeader*>(block.get()));
}

}  // namespace

ValueTreeBlock::ValueTreeBlock(std::size_t nodes, std::size_t bounds, std::string_view keyword,
                               std::string_view variable, std::size_t valueChars, ValueTree& tree)
{
    const std::size_t nodeBytes = nodes * sizeof(ValueNode);
    const std::size_t boundBytes = bounds * sizeof(ValueBounds);
    static_assert(sizeof(ValueNode) % alignof(ValueBounds) == 0, "the bounds follow the nodes");
    const std::size_t namingOffset = sizeof(BlockHeader) + nodeBytes + boundBytes;
    const std::size_t blockBytes = namingOffset + keyword.size() + variable.size() + valueChars;
    if (blockBytes > std::numeric_limits<std::int32_t>::max()) {  // the nodes' distances are 32-bit
        base::memoryExhausted();
    }
    tree.block_ = std::make_unique_for_overwrite<std::byte[]>(blockBytes);
    std::byte* const start = tree.block_.get();
    ::new (static_cast<void*>(start)) BlockHeader{static_cast<std::uint32_t>(namingOffset),
                                                  static_cast<std::uint32_t>(keyword.size()),
                                                  static_cast<std::uint32_t>(variable.size())};
    auto* const firstNode = reinterpret_cast<ValueNode*>(start + sizeof(BlockHeader));
    auto* const firstBounds = reinterpret_cast<ValueBounds*>(start + sizeof(BlockHeader) + nodeBytes);
    std::uninitialized_value_construct_n(firstNode, nodes);
    std::uninitialized_value_construct_n(firstBounds, bounds);
    nodes_ = std::launder(firstNode);
    bounds_ = std::launder(firstBounds);
    char* const naming = reinterpret_cast<char*>(start + namingOffset);
    chars_ = std::copy(variable.begin(), variable.end(), std::copy(keyword.begin(), keyword.end(), naming));
}

void ValueNode::placeChildren(const ValueNode* first, std::size_t count)
{
    step_ = count == 0 ? 0 : static_cast<std::int32_t>(first - this);
    childCount = static_cast<std::uint32_t>(count);
}

void ValueNode::placeText(std::string_view text)
{
    textStep_ = text.empty() ? 0 : static_cast<std::uint32_t>(text.data() - bytes());
    textSize_ = static_cast<std::uint32_t>(text.size());
}

void ValueNode::placeBounds(const ValueBounds* bounds)
{
    step_ = static_cast<std::int32_t>(reinterpret_cast<const char*>(bounds) - bytes());
}

const ValueNode& ValueTree::root() const
{
    static const ValueNode none;
    return block_ ? *std::launder(reinterpret_cast<const ValueNode*>(block_.get() + sizeof(BlockHeader))) : none;
}

std::string_view ValueTree::keyword() const
{
    if (!block_) {
        return {};
    }
    const BlockHeader* header = headerOf(block_);
    return {reinterpret_cast<const char*>(block_.get() + header->namingOffset), header->keywordSize};
}

std::string_view ValueTree::variable() const
{
    if (!block_) {
        return {};
    }
    const BlockHeader* header = headerOf(block_);
    return {reinterpret_cast<const char*>(block_.get() + header->namingOffset + header->keywordSize),
            header->variableSize};
}

std::string_view valueKeyword(std::string_view valueText)
{
    const std::size_t equals = valueText.find('=');
    return equals == std::string_view::npos ? std::string_view() : value::trimmed(valueText.substr(0, equals));
}

std::vector<std::pair<long long, long long>> freeIndexRanges(const ValueNode& array)
{
    std::vector<std::pair<long long, long long>> taken;
    for (const ValueNode& element : array.children()) {
        if (!element.others) {
            taken.emplace_back(element.lowerIndex, element.upperIndex);
        }
    }
    std::sort(taken.begin(), taken.end());
    std::vector<std::pair<long long, long long>> free;
    long long next = array.lowerIndex;
    for (const auto& [lower, upper] : taken) {
        if (lower > next) {
            free.emplace_back(next, std::min(lower - 1, array.upperIndex));
        }
        next = std::max(next, upper + 1);
    }
    if (next <= array.upperIndex) {
        free.emplace_back(next, array.upperIndex);
    }
    return free;
}

std::string dumpValueTree(const ValueTree& tree)
{
    std::string out(tree.keyword());
    out += ' ';
    out += tree.variable();
    out += '\n';
    dumpNode(tree.root(), 1, out);
    return out;
}

}  // namespace qvm::script
