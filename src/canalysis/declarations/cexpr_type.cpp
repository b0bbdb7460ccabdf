// Typing of expression trees against the symbol table.
#include "canalysis/declarations/cexpr.h"

#include "canalysis/declarations/cgloba.h"
#include "canalysis/ctypesizes.h"

#include <array>
#include <cstdlib>
#include <unordered_set>
#include <vector>

namespace qvm::canalysis {

namespace {

bool isInteger(const CType* type)
{
    return type == nullptr || type->kind == kBasic || type->kind == kEnum;
}

bool isArithmetic(const CType* type)
{
    return isInteger(type) || type->kind == kFloating;
}

bool isAggregate(const CType* type)
{
    return type != nullptr && (type->kind == kStruct || type->kind == kUnion);
}

bool isScalar(const CType* type)
{
    return isArithmetic(type) || type->kind == kPointer || type->kind == kArray;
}

TypePtr basicNamed(const char* name, int size, bool isChar = false)
{
    CType part;
    part.name = base::ident(name);
    part.size = size;
    part.isChar = isChar;
    return C_CPP_new_type(kBasic, std::move(part));
}

TypePtr intType()
{
    return basicNamed("int", -typeSizes().intBits);
}

TypePtr integerConstantType(const CConstant& constant)
{
    if (constant.isChar) {
        return basicNamed(constant.size > 0 ? "unsigned char" : "char", constant.size, true);
    }
    static const char* const names[2][3] = {{"int", "long", "long long"},
                                             {"unsigned int", "unsigned long", "unsigned long long"}};
    const LengthClass lengthClass =
        constant.lengthClass < kLengthInt || constant.lengthClass > kLengthLongLong ? kLengthInt : constant.lengthClass;
    const int size =
        lengthClass == kLengthLongLong ? typeSizes().longLongBits * (constant.size < 0 ? -1 : 1) : constant.size;
    return basicNamed(names[constant.size > 0 ? 1 : 0][lengthClass], size);
}

// Types the nodes of an expression tree against a symbol table and scope,
// reporting at the given position what the operands do not allow.
class Typer {
public:
    Typer(std::string_view file, int line, Ident scope, SymbolTable& table)
        : file_(file), line_(line), scope_(scope), table_(table)
    {
    }

    // The type of a node after its operands are typed (none for an error);
    // a node that designates a symbol or field records it.
    TypePtr type(ExprNode* node)
    {
        if (node == nullptr) {
            return nullptr;
        }
        switch (node->kind) {
        case kExprInteger:
            return integerConstantType(node->constant);
        case kExprFloating: {
            CType part;
            part.name = base::ident(node->constant.isFloatSuffix ? "float" : "double");
            return C_CPP_new_type(kFloating, std::move(part));
        }
        case kExprString:
            return C_CPP_string_type(base::identText(node->constant.name).size());
        case kExprIdentifier:
            return identifier(node);
        case kExprParenthesised:
            return type(node->child[0]);
        case kExprIndex:
        case kExprSlice:
            return indexed(node);
        case kExprCall:
            return call(node);
        case kExprMember:
            return member(node);
        case kExprUnary:
            return unary(node);
        case kExprBinary:
            return binary(node);
        case kExprConditional:
            check(node->child[0], isScalar, "OPERSCALA");
            type(node->child[2]);
            return type(node->child[1]);
        case kExprCast:
            type(node->child[0]);
            return node->type;
        case kExprSizeof: {
            type(node->child[0]);
            const auto [name, bits] = typeSizes().sizeofResult();
            return basicNamed(name, bits);
        }
        case kExprList:
            return list(node);
        case kExprRange:
            type(node->child[1]);
            return type(node->child[0]);
        case kExprError:
            return nullptr;
        }
        report(CInternal, "ERRINTERN", "expression type search", file_, line_);
        return nullptr;
    }

private:
    std::string file_;
    int line_;
    Ident scope_;
    SymbolTable& table_;

    void warn(const char* code, std::string_view argument) { report(CWarning, code, argument, file_, line_); }

    TypePtr identifier(ExprNode* node)
    {
        Symbol* symbol = nullptr;
        for (SymbolTable* table = &table_; table != nullptr && symbol == nullptr; table = table->parent) {
            symbol = table->find(node->name, scope_);
        }
        if (symbol != nullptr && (symbol->storage & kTypedef) == 0) {
            node->symbol = symbol;
            return symbol->type ? symbol->type : intType();
        }
        if (findEnumerationConstant(node->name) != nullptr) {
            return intType();
        }
        warn("IDENTIINC", base::identText(node->name));
        return nullptr;
    }

