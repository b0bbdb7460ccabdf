// Procedures and calls: PROC definitions with their parameters, CALL of a
// script procedure or of a C function, and the use marking of procedures.
#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/pprepc.h"
#include "script/sempti_analysis.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <utility>

namespace qvm::script::sem {

namespace {

// One argument as written: "REF(text @ expected @ result)".
struct WrittenArgument {
    std::string text;
    std::string expected;
    std::string result;
    bool reference = false;
    bool withAt = false;
    Origin origin;
};

std::vector<WrittenArgument> writtenArguments(const SyntaxNode* list)
{
    std::size_t count = 0;
    for (const SyntaxNode* link = list; link != nullptr; link = link->c1()) {
        ++count;
    }
    std::vector<WrittenArgument> arguments;
    arguments.reserve(count);
    for (const SyntaxNode* link = list; link != nullptr; link = link->c1()) {
        const SyntaxNode& argument = Analysis::present(link->c0(), *link);
        if (argument.kind != STX_ARG && argument.kind != STX_REF_ARG) {
            Analysis::unexpected(argument);
        }
        const SyntaxNode& at = Analysis::expect(argument.c0(), STX_AT_EXPR, argument);
        WrittenArgument& written = arguments.emplace_back();
        written.text = Analysis::trimmedExpressionText(at.c0());
        written.expected = Analysis::trimmedExpressionText(at.c1());
        written.result = Analysis::trimmedExpressionText(at.c2());
        written.reference = argument.kind == STX_REF_ARG;
        written.withAt = at.c1() != nullptr;
        written.origin = Analysis::originOf(argument);
    }
    // "f()" passes one empty argument: the empty list.
    if (arguments.size() == 1 && arguments[0].text.empty() && !arguments[0].reference && !arguments[0].withAt) {
        arguments.clear();
    }
    return arguments;
}

// The texts between the top-level commas of an argument list.
std::vector<std::string> splitArguments(std::string_view list)
{
    std::vector<std::string> parts;
    if (Analysis::trimmed(list).empty()) {
        return parts;
    }
    int depth = 0;
    char quote = 0;
    std::string current;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const char c = list[i];
        if (quote != 0) {
            if (c == '\\' && i + 1 < list.size()) {
                current += c;
                current += list[++i];
                continue;
            }
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if (c == ')' || c == ']' || c == '}') {
            --depth;
        } else if (c == ',' && depth == 0) {
            parts.push_back(Analysis::trimmed(current));
            current.clear();
            continue;
        }
        current += c;
    }
    parts.push_back(Analysis::trimmed(current));
    return parts;
}

// "name(arguments)": the name and the argument list of an expanded call.
std::optional<std::pair<std::string, std::string>> callForm(std::string_view text)
{
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos || text.empty() || text.back() != ')') {
        return std::nullopt;
    }
    std::string name = Analysis::trimmed(text.substr(0, open));
    const bool identifier = !name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) == 0 &&
                            std::all_of(name.begin(), name.end(), [](char c) {
                                return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
                            });
    if (!identifier) {
        return std::nullopt;
    }
    return std::make_pair(std::move(name), std::string(text.substr(open + 1, text.size() - open - 2)));
}

std::string withoutBlanks(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) == 0) {
            out += c;
        }
    }
    return out;
}

// "%d (%s)": an argument's number, from 1, and the name of the callee.
std::string argumentLabel(std::size_t index, std::string_view callee)
{
    return std::to_string(index + 1) + " (" + std::string(callee) + ")";
}

bool isAggregateClass(int cls)
{
    return cls == kClassStruct || cls == kClassUnion || cls == kClassArray;
}

}  // namespace

// The CALL instruction and the argument lists of calls.
class CallRule {
public:
    CallRule(Analysis& analysis, Scope& scope, std::string cScope)
        : a(analysis), model(analysis.model), scope(scope), cScope(std::move(cScope))
    {
    }

