// What pointers and arrays of characters hold, from their C types: text or bytes.
#include "codegen/cprggen_chardata.h"

#include "canalysis/declarations/ctabsy.h"
#include "script/ancgest.h"

#include <cctype>

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

}  // namespace

const CType* typeOfPath(std::string_view path, std::string_view scope)
{
    std::size_t at = 0;
    const std::string_view name = nameAt(path, at);
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())) != 0) {
        return nullptr;
    }
    const canalysis::Symbol* symbol = script::findCVariable(name, scope);
    const CType* type = symbol != nullptr ? symbol->type.get() : nullptr;
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

const CType* parameterType(std::string_view function, std::size_t index, std::string_view scope)
{
    const CType* type = typeOfPath(function, scope);
    type = canalysis::C_CPP_resolve(type);
    if (type != nullptr && type->kind == canalysis::kPointer) {
        type = canalysis::C_CPP_resolve(type->target.get());
    }
    if (type == nullptr || type->kind != canalysis::kFunction || index >= type->parameters.size()) {
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

std::string cScopeOf(const script::sem::Entry& entry)
{
    const script::sem::Entry* block = nullptr;
    for (const script::sem::Scope* scope = entry.scope; scope != nullptr && scope->parent != nullptr;
         scope = scope->parent) {
        block = scope->ownerEntry();
    }
    return block != nullptr ? std::string(block->name) : std::string();
}

}  // namespace qvm::codegen::program