    // Checks an operand's type with a predicate; the type is returned.
    TypePtr check(ExprNode* operand, bool (*accepted)(const CType*), const char* code)
    {
        TypePtr operandType = type(operand);
        if (operand != nullptr && operand->kind != kExprError && !accepted(C_CPP_resolve(operandType.get()))) {
            warn(code, C_CPP_expr_image(operand));
        }
        return operandType;
    }

    TypePtr indexed(ExprNode* node)
    {
        const TypePtr base = type(node->child[0]);
        type(node->child[1]);
        type(node->child[2]);
        const CType* resolved = C_CPP_resolve(base.get());
        if (resolved == nullptr || (resolved->kind != kArray && resolved->kind != kPointer)) {
            if (node->child[0] != nullptr && node->child[0]->kind != kExprError) {
                warn("NONTABLEA", C_CPP_expr_image(node->child[0]));
            }
            return nullptr;
        }
        return resolved->target;
    }

    TypePtr call(ExprNode* node)
    {
        const TypePtr callee = type(node->child[0]);
        for (ExprNode* argument = node->child[1]; argument != nullptr; argument = argument->next) {
            type(argument);
        }
        const CType* resolved = C_CPP_resolve(callee.get());
        if (resolved != nullptr && resolved->kind == kPointer) {
            resolved = C_CPP_resolve(resolved->target.get());
        }
        if (resolved == nullptr || resolved->kind != kFunction) {
            if (node->child[0] != nullptr && node->child[0]->kind != kExprError) {
                warn("NONFONCTI", C_CPP_expr_image(node->child[0]));
            }
            return nullptr;
        }
        return resolved->target ? resolved->target : intType();
    }

    TypePtr member(ExprNode* node)
    {
        const TypePtr base = type(node->child[0]);
        if (node->child[0] != nullptr && node->child[0]->kind == kExprError) {
            return nullptr;
        }
        const CType* resolved = C_CPP_resolve(base.get());
        const std::string image = C_CPP_expr_image(node->child[0]);
        if (node->op == kOpArrow) {
            const CType* pointed = resolved != nullptr && (resolved->kind == kPointer || resolved->kind == kArray)
                                       ? C_CPP_resolve(resolved->target.get())
                                       : nullptr;
            if (!isAggregate(pointed)) {
                warn("NOPOSTRUC", image);
                return nullptr;
            }
            resolved = pointed;
        } else if (!isAggregate(resolved)) {
            const CType* pointed =
                resolved != nullptr && resolved->kind == kPointer ? C_CPP_resolve(resolved->target.get()) : nullptr;
            warn(isAggregate(pointed) ? "POINSTRUC" : "INVCHASTR", image);
            return nullptr;
        }
        if (const Field* field = C_CPP_find_member(resolved, node->name)) {
            node->field = field;
            return field->type ? field->type : intType();
        }
        warn("CHAMPINCO", base::identText(node->name));
        return nullptr;
    }

    TypePtr unary(ExprNode* node)
    {
        switch (node->op) {
        case '*': {
            const TypePtr operand = type(node->child[0]);
            const CType* resolved = C_CPP_resolve(operand.get());
            if (resolved == nullptr || (resolved->kind != kPointer && resolved->kind != kArray)) {
                if (node->child[0] != nullptr && node->child[0]->kind != kExprError) {
                    warn("NONPOINTE", C_CPP_expr_image(node->child[0]));
                }
                return nullptr;
            }
            return resolved->target;
        }
        case '&': {
            CType part;
            part.target = type(node->child[0]);
            return C_CPP_new_type(kPointer, std::move(part));
        }
        case '~':
            return check(node->child[0], isInteger, "OPERENTIE");
        case '!':
            check(node->child[0], isScalar, "OPERSCALA");
            return intType();
        default:
            return check(node->child[0], isArithmetic, "OPERARITH");
        }
    }

