// C expressions of the test script: the constants read by the expression
// lexer, the expression trees built by the expression grammar, their typing
// against the symbol table and their image as C text.
#pragma once

#include "canalysis/cerror.h"
#include "canalysis/declarations/ctabsy.h"
#include "canalysis/constants/mfmath.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::canalysis {

enum ConstantKind : int { kConstInteger = 0, kConstFloating = 1, kConstIdentifier = 2, kConstString = 16 };

// The length a constant's suffix (or its kind) gives; readers may use the numbers.
enum LengthClass : int { kLengthInt = 0, kLengthLong = 1, kLengthLongLong = 2 };

struct CConstant {
    ConstantKind kind = kConstInteger;
    PInt value;                // integers
    DFloat floating;           // floating values
    std::string text;          // token text (rewritten for characters)
    Ident name = nullptr;      // identifier name or resolved string text
    int size = 0;              // bits, negative when signed
    bool isChar = false;
    LengthClass lengthClass = kLengthInt;
    bool wide = false;
    bool isFloatSuffix = false;  // floating constant written with f or F
};

// Reads the first token of text with the expression lexer when it is a
// constant (number, character or string constant); reports its warnings.
std::optional<CConstant> C_CPP_read_constant(std::string_view text, std::string_view file, int line,
                                             const DiagnosticCallback& callback);

enum ExprKind : int {
    kExprInteger,
    kExprFloating,
    kExprIdentifier,
    kExprParenthesised,
    kExprIndex,
    kExprSlice,
    kExprCall,
    kExprMember,
    kExprUnary,
    kExprBinary,
    kExprConditional,
    kExprCast,
    kExprSizeof,
    kExprList,
    kExprString,
    kExprRange,
    kExprError,
};

// Operator codes: the character of a one-character operator, or one of these.
enum ExprOperator : int {
    kOpShiftLeft = 256,
    kOpShiftRight,
    kOpLessEqual,
    kOpGreaterEqual,
    kOpEqual,
    kOpNotEqual,
    kOpAnd,
    kOpOr,
    kOpArrow,
};

// Levels of operators, and of parentheses, nested in an expression (a tree
// holds one level of operands more); deeper expressions are refused as an
// error in the expression.
constexpr int kMaxExprDepth = 10000;
// Trees higher than this are walked on a stack of their own.
constexpr int kShallowTree = 400;

struct ExprNode {
    ExprKind kind = kExprError;
    ExprNode* child[3] = {nullptr, nullptr, nullptr};
    CConstant constant;
    Ident name = nullptr;
    int op = 0;
    ExprNode* next = nullptr;   // list link (arguments, list elements)
    Ident file = nullptr;
    int line = 0;
    int depth = 1;              // levels of operators and operands, parentheses aside
    int parentheses = 0;        // parentheses nested in the subtree
    int height = 1;             // nodes on the longest path down
    TypePtr type;               // cast and sizeof of a type
    // After typing: what the node designates.
    Symbol* symbol = nullptr;
    const Field* field = nullptr;
};

// An expression tree owns its nodes.
struct ExprTree {
    ExprNode* root = nullptr;
    std::vector<std::unique_ptr<ExprNode>> nodes;

    ExprNode* make(ExprKind kind);
};

// Whether the words of today's C and of its common extensions (_Bool,
// restrict, __int128, ...) are keywords of both lexers; off for the K&R
// dialect. Back on when the analysis is reset.
void C_CPP_set_modern_words(bool on);

// The symbol table and scope used to recognise casts and type names while
// expressions are read (the table of the run by default).
void C_CPP_set_expression_table(SymbolTable* table, std::string_view scope);

std::unique_ptr<ExprTree> C_CPP_parse_expr(std::string_view text, std::string_view file, int line,
                                           const DiagnosticCallback& callback);

TypePtr C_CPP_type_expr(ExprTree& tree, std::string_view file, int line, std::string_view scope,
                        const DiagnosticCallback& callback, SymbolTable& table);

void C_CPP_free_expr(std::unique_ptr<ExprTree>& tree);

// The types C_CPP_type_expr gives an enumeration constant (int) and a
// string constant of `length` characters (an array of char that holds them
// and the null character): a new type each.
TypePtr C_CPP_int_type();
TypePtr C_CPP_string_type(std::size_t length);

// The member of that name of a struct or union type, as `.` and `->` find
// it: a field of its own or of one of its unnamed struct or union members.
// None when there is none (or the type is no aggregate).
const Field* C_CPP_find_member(const CType* aggregate, Ident name);

std::string C_CPP_expr_image(const ExprNode* node);

}  // namespace qvm::canalysis
