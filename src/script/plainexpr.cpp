// The plainest C expressions, classed and typed without parsing them.
#include "script/plainexpr.h"

#include "base/mstrin.h"
#include "canalysis/declarations/cexpr.h"
#include "canalysis/declarations/ctylex.h"
#include "script/ancgest.h"
#include "script/panalc.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace qvm::script {

namespace {

// Four digits stay below the smallest int range a target may have.
constexpr std::size_t kPlainDigits = 4;
// Longer strings go the full way, which checks their length.
constexpr std::size_t kPlainStringLength = 64;

using base::isDigit;

// Letters, digits and '_' of the basic character set: a text with any other
// character is no plain name, and goes the full way.
constexpr auto kWordChars = [] {
    std::array<bool, 256> word{};
    for (int c = 0; c < 256; ++c) {
        word[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    }
    return word;
}();

bool isWordChar(char c)
{
    return kWordChars[static_cast<unsigned char>(c)];
}

bool isSmallDecimal(std::string_view text)
{
    return !text.empty() && text.size() <= kPlainDigits && std::ranges::all_of(text, isDigit) &&
           (text.front() != '0' || text.size() == 1);
}

bool isPlainString(std::string_view text)
{
    if (text.size() < 2 || text.size() > kPlainStringLength || text.front() != '"' || text.back() != '"') {
        return false;
    }
    return std::ranges::all_of(text.substr(1, text.size() - 2), [](char c) {
        return std::isprint(static_cast<unsigned char>(c)) != 0 && c != '"' && c != '\\' && c != '?';
    });
}

// "0x" and a few hexadecimal digits.
bool isSmallHex(std::string_view text)
{
    return text.size() > 2 && text.size() <= 2 + kPlainDigits && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
           std::ranges::all_of(text.substr(2), [](char c) { return base::hexDigitValue(c) >= 0; });
}

bool isName(std::string_view text)
{
    return !text.empty() && !isDigit(text.front()) && std::ranges::all_of(text, isWordChar);
}

// Words the expression lexer reads as something else than a name, and the
// name the typing treats apart.
bool isSpecialWord(std::string_view name)
{
    std::string_view canonical;
    return name == "NONIL" || name.starts_with("__") || name == "typeof" ||
           canalysis::declarationKeyword(name, canonical) != 0 ||
           canalysis::modernWord(name, canonical) != canalysis::ModernWord::None;
}

std::string_view trimmedText(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The characters of comparison and logical operators.
constexpr std::string_view kComparisonChars = "<>=!&|";

// What a character tells the first look at a text: a quote, or a character
// of a comparison or logical operator.
enum CharRole : unsigned char { Ordinary = 0, Quote = 1, Comparison = 2 };

constexpr auto kCharRoles = [] {
    std::array<unsigned char, 256> roles{};
    roles[static_cast<unsigned char>('"')] = Quote;
    roles[static_cast<unsigned char>('\'')] = Quote;
    for (const char c : kComparisonChars) {
        roles[static_cast<unsigned char>(c)] = Comparison;
    }
    return roles;
}();

bool isComparisonChar(char c)
{
    return kCharRoles[static_cast<unsigned char>(c)] == Comparison;
}

// Where the first character from `from` on that is (or, with wanted false,
// is not) a comparison character stands; the text's size when none.
std::size_t comparisonCharAt(std::string_view text, std::size_t from, bool wanted)
{
    while (from < text.size() && isComparisonChar(text[from]) != wanted) {
        ++from;
    }
    return from;
}

bool isComparison(std::string_view op)
{
    return op == "<" || op == ">" || op == "<=" || op == ">=" || op == "==" || op == "!=" || op == "&&" ||
           op == "||";
}

// The classes the typing accepts as operands of a comparison without a word.
bool isScalarClass(int cls)
{
    return cls >= kClassEnum && cls <= kClassArray && cls != kClassNonNil && cls != kClassStruct;
}

// Types plain texts in one C scope. Identifiers are found once per text:
// finding one hashes its characters.
class PlainTyper {
public:
    explicit PlainTyper(std::string_view scope) : scopeText_(scope) {}

    // Quotes may hold operator characters: strings are compared the full way.
    std::optional<PlainTyped> typeUnparenthesised(std::string_view text)
    {
        unsigned roles = Ordinary;
        for (const char c : text) {
            const unsigned role = kCharRoles[static_cast<unsigned char>(c)];
            if (role == Quote) {
                return typeOperand(text);
            }
            roles |= role;
        }
        return roles != Ordinary ? typeComparisons(text) : typeOperand(text);
    }

private:
    base::Ident scope()
    {
        if (!scope_) {
            scope_ = canalysis::scopeIdent(scopeText_);
        }
        return *scope_;
    }

    struct Found {
        const canalysis::Symbol* symbol = nullptr;
        const canalysis::SymbolTable* table = nullptr;  // the first one that has it
    };

    // The global symbol of the name.
    static Found findGlobal(base::Ident name)
    {
        for (canalysis::SymbolTable* table = &cSymbols(); table != nullptr; table = table->parent) {
            if (const canalysis::Symbol* found = table->findInScope(name, nullptr)) {
                return {found, table};
            }
        }
        return {};
    }

    // The symbol of the scope, else the global one, as the typing finds it;
    // the global one is already known.
    static const canalysis::Symbol* findScoped(base::Ident name, base::Ident scope, const Found& global)
    {
        for (canalysis::SymbolTable* table = &cSymbols(); table != nullptr; table = table->parent) {
            if (const canalysis::Symbol* found = table->findInScope(name, scope)) {
                return found;
            }
            if (table == global.table) {
                return global.symbol;
            }
        }
        return nullptr;
    }

    static bool isTypedef(const canalysis::Symbol* symbol)
    {
        return symbol != nullptr && (symbol->storage & canalysis::kTypedef) != 0;
    }

    std::optional<PlainTyped> typeName(std::string_view text)
    {
        if (isSpecialWord(text)) {
            return std::nullopt;
        }
        const base::Ident name = base::ident(text);
        // A type name anywhere may change how the parser reads the word.
        const Found global = findGlobal(name);
        if (isTypedef(global.symbol)) {
            return std::nullopt;
        }
        const canalysis::Symbol* symbol = scope() == nullptr ? global.symbol : findScoped(name, scope(), global);
        if (symbol != nullptr) {
            if (isTypedef(symbol) || !symbol->type) {
                return std::nullopt;
            }
            return PlainTyped{symbol->type, expressionClassOfType(symbol->type.get())};
        }
        if (canalysis::findEnumerationConstant(name) != nullptr) {
            return PlainTyped{nullptr, kClassInt, PlainConstant::Enumerator};
        }
        return std::nullopt;  // the full way reports the unknown name
    }

    // A type name anywhere, as the expression reader sees it.
    bool namesType(base::Ident name)
    {
        const Found global = findGlobal(name);
        return isTypedef(global.symbol) || (scope() != nullptr && isTypedef(findScoped(name, scope(), global)));
    }

    // A declared name followed by member names, "a.b.c", each member found in
    // the struct or union the path has reached so far.
    std::optional<PlainTyped> typeMemberPath(std::string_view text)
    {
        const std::string_view head = text.substr(0, text.find('.'));
        if (!isName(head)) {
            return std::nullopt;
        }
        std::optional<PlainTyped> typed = typeName(head);
        for (std::string_view rest = text.substr(head.size()); typed && !rest.empty();) {
            rest.remove_prefix(1);
            const std::string_view member = rest.substr(0, rest.find('.'));
            rest.remove_prefix(member.size());
            if (!isName(member) || isSpecialWord(member) || !typed->type) {
                return std::nullopt;
            }
            const base::Ident name = base::ident(member);
            if (namesType(name)) {
                return std::nullopt;
            }
            const canalysis::Field* field =
                canalysis::C_CPP_find_member(canalysis::C_CPP_resolve(typed->type.get()), name);
            if (field == nullptr || !field->type) {
                return std::nullopt;
            }
            typed = PlainTyped{field->type, expressionClassOfType(field->type.get())};
        }
        return typed;
    }

    std::optional<PlainTyped> typeOperand(std::string_view text)
    {
        if (isSmallDecimal(text)) {
            return PlainTyped{nullptr, kClassInt};
        }
        if (isPlainString(text)) {
            return PlainTyped{nullptr, kClassCharArray, PlainConstant::String};
        }
        if (isName(text)) {
            return typeName(text);
        }
        if (!text.empty() && text.back() == ')') {
            return typeCall(text);
        }
        if (!text.empty() && text.back() == ']') {
            return typeElement(text);
        }
        if (text.find('.') != std::string_view::npos) {
            return typeMemberPath(text);
        }
        return std::nullopt;
    }

    // A declared function (or pointer to one) called with plain arguments:
    // what it returns, int when it says nothing.
    std::optional<PlainTyped> typeCall(std::string_view text)
    {
        const std::size_t open = text.find('(');
        const std::string_view callee = trimmedText(text.substr(0, open));
        if (open == std::string_view::npos || !isName(callee)) {
            return std::nullopt;
        }
        const std::string_view arguments = text.substr(open + 1, text.size() - open - 2);
        if (arguments.find_first_of("()") != std::string_view::npos) {
            return std::nullopt;
        }
        const std::optional<PlainTyped> function = typeName(callee);
        const canalysis::CType* resolved =
            function && function->type ? canalysis::C_CPP_resolve(function->type.get()) : nullptr;
        if (resolved != nullptr && resolved->kind == canalysis::kPointer) {
            resolved = canalysis::C_CPP_resolve(resolved->target.get());
        }
        if (resolved == nullptr || resolved->kind != canalysis::kFunction) {
            return std::nullopt;
        }
        if (!trimmedText(arguments).empty() && !arePlainArguments(arguments)) {
            return std::nullopt;
        }
        const canalysis::TypePtr& result = resolved->target;
        return result ? PlainTyped{result, expressionClassOfType(result.get())} : PlainTyped{nullptr, kClassInt};
    }

    // An element of a plain array or pointer at a plain index: "a.b[2]".
    std::optional<PlainTyped> typeElement(std::string_view text)
    {
        const std::size_t open = text.find('[');
        if (open == std::string_view::npos || open != text.rfind('[')) {
            return std::nullopt;
        }
        const std::string_view index = trimmedText(text.substr(open + 1, text.size() - open - 2));
        const std::string_view base = trimmedText(text.substr(0, open));
        if (base.find_first_of("()") != std::string_view::npos || index.find_first_of("()[]") != std::string_view::npos ||
            !typeOperand(index)) {
            return std::nullopt;
        }
        const std::optional<PlainTyped> array = typeOperand(base);
        const canalysis::CType* resolved = array && array->type ? canalysis::C_CPP_resolve(array->type.get()) : nullptr;
        if (resolved == nullptr || (resolved->kind != canalysis::kArray && resolved->kind != canalysis::kPointer)) {
            return std::nullopt;
        }
        return PlainTyped{resolved->target, expressionClassOfType(resolved->target.get())};
    }

    bool arePlainArguments(std::string_view arguments)
    {
        for (std::string_view rest = arguments;;) {
            const std::size_t comma = std::min(rest.find(','), rest.size());
            if (!typeOperand(trimmedText(rest.substr(0, comma)))) {
                return false;
            }
            if (comma == rest.size()) {
                return true;
            }
            rest.remove_prefix(comma + 1);
        }
    }

    // Small numbers joined by '+', '-' and '*', in parentheses or not, as an
    // expanded constant macro often reads ("(0 + 0x100)"): a scalar.
    static bool isConstantArithmetic(std::string_view text)
    {
        text = trimmedText(text);
        if (text.size() > 2 && text.front() == '(' && text.back() == ')') {
            text = trimmedText(text.substr(1, text.size() - 2));
        }
        for (;;) {
            const std::size_t op = std::min(text.find_first_of("+-*"), text.size());
            const std::string_view number = trimmedText(text.substr(0, op));
            if (!isSmallDecimal(number) && !isSmallHex(number)) {
                return false;
            }
            if (op == text.size()) {
                return true;
            }
            text.remove_prefix(op + 1);
        }
    }

    // Plain operands joined by comparisons and logical operators give an
    // int, whatever their scalar types. A longer chain goes the full way,
    // which knows the nesting limit.
    std::optional<PlainTyped> typeComparisons(std::string_view text)
    {
        constexpr std::size_t kMaxOperands = 8;
        std::size_t operands = 0;
        for (std::string_view rest = text;;) {
            const std::size_t opStart = comparisonCharAt(rest, 0, true);
            const std::string_view operandText = trimmedText(rest.substr(0, opStart));
            std::optional<PlainTyped> operand = typeOperand(operandText);
            if (!operand && isConstantArithmetic(operandText)) {
                operand = PlainTyped{nullptr, kClassInt};
            }
            if (!operand || !isScalarClass(operand->cls) || ++operands > kMaxOperands) {
                return std::nullopt;
            }
            if (opStart == rest.size()) {
                return PlainTyped{nullptr, kClassInt};
            }
            const std::size_t opEnd = comparisonCharAt(rest, opStart, false);
            if (!isComparison(rest.substr(opStart, opEnd - opStart))) {
                return std::nullopt;
            }
            rest.remove_prefix(opEnd);
        }
    }

    std::string_view scopeText_;
    std::optional<base::Ident> scope_;  // found on the first look-up
};

// The text within one pair of parentheses at most: deeper nesting goes the
// full way, which knows its limit.
std::string_view unparenthesised(std::string_view text)
{
    text = trimmedText(text);
    if (text.size() > 2 && text.front() == '(' && text.back() == ')') {
        text = trimmedText(text.substr(1, text.size() - 2));
    }
    return text;
}

}  // namespace

std::optional<PlainTyped> typePlainExpression(std::string_view text, std::string_view scope)
{
    return PlainTyper(scope).typeUnparenthesised(unparenthesised(text));
}

// A plain string holds no escapes: its characters are those between its quotes.
canalysis::TypePtr typeOfPlainConstant(std::string_view text, const PlainTyped& typed)
{
    switch (typed.constant) {
    case PlainConstant::Enumerator: return canalysis::C_CPP_int_type();
    case PlainConstant::String: return canalysis::C_CPP_string_type(unparenthesised(text).size() - 2);
    case PlainConstant::None: break;
    }
    return nullptr;
}

}  // namespace qvm::script
