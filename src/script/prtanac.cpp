// The native types of the test language: FORMAT table, check names, selections.
#include "script/prtanac.h"

#include "base/mstrid.h"
#include "canalysis/declarations/ctabsy.h"
#include "script/prtanac_detail.h"

namespace qvm::script {

namespace {

bool stringPointerChecks = false;

bool isCharType(const canalysis::CType* type)
{
    type = canalysis::C_CPP_resolve(type);
    return type != nullptr && type->kind == canalysis::kBasic && type->isChar;
}

CheckName checkNameOfInteger(const canalysis::CType& type)
{
    const bool isSigned = type.size < 0;
    if (type.isChar) {
        return isSigned ? CheckName{"caractere", 2} : CheckName{"unsigned", 0};
    }
    return isSigned ? CheckName{"entier", 0} : CheckName{"unsigned", 0};
}

CheckName checkNameOfPointer(const canalysis::CType& type)
{
    if (isCharType(type.target.get())) {
        return stringPointerChecks ? CheckName{"ptr_chaine", 9} : CheckName{"chaine", 4};
    }
    const canalysis::CType* target = canalysis::C_CPP_resolve(type.target.get());
    const bool toFunction = target != nullptr && target->kind == canalysis::kFunction;
    return {"pointeur", toFunction ? 11 : 6};
}

}  // namespace

const std::array<NativeType, 12>& nativeTypeTable()
{
    static const std::array<NativeType, 12> table{{
        {"boolean", "int", "booleen", 1, false, 0},
        {"char", "char", "caractere", 2, false, 0},
        {"double", "double", "double", 3, false, 0},
        {"enum", "int", "entier", 0, false, -32},
        {"float", "float", "float", 3, false, 0},
        {"int", "long", "entier", 0, false, -32},
        {"integer", "long", "entier", 0, false, -32},
        {"pointer", "void*", "pointeur", 6, false, 32},
        {"pointer", "void*", "pointeur", 11, false, 32},
        {"string", "char*", "chaine", 4, true, 0},
        {"string_ptr", "char*", "ptr_chaine", 9, true, 0},
        {"unsigned", "unsigned", "unsigned", 0, false, 32},
    }};
    return table;
}

const NativeType* findNativeType(std::string_view typeName)
{
    for (const NativeType& row : nativeTypeTable()) {
        if (row.typeName == typeName) {
            return &row;
        }
    }
    return nullptr;
}

CheckName checkNameOfType(const canalysis::CType* type)
{
    type = canalysis::C_CPP_resolve(type);
    if (type == nullptr) {
        return {"entier", 0};
    }
    switch (type->kind) {
    case canalysis::kBasic:
        return checkNameOfInteger(*type);
    case canalysis::kFloating:
        return {base::identText(type->name).find("double") != std::string_view::npos ? "double" : "float", 3};
    case canalysis::kPointer:
        return checkNameOfPointer(*type);
    case canalysis::kArray:
        return isCharType(type->target.get()) ? CheckName{"chaine", 4} : CheckName{"pointeur", 6};
    case canalysis::kStruct:
    case canalysis::kUnion:
        return {"", 8};
    case canalysis::kFunction:
        return {"pointeur", 6};
    default:  // enumerations, void
        return {"entier", 0};
    }
}

void setStringPointerChecks(bool on)
{
    stringPointerChecks = on;
}

void resetNativeTypes()
{
    stringPointerChecks = false;
    detail::resetFormats();
    detail::resetSelectionContexts();
}

}  // namespace qvm::script
