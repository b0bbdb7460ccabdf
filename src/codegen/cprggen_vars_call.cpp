// A CALL of a C function of the interface files, with the checks of its
// parameters and of its result.
#include "codegen/cprggen_vars.h"

#include "codegen/cprggen_chardata.h"

#include "script/sempti.h"

#include <optional>

namespace qvm::codegen::program {

using namespace script::sem;

namespace {

constexpr int kClassString = 6;
constexpr int kClassCharArray = 7;
constexpr int kClassPointer = 9;
constexpr int kClassArray = 11;
constexpr int kClassUnspecified = 17;

bool passedByAddress(int cls)
{
    return cls == 10 || cls == 11 || cls == 12;
}

bool isArray(int cls)
{
    return cls == kClassCharArray || cls == kClassArray;
}

std::string_view firstOf(std::initializer_list<std::string_view> values)
{
    for (const std::string_view value : values) {
        if (!value.empty()) {
            return value;
        }
    }
    return {};
}

// An argument of a check call, as a piece of its line: "value, " with its
// cast, or the class's default value.
struct CheckValue {
    int cls;
    std::string_view value;
    bool address;
    std::string_view cast = {};  // the class's own cast when empty
};

std::tuple<std::string_view, std::string_view, Operand, std::string_view> pieceParts(const CheckValue& argument)
{
    const std::string_view cast = argument.cast.empty() ? runtimeCast(argument.cls) : argument.cast;
    if (argument.value.empty()) {
        return {cast, defaultValue(argument.cls), Operand{}, {}};
    }
    return {cast, argument.address ? "&" : "", Operand{argument.value}, ", "};
}

// Calls write with the pieces of "<names>, ", the argument an enumeration's
// check has before its record number, or with none: a line without a names
// table is written in place.
template <typename Write>
void withNamesArgument(const std::optional<ValueDisplay>& display, const Write& write)
{
    if (display && display->names) {
        write(*display->names, ", ");
    } else {
        write();
    }
}

// A bound of a range check: "1,<cast><bound>," when given, else "0,<cast>0,".
struct RangeBound {
    std::string_view cast;
    std::string_view bound;
};

std::tuple<std::string_view, std::string_view, Operand, std::string_view> pieceParts(const RangeBound& range)
{
    return {range.bound.empty() ? "0," : "1,", range.cast, Operand{range.bound.empty() ? "0" : range.bound}, ","};
}

// What a REF argument names: its variable after '@', else its text.
std::string_view referenced(const ArgData& data)
{
    return firstOf({data.result, data.text});
}

// What the call passes: the argument's variable or text, by address for a
// REF; an array passes itself, which C passes as the address of its first
// element, the parameter's type.
std::string passedText(const ArgData& data)
{
    const std::string_view passed = data.reference ? referenced(data) : firstOf({data.result, data.text});
    const int cls = data.result.empty() ? data.cls : data.resultClass;
    const bool address = data.reference && !isArray(cls);
    return joinedPieces(address ? "&" : "", passed);
}

}  // namespace

void VarsWriter::nativeCall(const Entry& call)
{
    const auto& data = call.data<CallData>();
    const Scope* arguments = call.descriptor->subScope;
    line("trv_bcf ( ", kRun, ",", number(call), " );");
    std::string written;
    if (arguments != nullptr) {
        for (const Entry& argument : arguments->entries) {
            parameterInitialisation(argument.data<ArgData>());
            appendPieces(written, written.empty() ? "" : ", ", passedText(argument.data<ArgData>()));
        }
    }
    if (!data.result.empty()) {
        // A pointer to signed or unsigned char kept by the script takes the
        // value through a pointer to void: the character pointer of the
        // runtime converts to neither silently.
        const bool signedOrUnsignedChars =
            data.returnClass == kClassString && holdsSignedOrUnsignedChar(script::typeOfPath(data.result, cScopeOf(call)));
        line(data.result, " = ", signedOrUnsignedChars ? "(TRV_PT_VOID) " : runtimeCast(data.returnClass), call.name,
             " (", written, " );");
    } else {
        line(call.name, " ( ", written, " );");
    }
    if (arguments != nullptr) {
        const script::ParameterTypes parameters(call.name, cScopeOf(call));
        std::size_t index = 0;
        for (const Entry& argument : arguments->entries) {
            parameterCheck(call, argument, index++, parameters);
        }
    }
    if (!data.result.empty()) {
        resultCheck(call);
    }
    checksEnd("trv_cf (", endNumber(call));
}

// An argument with a variable after its second '@' passes that variable,
// set to the argument's value first.
void VarsWriter::parameterInitialisation(const ArgData& data)
{
    if (data.result.empty() || data.text.empty()) {
        return;
    }
    const int cls = data.resultClass;
    if (cls == kClassCharArray) {
        line("trv_strcpy(", data.result, ",", data.text, ");");
    } else if (cls == kClassArray) {
        line("trv_memcpy(", data.result, ",", data.text, ",sizeof(", data.result, "));");
    } else {
        line(data.result, " = ", data.text, ";");
    }
}

// The value passed, the value expected of it after the call, and the
// variable that holds it then: the argument's variable, else the argument
// itself.
void VarsWriter::parameterCheck(const Entry& call, const Entry& argument, std::size_t index,
                                const script::ParameterTypes& parameters)
{
    const auto& data = argument.data<ArgData>();
    int cls = data.checkedClass();
    if (cls == kClassUnspecified) {
        return;
    }
    const std::string_view initial = data.text;
    const std::string_view actual = data.reference ? referenced(data) : firstOf({data.result, data.text});
    const std::string& scope = cScopeOf(call);
    // What is checked has the type of the variable that holds it after the
    // call, else of the parameter.
    const script::CTypeFacts heldType =
        !data.result.empty() || data.reference ? script::typeOfPath(actual, scope) : script::CTypeFacts{};
    const script::CTypeFacts checkedType = heldType.known ? heldType : parameters.of(index);
    if (const std::optional<script::sem::ValueRange> range = script::sem::valueRange(data.expected)) {
        rangeCheck(cls, checkedType, *range, actual, number(argument));
        return;
    }
    const std::string_view expected = firstOf({data.expected, initial});
    if (cls == kClassString || cls == kClassCharArray) {
        const script::CTypeFacts type = !data.result.empty() || data.reference || cls == kClassCharArray
                                            ? script::typeOfPath(actual, scope)
                                            : parameters.of(index);
        const CharData held = charDataOf(type.known ? type : parameters.of(index));
        if (cls == kClassCharArray) {
            sizedCheck(held == CharData::Bytes ? "bytes" : "chars", data.expected.empty() ? "0, " : "1, ",
                       {initial, expected, actual}, scope, number(argument));
            return;
        }
        if (held == CharData::Bytes) {
            cls = kClassPointer;  // a pointer to bytes, not a string
        }
    }
    const bool aggregate = passedByAddress(cls);
    const std::optional<ValueDisplay> display = valueDisplayOf(cls, -1, checkedType);
    const std::string_view cast = display ? display->cast : std::string_view();
    // A structure or union passed by value is compared through its address
    // on every side: the check functions take pointers to it.
    withNamesArgument(display, [&](const auto&... names) {
        line(display ? display->head(CheckCall::Plain) : checkCallHead(CheckCall::Plain, cls, -1, false),
             data.expected.empty() ? "0, " : "1, ", CheckValue{cls, initial, aggregate, cast},
             CheckValue{cls, expected, aggregate && cls != kClassArray, cast}, CheckValue{cls, actual, aggregate, cast},
             names..., number(argument), " );");
    });
}

void VarsWriter::sizedCheck(std::string_view family, std::string_view expectedFlag,
                               std::initializer_list<std::string_view> values, std::string_view scope,
                               int checkNumber)
{
    const std::string_view cast = family == "bytes" ? "(TRV_PT_VOID) " : "(TRV_PT_CAR) ";
    std::string call = joinedPieces("trv_", family, "_c (", kRun, ",", expectedFlag);
    for (const std::string_view given : values) {
        const std::string_view value = given.empty() ? std::string_view("\"\"") : given;
        appendPieces(call, cast, value, ", ", sizeOfValue(value, scope), ", ");
    }
    line(call, checkNumber, " );");
}

void VarsWriter::resultCheck(const Entry& call)
{
    const auto& data = call.data<CallData>();
    int cls = data.checkedClass();
    const script::CTypeFacts type = resultType(call);
    if (cls == kClassString && charDataOf(type) == CharData::Bytes) {
        cls = kClassPointer;  // a pointer to bytes, not a string
    }
    if (const std::optional<script::sem::ValueRange> range = script::sem::valueRange(data.expected)) {
        rangeCheck(cls, type, *range, data.result, endNumber(call) - 1);
        return;
    }
    const bool address = cls == 10 || cls == 12;
    const std::optional<ValueDisplay> display = valueDisplayOf(cls, -1, type);
    const std::string_view cast = display ? display->cast : std::string_view();
    withNamesArgument(display, [&](const auto&... names) {
        line(display ? display->head(CheckCall::Plain) : checkCallHead(CheckCall::Plain, cls, -1, false),
             data.expected.empty() ? "0, " : "1, ", CheckValue{cls, {}, false, cast},
             CheckValue{cls, data.expected, address, cast}, CheckValue{cls, data.result, address, cast}, names...,
             endNumber(call) - 1, " );");
    });
}

// The type of what a call's result check reads: the script's result
// variable, else the hidden one, which has the function's return type.
script::CTypeFacts VarsWriter::resultType(const Entry& call)
{
    const std::string& scope = cScopeOf(call);
    script::CTypeFacts type = script::typeOfPath(call.data<CallData>().result, scope);
    return type.known ? type : script::returnType(call.name, scope);
}

// A value expected within a range (the analysis lets ranges of numbers only through).
// Its bounds and the value are shown as an equality check of the type shows them.
void VarsWriter::rangeCheck(int cls, const script::CTypeFacts& type, const script::sem::ValueRange& range,
                               std::string_view actual, int checkNumber)
{
    const std::optional<ValueDisplay> display = valueDisplayOf(cls, -1, type);
    const std::string_view cast = display ? display->cast : runtimeCast(cls);
    withNamesArgument(display, [&](const auto&... names) {
        line("trv_range_", display ? display->family : rangeFamily(cls), "_c (", kRun, ",",
             RangeBound{cast, range.lower}, RangeBound{cast, range.upper}, cast, Operand{actual}, ", ", names...,
             checkNumber, " );");
    });
}

}  // namespace qvm::codegen::program
