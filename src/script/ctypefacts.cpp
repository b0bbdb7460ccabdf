// The C types the writers ask about, found in the C tables and told as facts.
#include "script/ctypefacts.h"

#include "script/ancgest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace qvm::script {

namespace {

using canalysis::CType;

constexpr auto kAsciiNameCharacters = [] {
    std::array<bool, 0x80> name{};
    for (int c = 0; c < 0x80; ++c) {
        name[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    }
    return name;
}();

// A letter or digit of ASCII is one in every locale, and the other ASCII
// characters are none: only the bytes beyond ask the locale.
bool isNameCharacter(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x80 ? kAsciiNameCharacters[byte] : std::isalnum(byte) != 0;
}

std::string_view nameAt(std::string_view text, std::size_t& at)
{
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    const std::size_t begin = at;
    while (at < text.size() && isNameCharacter(text[at])) {
        ++at;
    }
    return text.substr(begin, at - begin);
}

const CType* fieldType(const CType* type, std::string_view name)
{
    type = canalysis::C_CPP_resolve(type);
    if (type == nullptr || type->aggregate == nullptr ||
        (type->kind != canalysis::kStruct && type->kind != canalysis::kUnion)) {
        return nullptr;
    }
    for (const canalysis::Field& field : type->aggregate->fields) {
        if (field.name != nullptr && name == std::string_view(field.name)) {
            return field.type.get();
        }
    }
    return nullptr;
}

const CType* targetOf(const CType* type)
{
    type = canalysis::C_CPP_resolve(type);
    if (type == nullptr || (type->kind != canalysis::kPointer && type->kind != canalysis::kArray)) {
        return nullptr;
    }
    return type->target.get();
}

// Past the bracket that closes the one at `at`.
bool skipIndex(std::string_view text, std::size_t& at)
{
    int depth = 0;
    for (; at < text.size(); ++at) {
        depth += text[at] == '[' ? 1 : text[at] == ']' ? -1 : 0;
        if (depth == 0) {
            ++at;
            return true;
        }
    }
    return false;
}

// The type reached from `type` by the fields and indices of `path` from `at`.
const CType* followPath(const CType* type, std::string_view path, std::size_t at)
{
    while (type != nullptr && at < path.size()) {
        if (path[at] == ' ') {
            ++at;
        } else if (path[at] == '[') {
            type = skipIndex(path, at) ? targetOf(type) : nullptr;
        } else if (path[at] == '.') {
            ++at;
            type = fieldType(type, nameAt(path, at));
        } else if (path.substr(at, 2) == "->") {
            at += 2;
            type = fieldType(targetOf(type), nameAt(path, at));
        } else {
            type = nullptr;
        }
    }
    return type;
}

const CType* variableType(std::string_view name, std::string_view scope)
{
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())) != 0) {
        return nullptr;
    }
    const canalysis::Symbol* symbol = findCVariable(name, scope);
    return symbol != nullptr ? symbol->type.get() : nullptr;
}

// The type named, a typedef's.
const CType* typeNamed(std::string_view name)
{
    const canalysis::Symbol* symbol = canalysis::C_CPP_find_symbol(name, cSymbols(), {});
    return symbol != nullptr && (symbol->storage & canalysis::kTypedef) != 0 ? symbol->type.get() : nullptr;
}

const CType* typeAtPath(std::string_view path, std::string_view scope)
{
    std::size_t at = 0;
    const std::string_view name = nameAt(path, at);
    return followPath(variableType(name, scope), path, at);
}

// The function a name designates, through a pointer to one too.
const CType* functionNamed(std::string_view function, std::string_view scope)
{
    const CType* type = canalysis::C_CPP_resolve(typeAtPath(function, scope));
    if (type != nullptr && type->kind == canalysis::kPointer) {
        type = canalysis::C_CPP_resolve(type->target.get());
    }
    return type != nullptr && type->kind == canalysis::kFunction ? type : nullptr;
}

bool spelledWith(const CType& type, std::string_view word)
{
    return type.name != nullptr && std::string_view(type.name).find(word) != std::string_view::npos;
}

// The character kind of a resolved type ("unsigned" holds "signed": it is looked for first).
CharKind characterKind(const CType* resolved)
{
    if (resolved == nullptr || resolved->kind != canalysis::kBasic || !resolved->isChar) {
        return CharKind::None;
    }
    return spelledWith(*resolved, "unsigned") ? CharKind::Unsigned
           : spelledWith(*resolved, "signed") ? CharKind::Signed
                                              : CharKind::Plain;
}

