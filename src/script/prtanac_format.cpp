// FORMAT registration: the variable path, the native type and the display
// base of a FORMAT text, checked against the C analysis.
#include "script/prtanac.h"

#include "base/mstrin.h"
#include "canalysis/constants/cvalue.h"
#include "canalysis/declarations/ctabsy.h"
#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/pprepc.h"
#include "script/prtanac_detail.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qvm::script {

namespace {

using canalysis::CType;

using FormatKey = std::pair<std::string, std::string>;
using FormatKeyView = std::pair<std::string_view, std::string_view>;

// Every VAR and every value the writers dump look their variable up, and
// nearly all miss: keys are hashed and compared as views, so that a look-up
// copies no text.
struct FormatKeyHash {
    using is_transparent = void;
    std::size_t operator()(const FormatKeyView& key) const
    {
        const std::hash<std::string_view> hash;
        return hash(key.first) * 31 + hash(key.second);
    }
    std::size_t operator()(const FormatKey& key) const { return (*this)(FormatKeyView(key.first, key.second)); }
};

struct FormatKeyEqual {
    using is_transparent = void;
    static FormatKeyView view(const FormatKey& key) { return {key.first, key.second}; }
    static FormatKeyView view(const FormatKeyView& key) { return key; }
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const
    {
        return view(a) == view(b);
    }
};

// Formats by (scope of the path's first name, path); the formats keep their
// places as others are added.
std::unordered_map<FormatKey, VariableFormat, FormatKeyHash, FormatKeyEqual>& formats()
{
    static std::unordered_map<FormatKey, VariableFormat, FormatKeyHash, FormatKeyEqual> registered;
    return registered;
}

void formatError(diag::MessageCode code, std::string_view argument)
{
    diag::reportLocated(diag::Error, code, argument, cContext().file, cContext().line);
}

bool isWordStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

bool isWordChar(char c)
{
    return isWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Whether blanks separate two words ("a b"), which no path may hold.
bool blankBetweenWords(std::string_view text)
{
    for (std::size_t at = text.find_first_of(" \t\r\n"); at != std::string_view::npos;
         at = text.find_first_of(" \t\r\n", at + 1)) {
        const std::size_t next = text.find_first_not_of(" \t\r\n", at);
        if (at > 0 && next != std::string_view::npos && isWordChar(text[at - 1]) && isWordChar(text[next])) {
            return true;
        }
    }
    return false;
}

// A variable path: the first name, the field names reached through "." or
// "->" (arrow steps marked), and whether a final "[...]" selects elements.
struct VariablePath {
    std::string name;
    std::vector<std::pair<std::string, bool>> fields;  // (name, reached through "->")
    bool elements = false;
};

std::string readWord(std::string_view text, std::size_t& at)
{
    const std::size_t start = at;
    if (at < text.size() && isWordStart(text[at])) {
        while (at < text.size() && isWordChar(text[at])) {
            ++at;
        }
    }
    return std::string(text.substr(start, at - start));
}

// Reads a path written without blanks; none when it is not of that form
// (a "]" without its "[", or anything after the final "[...]").
std::optional<VariablePath> parsePath(std::string_view text)
{
    VariablePath path;
    std::size_t at = 0;
    path.name = readWord(text, at);
    if (path.name.empty()) {
        return std::nullopt;
    }
    while (at < text.size()) {
        const bool arrow = text.substr(at, 2) == "->";
        if (text[at] == '.' || arrow) {
            at += arrow ? 2 : 1;
            std::string field = readWord(text, at);
            if (field.empty()) {
                return std::nullopt;
            }
            path.fields.emplace_back(std::move(field), arrow);
        } else if (text[at] == '[' && text.find(']', at) == text.size() - 1) {
            path.elements = true;
            return path;
        } else {
            return std::nullopt;
        }
    }
    return path;
}

bool isAggregate(const CType* type)
{
    return type != nullptr && (type->kind == canalysis::kStruct || type->kind == canalysis::kUnion) &&
           type->aggregate != nullptr;
}

// How many members without a name a field is looked for through: a type
// that holds itself that way would otherwise be searched without end.
constexpr int kMaxUnnamedDepth = 64;

// The member of that name, also inside members without a name.
const canalysis::Field* findField(const CType* aggregate, base::Ident name, int depth = 0)
{
    for (const canalysis::Field& field : aggregate->aggregate->fields) {
        if (field.name == name) {
            return &field;
        }
        const CType* inner = canalysis::C_CPP_resolve(field.type.get());
        if (field.name == nullptr && isAggregate(inner) && depth < kMaxUnnamedDepth) {
            if (const canalysis::Field* found = findField(inner, name, depth + 1)) {
                return found;
            }
        }
    }
    return nullptr;
}

// The field a "." or "->" step reaches from a type; none when it is not there.
const canalysis::Field* stepField(const CType* type, const std::string& field, bool arrow)
{
    if (arrow) {
        type = type != nullptr && type->kind == canalysis::kPointer ? canalysis::C_CPP_resolve(type->target.get())
                                                                   : nullptr;
    }
    return isAggregate(type) ? findField(type, base::ident(field)) : nullptr;
}

bool isFormattable(const CType* type)
{
    switch (type == nullptr ? canalysis::kBasic : type->kind) {
    case canalysis::kBasic:
    case canalysis::kFloating:
    case canalysis::kPointer:
    case canalysis::kArray:
    case canalysis::kEnum:
        return true;
    default:
        return false;
    }
}

// Checks the path against the C analysis; gives the scope of its first
// name, none after reporting what is wrong.
std::optional<std::string> checkPath(const VariablePath& path, std::string_view text)
{
    const canalysis::Symbol* symbol = findCVariable(path.name, cContext().scope);
    if (symbol == nullptr) {
        formatError("IDENTINCO", path.name);
        return std::nullopt;
    }
    const CType* type = canalysis::C_CPP_resolve(symbol->type.get());
    for (const auto& [field, arrow] : path.fields) {
        const canalysis::Field* found = stepField(type, field, arrow);
        if (found == nullptr) {
            formatError("CHAMPINCO", field);
            return std::nullopt;
        }
        type = canalysis::C_CPP_resolve(found->type.get());
    }
    if (path.elements) {
        const bool indexable =
            type != nullptr && (type->kind == canalysis::kArray || type->kind == canalysis::kPointer);
        type = indexable ? canalysis::C_CPP_resolve(type->target.get()) : nullptr;
        if (!indexable) {
            formatError("NOMVARINC", text);
            return std::nullopt;
        }
    }
    if (!isFormattable(type)) {
        formatError("NOMVARINC", text);
        return std::nullopt;
    }
    return std::string(base::identText(symbol->scope));
}

// The part after "#": type name, optional parenthesised C type, optional base.
struct TypePart {
    std::string typeName;
    std::optional<std::string> cType;
    std::string base;
};

TypePart splitTypePart(std::string_view text)
{
    // The base word follows the type after a blank (the way a script writes
    // it: the script lexer ends a FORMAT= text at a top-level comma) or after
    // a comma.
    TypePart part;
    text = canalysis::trimBlanks(text);
    const std::size_t close = text.rfind(')');
    const std::size_t open = text.find('(');
    const bool parenthesised = open != std::string_view::npos && close != std::string_view::npos && close > open;
    const std::size_t typeEnd = parenthesised ? close + 1 : text.find_first_of(" \t,");
    if (typeEnd != std::string_view::npos && typeEnd < text.size()) {
        std::string_view rest = canalysis::trimBlanks(text.substr(typeEnd));
        if (!rest.empty() && rest.front() == ',') {
            rest = canalysis::trimBlanks(rest.substr(1));
        }
        part.base = rest;
        text = text.substr(0, typeEnd);
    }
    if (parenthesised) {
        part.cType = std::string(canalysis::trimBlanks(text.substr(open + 1, close - open - 1)));
        text = text.substr(0, open);
    }
    part.typeName = canalysis::trimBlanks(text);
    return part;
}

std::optional<int> formatCodeOf(std::string_view word)
{
    static constexpr std::pair<std::string_view, int> kBases[] = {
        {"HEX", kFormatHex}, {"DEC", kFormatDecimal}, {"BIN", kFormatBinary}, {"OCT", kFormatOctal},
        {"CHAR", kFormatNatural}, {"", kFormatNatural},
    };
    std::string upper(word);
    std::ranges::transform(upper, upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const auto& [name, code] : kBases) {
        if (upper == name) {
            return code;
        }
    }
    return std::nullopt;
}

// Fills the native type of the format from the type part; reports and
// gives false when it does not name one.
bool readTypePart(std::string_view text, bool parenthesisedRequired, VariableFormat& format)
{
    const TypePart part = splitTypePart(text);
    const NativeType* row = findNativeType(part.typeName);
    if (row == nullptr) {
        formatError("TYPEINCON", part.typeName);
        return false;
    }
    if (parenthesisedRequired && row->needsParenthesised && !part.cType) {
        formatError("ENUTYPABS", part.typeName);
        return false;
    }
    const std::optional<int> code = formatCodeOf(part.base);
    if (!code) {
        formatError("BASEINCON", part.base);
        return false;
    }
    std::optional<std::string> cType = std::string(row->cType);
    if (part.cType) {
        cType = preprocessText(*part.cType, cContext().scope, cContext().line);
        if (!cType) {
            return false;
        }
    }
    format.cType = *cType;
    format.checkName = row->checkName;
    format.checkClass = row->checkClass;
    format.width = row->width;
    format.formatCode = *code;
    return true;
}

// Reads and checks the variable part; gives the format's key fields.
bool readVariablePart(std::string_view text, VariableFormat& format)
{
    const std::optional<std::string> expanded = preprocessText(text, cContext().scope, cContext().line);
    if (!expanded) {
        return false;
    }
    format.variable = base::withoutBlanks(*expanded);
    const std::optional<VariablePath> path = parsePath(format.variable);
    if (!path || blankBetweenWords(*expanded)) {
        formatError("NOMVARINC", *expanded);
        return false;
    }
    const std::optional<std::string> scope = checkPath(*path, *expanded);
    if (!scope) {
        return false;
    }
    format.scope = *scope;
    return true;
}

// Stores the format unless an instruction already gave one for the variable.
const VariableFormat* store(VariableFormat format)
{
    auto key = std::make_pair(format.scope, format.variable);
    const auto found = formats().find(key);
    if (found != formats().end()) {
        if (format.kind == FormatKind::Hidden) {
            return &found->second;
        }
        if (found->second.kind == FormatKind::Instruction) {
            formatError("FORMREDEF", format.variable);
            return nullptr;
        }
    }
    return &formats().insert_or_assign(std::move(key), std::move(format)).first->second;
}

}  // namespace

const VariableFormat* registerFormat(FormatKind kind, std::string_view scope, std::string_view formatText, std::string_view file,
                    int line, bool parenthesisedRequired)
{
    setCContext(scope, file, line);
    const std::size_t hash = formatText.find('#');
    const std::string_view variableText = formatText.substr(0, hash);
    const std::string_view typeText = hash == std::string_view::npos ? std::string_view{} : formatText.substr(hash + 1);
    VariableFormat format;
    format.kind = kind;
    if (!readVariablePart(variableText, format) || !readTypePart(typeText, parenthesisedRequired, format)) {
        return nullptr;
    }
    return store(std::move(format));
}

const VariableFormat* formatOf(std::string_view variable, std::string_view scope)
{
    if (formats().empty()) {
        return nullptr;
    }
    const bool blanks = std::ranges::any_of(variable, base::isTextBlank);
    const std::string compact = blanks ? base::withoutBlanks(variable) : std::string();
    const std::string_view path = blanks ? std::string_view(compact) : variable;
    for (const std::string_view where : {scope, std::string_view{}}) {
        const auto found = formats().find(FormatKeyView(where, path));
        if (found != formats().end()) {
            return &found->second;
        }
    }
    return nullptr;
}

std::vector<const VariableFormat*> globalFormats()
{
    std::vector<const VariableFormat*> list;
    for (const auto& [key, format] : formats()) {
        if (key.first.empty()) {
            list.push_back(&format);
        }
    }
    return list;
}

void detail::resetFormats()
{
    formats().clear();
}

}  // namespace qvm::script
