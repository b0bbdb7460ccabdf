// The conversion of a function argument to its parameter's type: compatible
// types, pointer targets and their qualifiers, judged as C compilers do.
#include "canalysis/declarations/cconvert.h"

#include "canalysis/constants/cvalue.h"
#include "canalysis/ctypesizes.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::canalysis {

namespace {

struct Qualifiers {
    bool isConst = false;
    bool isVolatile = false;

    bool operator==(const Qualifiers&) const = default;
    // Whether every qualifier of other stands here too.
    bool holds(const Qualifiers& other) const
    {
        return (isConst || !other.isConst) && (isVolatile || !other.isVolatile);
    }
};

// The int that a missing type stands for.
const CType* orInt(const CType* type)
{
    static const CType kInt = [] {
        CType type;
        type.kind = kBasic;
        type.size = -32;
        return type;
    }();
    return type != nullptr ? type : &kInt;
}

// Follows type names and qualified types to the type they stand for,
// gathering const and volatile on the way (other qualifiers and type
// modifiers change nothing here).
const CType* unqualified(const CType* type, Qualifiers& qualifiers)
{
    static const base::CachedIdent constWord("const");
    static const base::CachedIdent volatileWord("volatile");
    type = orInt(type);
    while (type->kind == kTypedefName || type->kind == kQualified) {
        if (type->kind == kQualified) {
            qualifiers.isConst |= type->name == constWord.get();
            qualifiers.isVolatile |= type->name == volatileWord.get();
        }
        type = orInt(type->target.get());
    }
    return type;
}

const CType* unqualified(const CType* type)
{
    Qualifiers ignored;
    return unqualified(type, ignored);
}

std::vector<std::string_view> wordsOf(Ident name)
{
    std::vector<std::string_view> words;
    const std::string_view text = name != nullptr ? std::string_view(name) : std::string_view("int");
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        if (end > start) {
            words.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    std::sort(words.begin(), words.end());
    return words;
}

// An integer type as C tells them apart: its rank, whether it is the plain
// char (a type of its own beside signed and unsigned char), its sign.
struct IntegerIdentity {
    int rank = 0;
    bool plainChar = false;
    bool isUnsigned = false;

    bool operator==(const IntegerIdentity&) const = default;
};

IntegerIdentity integerIdentity(const CType& basic)
{
    const std::vector<std::string_view> words = wordsOf(basic.name);
    const auto has = [&](std::string_view word) { return std::ranges::find(words, word) != words.end(); };
    IntegerIdentity identity;
    identity.isUnsigned = basic.size > 0;
    if (has("_Bool")) {
        identity.rank = 0;
    } else if (basic.isChar || has("char")) {
        identity.rank = 1;
        identity.plainChar = !has("signed") && !has("unsigned");
    } else if (has("short")) {
        identity.rank = 2;
    } else if (has("__int128")) {
        identity.rank = 6;
    } else {
        const auto longs = std::ranges::count(words, std::string_view("long"));
        identity.rank = longs >= 2 ? 5 : longs == 1 ? 4 : 3;
    }
    return identity;
}

bool isInteger(const CType* type)
{
    return type->kind == kBasic || type->kind == kEnum;
}

bool isArithmetic(const CType* type)
{
    return isInteger(type) || type->kind == kFloating;
}

bool isBool(const CType* type)
{
    return type->kind == kBasic && integerIdentity(*type).rank == 0;
}

// A pointer, or what stands for one as a value or a parameter: an array, a
// function.
bool isPointerLike(const CType* type)
{
    return type->kind == kPointer || type->kind == kArray || type->kind == kFunction;
}

// What a pointer-like type points to, qualifiers included: the target of a
// pointer, the element of an array, the function itself.
const CType* pointeeOf(const CType* type)
{
    return type->kind == kFunction ? type : orInt(type->target.get());
}

bool compatible(const CType* a, const CType* b);

// Compatible types with the same qualifiers.
bool sameQualified(const CType* a, const CType* b)
{
    Qualifiers qa;
    Qualifiers qb;
    const CType* ua = unqualified(a, qa);
    const CType* ub = unqualified(b, qb);
    return qa == qb && compatible(ua, ub);
}

// Parameters compare as declared, arrays and functions as the pointers they
// stand for, their own qualifiers aside.
bool compatibleParameters(const CType* a, const CType* b)
{
    const CType* ua = unqualified(a);
    const CType* ub = unqualified(b);
    if (ua->kind == kEllipsis || ub->kind == kEllipsis) {
        return ua->kind == ub->kind;
    }
    if (isPointerLike(ua) || isPointerLike(ub)) {
        return isPointerLike(ua) && isPointerLike(ub) && sameQualified(pointeeOf(ua), pointeeOf(ub));
    }
    return compatible(ua, ub);
}

bool compatibleFunctions(const CType& a, const CType& b)
{
    if (!compatible(unqualified(a.target.get()), unqualified(b.target.get()))) {
        return false;
    }
    // A function declared without a prototype fits any parameter list.
    const bool aOpen = !a.prototype && a.parameters.empty();
    const bool bOpen = !b.prototype && b.parameters.empty();
    if (aOpen || bOpen) {
        return true;
    }
    if (a.parameters.size() != b.parameters.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.parameters.size(); ++i) {
        if (!compatibleParameters(a.parameters[i].type.get(), b.parameters[i].type.get())) {
            return false;
        }
    }
    return true;
}

bool sameDimension(const CType& a, const CType& b)
{
    const std::string_view da = a.dimension != nullptr ? std::string_view(a.dimension) : std::string_view();
    const std::string_view db = b.dimension != nullptr ? std::string_view(b.dimension) : std::string_view();
    const auto isNumber = [](std::string_view text) {
        return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
    };
    // Only two written sizes can be told apart.
    return !isNumber(da) || !isNumber(db) || da == db;
}

// Whether two types, each without its own qualifiers, are compatible. An
// enumeration is taken for a type of its own: which integer type it is
// compatible with depends on the compiler.
bool compatible(const CType* a, const CType* b)
{
    if (a->kind != b->kind) {
        return false;
    }
    switch (a->kind) {
    case kBasic:
        return integerIdentity(*a) == integerIdentity(*b);
    case kFloating:
        return wordsOf(a->name) == wordsOf(b->name);
    case kPointer:
        return sameQualified(a->target.get(), b->target.get());
    case kArray:
        return sameQualified(a->target.get(), b->target.get()) && sameDimension(*a, *b);
    case kStruct:
    case kUnion:
        return a->aggregate == b->aggregate || (a->name != nullptr && a->name == b->name);
    case kEnum:
        return a->enumeration == b->enumeration || (a->name != nullptr && a->name == b->name);
    case kFunction:
        return compatibleFunctions(*a, *b);
    default:
        return true;
    }
}

// A pointer to `from` passed for a pointer to `to` (both with their
// qualifiers, to which those of a qualified array type add): the pointed-to
// types must be compatible, or one of them void, and the parameter's must
// keep every qualifier of the argument's.
Conversion pointerConversion(const CType* to, Qualifiers toQualifiers, const CType* from, Qualifiers fromQualifiers)
{
    const CType* target = unqualified(to, toQualifiers);
    const CType* source = unqualified(from, fromQualifiers);
    const bool toOrFromVoid = target->kind == kVoid || source->kind == kVoid;
    if (!toOrFromVoid && !compatible(target, source)) {
        return Conversion::IncompatiblePointer;
    }
    return toQualifiers.holds(fromQualifiers) ? Conversion::Silent : Conversion::QualifierDropped;
}

// Whether an integer value stays the same in an integer type of that size
// (negative when signed). As compilers judge constants, an unsigned type also
// takes the negative values of its signed twin, and a signed one the
// unsigned constants of its own size; as bits, every type takes what either
// of the two twins holds.
bool integerHolds(const PInt& value, int size, const CConstant& constant, bool asBits)
{
    const int bits = size < 0 ? -size : size;
    if (size > 0 || asBits) {
        return value.isNegative() ? pint_fits(value, bits - 1) : pint_fits(value, bits);
    }
    const bool unsignedOfSameSize = constant.kind == kConstInteger && constant.size == bits;
    return pint_fits(value, bits - 1) || (unsignedOfSameSize && !value.isNegative() && pint_fits(value, bits));
}

// Whether a numeric constant keeps its value in an integer type.
bool keepsValue(const CType* integer, const CConstant& constant, bool asBits)
{
    if (isBool(integer)) {
        return true;
    }
    // An enumeration and a missing type are int, of the int of the profile.
    const bool isInt = integer->kind == kEnum || integer == orInt(nullptr);
    const int size = isInt ? -typeSizes().intBits : integer->size;
    if (size == 0) {
        return true;  // a size the type table does not know
    }
    if (constant.kind == kConstInteger) {
        return integerHolds(constant.value, size, constant, asBits);
    }
    if (constant.kind != kConstFloating) {
        return true;
    }
    PInt whole;
    if (!dfloat_to_pint(whole, constant.floating)) {
        return false;
    }
    DFloat back;
    dfloat_from_pint(back, whole);
    return dfloat_cmp(back, constant.floating) == 0 && integerHolds(whole, size, constant, asBits);
}

}  // namespace

Conversion C_CPP_argument_conversion(const CType* parameter, const CType* argument, bool nullPointerConstant,
                                     const CConstant* constant)
{
    Qualifiers toQualifiers;
    Qualifiers fromQualifiers;
    const CType* to = unqualified(parameter, toQualifiers);
    const CType* from = unqualified(argument, fromQualifiers);
    if (to->kind == kEllipsis) {
        return Conversion::Silent;
    }
    if (from->kind == kVoid || from->kind == kEllipsis) {
        return Conversion::Impossible;
    }
    if (isPointerLike(to)) {
        if (isPointerLike(from)) {
            // The qualifiers of an array type are its elements'.
            const auto elementQualifiers = [](const CType* type, const Qualifiers& own) {
                return type->kind == kArray ? own : Qualifiers{};
            };
            return pointerConversion(pointeeOf(to), elementQualifiers(to, toQualifiers), pointeeOf(from),
                                     elementQualifiers(from, fromQualifiers));
        }
        if (isInteger(from)) {
            return nullPointerConstant ? Conversion::Silent : Conversion::IntegerPointer;
        }
        return Conversion::Impossible;
    }
    if (isInteger(to) && isPointerLike(from)) {
        return isBool(to) ? Conversion::Silent : Conversion::IntegerPointer;
    }
    if (isArithmetic(to)) {
        if (!isArithmetic(from)) {
            return Conversion::Impossible;
        }
        const bool changes = constant != nullptr && isInteger(to) && !keepsValue(to, *constant, false);
        return changes ? Conversion::ValueChanged : Conversion::Silent;
    }
    if (to->kind == kStruct || to->kind == kUnion) {
        return compatible(to, from) ? Conversion::Silent : Conversion::Impossible;
    }
    return to->kind == kVoid ? Conversion::Impossible : Conversion::Silent;
}

bool C_CPP_constant_kept(const CType* type, const CConstant& constant, bool asBits)
{
    const CType* target = unqualified(type);
    return !isInteger(target) || keepsValue(target, constant, asBits);
}

}  // namespace qvm::canalysis
