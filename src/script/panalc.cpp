#include "script/panalc.h"

#include "canalysis/cerror.h"
#include "canalysis/constants/cvalue.h"
#include "canalysis/declarations/ctabsy.h"
#include "canalysis/preprocessor/cprepr.h"
#include "script/ancgest.h"
#include "script/plainexpr.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

namespace qvm::script {

namespace {

using canalysis::CType;

// Whether a const qualifier stands anywhere along the type, through
// pointers, arrays, functions and type names.
bool isConstType(const CType* type)
{
    while (type != nullptr) {
        if (canalysis::C_CPP_is_const(type)) {
            return true;
        }
        if (type->kind == canalysis::kTypedefName || type->kind == canalysis::kQualified ||
            type->kind == canalysis::kPointer || type->kind == canalysis::kArray ||
            type->kind == canalysis::kFunction) {
            type = type->target.get();
        } else {
            return false;
        }
    }
    return false;
}

TypedExpression describe(const CType* type, int cls)
{
    TypedExpression typed;
    typed.cls = cls;
    typed.constant = isConstType(type);
    typed.typeImage = canalysis::C_CPP_type_image(type);
    const CType* resolved = canalysis::C_CPP_resolve(type);
    if (resolved != nullptr && resolved->kind == canalysis::kArray) {
        typed.elementCount = elementCountOf(base::identText(resolved->dimension));
    }
    return typed;
}

int parameterClass(const canalysis::Parameter& parameter)
{
    // A name of an identifier list without declaration has no type.
    return parameter.type ? expressionClassOfType(parameter.type.get()) : kClassUnspecified;
}

bool isVoidList(const std::vector<canalysis::Parameter>& parameters)
{
    const CType* only = parameters.size() == 1 ? canalysis::C_CPP_resolve(parameters[0].type.get()) : nullptr;
    return only != nullptr && only->kind == canalysis::kVoid && parameters[0].name == nullptr;
}

// The function type a symbol calls: its own, or the one its pointer points to.
const CType* calledFunction(const canalysis::Symbol& symbol)
{
    const CType* type = canalysis::C_CPP_resolve(symbol.type.get());
    if (type != nullptr && type->kind == canalysis::kPointer) {
        type = canalysis::C_CPP_resolve(type->target.get());
    }
    return type != nullptr && type->kind == canalysis::kFunction ? type : nullptr;
}

// Whether the text is an arithmetic type written in words ("int",
// "unsigned long"): nothing but letters, digits, '_' and blanks.
bool isBasicTypeName(std::string_view text)
{
    const bool words = !text.empty() && std::ranges::all_of(text, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == ' ' || c == '\t';
    });
    if (!words) {
        return false;
    }
    const CContext& context = cContext();
    const canalysis::TypePtr type =
        canalysis::C_CPP_type_of_type_name(text, cSymbols(), context.scope, context.file, context.line);
    return type && (type->kind == canalysis::kBasic || type->kind == canalysis::kFloating);
}

}  // namespace

long long elementCountOf(std::string_view dimension)
{
    dimension = canalysis::trimBlanks(dimension);
    long long count = 0;
    const auto [end, error] = std::from_chars(dimension.data(), dimension.data() + dimension.size(), count);
    if (error == std::errc{} && end == dimension.data() + dimension.size()) {
        return count;
    }
    if (dimension.empty() || dimension.find("sizeof") != std::string_view::npos) {
        return 0;
    }
    bool failed = false;
    const canalysis::ScopedCallback quiet(
        [&failed](int severity, auto...) { failed |= severity <= canalysis::CWarning; });
    const int value = canalysis::C_CPP_eval_if_line(dimension);
    return !failed && value > 0 ? value : 0;
}

bool compatibleClasses(int expected, int found)
{
    const auto isPointer = [](int cls) { return cls == kClassNonNil || cls == kClassPointer; };
    const auto isString = [](int cls) { return cls == kClassString || cls == kClassCharArray; };
    const auto isArithmetic = [](int cls) { return cls >= kClassEnum && cls <= kClassDouble; };
    if (isPointer(expected) && found <= kClassPointer) {
        return true;
    }
    if (isPointer(found)) {
        return expected <= kClassPointer;
    }
    if ((isString(expected) && isString(found)) || (isArithmetic(expected) && isArithmetic(found))) {
        return true;
    }
    const auto isOpen = [](int cls) { return cls == kClassVariadic || cls == kClassUnspecified; };
    return isOpen(expected) || isOpen(found) || expected == found;
}

bool isTypeName(std::string_view name)
{
    const std::string_view trimmed = canalysis::trimBlanks(name);
    const canalysis::Symbol* symbol = canalysis::C_CPP_find_symbol(trimmed, cSymbols(), cContext().scope);
    if (symbol != nullptr) {
        return (symbol->storage & canalysis::kTypedef) != 0;
    }
    return isBasicTypeName(trimmed);
}

TypedExpression expressionClass(std::string_view text, std::string_view scope, std::string_view file, int line)
{
    // A declared name or member path has its declared type: no parse needed.
    if (const std::optional<PlainTyped> plain = typePlainExpression(text, scope); plain && plain->type) {
        setCContext(scope, file, line);
        return describe(plain->type.get(), plain->cls);
    }
    const TypedText typed = typeExpression(text, scope, file, line);
    if (!typed.parsed) {
        return describe(nullptr, kClassInt);
    }
    const CType* type = typed.type.get();
    return describe(type, typed.nonNil ? kClassNonNil : expressionClassOfType(type));
}

TypedExpression variableClass(std::string_view name, std::string_view scope, std::string_view file, int line)
{
    setCContext(scope, file, line);
    const canalysis::Symbol* symbol = findCVariable(canalysis::trimBlanks(name), cContext().scope);
    if (symbol == nullptr) {
        return {};
    }
    return describe(symbol->type.get(), expressionClassOfType(symbol->type.get()));
}

bool isConstantExpression(std::string_view text)
{
    const CContext context = cContext();
    return expressionClass(text, context.scope, context.file, context.line).constant;
}

std::optional<FunctionClasses> lookupFunction(std::string_view name)
{
    const canalysis::Symbol* symbol = findCVariable(canalysis::trimBlanks(name), cContext().scope);
    const CType* function = symbol != nullptr ? calledFunction(*symbol) : nullptr;
    if (function == nullptr) {
        return std::nullopt;
    }
    FunctionClasses classes;
    classes.returnClass = expressionClassOfType(function->target.get());
    if (function->parameters.empty() || isVoidList(function->parameters)) {
        classes.parameterClasses = {kClassVoid};
        return classes;
    }
    for (const canalysis::Parameter& parameter : function->parameters) {
        classes.parameterClasses.push_back(parameterClass(parameter));
    }
    return classes;
}

}  // namespace qvm::script