    void call(const SyntaxNode& node, const Origin& origin)
    {
        std::string name = expanded(Analysis::identText(node.c0(), node), origin);
        std::vector<WrittenArgument> arguments = writtenArguments(node.c1());
        const std::optional<Callee> found = callee(name, arguments, node.c2() != nullptr, origin);
        if (!found) {
            return;
        }
        Entry& entry = model.append(&scope, ENT_CALL, name, origin);
        Descriptor& descriptor = model.attach(entry, DSC_CALL);
        auto& data = descriptor.as<CallData>();
        if (const SyntaxNode* at = node.c2()) {
            Analysis::expect(at, STX_CALL_AT, node);
            data.expected = model.keep(Analysis::trimmedExpressionText(at->c0()));
            data.result = model.keep(Analysis::trimmedExpressionText(at->c1()));
        }
        data.expandedCall = found->expanded;
        if (found->procedure != nullptr) {
            data.procedure = found->procedure;
            if (!a.state.insideProcedure && !a.state.insideCommBlock) {
                a.markProcedureUsed(*found->procedure);
            }
            procedureArguments(arguments, descriptor, *found->procedure);
            return;
        }
        data.cFunction = true;
        data.returnClass = found->function->returnClass;
        data.parameterClasses = model.keepClasses(found->function->parameterClasses);
        std::string expectedStorage;
        const std::optional<std::string_view> expectedAgain = checkExpectedValue(data, origin, expectedStorage);
        checkExpectedFits(name, data.expected, expectedAgain, origin);
        hiddenReturnVariable(data, name, origin);
        checkRange(data.expected, data.checkedClass(), data.expectedClass, origin);
        functionArguments(arguments, descriptor, name, found->function->type);
    }

    void procedureArguments(const std::vector<WrittenArgument>& arguments, Descriptor& call, Entry& procedure)
    {
        const std::vector<int> parameters = parameterClassesOf(procedure);
        const std::string_view name = procedure.name;
        if (parameters.empty()) {
            if (!arguments.empty()) {
                Analysis::report(diag::Error, "NOMOREARG", argumentLabel(0, name), arguments[0].origin);
            }
            return;
        }
        if (arguments.empty()) {
            Analysis::report(diag::Error, "TOOFEWARG", name,
                             Origin{call.owner->fileName(), call.owner->fileId(), call.owner->line});
            return;
        }
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const WrittenArgument& argument = arguments[i];
            const std::string label = argumentLabel(i, name);
            if (i >= parameters.size()) {
                Analysis::report(diag::Error, "NOMOREARG", label, argument.origin);
                return;
            }
            if (argument.reference) {
                Analysis::report(diag::Error, "NOREFPROC", label, argument.origin);
            } else if (argument.text.empty()) {
                Analysis::report(diag::Error, "CALLARGWT", label, argument.origin);
            } else if (argument.withAt) {
                Analysis::report(diag::Error, "NOTERPROC", label, argument.origin);
            } else {
                addArgument(call, argument, parameters[i]);
            }
        }
        if (arguments.size() < parameters.size()) {
            Analysis::report(diag::Error, "TOOFEWARG", name, arguments.back().origin);
        }
    }

