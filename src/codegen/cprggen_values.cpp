// How checks show integer values: unsigned numbers with their bit pattern,
// enumeration values with their enumerators' names, bytes as numbers.
#include "codegen/cprggen_vars.h"

#include "script/exprclass.h"

#include <algorithm>
#include <array>

namespace qvm::codegen::program {

namespace {

// Enumerators named in one check; the values of the others show as numbers.
constexpr std::size_t kMaxEnumNames = 256;

// A format that leaves the display to the type: none given, or CHAR.
bool naturalFormat(int formatCode)
{
    return formatCode < 0 || formatCode == 6;
}

}  // namespace

void appendPiece(std::string& out, const NamesTable& table)
{
    out += "(const TRV_T_ENUM_NAME[]){";
    for (const std::string_view name : table.enumerators.first(std::min(table.enumerators.size(), kMaxEnumNames))) {
        appendPieces(out, "{", name, ", \"", name, "\"}, ");
    }
    out += "{0, 0}}";
}

std::optional<ValueDisplay> valueDisplayOf(int cls, int formatCode, const script::CTypeFacts& type)
{
    if ((cls == script::kClassEnum || cls == script::kClassInt) && type.enumeration) {
        return ValueDisplay{"enum", "(TRV_T_ENUM) ", NamesTable{type.enumerators}, {}};
    }
    if (cls == script::kClassInt && type.unsignedInteger) {
        return ValueDisplay{"uint", "(TRV_T_UINT) ", {}, {}};
    }
    if (cls == script::kClassLong && type.unsignedInteger) {
        return ValueDisplay{"ulong", "(TRV_T_ULONG) ", {}, {}};
    }
    if (cls == script::kClassChar && naturalFormat(formatCode)) {
        // Plain char is text; signed and unsigned char are numbers.
        if (type.character == script::CharKind::Unsigned) {
            return ValueDisplay{"byte", "(TRV_T_CAR) ", {}, ",TRV_P_BASE16"};
        }
        if (type.character == script::CharKind::Signed) {
            return ValueDisplay{"int", "(TRV_T_INT) ", {}, ",TRV_P_BASE10"};
        }
    }
    return std::nullopt;
}

namespace {

// The families of the displays above, each with the heads of its calls.
constexpr std::array<std::string_view, 5> kDisplayFamilies = {"enum", "uint", "ulong", "byte", "int"};
constexpr std::array<std::string_view, 4> kCallPrefixes = {"", "var_", "cmp_", "dmp_"};

}  // namespace

std::string_view ValueDisplay::head(CheckCall kind) const
{
    using Heads = std::array<std::array<std::string, kDisplayFamilies.size()>, kCallPrefixes.size()>;
    static const Heads heads = [] {
        Heads made;
        for (std::size_t prefix = 0; prefix < kCallPrefixes.size(); ++prefix) {
            for (std::size_t each = 0; each < kDisplayFamilies.size(); ++each) {
                made[prefix][each] = joinedPieces("trv_", kCallPrefixes[prefix], kDisplayFamilies[each], "_c (", kRun, ",");
            }
        }
        return made;
    }();
    const auto found = std::find(kDisplayFamilies.begin(), kDisplayFamilies.end(), family);
    return heads[static_cast<std::size_t>(kind)][static_cast<std::size_t>(found - kDisplayFamilies.begin())];
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
