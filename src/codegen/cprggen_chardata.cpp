// What pointers and arrays of characters hold, from their C types: text or bytes.
#include "codegen/cprggen_chardata.h"

#include <optional>

namespace qvm::codegen::program {

CharData charDataOf(const script::CTypeFacts& type)
{
    switch (type.elements) {
    case script::CharKind::None: return CharData::Unknown;
    case script::CharKind::Unsigned: return CharData::Bytes;
    default: return CharData::Text;
    }
}

bool holdsSignedOrUnsignedChar(const script::CTypeFacts& type)
{
    return type.elements == script::CharKind::Signed || type.elements == script::CharKind::Unsigned;
}

std::string sizeOfValue(std::string_view value, std::string_view scope)
{
    const bool literal = !value.empty() && value.front() == '"' && value.back() == '"';
    if (literal || script::typeOfPath(value, scope).array) {
        return "sizeof(" + std::string(value) + ")";
    }
    return "TRV_NO_SIZE";
}

namespace {

// Whether a block declares the variables of its statements in a C scope of
// its own; a block such as IF, WHILE or CASE shares its enclosing one.
bool declaresScope(const script::sem::Entry& block)
{
    using namespace script::sem;
    switch (block.code) {
    case ENT_SCENARIO:
    case ENT_INITIALIZATION:
    case ENT_TERMINATION:
    case ENT_EXCEPTION:
    case ENT_PROC:
    case ENT_CALLBACK:
    case ENT_PROCSEND: return true;
    default: return false;
    }
}

}  // namespace

const script::sem::Entry* scopeBlockOf(const script::sem::Entry& entry)
{
    for (const script::sem::Scope* scope = entry.scope; scope != nullptr && scope->parent != nullptr;
         scope = scope->parent) {
        const script::sem::Entry* block = scope->ownerEntry();
        if (block != nullptr && declaresScope(*block)) {
            return block;
        }
    }
    return nullptr;
}

std::string cScopeOfBlock(const script::sem::Entry* block)
{
    using namespace script::sem;
    if (block == nullptr) {
        return {};
    }
    const auto levelBlock = [&](std::string_view suffix) {
        const Entry* scenario = block->scope != nullptr ? block->scope->ownerEntry() : nullptr;
        return scenario != nullptr && scenario->code == ENT_SCENARIO ? qualifiedName(*scenario) + std::string(suffix)
                                                                     : std::string(suffix);
    };
    switch (block->code) {
    case ENT_SCENARIO: return qualifiedName(*block);
    case ENT_INITIALIZATION: return levelBlock("@init");
    case ENT_TERMINATION: return levelBlock("@term");
    case ENT_EXCEPTION: return levelBlock("@excp");
    default: return std::string(block->name);
    }
}

}  // namespace qvm::codegen::program