private:
    // The parameter of a C function that an argument goes to.
    struct FunctionParameter {
        std::string_view function;
        const canalysis::CType* type = nullptr;  // the function's
        std::size_t index = 0;  // from 0
    };

    // What a CALL calls: a script procedure or a C function.
    struct Callee {
        Entry* procedure = nullptr;
        std::optional<FunctionClasses> function;
        bool expanded = false;  // found through the expansion of the whole call
    };

    // The callee of a name, nothing (reported) when the call is dropped. A
    // call found through its expansion gets the expanded name and arguments.
    std::optional<Callee> callee(std::string& name, std::vector<WrittenArgument>& arguments, bool withAt,
                                 const Origin& origin)
    {
        Callee found;
        found.procedure = model.findGlobal(ENT_PROC, name);
        setCContext(cScope, origin.fileName, origin.line);
        found.function = lookupFunction(name);
        if (found.procedure == nullptr && !found.function) {
            if (!expandCall(name, arguments, origin)) {
                return std::nullopt;
            }
            found.function = lookupFunction(name);
            found.expanded = true;
        }
        if (found.procedure != nullptr && found.function) {
            Analysis::report(diag::Error, "SAMEFCTNM", name, origin);
            return std::nullopt;
        }
        if (found.procedure != nullptr && withAt) {
            Analysis::report(diag::Error, "NORETNFCT", name, origin);
            return std::nullopt;
        }
        return found;
    }

    // The name after macro expansion, trimmed.
    std::string expanded(const std::string& name, const Origin& origin)
    {
        const std::optional<std::string> text = preprocessText(name, cScope, origin.line);
        return text && !text->empty() ? Analysis::trimmed(*text) : name;
    }

    // Neither a procedure nor a C function by its name: the call may be a
    // macro. Gives false (reported) when it is no call of a known function.
    bool expandCall(std::string& name, std::vector<WrittenArgument>& arguments, const Origin& origin)
    {
        std::string callText = name + "(";
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            callText += (i == 0 ? "" : ",") + arguments[i].text;
        }
        callText += ")";
        const std::optional<std::string> text = preprocessText(callText, cScope, origin.line);
        setCContext(cScope, origin.fileName, origin.line);
        const auto form = text ? callForm(*text) : std::nullopt;
        if (!text || withoutBlanks(*text) == withoutBlanks(callText) || !form || !lookupFunction(form->first)) {
            Analysis::report(diag::Error, "UKNFCTCLL", name, origin);
            return false;
        }
        name = form->first;
        const Origin at = arguments.empty() ? origin : arguments.front().origin;
        arguments.clear();
        for (std::string& part : splitArguments(form->second)) {
            WrittenArgument argument;
            argument.text = std::move(part);
            argument.origin = at;
            arguments.push_back(std::move(argument));
        }
        return true;
    }

    // An expected value's class, and whether it is a null pointer constant
    // (NIL, 0), which is compared as a pointer: it suits every pointer.
    struct ExpectedValue {
        int cls = kClassNone;
        bool nullPointer = false;
        std::optional<std::string_view> again;  // see Expansion; none for a range
    };

    // A text expanded for typing; again is the text when its expansion
    // reported nothing, so that expanding it again would give the same
    // text without a report: the checks that follow take it instead.
    struct Expansion {
        std::optional<std::string_view> text;
        std::optional<std::string_view> again;
    };

    Expansion expandForTyping(std::string_view text, const Origin& origin, std::string& storage) const
    {
        const unsigned reportedBefore = diag::errorCount() + diag::warningCount();
        Expansion expansion{Analysis::expandedForTyping(text, cScope, origin, storage), std::nullopt};
        if (expansion.text && diag::errorCount() + diag::warningCount() == reportedBefore) {
            expansion.again = expansion.text;
        }
        return expansion;
    }

    // storage holds the expansion while the value's again is used.
    ExpectedValue expectedValue(std::string_view text, const Origin& origin, std::string& storage)
    {
        if (valueRange(text)) {
            return {expectedClassOf(text, origin), false, std::nullopt};
        }
        const Expansion expanded = expandForTyping(text, origin, storage);
        if (!expanded.text) {
            return {};
        }
        return {Analysis::classOfExpanded(*expanded.text, cScope, origin), isNullPointerConstant(*expanded.text),
                expanded.again};
    }

    // "@ expected [@ result]" of a C function's call. Gives the expected
    // value's expansion when it can stand for another (see Expansion).
    std::optional<std::string_view> checkExpectedValue(CallData& data, const Origin& origin, std::string& storage)
    {
        if (data.expected.empty() && data.result.empty()) {
            return std::nullopt;
        }
        const ExpectedValue expected = expectedValue(data.expected, origin, storage);
        data.expectedClass = expected.cls;
        // A structure or union returned by value has no check: nothing can
        // be expected of it, nor kept by '@'.
        if (isAggregateClass(data.expectedClass) || isAggregateClass(data.returnClass)) {
            Analysis::report(diag::Error, "NOTSTRUCT", data.expected.empty() ? data.result : data.expected, origin);
            return expected.again;
        }
        if (data.expectedClass == kClassCharArray) {
            data.expectedClass = kClassString;
        }
        const int compared = expected.nullPointer ? int{kClassPointer} : data.expectedClass;
        if (!compatibleClasses(data.returnClass, compared)) {
            Analysis::report(diag::Warning, "INCOMPTYP", data.expected, origin);
        }
        if (data.result.empty()) {
            return expected.again;
        }
        data.resultClass = a.classOf(data.result, cScope, origin);
        if (!compatibleClasses(compared, data.resultClass)) {
            Analysis::report(diag::Warning, "INCOMPTYP", data.result, origin);
        }
        if (!compatibleClasses(data.returnClass, data.resultClass)) {
            Analysis::report(diag::Warning, "INCOMPTYP", data.result, origin);
        }
        if (isConstantExpression(data.result)) {
            Analysis::report(diag::Warning, "EXPRCONST", data.result, origin);
        }
        if (data.resultClass == kClassStruct) {
            Analysis::report(diag::Error, "NOTSTRUCT", data.result, origin);
        }
        return expected.again;
    }

    // A number expected of a result, or a bound of the range it is expected
    // in, that the return type cannot hold: the check, which casts it to
    // that type, would compare another number. As for a VAR value: the
    // number out of range, and the expected value refused.
    void checkExpectedFits(std::string_view function, std::string_view expected,
                           std::optional<std::string_view> expectedAgain, const Origin& origin)
    {
        refuseUnkept(
            expectedNumbers(expected), expected, origin,
            [function](const canalysis::CConstant& constant) { return returnTypeKeeps(function, constant); },
            expectedAgain);
    }

    // The same for what an argument's check compares, which has the type of
    // the variable that holds it after the call (the variable after its
    // second '@', what a REF names, the argument that names an object), or
    // else of the parameter; and for the value that variable is set to.
    // The holder, when there is one, is the text the argument passes: its
    // expansion is passed in when it reported nothing (expanding it again
    // gives the same text).
    void checkArgumentFits(const WrittenArgument& argument, const std::optional<FunctionParameter>& parameter,
                           bool designator, std::optional<std::string_view> passedExpansion,
                           std::optional<std::string_view> expectedAgain)
    {
        const std::string_view holder = argument.reference || !argument.result.empty()
                                            ? (argument.result.empty() ? argument.text : argument.result)
                                        : designator ? argument.text
                                                     : std::string_view();
        std::string storage;
        std::optional<std::string_view> object;
        if (!holder.empty()) {
            object = passedExpansion ? passedExpansion
                                     : Analysis::expandedForTyping(holder, cScope, argument.origin, storage);
        }
        refuseUnkept(expectedNumbers(argument.expected), argument.expected, argument.origin,
                     [&](const canalysis::CConstant& constant) {
                         if (object) {
                             return objectTypeKeeps(*object, constant, true);
                         }
                         return !parameter ||
                                parameterTypeKeeps(parameter->function, parameter->index, argument.reference, constant);
                     },
                     expectedAgain);
        if (!argument.result.empty() && object) {
            refuseUnkept({argument.text, {}}, argument.text, argument.origin,
                         [&](const canalysis::CConstant& constant) {
                             return objectTypeKeeps(*object, constant, false);
                         });
        }
    }

    // The numbers of an expected value: itself, or the bounds of its range.
    static std::array<std::string_view, 2> expectedNumbers(std::string_view expected)
    {
        const std::optional<ValueRange> range = valueRange(expected);
        return range ? std::array<std::string_view, 2>{range->lower, range->upper}
                     : std::array<std::string_view, 2>{expected, {}};
    }

    // Reports the first integer constant among the values that its type
    // would not keep, and the whole text with it. keeps:
    // bool(const canalysis::CConstant&); firstAgain: the first value's
    // expansion when it can stand for another (see Expansion).
    template <typename Keeps>
    void refuseUnkept(const std::array<std::string_view, 2>& values, std::string_view whole, const Origin& origin,
                      const Keeps& keeps, std::optional<std::string_view> firstAgain = std::nullopt)
    {
        for (const std::string_view value : values) {
            std::string storage;
            std::optional<std::string_view> expanded = std::exchange(firstAgain, std::nullopt);
            if (value.empty()) {
                expanded = std::nullopt;
            } else if (!expanded) {
                expanded = Analysis::expandedForTyping(value, cScope, origin, storage);
            }
            const std::optional<canalysis::CConstant> constant =
                expanded ? numericConstant(Analysis::trimmed(*expanded), origin.fileName, origin.line)
                         : std::nullopt;
            if (constant && constant->kind == canalysis::kConstInteger && !keeps(*constant)) {
                Analysis::report(diag::Warning, "ENTOUTRAN", value, origin);
                Analysis::report(diag::Error, "VARNOGOOD", whole, origin);
                return;
            }
        }
    }

    // A C function's value goes somewhere even when the script does not keep it.
    void hiddenReturnVariable(CallData& data, std::string_view function, const Origin& origin)
    {
        const bool unspecified = data.returnClass == kClassUnspecified;
        if (!data.result.empty() || data.returnClass == kClassVoid || (unspecified && data.expected.empty())) {
            return;
        }
        int cls = data.returnClass;
        if (unspecified) {
            cls = data.expectedClass;
            if (cls == kClassUnspecified || cls == kClassNone) {
                cls = kClassInt;
            }
        }
        const int number = a.state.returnVarCount++;
        data.result = model.keep("trv_return_" + std::to_string(number));
        Entry& variable = model.prependToBlock(&scope, ENT_RETURN_VAR, data.result, origin);
        auto& variableData = model.attach(variable, DSC_RETURN_VAR).as<ReturnVarData>();
        variableData.cls = cls;
        variableData.number = number;
        if (isAggregateClass(cls)) {
            variableData.declaration = model.keep(returnVariableDeclaration(function, data.result));
        }
    }

    void functionArguments(const std::vector<WrittenArgument>& arguments, Descriptor& call, const std::string& name,
                           const canalysis::CType* function)
    {
        const std::span<const int> parameters = call.as<CallData>().parameterClasses;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const int parameter = parameterClassAt(parameters, i);
            if (parameter == kClassNone) {
                Analysis::report(diag::Error, "NOMOREARG", argumentLabel(i, name), arguments[i].origin);
                return;
            }
            if (arguments[i].text.empty()) {
                Analysis::report(diag::Error, "CALLARGWT", argumentLabel(i, name), arguments[i].origin);
                continue;
            }
            addArgument(call, arguments[i], parameter, FunctionParameter{name, function, i});
        }
        if (arguments.size() < requiredCount(parameters)) {
            const Origin at = arguments.empty() ? Origin{call.owner->fileName(), call.owner->fileId(), call.owner->line}
                                                : arguments.back().origin;
            Analysis::report(diag::Error, "TOOFEWARG", name, at);
        }
    }

    // The class of the parameter an argument goes to; kClassNone when the
    // list has no parameter left for it ("(void)" has none at all).
    static int parameterClassAt(std::span<const int> parameters, std::size_t index)
    {
        if (parameters.empty() || (parameters.size() == 1 && parameters[0] == kClassVoid)) {
            return kClassNone;
        }
        if (index < parameters.size()) {
            return parameters[index];
        }
        return parameters.back() == kClassVariadic ? kClassVariadic : kClassNone;
    }

    // The parameters that must receive an argument: all but "...".
    static std::size_t requiredCount(std::span<const int> parameters)
    {
        if (parameters.size() == 1 && parameters[0] == kClassVoid) {
            return 0;
        }
        return !parameters.empty() && parameters.back() == kClassVariadic ? parameters.size() - 1 : parameters.size();
    }

    void addArgument(Descriptor& call, const WrittenArgument& argument, int parameterClass,
                     std::optional<FunctionParameter> parameter = std::nullopt)
    {
        if (!call.subScope) {
            model.makeScope(call, &scope);
        }
        Entry& entry = model.append(call.subScope, ENT_ARG, argument.text, argument.origin);
        auto& data = model.attach(entry, DSC_ARG).as<ArgData>();
        data.text = entry.name;
        data.reference = argument.reference;
        data.expected = model.keep(argument.expected);
        data.result = model.keep(argument.result);
        data.parameterClass = static_cast<std::int8_t>(parameterClass);
        // The call passes the argument's variable when it has one (set to
        // the argument's value first), else the argument itself.
        const std::string_view passedText = argument.result.empty() ? argument.text : argument.result;
        std::string storage;
        const Expansion passed = expandForTyping(passedText, argument.origin, storage);
        const std::optional<std::string_view>& expanded = passed.text;
        // A C function's parameter judges the argument by its C type; the
        // classes judge the rest. A reference passes the address of what it
        // names; the variadic part of a parameter list takes anything.
        const std::optional<ArgumentJudgement> judgement =
            parameter && parameter->type != nullptr && expanded
                ? judgeArgument(*parameter->type, parameter->index, *expanded, argument.reference)
                : std::nullopt;
        if (judgement) {
            data.cls = static_cast<std::int8_t>(judgement->argumentClass);
        } else {
            data.cls = static_cast<std::int8_t>(
                expanded ? Analysis::classOfExpanded(*expanded, cScope, argument.origin) : int{kClassNone});
        }
        if (!argument.result.empty()) {
            data.cls = static_cast<std::int8_t>(a.classOf(argument.text, cScope, argument.origin));
        }
        const int passedClass = argument.reference ? int{kClassPointer} : int{data.cls};
        if (judgement) {
            reportConversion(*judgement, *parameter, argument.origin);
        } else if (parameterClass != kClassVariadic && !compatibleClasses(parameterClass, passedClass)) {
            Analysis::report(diag::Warning, "INCOMPTYP", argument.text, argument.origin);
        }
        // Whether the argument itself names what its check compares.
        data.designator = expanded && *expanded == argument.text && designatesObject(argument.text);
        std::string expectedStorage;
        std::optional<std::string_view> expectedAgain;
        if (!argument.expected.empty()) {
            const ExpectedValue expected = expectedValue(argument.expected, argument.origin, expectedStorage);
            expectedAgain = expected.again;
            data.expectedClass = static_cast<std::int8_t>(expected.cls);
            if (!compatibleClasses(data.cls, expected.nullPointer ? int{kClassPointer} : expected.cls)) {
                Analysis::report(diag::Warning, "INCOMPTYP", argument.expected, argument.origin);
            }
        }
        if (!argument.result.empty()) {
            data.resultClass = static_cast<std::int8_t>(a.classOf(argument.result, cScope, argument.origin));
            if (isConstantExpression(argument.result)) {
                Analysis::report(diag::Warning, "EXPRCONST", argument.result, argument.origin);
            }
        }
        checkRange(argument.expected, data.checkedClass(), data.expectedClass, argument.origin);
        checkArgumentFits(argument, parameter, data.designator, passed.again, expectedAgain);
    }

    // The class of an expected value; a range's is its bounds' class, and a
    // range needs a bound.
    int expectedClassOf(std::string_view expected, const Origin& origin)
    {
        const std::optional<ValueRange> range = valueRange(expected);
        if (!range) {
            return a.classOf(expected, cScope, origin);
        }
        if (range->lower.empty() && range->upper.empty()) {
            Analysis::report(diag::Error, "FORBEMPTY", {}, origin);
            return kClassNone;
        }
        int cls = kClassNone;
        for (const std::string_view bound : {range->lower, range->upper}) {
            if (!bound.empty()) {
                const int boundClass = a.classOf(bound, cScope, origin);
                cls = cls == kClassNone ? boundClass : cls;
            }
        }
        return cls;
    }

    // A range is checked against numbers only: the value checked and its bounds.
    static void checkRange(std::string_view expected, int checkedClass, int boundClass, const Origin& origin)
    {
        const auto numeric = [](int cls) { return cls >= kClassEnum && cls <= kClassDouble; };
        const std::optional<ValueRange> range = valueRange(expected);
        if (!range || (range->lower.empty() && range->upper.empty())) {
            return;
        }
        if (!numeric(checkedClass) || !numeric(boundClass)) {
            Analysis::report(diag::Error, "RNGNONNUM", expected, origin);
        }
    }

    // What a C compiler would say of the argument, in words of our own:
    // "2 of compress2 (uLongf given, uLongf * expected)".
    static void reportConversion(const ArgumentJudgement& judgement, const FunctionParameter& parameter,
                                 const Origin& origin)
    {
        using canalysis::Conversion;
        diag::MessageCode code;
        diag::Severity severity = diag::Warning;
        switch (judgement.conversion) {
        case Conversion::Silent: return;
        case Conversion::IntegerPointer: code = "ARGINTPTR"; break;
        case Conversion::IncompatiblePointer: code = "ARGPTRINC"; break;
        case Conversion::QualifierDropped: code = "ARGQUALOS"; break;
        case Conversion::ValueChanged: code = "ARGVALCHG"; break;
        case Conversion::Impossible:
            code = "ARGNOCONV";
            severity = diag::Error;
            break;
        }
        const std::string label = std::to_string(parameter.index + 1) + " of " + std::string(parameter.function) +
                                  " (" + judgement.argumentType + " given, " + judgement.parameterType + " expected)";
        Analysis::report(severity, code, label, origin);
    }

    // Classes of the procedure's parameters; none for an empty list.
    static std::vector<int> parameterClassesOf(const Entry& procedure)
    {
        std::vector<int> classes;
        if (procedure.data<ProcData>().parameterCount == 0) {
            return classes;
        }
        for (const Entry& entry : procedure.descriptor->subScope->entries) {
            if (entry.code == ENT_PARAM) {
                classes.push_back(entry.data<ParamData>().cls);
            }
        }
        return classes;
    }

    Analysis& a;
    Model& model;
    Scope& scope;
    std::string cScope;
};

