// The value analysis of INIT=, EV= and VA= texts: macro expansion, reading,
// form checks and matching against the variable's type, and the dump of the
// value tree.
#include "canalysis/declarations/cexpr.h"
#include "canalysis/preprocessor/cprepr.h"
#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/panalc_value_detail.h"
#include "script/valuetree.h"

#include <algorithm>
#include <cctype>

namespace qvm::script {

namespace value {

TypedValue typeValueText(std::string_view text, const Place& place)
{
    canalysis::C_CPP_set_expression_table(&cSymbols(), place.scope);
    auto tree = canalysis::C_CPP_parse_expr(text, place.file, place.line, place.callback);
    if (!tree) {
        return {nullptr, kClassInt};
    }
    TypedValue typed;
    typed.type = canalysis::C_CPP_type_expr(*tree, place.file, place.line, place.scope, place.callback, cSymbols());
    const canalysis::ExprNode* root = tree->root;
    const bool nonNil = root->kind == canalysis::kExprIdentifier && base::identText(root->name) == "NONIL";
    typed.cls = nonNil ? kClassNonNil : expressionClassOfType(typed.type.get());
    return typed;
}

}  // namespace value

namespace {

using value::Place;

// The text after macro expansion on one line (the line markers of the
// preprocessor dropped). A value is one line of the script: a line end
// inside the text is a blank, so that nothing in it reads as a directive.
std::string expandMacros(std::string_view text, const Place& place)
{
    std::string line(text);
    std::ranges::replace_if(line, [](char c) { return c == '\n' || c == '\r'; }, ' ');
    line += '\n';
    std::string expanded;
    canalysis::C_CPP_prepro_buffer(line, 1, place.file, place.line, expanded, cMacros(), place.callback);
    std::string joined;
    std::size_t start = 0;
    while (start < expanded.size()) {
        std::size_t end = expanded.find('\n', start);
        if (end == std::string::npos) {
            end = expanded.size();
        }
        const std::string_view piece = value::trimmed(std::string_view(expanded).substr(start, end - start));
        if (!piece.empty() && piece.front() != '#') {
            joined += joined.empty() ? "" : " ";
            joined += piece;
        }
        start = end + 1;
    }
    return joined;
}

bool isPlainName(std::string_view text)
{
    return !text.empty() && std::isdigit(static_cast<unsigned char>(text.front())) == 0 &&
           std::ranges::all_of(text, [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
           });
}

unsigned reportedCount()
{
    return diag::errorCount() + diag::warningCount();
}

}  // namespace

std::optional<ValueTree> analyseValue(std::string_view variableText, std::string_view valueText,
                                      std::string_view scope, std::string_view file, int line)
{
    // The C analysis reports through the callback the bridge installed, or
    // straight to the diagnostics service; it is installed again afterwards,
    // as some requests below install a silent one.
    const canalysis::DiagnosticCallback& installed = canalysis::installedCallback();
    const canalysis::ScopedCallback restore(installed ? installed : canalysis::diagnosticsServiceCallback());
    const Place place{std::string(scope), std::string(file), line, canalysis::installedCallback()};
    setCContext(scope, file, line);
    const unsigned reportedBefore = reportedCount();

    ValueTree tree;
    const std::size_t equals = valueText.find('=');
    if (equals != std::string_view::npos) {
        tree.keyword = std::string(value::trimmed(valueText.substr(0, equals)));
    }
    const std::string_view written = equals == std::string_view::npos ? valueText : valueText.substr(equals + 1);

    const std::string variable = expandMacros(variableText, place);
    tree.variable = isPlainName(variable) ? variable : "(" + variable + ")";
    const value::TypedValue variableType = value::typeValueText(tree.variable, place);

    const std::string expanded = expandMacros(written, place);  // the syntax below views it
    std::optional<value::ValueSyntax> syntax = value::parseValueText(expanded, place);
    if (syntax && value::checkValueForm(*syntax, place)) {
        tree.root = value::matchValue(*syntax, variableType.type.get(), place);
    }
    if (reportedCount() != reportedBefore) {
        diag::reportLocated(diag::Error, "VARNOGOOD", value::trimmed(variableText), file, line);
        return std::nullopt;
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
    if (!node.fieldName.empty()) {
        line += " ." + node.fieldName;
    }
    if (node.kind == ValueKind::Array || node.kind == ValueKind::IndexRange) {
        line += node.others ? " OTHERS" : "";
        line += " [" + std::to_string(node.lowerIndex) + ".." + std::to_string(node.upperIndex) + "]";
    }
    if (node.kind == ValueKind::Bounded) {
        line += " [" + node.lowerValue + ".." + node.upperValue + "]";
    }
    if (!node.text.empty()) {
        line += " = " + node.text;
    }
    if (node.kind == ValueKind::Union && node.selectedMember >= 0) {
        line += " member " + std::to_string(node.selectedMember);
    }
    if (node.kind != ValueKind::IndexRange) {
        line += " (class " + std::to_string(node.cls) + ", " + node.typeImage + ")";
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
    for (const ValueNode& child : node.children) {
        dumpNode(child, depth + 1, out);
    }
}

}  // namespace

std::string dumpValueTree(const ValueTree& tree)
{
    std::string out = tree.keyword + " " + tree.variable + "\n";
    dumpNode(tree.root, 1, out);
    return out;
}

}  // namespace qvm::script
