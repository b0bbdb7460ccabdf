#include "script/prtanac.h"

namespace qvm::script {

const std::array<NativeType, 12>& nativeTypeTable()
{
    static const std::array<NativeType, 12> table{};
    return table;
}
CheckName checkNameOfType(const canalysis::CType*) { return {}; }
void setStringPointerChecks(bool) {}
bool registerFormat(FormatKind, std::string_view, std::string_view, std::string_view, int) { return true; }
const VariableFormat* formatOf(std::string_view) { return nullptr; }
std::optional<SelectionContext> selectionContext(std::string_view, std::string_view, int) { return std::nullopt; }
void resetNativeTypes() {}

}  // namespace qvm::script