void Analysis::analyseCall(const SyntaxNode& node, Block& block, const Origin& origin)
{
    CallRule(*this, *block.scope, block.cScope).call(node, origin);
}

void Analysis::analyseProcedureArguments(const SyntaxNode* arguments, Descriptor& call, Entry& procedure,
                                         Scope& parent, const std::string& cScope)
{
    CallRule(*this, parent, cScope).procedureArguments(writtenArguments(arguments), call, procedure);
}

void Analysis::analyseProcedure(const SyntaxNode& node)
{
    const std::string name = identText(node.c0(), node);
    const Origin origin = originOf(node);
    if (model.findGlobal(ENT_PROC, name) != nullptr) {
        report(diag::Error, "PROCALREX", name, origin);
        return;
    }
    acceptDeclaredName(name, NameUse::Block, origin);
    Entry& entry = model.append(&model.global(), ENT_PROC, name, origin);
    model.attach(entry, DSC_PROC);
    state.procedures.push_back(&entry);
    Scope& scope = model.makeScope(*entry.descriptor, &model.global());
    if (node.c1() == nullptr) {
        Entry& none = model.append(&scope, ENT_PARAM, {}, origin);
        model.attach(none, DSC_PARAM).as<ParamData>().cls = kClassVoid;
    }
    for (const SyntaxNode* link = node.c1(); link != nullptr; link = link->c1()) {
        const SyntaxNode& parameter = expect(link->c0(), STX_PARAM, *link);
        const std::string type = identText(parameter.c0(), parameter);
        const std::string parameterName = identText(parameter.c1(), parameter);
        const Origin at = originOf(parameter);
        if (model.findGlobal(ENT_MESSAGE_VAR, parameterName) != nullptr) {
            report(diag::Error, "MSGHIDDEN", parameterName, at);
        }
        Entry& param = model.append(&scope, ENT_PARAM, parameterName, at);
        auto& data = model.attach(param, DSC_PARAM).as<ParamData>();
        data.type = type;
        ++entry.data<ProcData>().parameterCount;
        setCContext(name, at.fileName, at.line);
        if (!acceptDeclaredName(parameterName, NameUse::Block, at)) {
            data.cls = kClassUnspecified;
            continue;
        }
        if (!isWrittenTypeName(type)) {
            report(diag::Error, "UKNNATTYP", type, at);
            data.cls = kClassUnspecified;
            continue;
        }
        declare(type + " " + parameterName + ";\n", name, at);
        data.cls = variableClass(parameterName, name, at.fileName, at.line).cls;
    }
    state.insideProcedure = true;
    state.currentProcedure = &entry;
    analyseBody(node.c2(), scope, name);
    state.insideProcedure = false;
    state.currentProcedure = nullptr;
}