    // The usual arithmetic conversions: the type both operands are brought to.
    static TypePtr arithmeticResult(const TypePtr& left, const TypePtr& right)
    {
        const CType* a = C_CPP_resolve(left.get());
        const CType* b = C_CPP_resolve(right.get());
        const bool floatingA = a != nullptr && a->kind == kFloating;
        const bool floatingB = b != nullptr && b->kind == kFloating;
        if (floatingA || floatingB) {
            if (floatingA && floatingB) {
                return floatingRank(a) >= floatingRank(b) ? left : right;
            }
            return floatingA ? left : right;
        }
        const IntegerType x = promoted(a, left);
        const IntegerType y = promoted(b, right);
        if (x.isUnsigned() == y.isUnsigned()) {
            return atLeast(x, y) ? x.type : y.type;
        }
        const IntegerType& unsignedOne = x.isUnsigned() ? x : y;
        const IntegerType& signedOne = x.isUnsigned() ? y : x;
        if (atLeast(unsignedOne, signedOne)) {
            return unsignedOne.type;
        }
        if (std::abs(signedOne.size) > std::abs(unsignedOne.size)) {
            return signedOne.type;
        }
        return integerNamed(signedOne.rank, true);
    }

    // Long double above double above float.
    static int floatingRank(const CType* type)
    {
        const std::string name = base::identText(type->name);
        return name.find("long") != std::string::npos ? 2 : name.find("double") != std::string::npos ? 1 : 0;
    }

    enum Rank { kRankBool, kRankChar, kRankShort, kRankInt, kRankLong, kRankLongLong, kRankInt128 };

    struct IntegerType {
        TypePtr type;
        int size = 0;  // bits, negative when signed
        Rank rank = kRankInt;
        bool isUnsigned() const { return size > 0; }
    };

    // Whether a ranks at least as high as b: the wider type, and between
    // types of one width (int and long by default) the one of higher rank.
    static bool atLeast(const IntegerType& a, const IntegerType& b)
    {
        const int widthA = std::abs(a.size);
        const int widthB = std::abs(b.size);
        return widthA != widthB ? widthA > widthB : a.rank >= b.rank;
    }

    static Rank rankOf(const CType& type)
    {
        const std::string name = base::identText(type.name);
        if (name.find("_Bool") != std::string::npos) {
            return kRankBool;
        }
        if (name.find("__int128") != std::string::npos) {
            return kRankInt128;
        }
        const std::size_t longWord = name.find("long");
        if (longWord != std::string::npos) {
            return name.find("long", longWord + 4) != std::string::npos ? kRankLongLong : kRankLong;
        }
        if (type.isChar || name.find("char") != std::string::npos) {
            return kRankChar;
        }
        return name.find("short") != std::string::npos ? kRankShort : kRankInt;
    }

    static TypePtr integerNamed(Rank rank, bool isUnsigned)
    {
        static const char* const names[2][4] = {{"int", "long", "long long", "__int128"},
                                                 {"unsigned int", "unsigned long", "unsigned long long",
                                                  "unsigned __int128"}};
        const TypeSizes& sizes = typeSizes();
        const int column = rank == kRankInt128 ? 3 : rank == kRankLongLong ? 2 : rank == kRankLong ? 1 : 0;
        const int bits = std::array<int, 4>{sizes.intBits, sizes.longBits, sizes.longLongBits, 128}[column];
        return basicNamed(names[isUnsigned ? 1 : 0][column], isUnsigned ? bits : -bits);
    }

    // The integer promotions: a type below int becomes int, or unsigned int
    // when int cannot hold all its values; enumerations are int.
    static IntegerType promoted(const CType* resolved, const TypePtr& type)
    {
        const int intBits = typeSizes().intBits;
        if (resolved == nullptr || resolved->kind != kBasic) {
            return {intType(), -intBits, kRankInt};
        }
        const Rank rank = rankOf(*resolved);
        if (rank >= kRankInt && std::abs(resolved->size) >= intBits) {
            return {type, resolved->size, rank};
        }
        const bool isUnsigned = resolved->size >= intBits;
        return {integerNamed(kRankInt, isUnsigned), isUnsigned ? intBits : -intBits, kRankInt};
    }

    // A binary operation: operands checked for the operator's kind
    // (scalar, arithmetic, integer), comparisons give int, pointer arithmetic
    // keeps the pointer, else the usual arithmetic conversions.
    TypePtr binary(ExprNode* node)
    {
        const int op = node->op;
        bool (*accepted)(const CType*) = isScalar;
        const char* code = "OPERSCALA";
        if (op == '*' || op == '/') {
            accepted = isArithmetic;
            code = "OPERARITH";
        } else if (op == '%' || op == '&' || op == '|' || op == '^' || op == kOpShiftLeft || op == kOpShiftRight) {
            accepted = isInteger;
            code = "OPERENTIE";
        }
        const TypePtr left = check(node->child[0], accepted, code);
        const TypePtr right = check(node->child[1], accepted, code);
        switch (op) {
        case '<': case '>': case kOpLessEqual: case kOpGreaterEqual: case kOpEqual: case kOpNotEqual:
        case kOpAnd: case kOpOr:
            return intType();
        case kOpShiftLeft: case kOpShiftRight:
            return promoted(C_CPP_resolve(left.get()), left).type;
        default:
            break;
        }
        const CType* a = C_CPP_resolve(left.get());
        const CType* b = C_CPP_resolve(right.get());
        const bool pointerA = a != nullptr && (a->kind == kPointer || a->kind == kArray);
        const bool pointerB = b != nullptr && (b->kind == kPointer || b->kind == kArray);
        if (pointerA && pointerB) {
            return op == '-' ? basicNamed("long", -typeSizes().longBits) : left;
        }
        if (pointerA) {
            return left;
        }
        if (pointerB) {
            return right;
        }
        return arithmeticResult(left, right);
    }

