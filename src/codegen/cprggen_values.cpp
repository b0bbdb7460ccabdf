// How checks show integer values: unsigned numbers with their bit pattern,
// enumeration values with their enumerators' names, bytes as numbers.
#include "codegen/cprggen_vars.h"

#include "canalysis/declarations/ctabsy.h"

namespace qvm::codegen::program {

namespace {

constexpr int kClassEnum = 0;
constexpr int kClassChar = 1;
constexpr int kClassInt = 2;
constexpr int kClassLong = 3;

// Enumerators named in one check; the values of the others show as numbers.
constexpr std::size_t kMaxEnumNames = 256;

const canalysis::CType* basicType(const canalysis::CType* type)
{
    type = canalysis::C_CPP_resolve(type);
    return type != nullptr && type->kind == canalysis::kBasic ? type : nullptr;
}

bool spelledWith(const canalysis::CType& type, std::string_view word)
{
    return type.name != nullptr && std::string_view(type.name).find(word) != std::string_view::npos;
}

bool isUnsignedInteger(const canalysis::CType* type)
{
    const canalysis::CType* basic = basicType(type);
    return basic != nullptr && !basic->isChar && spelledWith(*basic, "unsigned");
}

// A format that leaves the display to the type: none given, or CHAR.
bool naturalFormat(int formatCode)
{
    return formatCode < 0 || formatCode == 6;
}

// "(const TRV_T_ENUM_NAME[]){{A, \"A\"}, ..., {0, 0}}": the compiler gives
// each enumerator its value.
std::string namesTable(const canalysis::EnumBody& body)
{
    std::string table = "(const TRV_T_ENUM_NAME[]){";
    std::size_t count = 0;
    for (const canalysis::Enumerator& enumerator : body.enumerators) {
        if (enumerator.name == nullptr || count++ == kMaxEnumNames) {
            continue;
        }
        appendPieces(table, "{", enumerator.name, ", \"", enumerator.name, "\"}, ");
    }
    table += "{0, 0}}";
    return table;
}

}  // namespace

std::optional<ValueDisplay> valueDisplayOf(int cls, int formatCode, const canalysis::CType* type)
{
    const canalysis::CType* resolved = canalysis::C_CPP_resolve(type);
    if (resolved == nullptr) {
        return std::nullopt;
    }
    if ((cls == kClassEnum || cls == kClassInt) && resolved->kind == canalysis::kEnum &&
        resolved->enumeration != nullptr && !resolved->enumeration->enumerators.empty()) {
        return ValueDisplay{"enum", "(TRV_T_ENUM) ", namesTable(*resolved->enumeration), {}};
    }
    if (cls == kClassInt && isUnsignedInteger(resolved)) {
        return ValueDisplay{"uint", "(TRV_T_UINT) ", {}, {}};
    }
    if (cls == kClassLong && isUnsignedInteger(resolved)) {
        return ValueDisplay{"ulong", "(TRV_T_ULONG) ", {}, {}};
    }
    if (cls == kClassChar && resolved->kind == canalysis::kBasic && resolved->isChar && naturalFormat(formatCode)) {
        // Plain char is text; signed and unsigned char are numbers.
        if (spelledWith(*resolved, "unsigned")) {
            return ValueDisplay{"byte", "(TRV_T_CAR) ", {}, ",TRV_P_BASE16"};
        }
        if (spelledWith(*resolved, "signed")) {
            return ValueDisplay{"int", "(TRV_T_INT) ", {}, ",TRV_P_BASE10"};
        }
    }
    return std::nullopt;
}

std::string ValueDisplay::head(CheckCall kind) const
{
    static constexpr std::string_view kPrefixes[] = {"", "var_", "cmp_", "dmp_"};
    return joinedPieces("trv_", kPrefixes[static_cast<std::size_t>(kind)], family, "_c (", kRun, ",");
}

// The base of a var_ or dmp_ check: the format's, else the display's own.
std::string_view ValueDisplay::baseFor(int formatCode) const
{
    if (!base.empty() && naturalFormat(formatCode)) {
        return base;
    }
    switch (formatCode) {
    case 0: return ",TRV_P_BASE16";
    case 2: return ",TRV_P_BASE2";
    case 3: return family == "byte" ? ",TRV_P_BASE8" : ",TRV_P_BASE10";
    default: return ",TRV_P_BASE10";
    }
}

}  // namespace qvm::codegen::program