namespace {

// The scopes of a body that belong to the same generated function.
void nestedScopes(const Entry& entry, std::vector<Scope*>& pending)
{
    if (entry.code != ENT_IF && entry.code != ENT_WHILE && entry.code != ENT_CASE && entry.code != ENT_WHEN) {
        return;
    }
    if (entry.descriptor->subScope) {
        pending.push_back(entry.descriptor->subScope);
    }
    if (const auto* condition = entry.descriptor->find<ConditionData>();
        condition != nullptr && condition->elseScope) {
        pending.push_back(condition->elseScope);
    }
}

// The procedures that a body calls or names for cleanup.
void namedProcedures(Scope* body, std::vector<Entry*>& procedures)
{
    std::vector<Scope*> scopes{body};
    while (!scopes.empty()) {
        Scope* scope = scopes.back();
        scopes.pop_back();
        for (Entry& entry : scope->entries) {
            if (entry.code == ENT_CALL && entry.data<CallData>().procedure != nullptr) {
                procedures.push_back(entry.data<CallData>().procedure);
            } else if (entry.code == ENT_ENABLE_CLEANUP || entry.code == ENT_DISABLE_CLEANUP) {
                procedures.push_back(entry.data<ProcedureRefData>().procedure);
            }
            nestedScopes(entry, scopes);
        }
    }
}

}  // namespace

