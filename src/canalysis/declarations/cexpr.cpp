// C expressions of the test script: reading them into typed trees.
#include "canalysis/declarations/cexpr.h"

#include "canalysis/declarations/cgloba.h"
#include "canalysis/ctypesizes.h"
#include "canalysis/constants/cvalue.h"
#include "diag/i18nutil.h"
#include "y3_tab.tab.h"

#include <algorithm>
#include <cstdio>

namespace qvm::canalysis {

namespace {

struct ExpressionTable {
    SymbolTable* table = nullptr;
    Ident scope = nullptr;
};

ExpressionTable& expressionTable()
{
    static ExpressionTable current;
    return current;
}

}  // namespace

ExprNode* ExprTree::make(ExprKind kind)
{
    nodes.push_back(std::make_unique<ExprNode>());
    nodes.back()->kind = kind;
    return nodes.back().get();
}

void C_CPP_set_expression_table(SymbolTable* table, std::string_view scope)
{
    expressionTable() = {table, scopeIdent(scope)};
}

namespace expr {

namespace {

// Counts the levels of an operand within the node that holds it.
void nestInto(ExprNode& holder, const ExprNode& operand)
{
    const bool parenthesis = holder.kind == kExprParenthesised;
    holder.depth = std::max(holder.depth, operand.depth + (parenthesis ? 0 : 1));
    holder.parentheses = std::max(holder.parentheses, operand.parentheses + (parenthesis ? 1 : 0));
    holder.height = std::max(holder.height, operand.height + 1);
}

}  // namespace

ExprNode* node(ExprParse& parse, ExprKind kind, ExprNode* a, ExprNode* b, ExprNode* c)
{
    ExprNode* result = parse.tree->make(kind);
    result->child[0] = a;
    result->child[1] = b;
    result->child[2] = c;
    for (const ExprNode* operand : {a, b, c}) {
        if (operand != nullptr) {
            nestInto(*result, *operand);
        }
    }
    result->file = parse.lex->fileIdent();
    result->line = parse.lex->line;
    return result;
}

namespace {

void setIntegerOfInt(ExprNode& constant, int value)
{
    constant.kind = kExprInteger;
    constant.constant = CConstant{};
    pint_from_int(constant.constant.value, value);
    constant.constant.size = -typeSizes().intBits;
    constant.constant.text = std::to_string(value);
}

}  // namespace

// A unary operation; on an integer or floating constant, +, -, ~ and ! are
// folded into the constant (its text keeps the operator), else a new node.
ExprNode* unary(ExprParse& parse, int op, ExprNode* operand)
{
    if (operand != nullptr && operand->kind == kExprInteger) {
        CConstant& value = operand->constant;
        switch (op) {
        case '+':
            return operand;
        case '-': {
            PInt zero;
            pint_sub(value.value, zero, value.value);
            value.text = "-" + value.text;
            return operand;
        }
        case '~':
            pint_not(value.value, value.value);
            value.text = "~" + value.text;
            return operand;
        case '!':
            setIntegerOfInt(*operand, value.value.isZero() ? 1 : 0);
            return operand;
        default:
            break;
        }
    }
    if (operand != nullptr && operand->kind == kExprFloating) {
        CConstant& value = operand->constant;
        switch (op) {
        case '+':
            return operand;
        case '-':
            if (!value.floating.isZero()) {
                value.floating.sign = value.floating.sign != 0 ? 0 : 1;
            }
            value.text = "-" + value.text;
            return operand;
        case '!':
            setIntegerOfInt(*operand, value.floating.isZero() ? 1 : 0);
            return operand;
        default:
            break;
        }
    }
    ExprNode* result = node(parse, kExprUnary, operand);
    result->op = op;
    return result;
}

ExprNode* binary(ExprParse& parse, int op, ExprNode* left, ExprNode* right)
{
    ExprNode* result = node(parse, kExprBinary, left, right);
    result->op = op;
    return result;
}

ExprNode* refused(ExprParse& parse, const char* code, ExprNode* operand)
{
    reportLex(CWarning, code, C_CPP_expr_image(operand));
    return node(parse, kExprError);
}

ExprNode* badRange(ExprParse& parse)
{
    reportLex(CWarning, "SYNTAXERR", diag::trLocal("Warning Parameter", "[min..max]"));
    return node(parse, kExprError);
}

ExprNode* setOperand(ExprNode* cast, ExprNode* operand)
{
    cast->child[0] = operand;
    nestInto(*cast, *operand);
    return cast;
}

ExprNode* joinStrings(ExprNode* first, const ExprNode* second)
{
    CConstant& joined = first->constant;
    joined.name = base::ident(base::identText(joined.name) + base::identText(second->constant.name));
    joined.text += " " + second->constant.text;
    joined.wide = joined.wide || second->constant.wide;
    return first;
}

ExprNode* append(ExprNode* list, ExprNode* item)
{
    list->depth = std::max(list->depth, item->depth);
    list->parentheses = std::max(list->parentheses, item->parentheses);
    list->height = std::max(list->height, item->height);
    ExprNode* last = list;
    while (last->next != nullptr) {
        last = last->next;
    }
    last->next = item;
    return list;
}

TypePtr typeOfTypeName(ExprParse& parse, std::string_view text)
{
    if (parse.table == nullptr) {
        return nullptr;
    }
    const LexContext* lex = parse.lex;
    return C_CPP_type_of_type_name(text, *parse.table, base::identText(parse.scope), lex->fileName, lex->line);
}

}  // namespace expr

std::unique_ptr<ExprTree> C_CPP_parse_expr(std::string_view text, std::string_view file, int line,
                                           const DiagnosticCallback& callback)
{
    installCallback(callback);
    auto tree = std::make_unique<ExprTree>();
    // Room for the nodes of most expressions at once (hardly one node per
    // character), so that the list is not grown node after node.
    constexpr std::size_t kNodesAtOnce = 32;
    tree->nodes.reserve(std::min(text.size() / 2 + 1, kNodesAtOnce));
    LexScope lexScope(text, file, line);
    ExprParse parse;
    parse.lex = &lexScope.context();
    parse.tree = tree.get();
    parse.table = expressionTable().table;
    parse.scope = expressionTable().scope;
    if (cexprparse(parse) != 0 && tree->root == nullptr) {
        tree->root = tree->make(kExprError);
        tree->root->file = base::ident(file);
        tree->root->line = line;
    }
    if (tree->root == nullptr) {
        return nullptr;
    }
    if (tree->root->depth - 1 > kMaxExprDepth || tree->root->parentheses > kMaxExprDepth) {
        reportLex(CWarning, "EXPERRONE", "");
        tree->root = tree->make(kExprError);
        tree->root->file = base::ident(file);
        tree->root->line = line;
    }
    installCallback(callback);
    return tree;
}

void C_CPP_free_expr(std::unique_ptr<ExprTree>& tree)
{
    tree.reset();
}

namespace {

std::string nodeImage(const ExprNode* node);

const char* operatorText(int op)
{
    switch (op) {
    case kOpShiftLeft: return "<<";
    case kOpShiftRight: return ">>";
    case kOpLessEqual: return "<=";
    case kOpGreaterEqual: return ">=";
    case kOpEqual: return "==";
    case kOpNotEqual: return "!=";
    case kOpAnd: return "&&";
    case kOpOr: return "||";
    case kOpArrow: return "->";
    default: return nullptr;
    }
}

std::string operatorImage(int op)
{
    if (const char* text = operatorText(op)) {
        return text;
    }
    return std::string(1, static_cast<char>(op));
}

std::string escaped(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        switch (c) {
        case '\n': result += "\\n"; break;
        case '\t': result += "\\t"; break;
        case '\r': result += "\\r"; break;
        case '"': result += "\\\""; break;
        case '\\': result += "\\\\"; break;
        default:
            if (static_cast<unsigned char>(c) < 32 || c == 127) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\%03o", static_cast<unsigned char>(c));
                result += buffer;
            } else {
                result += c;
            }
        }
    }
    return result;
}

