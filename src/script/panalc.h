// Type questions of the script analysis answered by the C analysis:
// expression and variable classes, type names, constness, C functions, the
// variables a C text declares, and context declarations.
#pragma once

#include "canalysis/declarations/cconvert.h"
#include "script/ctypefacts.h"
#include "script/exprclass.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script {

struct TypedExpression {
    int cls = kClassNone;      // ExpressionClass
    bool constant = false;     // const-qualified type
    long long elementCount = 0;  // arrays: element count read from the dimension text, 0 when unknown
    std::string typeImage;     // C text of the type
};

// The number of elements an array dimension text gives: a plain number is
// read as it is, anything else is evaluated as a constant expression; 0 when
// empty or not a constant (sizeof, names).
long long elementCountOf(std::string_view dimension);

// Whether the two classes are compatible (expected class first).
bool compatibleClasses(int expected, int found);

// Every operation below first sets the current C context (ancgest.h): from
// its arguments where it takes a scope, file and line, else it works in the
// current one. Texts are typed as given: callers expand macros first
// (preprocessText).

// Whether a type definition of that name is known to the C analysis (in the
// current scope or the global one), or the name is an arithmetic type
// written in words ("int", "unsigned long": a connection identifier is often
// one). Variables, functions and tags alone are no type names.
bool isTypeName(std::string_view name);
// Whether a type written as a C declaration writes it ("const char *",
// "struct ring *", "unsigned long") names a known type: one word as
// isTypeName; several words or stars as the C analysis reads them, with
// every struct, union or enum tag declared.
bool isWrittenTypeName(std::string_view text);

// Class of a C expression typed in a scope (after the global one). A text
// that does not parse counts as an expression without type (class 2); the
// C analysis has reported why.
TypedExpression expressionClass(std::string_view text, std::string_view scope, std::string_view file, int line);

// Class of a variable's declared type; class -1 and an empty image when no
// variable of that name is known in the scope or the global scope.
TypedExpression variableClass(std::string_view name, std::string_view scope, std::string_view file, int line);

// Whether a const qualifier stands in the expression's type, through
// pointers, arrays and type names ("const char *" and a typedef of a const
// type are constant). Typed in the current C context.
bool isConstantExpression(std::string_view text);

struct FunctionClasses {
    const canalysis::CType* type = nullptr;  // the function's type, held by the symbol tables
    int returnClass = kClassNone;
    // {14} for "()" and "(void)"; 15 stands for "..."; 17 for a name of an
    // identifier list that no declaration gives a type.
    std::vector<int> parameterClasses;
};

// The C function of that name (a function, or a variable pointing to one) in
// the current scope or the global one; nothing when no function is known by it.
std::optional<FunctionClasses> lookupFunction(std::string_view name);

// Whether a numeric constant keeps its bits in the return type of the C
// function of that name, to which a result check casts both sides; true
// when no function is known by the name.
bool returnTypeKeeps(std::string_view function, const canalysis::CConstant& constant);

// The same for the parameter at index (from 0) of the C function of that
// name, or, for a reference, for what the parameter points to; true when
// the function gives that parameter no type.
bool parameterTypeKeeps(std::string_view function, std::size_t index, bool reference,
                        const canalysis::CConstant& constant);

// Whether a numeric constant keeps its value in the type of an expression
// (macros expanded): as compilers judge an assignment to it, or, with
// asBits, as a check that casts both sides compares; true when the
// expression has no type.
bool objectTypeKeeps(std::string_view expandedObject, const canalysis::CConstant& constant, bool asBits);

// The declaration of a variable that can hold what the C function of that
// name returns: its return type without qualifiers ("point_t v;"); "" when
// no function is known by the name.
std::string returnVariableDeclaration(std::string_view function, std::string_view variable);

// How an argument passes to a parameter of a C function, with the C texts
// of both types for the report.
struct ArgumentJudgement {
    int argumentClass = kClassNone;  // the class of the argument's text (a REF's too)
    canalysis::Conversion conversion = canalysis::Conversion::Silent;
    std::string argumentType;   // the type passed ("T *" for REF(x) of a T x)
    std::string parameterType;  // the parameter's type as declared
};

// Judges an argument, macros expanded, passed to the parameter at index
// (from 0) of a C function (its type as lookupFunction gives it), in the
// current C context; a REF argument passes the address of what it names.
// Nothing when the function gives that parameter no type (the variadic
// part, a function without prototype). An argument that does not parse
// passes silently (the C analysis has reported why) with the class of an
// expression without type.
std::optional<ArgumentJudgement> judgeArgument(const canalysis::CType& function, std::size_t index,
                                               std::string_view expandedArgument, bool reference);

struct DeclaredVariable {
    std::string name;
    int cls = kClassNone;
};

// The variables (neither type definitions nor functions) that a C text
// declares in its global scope, in order. The text is preprocessed and read
// in a table of its own that knows the run's global type names; the run's
// table is left as it was and nothing is reported (the run reported on the
// text when it declared it).
std::vector<DeclaredVariable> declarationList(std::string_view cText);

// Declaration text of the variable's context "trv_ctx_<name>": the
// variable's own type ("long trv_ctx_n;", "char trv_ctx_s[8];"), or a
// pointer to that type when asPointer is set ("char (*trv_ctx_s)[8];");
// "int trv_ctx_<name>;" when the variable is unknown or has no type. The
// variable is looked up in the current C scope, then the global one.
std::string contextDeclaration(std::string_view variable, bool asPointer);

}  // namespace qvm::script