void Analysis::markProcedureUsed(Entry& procedure)
{
    std::vector<Entry*> procedures{&procedure};
    while (!procedures.empty()) {
        Entry* next = procedures.back();
        procedures.pop_back();
        auto& data = next->data<ProcData>();
        if (data.used) {
            continue;
        }
        markUsed(data.used);
        namedProcedures(next->descriptor->subScope, procedures);
    }
}

void Analysis::markUsed(bool& flag)
{
    if (!flag) {
        flag = true;
        state.usedMarks.push_back(&flag);
    }
}

void Analysis::takeBackUsedMarks(std::size_t kept)
{
    for (std::size_t at = kept; at < state.usedMarks.size(); ++at) {
        *state.usedMarks[at] = false;
    }
    state.usedMarks.resize(std::min(kept, state.usedMarks.size()));
}

void Analysis::markCommunicationBlockProcedures()
{
    for (Entry& entry : model.global().entries) {
        if ((entry.code != ENT_CALLBACK && entry.code != ENT_PROCSEND) || !entry.data<CommBlockData>().used ||
            entry.descriptor->subScope == nullptr) {
            continue;
        }
        std::vector<Entry*> procedures;
        namedProcedures(entry.descriptor->subScope, procedures);
        for (Entry* procedure : procedures) {
            markProcedureUsed(*procedure);
        }
    }
}

}  // namespace qvm::script::sem
