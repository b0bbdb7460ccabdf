// The native types of the test language: the FORMAT table, the check names
// of C types, FORMAT registration, and the selection contexts of message
// structures.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qvm::canalysis {
struct CType;
}

namespace qvm::script {

struct NativeType {
    std::string_view typeName;   // as written in a FORMAT
    std::string_view cType;
    std::string_view checkName;
    int checkClass = 0;
    bool needsParenthesised = false;  // the C type must be given in parentheses
    int width = 0;
};

const std::array<NativeType, 12>& nativeTypeTable();

struct CheckName {
    std::string name;  // empty for structures and unions
    int checkClass = 0;
};

// The check name and class of a C type.
CheckName checkNameOfType(const canalysis::CType* type);

// Pointers to char check as "ptr_chaine" (class 9) while this is on.
void setStringPointerChecks(bool on);

enum class FormatKind { Instruction, Hidden };

// What a FORMAT registered for one variable.
struct VariableFormat {
    std::string variable;   // the variable path as written after expansion
    std::string cType;
    std::string checkName;
    int checkClass = 0;
    int width = 0;
    int formatCode = 6;     // display base: 0 hexadecimal, 1 decimal, 2 binary, 3 octal, 6 natural
};

// Registers a FORMAT (text "variable # type..."); reports its messages and
// gives false when it was refused.
bool registerFormat(FormatKind kind, std::string_view scope, std::string_view formatText, std::string_view file,
                    int line);

// The FORMAT registered for a variable path, if any.
const VariableFormat* formatOf(std::string_view variable);

struct SelectionContext {
    std::string declaration;  // C text of the TRV_<type> context, declared to the C analysis
    std::string companion;    // the context member text the generated program declares
};

// The selection context of a structure type; nothing when the type holds no union.
std::optional<SelectionContext> selectionContext(std::string_view structTypeName, std::string_view scope, int line);

// Forgets the formats and switches of the run.
void resetNativeTypes();

}  // namespace qvm::script
