// What pointers and arrays of characters hold, from their C types: text or bytes.
#include "codegen/cprggen_chardata.h"

#include "canalysis/declarations/ctabsy.h"
#include "script/ancgest.h"

#include <cctype>
#include <optional>

namespace qvm::codegen::program {

namespace {

using canalysis::CType;

bool isNameCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
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

// The function a name designates, through a pointer to one too.
const CType* functionNamed(std::string_view function, std::string_view scope)
{
    const CType* type = canalysis::C_CPP_resolve(typeOfPath(function, scope));
    if (type != nullptr && type->kind == canalysis::kPointer) {
        type = canalysis::C_CPP_resolve(type->target.get());
    }
    return type != nullptr && type->kind == canalysis::kFunction ? type : nullptr;
}

}  // namespace

const CType* typeOfPath(std::string_view path, std::string_view scope)
{
    std::size_t at = 0;
    const std::string_view name = nameAt(path, at);
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())) != 0) {
        return nullptr;
    }
    const canalysis::Symbol* symbol = script::findCVariable(name, scope);
    return followPath(symbol != nullptr ? symbol->type.get() : nullptr, path, at);
}

const CType* typeOfMemberPath(std::string_view typeName, std::string_view members)
{
    const canalysis::Symbol* symbol = canalysis::C_CPP_find_symbol(typeName, script::cSymbols(), {});
    if (symbol == nullptr || (symbol->storage & canalysis::kTypedef) == 0) {
        return nullptr;
    }
    return followPath(symbol->type.get(), members, 0);
}

const CType* returnType(std::string_view function, std::string_view scope)
{
    const CType* type = functionNamed(function, scope);
    return type != nullptr ? type->target.get() : nullptr;
}

const CType* parameterType(std::string_view function, std::size_t index, std::string_view scope)
{
    const CType* type = functionNamed(function, scope);
    if (type == nullptr || index >= type->parameters.size()) {
        return nullptr;
    }
    return type->parameters[index].type.get();
}

CharData charDataOf(const CType* type)
{
    const CType* element = canalysis::C_CPP_resolve(targetOf(type));
    if (element == nullptr || element->kind != canalysis::kBasic || !element->isChar) {
        return CharData::Unknown;
    }
    const bool isUnsigned = element->name != nullptr && std::string_view(element->name).find("unsigned") !=
                                                             std::string_view::npos;
    return isUnsigned ? CharData::Bytes : CharData::Text;
}

bool holdsSignedOrUnsignedChar(const CType* type)
{
    const CType* element = canalysis::C_CPP_resolve(targetOf(type));
    return element != nullptr && element->kind == canalysis::kBasic && element->isChar && element->name != nullptr &&
           std::string_view(element->name).find("signed") != std::string_view::npos;
}

bool isArrayType(const CType* type)
{
    type = canalysis::C_CPP_resolve(type);
    return type != nullptr && type->kind == canalysis::kArray;
}

std::string sizeOfValue(std::string_view value, std::string_view scope)
{
    const bool literal = !value.empty() && value.front() == '"' && value.back() == '"';
    if (literal || isArrayType(typeOfPath(value, scope))) {
        return "sizeof(" + std::string(value) + ")";
    }
    return "TRV_NO_SIZE";
}

namespace {

// The C scope a block declares its variables in, none for a block (IF,
// WHILE, CASE...) that shares its enclosing one.
std::optional<std::string> ownScope(const script::sem::Entry& block)
{
    using namespace script::sem;
    const auto levelBlock = [&](std::string_view suffix) {
        const Entry* scenario = block.scope != nullptr ? block.scope->ownerEntry() : nullptr;
        return scenario != nullptr && scenario->code == ENT_SCENARIO ? qualifiedName(*scenario) + std::string(suffix)
                                                                     : std::string(suffix);
    };
    switch (block.code) {
    case ENT_SCENARIO: return qualifiedName(block);
    case ENT_INITIALIZATION: return levelBlock("@init");
    case ENT_TERMINATION: return levelBlock("@term");
    case ENT_EXCEPTION: return levelBlock("@excp");
    case ENT_PROC:
    case ENT_CALLBACK:
    case ENT_PROCSEND: return std::string(block.name);
    default: return std::nullopt;
    }
}

}  // namespace

std::string cScopeOf(const script::sem::Entry& entry)
{
    for (const script::sem::Scope* scope = entry.scope; scope != nullptr && scope->parent != nullptr;
         scope = scope->parent) {
        if (const script::sem::Entry* block = scope->ownerEntry()) {
            if (std::optional<std::string> own = ownScope(*block)) {
                return *own;
            }
        }
    }
    return {};
}

}  // namespace qvm::codegen::program