    static bool sameKind(const CType* a, const CType* b)
    {
        const auto family = [](const CType* type) {
            return type == nullptr || type->kind == kBasic || type->kind == kEnum ? kBasic : type->kind;
        };
        return family(a) == family(b);
    }

    TypePtr list(ExprNode* node)
    {
        TypePtr first;
        int count = 0;
        for (ExprNode* item = node->child[0]; item != nullptr; item = item->next) {
            TypePtr itemType = type(item);
            if (count++ == 0) {
                first = itemType;
            } else if (!sameKind(C_CPP_resolve(first.get()), C_CPP_resolve(itemType.get()))) {
                warn("TYPESDIFF", C_CPP_expr_image(node));
                first = nullptr;
                break;
            }
        }
        CType array;
        array.target = first;
        array.dimension = base::ident(std::to_string(count));
        return C_CPP_new_type(kArray, std::move(array));
    }
};

}  // namespace

// Each body is searched once, so bodies shared or holding themselves end
// the search.
namespace {

// The field of that name among the aggregate's own; whether it has unnamed
// struct or union members to search as well.
const Field* ownMember(const Aggregate& body, Ident name, bool& unnamedAggregates)
{
    unnamedAggregates = false;
    for (const Field& field : body.fields) {
        if (field.name == name) {
            return &field;
        }
        unnamedAggregates = unnamedAggregates || (field.name == nullptr && isAggregate(C_CPP_resolve(field.type.get())));
    }
    return nullptr;
}

}  // namespace

const Field* C_CPP_find_member(const CType* aggregate, Ident name)
{
    if (!isAggregate(aggregate)) {
        return nullptr;
    }
    // Most aggregates have no unnamed members: their own fields decide.
    if (aggregate->aggregate != nullptr) {
        bool unnamedAggregates = false;
        if (const Field* own = ownMember(*aggregate->aggregate, name, unnamedAggregates)) {
            return own;
        }
        if (!unnamedAggregates) {
            return nullptr;
        }
    }
    std::vector<const Aggregate*> pending{aggregate->aggregate};
    std::unordered_set<const Aggregate*> searched;
    while (!pending.empty()) {
        const Aggregate* body = pending.back();
        pending.pop_back();
        if (body == nullptr || !searched.insert(body).second) {
            continue;
        }
        for (const Field& field : body->fields) {
            if (field.name == name) {
                return &field;
            }
        }
        // The first unnamed member is searched first.
        for (auto field = body->fields.rbegin(); field != body->fields.rend(); ++field) {
            const CType* inner = field->name == nullptr ? C_CPP_resolve(field->type.get()) : nullptr;
            if (isAggregate(inner)) {
                pending.push_back(inner->aggregate);
            }
        }
    }
    return nullptr;
}

TypePtr C_CPP_int_type()
{
    return intType();
}

TypePtr C_CPP_string_type(std::size_t length)
{
    const TypeSizes& sizes = typeSizes();
    CType array;
    array.target = basicNamed("char", sizes.charUnsigned ? sizes.charBits : -sizes.charBits, true);
    array.dimension = base::ident(std::to_string(length + 1));
    return C_CPP_new_type(kArray, std::move(array));
}

TypePtr C_CPP_type_expr(ExprTree& tree, std::string_view file, int line, std::string_view scope,
                        const DiagnosticCallback& callback, SymbolTable& table)
{
    installCallback(callback);
    Typer typer(file, line, scopeIdent(scope), table);
    if (tree.root != nullptr && tree.root->height > kShallowTree) {
        TypePtr type;
        runOnDeepStack([&type, &typer, &tree] { type = typer.type(tree.root); });
        return type;
    }
    return typer.type(tree.root);
}

}  // namespace qvm::canalysis
