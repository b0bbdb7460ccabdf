// Type questions of the script analysis answered by the C analysis:
// expression and variable classes, type names, constness, C functions, the
// variables a C text declares, and context declarations.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script {

// Expression type classes of the test language.
enum ExpressionClass : int {
    kClassEnum = 0,
    kClassChar = 1,
    kClassInt = 2,
    kClassLong = 3,
    kClassFloat = 4,
    kClassDouble = 5,
    kClassString = 6,
    kClassCharArray = 7,
    kClassNonNil = 8,
    kClassPointer = 9,
    kClassStruct = 10,
    kClassArray = 11,
    kClassUnion = 12,
    kClassFunction = 13,
    kClassVoid = 14,
    kClassVariadic = 15,
    kClassUnspecified = 17,
    kClassNone = -1,
};

struct TypedExpression {
    int cls = kClassNone;      // ExpressionClass
    bool constant = false;     // const-qualified type
    long long elementCount = 0;  // arrays: element count read from the dimension text, 0 when unknown
    std::string typeImage;     // C text of the type
};

// Whether the two classes are compatible (expected class first).
bool compatibleClasses(int expected, int found);

// Whether a type definition of that name is known to the C analysis.
bool isTypeName(std::string_view name);

// Class of a C expression typed in a scope (after the global one).
TypedExpression expressionClass(std::string_view text, std::string_view scope, std::string_view file, int line);

// Class of a variable's declared type.
TypedExpression variableClass(std::string_view name, std::string_view scope, std::string_view file, int line);

// Whether the expression's type is const-qualified.
bool isConstantExpression(std::string_view text);

struct FunctionClasses {
    int returnClass = kClassNone;
    std::vector<int> parameterClasses;  // {14} for an empty list; 15 stands for "..."
};

// The C function of that name, or nothing when no function is known by it.
std::optional<FunctionClasses> lookupFunction(std::string_view name);

struct DeclaredVariable {
    std::string name;
    int cls = kClassNone;
};

// The variables that a C text declares, in order.
std::vector<DeclaredVariable> declarationList(std::string_view cText);

// Declaration text of the variable's "trv_ctx_" context name.
std::string contextDeclaration(std::string_view variable, bool flag);

}  // namespace qvm::script
