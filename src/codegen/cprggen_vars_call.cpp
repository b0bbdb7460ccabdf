// A CALL of a C function of the interface files, with the checks of its
// parameters and of its result.
#include "codegen/cprggen_writer.h"

namespace qvm::codegen::program {

using namespace script::sem;

namespace {

constexpr int kClassNonNil = 8;
constexpr int kClassUnspecified = 17;

// The parameter's class, or the argument's own where the prototype does not
// tell (variadic part, no prototype). A pointer passed for an arithmetic
// parameter (a _Bool takes one without a word) is checked as the pointer it
// is: the arithmetic check would cast it to an integer.
int resolvedClass(const ArgData& argument)
{
    if (argument.parameterClass == 15 || argument.parameterClass == kClassUnspecified || argument.parameterClass < 0) {
        return argument.cls;
    }
    const bool pointerArgument = argument.cls >= 6 && argument.cls <= 9;
    if (pointerArgument && argument.parameterClass >= 0 && argument.parameterClass <= 5) {
        return argument.cls;
    }
    return argument.parameterClass;
}

bool passedByAddress(int cls)
{
    return cls == 10 || cls == 11 || cls == 12;
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
};

std::tuple<std::string_view, std::string_view, std::string_view, std::string_view> pieceParts(
    const CheckValue& argument)
{
    if (argument.value.empty()) {
        return {runtimeCast(argument.cls), defaultValue(argument.cls), {}, {}};
    }
    return {runtimeCast(argument.cls), argument.address ? "&" : "", argument.value, ", "};
}

}  // namespace

void ProgramWriter::nativeCall(const Entry& call)
{
    const auto& data = call.data<CallData>();
    const Scope* arguments = call.descriptor->subScope;
    line("trv_bcf ( ", kRun, ",", number(call), " );");
    std::string written;
    if (arguments != nullptr) {
        for (const Entry& argument : arguments->entries) {
            const auto& given = argument.data<ArgData>();
            appendPieces(written, written.empty() ? "" : ", ", given.reference ? "&" : "", given.text);
        }
    }
    if (!data.result.empty()) {
        line(data.result, " = ", runtimeCast(data.returnClass), call.name, " (", written, " );");
    } else {
        line(call.name, " ( ", written, " );");
    }
    if (arguments != nullptr) {
        for (const Entry& argument : arguments->entries) {
            parameterCheck(argument);
        }
    }
    if (!data.result.empty()) {
        resultCheck(call);
    }
    line("trv_flagrt = trv_cf (", kRun, ",", endNumber(call), " );");
    line("if (trv_flagrt != 0)");
    open();
    debugResult("1");
    close();
}

// The value passed, the value expected of it after the call, and the
// variable that holds it then.
void ProgramWriter::parameterCheck(const Entry& argument)
{
    const auto& data = argument.data<ArgData>();
    // A variable passed by REF is checked as itself: its class, and its
    // value after the call as the actual one.
    int cls = data.reference ? data.cls : resolvedClass(data);
    if (data.expectedClass == kClassNonNil) {
        cls = kClassNonNil;
    }
    if (cls == kClassUnspecified) {
        return;
    }
    const std::string_view initial = data.text;
    const std::string_view expected = firstOf({data.expected, initial});
    const std::string_view actual =
        data.reference ? firstOf({data.result, initial}) : firstOf({data.result, data.expected, initial});
    const bool aggregate = passedByAddress(cls);
    // A structure or union passed by value is compared through its address
    // on every side: the check functions take pointers to it.
    line(checkCallHead(CheckCall::Plain, cls, -1, false), data.expected.empty() ? "0, " : "1, ",
         CheckValue{cls, initial, aggregate}, CheckValue{cls, expected, aggregate && cls != 11},
         CheckValue{cls, actual, aggregate}, number(argument), " );");
}

void ProgramWriter::resultCheck(const Entry& call)
{
    const auto& data = call.data<CallData>();
    int cls = data.returnClass;
    if (cls == kClassUnspecified || cls < 0) {
        cls = data.resultClass >= 0 ? data.resultClass : 2;
    }
    // "@ NONIL" asks for any pointer but null: the non-null check.
    if (data.expectedClass == kClassNonNil) {
        cls = kClassNonNil;
    }
    const bool address = cls == 10 || cls == 12;
    line(checkCallHead(CheckCall::Plain, cls, -1, false), data.expected.empty() ? "0, " : "1, ",
         CheckValue{cls, {}, false}, CheckValue{cls, data.expected, address}, CheckValue{cls, data.result, address},
         endNumber(call) - 1, " );");
}

}  // namespace qvm::codegen::program
