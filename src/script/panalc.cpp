#include "script/panalc.h"

namespace qvm::script {

bool compatibleClasses(int expected, int found)
{
    const auto isPointer = [](int cls) { return cls == kClassNonNil || cls == kClassPointer; };
    const auto isString = [](int cls) { return cls == kClassString || cls == kClassCharArray; };
    const auto isArithmetic = [](int cls) { return cls >= kClassEnum && cls <= kClassDouble; };
    if (isPointer(expected) && found <= kClassPointer) {
        return true;
    }
    if (isPointer(found)) {
        return expected <= kClassPointer;
    }
    if ((isString(expected) && isString(found)) || (isArithmetic(expected) && isArithmetic(found))) {
        return true;
    }
    const auto isOpen = [](int cls) { return cls == kClassVariadic || cls == kClassUnspecified; };
    return isOpen(expected) || isOpen(found) || expected == found;
}
bool isTypeName(std::string_view) { return false; }
TypedExpression expressionClass(std::string_view, std::string_view, std::string_view, int) { return {}; }
TypedExpression variableClass(std::string_view, std::string_view, std::string_view, int) { return {}; }
bool isConstantExpression(std::string_view) { return false; }
std::optional<FunctionClasses> lookupFunction(std::string_view) { return std::nullopt; }
std::vector<DeclaredVariable> declarationList(std::string_view) { return {}; }
std::string contextDeclaration(std::string_view, bool) { return {}; }

}  // namespace qvm::script