CTypeFacts factsOf(const CType* type)
{
    CTypeFacts facts;
    facts.known = type != nullptr;
    const CType* resolved = canalysis::C_CPP_resolve(type);
    if (resolved == nullptr) {
        return facts;
    }
    facts.array = resolved->kind == canalysis::kArray;
    facts.character = characterKind(resolved);
    facts.unsignedInteger =
        resolved->kind == canalysis::kBasic && !resolved->isChar && spelledWith(*resolved, "unsigned");
    facts.elements = characterKind(canalysis::C_CPP_resolve(targetOf(resolved)));
    if (resolved->kind == canalysis::kEnum && resolved->enumeration != nullptr &&
        !resolved->enumeration->enumerators.empty()) {
        facts.enumeration = true;
        for (const canalysis::Enumerator& enumerator : resolved->enumeration->enumerators) {
            if (enumerator.name != nullptr) {
                facts.enumerators.emplace_back(enumerator.name);
            }
        }
    }
    return facts;
}

}  // namespace

CTypeFacts typeOfPath(std::string_view path, std::string_view scope)
{
    return factsOf(typeAtPath(path, scope));
}

CTypeFacts typeOfMemberPath(std::string_view typeName, std::string_view members)
{
    return factsOf(followPath(typeNamed(typeName), members, 0));
}

namespace {

struct KnownPath {
    std::string text;  // as asked: a variable's path with its name, a type's members
    CTypeFacts facts;
};

}  // namespace

struct KnownPathTypes::Known {
    // The start of the paths kept: a variable in a C scope, or a type name.
    bool fromTypeName = false;
    std::string name;
    std::string scope;
    const CType* start = nullptr;
    // The paths last asked about from that start, the oldest replaced
    // first: a walk asks about the few paths of the part of a variable it
    // is on again and again. Their texts keep their room when replaced.
    std::array<KnownPath, 8> recent;
    std::size_t kept = 0;
    std::size_t next = 0;  // the one replaced next

    // Held first: the start of no name, which names nothing.
    bool holdsPathsOf(bool typeName, std::string_view startScope) const
    {
        return fromTypeName == typeName && scope == startScope;
    }

    void startFrom(bool typeName, std::string_view startName, std::string_view startScope)
    {
        if (holdsPathsOf(typeName, startScope) && name == startName) {
            return;
        }
        fromTypeName = typeName;
        name = startName;
        scope = startScope;
        start = typeName ? typeNamed(startName) : variableType(startName, startScope);
        kept = 0;
        next = 0;
    }

    const CTypeFacts* find(std::string_view text) const
    {
        for (std::size_t at = 0; at < kept; ++at) {
            if (recent[at].text == text) {
                return &recent[at].facts;
            }
        }
        return nullptr;
    }

    // The facts of the path `text`, whose members begin at `members`.
    const CTypeFacts& add(std::string_view text, std::size_t members)
    {
        KnownPath& path = recent[next];
        path.text = text;
        path.facts = factsOf(followPath(start, text, members));
        next = (next + 1) % recent.size();
        kept = std::min(kept + 1, recent.size());
        return path.facts;
    }
};

KnownPathTypes::KnownPathTypes() : known_(std::make_unique<Known>()) {}

KnownPathTypes::~KnownPathTypes() = default;

// A path found among the kept ones starts from their variable, whose name
// it begins with.
const CTypeFacts& KnownPathTypes::ofPath(std::string_view path, std::string_view scope)
{
    if (known_->holdsPathsOf(false, scope)) {
        if (const CTypeFacts* facts = known_->find(path)) {
            return *facts;
        }
    }
    std::size_t at = 0;
    known_->startFrom(false, nameAt(path, at), scope);
    return known_->add(path, at);
}

const CTypeFacts& KnownPathTypes::ofMemberPath(std::string_view typeName, std::string_view members)
{
    if (known_->holdsPathsOf(true, {}) && known_->name == typeName) {
        if (const CTypeFacts* facts = known_->find(members)) {
            return *facts;
        }
    }
    known_->startFrom(true, typeName, {});
    return known_->add(members, 0);
}

CTypeFacts returnType(std::string_view function, std::string_view scope)
{
    const CType* type = functionNamed(function, scope);
    return factsOf(type != nullptr ? type->target.get() : nullptr);
}

CTypeFacts parameterType(std::string_view function, std::size_t index, std::string_view scope)
{
    return ParameterTypes(function, scope).of(index);
}

ParameterTypes::ParameterTypes(std::string_view function, std::string_view scope)
    : function_(functionNamed(function, scope))
{
}

CTypeFacts ParameterTypes::of(std::size_t index) const
{
    if (function_ == nullptr || index >= function_->parameters.size()) {
        return {};
    }
    return factsOf(function_->parameters[index].type.get());
}

std::string_view parameterName(std::string_view function, std::size_t index)
{
    const canalysis::Symbol* symbol = findCVariable(function, {});
    const CType* type = symbol != nullptr ? canalysis::C_CPP_resolve(symbol->type.get()) : nullptr;
    if (type == nullptr || type->kind != canalysis::kFunction || index >= type->parameters.size()) {
        return {};
    }
    return base::identOrEmpty(type->parameters[index].name);
}

}  // namespace qvm::script
