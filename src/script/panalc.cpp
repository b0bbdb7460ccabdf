// Type questions of the script analysis answered by the C analysis.
#include "script/panalc.h"

#include "base/mstrin.h"
#include "canalysis/cerror.h"
#include "canalysis/constants/cvalue.h"
#include "canalysis/declarations/ctabsy.h"
#include "canalysis/preprocessor/cprepr.h"
#include "script/ancgest.h"
#include "script/plainexpr.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace qvm::script {

namespace {

using canalysis::CType;

// An identifier's text in place: "" for none.
std::string_view identView(base::Ident id)
{
    return id != nullptr ? std::string_view(id) : std::string_view();
}

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
        typed.elementCount = elementCountOf(identView(resolved->dimension));
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

namespace {

// Reads a dimension made of small decimal and hexadecimal numbers joined by
// '+', '-' and '*', with parentheses, as declared dimensions mostly read once
// their macros are expanded ("(200 + 0x100)"). Gives its value when it
// fits an int, as the #if evaluation would; nothing for any other text,
// which the #if evaluation then reads.
class PlainDimension {
public:
    explicit PlainDimension(std::string_view text) : text_(text) {}

    std::optional<long long> value()
    {
        const std::optional<long long> result = sum(0);
        skipBlanks();
        if (!result || pos_ != text_.size() || *result > std::numeric_limits<int>::max() ||
            *result < std::numeric_limits<int>::min()) {
            return std::nullopt;
        }
        return result;
    }

private:
    // Deeper parentheses go the #if way.
    static constexpr int kMaxNesting = 8;
    // Numbers of at most this many digits: their sums and products are checked.
    static constexpr std::size_t kMaxDigits = 9;

    void skipBlanks()
    {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) {
            ++pos_;
        }
    }

