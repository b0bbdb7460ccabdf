#include "script/panalc.h"

namespace qvm::script {

bool compatibleClasses(int, int) { return true; }
bool isTypeName(std::string_view) { return false; }
TypedExpression expressionClass(std::string_view, std::string_view, std::string_view, int) { return {}; }
TypedExpression variableClass(std::string_view, std::string_view, std::string_view, int) { return {}; }
bool isConstantExpression(std::string_view) { return false; }
std::optional<FunctionClasses> lookupFunction(std::string_view) { return std::nullopt; }
std::vector<DeclaredVariable> declarationList(std::string_view) { return {}; }
std::string contextDeclaration(std::string_view, bool) { return {}; }

}  // namespace qvm::script