std::string integerImage(const CConstant& constant)
{
    if (constant.isChar && constant.text.size() >= 3 && constant.text.front() == '\'') {
        return constant.text;
    }
    std::string text;
    pint_image(constant.value, kImageDecimal, 0, text);
    if (constant.size > 0) {
        text += "U";
    }
    if (constant.lengthClass == kLengthLong) {
        text += "L";
    } else if (constant.lengthClass == kLengthLongLong) {
        text += "LL";
    }
    return text;
}

std::string listImage(const ExprNode* first)
{
    std::string text;
    for (const ExprNode* item = first; item != nullptr; item = item->next) {
        if (item != first) {
            text += ", ";
        }
        text += nodeImage(item);
    }
    return text;
}

}  // namespace

std::string C_CPP_expr_image(const ExprNode* node)
{
    if (node != nullptr && node->height > kShallowTree) {
        std::string image;
        runOnDeepStack([&image, node] { image = nodeImage(node); });
        return image;
    }
    return nodeImage(node);
}

namespace {

// The C text of a tree as the generated program writes it: binary operators
// between blanks, conditionals parenthesised, constants in their own form.
std::string nodeImage(const ExprNode* node)
{
    if (node == nullptr) {
        return {};
    }
    const auto child = [node](int i) { return nodeImage(node->child[i]); };
    switch (node->kind) {
    case kExprInteger:
        return integerImage(node->constant);
    case kExprFloating:
        return node->constant.text;
    case kExprIdentifier:
        return base::identText(node->name);
    case kExprParenthesised:
        return "(" + child(0) + ")";
    case kExprIndex:
        return child(0) + "[" + child(1) + "]";
    case kExprSlice:
        return child(0) + "[" + child(1) + ".." + child(2) + "]";
    case kExprCall:
        return child(0) + "(" + listImage(node->child[1]) + ")";
    case kExprMember:
        return child(0) + (node->op == kOpArrow ? "->" : ".") + base::identText(node->name);
    case kExprUnary:
        return operatorImage(node->op) + child(0);
    case kExprBinary:
        return child(0) + " " + operatorImage(node->op) + " " + child(1);
    case kExprConditional:
        return "(" + child(0) + "?" + child(1) + ":" + child(2) + ")";
    case kExprCast:
        return "(" + C_CPP_type_image(node->type.get()) + ")" + child(0);
    case kExprSizeof:
        return "sizeof(" + (node->child[0] != nullptr ? child(0) : C_CPP_type_image(node->type.get())) + ")";
    case kExprList:
        return "{" + listImage(node->child[0]) + "}";
    case kExprString:
        return (node->constant.wide ? "L\"" : "\"") + escaped(base::identText(node->constant.name)) + "\"";
    case kExprRange:
        return "[" + child(0) + ".." + child(1) + "]";
    case kExprError:
        return {};
    }
    return {};
}

}  // namespace

}  // namespace qvm::canalysis