    bool take(char c)
    {
        skipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    std::optional<long long> sum(int nesting)
    {
        std::optional<long long> total = product(nesting);
        for (;;) {
            if (!total) {
                return std::nullopt;
            }
            const bool plus = take('+');
            if (!plus && !take('-')) {
                return total;
            }
            const std::optional<long long> term = product(nesting);
            long long next = 0;
            if (!term || (plus ? __builtin_add_overflow(*total, *term, &next)
                               : __builtin_sub_overflow(*total, *term, &next))) {
                return std::nullopt;
            }
            total = next;
        }
    }

    std::optional<long long> product(int nesting)
    {
        std::optional<long long> total = operand(nesting);
        while (total && take('*')) {
            const std::optional<long long> factor = operand(nesting);
            long long next = 0;
            if (!factor || __builtin_mul_overflow(*total, *factor, &next)) {
                return std::nullopt;
            }
            total = next;
        }
        return total;
    }

    std::optional<long long> operand(int nesting)
    {
        if (take('(')) {
            if (nesting >= kMaxNesting) {
                return std::nullopt;
            }
            const std::optional<long long> inner = sum(nesting + 1);
            return inner && take(')') ? inner : std::nullopt;
        }
        skipBlanks();
        return number();
    }

    // A decimal number without leading zero, or "0x" and hexadecimal digits;
    // no suffix, no octal.
    std::optional<long long> number()
    {
        const std::string_view rest = text_.substr(pos_);
        const bool hexadecimal = rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X');
        const std::size_t start = hexadecimal ? 2 : 0;
        std::size_t end = start;
        while (end < rest.size() && (hexadecimal ? base::hexDigitValue(rest[end]) >= 0 : base::isDigit(rest[end]))) {
            ++end;
        }
        const std::size_t digits = end - start;
        const bool octal = !hexadecimal && digits > 1 && rest[0] == '0';
        const bool joined = end < rest.size() && (base::isAsciiLetter(rest[end]) || base::isDigit(rest[end]) ||
                                                  rest[end] == '_' || rest[end] == '.');
        if (digits == 0 || digits > kMaxDigits || octal || joined) {
            return std::nullopt;
        }
        long long value = 0;
        std::from_chars(rest.data() + start, rest.data() + end, value, hexadecimal ? 16 : 10);
        pos_ += end;
        return value;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

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
    if (const std::optional<long long> plain = PlainDimension(dimension).value()) {
        return *plain > 0 ? *plain : 0;
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

namespace {

std::string_view withoutBlanksAround(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The text inside one pair of parentheses that encloses it whole; the text
// itself otherwise.
std::string_view insideParentheses(std::string_view text)
{
    if (text.size() < 2 || text.front() != '(' || text.back() != ')') {
        return text;
    }
    int depth = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
        if (depth == 0) {
            return text;  // the first parenthesis closes before the end: "(a) + (b)"
        }
    }
    return withoutBlanksAround(text.substr(1, text.size() - 2));
}

// "(void *)" or "(void*)" at the head of the text: the text after it.
std::optional<std::string_view> afterVoidPointerCast(std::string_view text)
{
    if (text.empty() || text.front() != '(') {
        return std::nullopt;
    }
    const std::size_t close = text.find(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    std::string cast;
    for (const char c : text.substr(1, close - 1)) {
        if (c != ' ' && c != '\t') {
            cast += c;
        }
    }
    if (cast != "void*") {
        return std::nullopt;
    }
    return withoutBlanksAround(text.substr(close + 1));
}

// A number of value zero: zeros after an optional "0x" or "0b", then only
// u and l suffix letters.
bool isZeroNumber(std::string_view text)
{
    if (text.empty() || text.front() != '0') {
        return false;
    }
    std::size_t i = 1;
    if (text.size() > 2 && (text[1] == 'x' || text[1] == 'X' || text[1] == 'b' || text[1] == 'B') &&
        text[2] == '0') {
        i = 2;
    }
    while (i < text.size() && text[i] == '0') {
        ++i;
    }
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                       [](char c) { return c == 'u' || c == 'U' || c == 'l' || c == 'L'; });
}

}  // namespace

bool isNullPointerConstant(std::string_view text)
{
    // Each step takes off one pair of parentheses or one cast.
    constexpr int kMaxLayers = 16;
    text = withoutBlanksAround(text);
    for (int layer = 0; layer < kMaxLayers; ++layer) {
        if (isZeroNumber(text)) {
            return true;
        }
        if (const std::optional<std::string_view> operand = afterVoidPointerCast(text)) {
            text = *operand;
            continue;
        }
        const std::string_view inner = insideParentheses(text);
        if (inner.size() == text.size()) {
            return false;
        }
        text = inner;
    }
    return false;
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

namespace {

// The struct, union and enum words of a written type name each name a tag
// that the interface declares: an unknown tag would be a new one, seen only
// inside the parameter list of the generated function.
bool tagsAreDeclared(std::string_view text)
{
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find_first_of(" \t*", at);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        if (stop > at) {
            words.push_back(text.substr(at, stop - at));
        }
        at = stop + 1;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        const canalysis::TypeKind kind = words[i] == "struct" ? canalysis::kStruct
                                         : words[i] == "union" ? canalysis::kUnion
                                         : words[i] == "enum"  ? canalysis::kEnum
                                                               : canalysis::kVoid;
        if (kind == canalysis::kVoid) {
            continue;
        }
        if (i + 1 == words.size() || canalysis::C_CPP_find_tag(words[i + 1], cSymbols(), kind) == nullptr) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool isWrittenTypeName(std::string_view text)
{
    const std::string_view trimmed = canalysis::trimBlanks(text);
    if (trimmed.find_first_of(" \t*") == std::string_view::npos) {
        return isTypeName(trimmed);
    }
    if (!tagsAreDeclared(trimmed)) {
        return false;
    }
    const CContext& context = cContext();
    return canalysis::C_CPP_type_of_type_name(trimmed, cSymbols(), context.scope, context.file, context.line) !=
           nullptr;
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
    classes.type = function;
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

bool returnTypeKeeps(std::string_view function, const canalysis::CConstant& constant)
{
    const canalysis::Symbol* symbol = findCVariable(canalysis::trimBlanks(function), cContext().scope);
    const CType* called = symbol != nullptr ? calledFunction(*symbol) : nullptr;
    return called == nullptr || !called->target || canalysis::C_CPP_constant_kept(called->target.get(), constant, true);
}

std::string returnVariableDeclaration(std::string_view function, std::string_view variable)
{
    const canalysis::Symbol* symbol = findCVariable(canalysis::trimBlanks(function), cContext().scope);
    const CType* called = symbol != nullptr ? calledFunction(*symbol) : nullptr;
    if (called == nullptr || !called->target) {
        return {};
    }
    // The variable is assigned the value: a qualifier of the return type
    // would make it read-only.
    const CType* type = called->target.get();
    while (type->kind == canalysis::kQualified && type->target) {
        type = type->target.get();
    }
    return canalysis::C_CPP_type_image(type, variable) + ";";
}

namespace {

// An argument as typed: its class and the type it passes (the address of
// what it names for a REF); none for a text that does not parse. A declared
// name or member path needs no parse.
struct PassedArgument {
    int cls = kClassNone;
    canalysis::TypePtr type;
    std::optional<canalysis::CConstant> constant;  // the value of a numeric constant
};

std::optional<PassedArgument> passedArgument(std::string_view text, bool reference)
{
    const CContext& context = cContext();
    PassedArgument passed;
    if (std::optional<PlainTyped> plain = typePlainExpression(text, context.scope); plain && plain->type) {
        passed.cls = plain->cls;
        passed.type = std::move(plain->type);
    } else if (plain && plain->constant != PlainConstant::None) {
        // An enumeration constant or a string has no value to judge.
        passed.cls = plain->cls;
        passed.type = typeOfPlainConstant(text, *plain);
    } else {
        TypedText typed = typeExpression(text, context.scope, context.file, context.line);
        if (!typed.parsed) {
            return std::nullopt;
        }
        passed.cls = typed.nonNil ? int{kClassNonNil} : expressionClassOfType(typed.type.get());
        passed.type = std::move(typed.type);
        passed.constant = std::move(typed.constant);
    }
    // A reference to an array passes the array, which C passes as the
    // address of its first element.
    const CType* resolved = canalysis::C_CPP_resolve(passed.type.get());
    if (reference && (resolved == nullptr || resolved->kind != canalysis::kArray)) {
        CType pointer;
        pointer.target = std::move(passed.type);
        passed.type = canalysis::C_CPP_new_type(canalysis::kPointer, std::move(pointer));
    }
    return passed;
}

}  // namespace

bool parameterTypeKeeps(std::string_view function, std::size_t index, bool reference,
                        const canalysis::CConstant& constant)
{
    const canalysis::Symbol* symbol = findCVariable(canalysis::trimBlanks(function), cContext().scope);
    const CType* called = symbol != nullptr ? calledFunction(*symbol) : nullptr;
    if (called == nullptr || !called->prototype || index >= called->parameters.size()) {
        return true;
    }
    const CType* type = canalysis::C_CPP_resolve(called->parameters[index].type.get());
    if (type == nullptr || type->kind == canalysis::kEllipsis || type->kind == canalysis::kVoid) {
        return true;
    }
    // A reference's value lies where the parameter points.
    if (reference) {
        if ((type->kind != canalysis::kPointer && type->kind != canalysis::kArray) || !type->target) {
            return true;
        }
        type = type->target.get();
    }
    return canalysis::C_CPP_constant_kept(type, constant, true);
}

bool objectTypeKeeps(std::string_view expandedObject, const canalysis::CConstant& constant, bool asBits)
{
    const std::optional<PassedArgument> object = passedArgument(expandedObject, false);
    return !object || !object->type || canalysis::C_CPP_constant_kept(object->type.get(), constant, asBits);
}

std::optional<ArgumentJudgement> judgeArgument(const CType& function, std::size_t index,
                                               std::string_view expandedArgument, bool reference)
{
    if (!function.prototype || index >= function.parameters.size()) {
        return std::nullopt;
    }
    const CType* parameter = function.parameters[index].type.get();
    const CType* resolved = canalysis::C_CPP_resolve(parameter);
    if (parameter == nullptr || resolved == nullptr || resolved->kind == canalysis::kEllipsis ||
        resolved->kind == canalysis::kVoid) {
        return std::nullopt;
    }
    ArgumentJudgement judgement;
    const std::optional<PassedArgument> argument = passedArgument(expandedArgument, reference);
    if (!argument) {
        judgement.argumentClass = kClassInt;  // as the typing counts a text that does not parse
        return judgement;
    }
    judgement.argumentClass = argument->cls;
    const bool nullPointer = !reference && isNullPointerConstant(expandedArgument);
    judgement.conversion = canalysis::C_CPP_argument_conversion(parameter, argument->type.get(), nullPointer,
                                                                argument->constant ? &*argument->constant : nullptr);
    if (judgement.conversion != canalysis::Conversion::Silent) {
        judgement.argumentType = canalysis::C_CPP_type_image(argument->type.get());
        judgement.parameterType = canalysis::C_CPP_type_image(parameter);
    }
    return judgement;
}

}  // namespace qvm::script
