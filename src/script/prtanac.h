// The native types of the test language: the FORMAT table, the check names
// of C types, FORMAT registration, and the selection contexts of message
// structures.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The twelve rows, searched in order by type name (the first match wins).
const std::array<NativeType, 12>& nativeTypeTable();
const NativeType* findNativeType(std::string_view typeName);

struct CheckName {
    std::string name;  // empty for structures and unions
    int checkClass = 0;
};

// The check name and class of a C type (type names and qualifiers
// followed; no type stands for int).
CheckName checkNameOfType(const canalysis::CType* type);

// Pointers to char check as "ptr_chaine" (class 9) while this is on.
void setStringPointerChecks(bool on);

// Instruction: a FORMAT= of the script. Hidden: a format the analysis
// registers itself (trv_msgrcv); registering one again is silent and keeps
// the first, and a FORMAT= of the script replaces it without FORMREDEF.
enum class FormatKind { Instruction, Hidden };

// Display bases of a FORMAT, as the check writers read them.
enum FormatCode : int { kFormatHex = 0, kFormatDecimal = 1, kFormatBinary = 2, kFormatOctal = 3, kFormatNatural = 6 };

// What a FORMAT registered for one variable.
struct VariableFormat {
    std::string variable;   // the variable path after expansion, blanks removed
    std::string scope;      // C scope of the path's first name: empty for the global scope
    std::string cType;      // the table's, or the parenthesised C type after expansion
    std::string checkName;
    int checkClass = 0;
    int width = 0;
    int formatCode = kFormatNatural;
    FormatKind kind = FormatKind::Instruction;
};

// Registers a FORMAT. Its text is "variable # typename[(C type)] [, base]":
// the variable is a name, then ".field" or "->field" steps, then an
// optional final "[...]" (the array's elements); the type name is one of
// the table; base is HEX, DEC, BIN, OCT or CHAR (any case; format codes 0,
// 1, 2, 3, 6; CHAR when absent). A text without "#" names no type and
// gets TYPEINCON with an empty name. With parenthesisedRequired, the rows
// that need a C type in parentheses report ENUTYPABS without it. Every
// message (NOMVARINC, IDENTINCO, CHAMPINCO, TYPEINCON, ENUTYPABS,
// BASEINCON, FORMREDEF) is an error at the file and line given, and
// registers nothing. Gives the variable's format (for a hidden one given
// again, the one kept), none when refused.
const VariableFormat* registerFormat(FormatKind kind, std::string_view scope, std::string_view formatText, std::string_view file,
                    int line, bool parenthesisedRequired = false);

// The FORMAT registered for a variable path (blanks ignored) whose first
// name is of that scope, else of the global scope; none when there is none.
const VariableFormat* formatOf(std::string_view variable, std::string_view scope = {});
// The formats registered for paths whose first name is of the global scope,
// in no particular order: those formatOf(path) finds without a scope.
std::vector<const VariableFormat*> globalFormats();

// The selection context of a structure type records, for every union inside
// the type, which member a value selects: each union becomes a structure
// with an "int select;" member and the contexts of its own members, each
// structure the contexts of its members (only when one needs a context), an
// array the context of its element with the same dimension.
//
// The generated code reaches the selectors as "TRV_<type>.select" and
// "TRV_<type>.<field path>.select" (indices in the path), so a nested
// context is named after the member it stands for ("}a;", "}tab[4];"). A
// member without a name (an anonymous structure or union) has no name to
// follow: its context is named "trv_ctxsel_<tag>" after its type.
struct SelectionContext {
    // "struct {...}TRV_<type>;": the caller declares it in the C analysis
    // (declareCText), so that script texts such as "TRV_T.a.select" type.
    std::string declaration;
    // "struct {...}trv_ctxsel_<type>;": the member of the generated
    // program's context that "#define TRV_<type> (trv_ctx->trv_ctxsel_<type>)"
    // names.
    std::string companion;

    bool operator==(const SelectionContext&) const = default;
};

// The selection context of a structure type (a type name, looked up in the
// scope and the global one); nothing when the type holds no union or is not
// known. Built once per type name: later calls give the same texts.
// Contexts nested deeper than kMaxSelectionDepth levels, or longer than
// kMaxSelectionLength characters, are refused: an error DEBORUBAN at the
// current file and the line given.
constexpr int kMaxSelectionDepth = 256;
constexpr std::size_t kMaxSelectionLength = 1 << 20;
std::optional<SelectionContext> selectionContext(std::string_view structTypeName, std::string_view scope, int line);

// Forgets the formats, the selection contexts and the switches of the run.
void resetNativeTypes();

}  // namespace qvm::script
