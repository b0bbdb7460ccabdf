#include "script/plainexpr.h"

#include "canalysis/declarations/cexpr.h"
#include "canalysis/declarations/ctylex.h"
#include "script/ancgest.h"
#include "script/panalc.h"

#include <algorithm>
#include <cctype>

namespace qvm::script {

namespace {

// Four digits stay below the smallest int range a target may have.
constexpr std::size_t kPlainDigits = 4;
// Longer strings go the full way, which checks their length.
constexpr std::size_t kPlainStringLength = 64;

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
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

bool isName(std::string_view text)
{
    return !text.empty() && !isDigit(text.front()) && std::ranges::all_of(text, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
    });
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

std::optional<PlainTyped> typeName(std::string_view name, std::string_view scope)
{
    if (isSpecialWord(name)) {
        return std::nullopt;
    }
    // A type name anywhere may change how the parser reads the word.
    const canalysis::Symbol* global = canalysis::C_CPP_find_symbol_with_parent(name, cSymbols(), {});
    if (global != nullptr && (global->storage & canalysis::kTypedef) != 0) {
        return std::nullopt;
    }
    const canalysis::Symbol* symbol =
        scope.empty() ? global : canalysis::C_CPP_find_symbol_with_parent(name, cSymbols(), scope);
    if (symbol != nullptr) {
        if ((symbol->storage & canalysis::kTypedef) != 0 || !symbol->type) {
            return std::nullopt;
        }
        return PlainTyped{symbol->type, expressionClassOfType(symbol->type.get())};
    }
    if (canalysis::findEnumerationConstant(base::ident(name)) != nullptr) {
        return PlainTyped{nullptr, kClassInt};
    }
    return std::nullopt;  // the full way reports the unknown name
}

// A type name anywhere, as the expression reader sees it.
bool namesType(std::string_view name, std::string_view scope)
{
    const auto isTypedef = [&](std::string_view where) {
        const canalysis::Symbol* symbol = canalysis::C_CPP_find_symbol_with_parent(name, cSymbols(), where);
        return symbol != nullptr && (symbol->storage & canalysis::kTypedef) != 0;
    };
    return isTypedef({}) || (!scope.empty() && isTypedef(scope));
}

// A declared name followed by member names, "a.b.c", each member found in
// the struct or union the path has reached so far.
std::optional<PlainTyped> typeMemberPath(std::string_view text, std::string_view scope)
{
    const std::string_view head = text.substr(0, text.find('.'));
    if (!isName(head)) {
        return std::nullopt;
    }
    std::optional<PlainTyped> typed = typeName(head, scope);
    for (std::string_view rest = text.substr(head.size()); typed && !rest.empty();) {
        rest.remove_prefix(1);
        const std::string_view member = rest.substr(0, rest.find('.'));
        rest.remove_prefix(member.size());
        if (!isName(member) || isSpecialWord(member) || namesType(member, scope) || !typed->type) {
            return std::nullopt;
        }
        const canalysis::Field* field =
            canalysis::C_CPP_find_member(canalysis::C_CPP_resolve(typed->type.get()), base::ident(member));
        if (field == nullptr || !field->type) {
            return std::nullopt;
        }
        typed = PlainTyped{field->type, expressionClassOfType(field->type.get())};
    }
    return typed;
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

std::optional<PlainTyped> typeUnparenthesised(std::string_view text, std::string_view scope)
{
    if (isSmallDecimal(text)) {
        return PlainTyped{nullptr, kClassInt};
    }
    if (isPlainString(text)) {
        return PlainTyped{nullptr, kClassCharArray};
    }
    if (isName(text)) {
        return typeName(text, scope);
    }
    if (text.find('.') != std::string_view::npos) {
        return typeMemberPath(text, scope);
    }
    return std::nullopt;
}

}  // namespace

// One pair of parentheses at most: deeper nesting goes the full way, which
// knows its limit.
std::optional<PlainTyped> typePlainExpression(std::string_view text, std::string_view scope)
{
    text = trimmedText(text);
    if (text.size() > 2 && text.front() == '(' && text.back() == ')') {
        text = trimmedText(text.substr(1, text.size() - 2));
    }
    return typeUnparenthesised(text, scope);
}

}  // namespace qvm::script
