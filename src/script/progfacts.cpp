// What the program writer reads of the C analysis, gathered into the model:
// WAITTIL condition contexts and the tester context's variables.
#include "script/progfacts.h"

#include "script/ancgest.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qvm::script {

using namespace sem;

namespace {

bool namesWord(std::string_view text, std::string_view word)
{
    const auto isName = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !isName(text[at - 1])) && (end == text.size() || !isName(text[end]))) {
            return true;
        }
    }
    return false;
}

bool namedByCondition(const WaittilTexts& texts, std::string_view name)
{
    return namesWord(texts.conditionCode, name) || namesWord(texts.timeoutCode, name);
}

// The timers a WAITTIL's conditions name among those declared in the
// blocks around it (the innermost of a name), as their declarations: a
// timer is a constant index, which the condition function repeats.
std::vector<std::string> timersNamed(const std::vector<const Entry*>& seen, const WaittilTexts& texts)
{
    std::map<std::string, int> timers;
    for (const Entry* entry : seen) {
        if (namedByCondition(texts, entry->name)) {
            timers.emplace(entry->name, entry->data<NumberData>().number);
        }
    }
    std::vector<std::string> declarations;
    for (const auto& [name, index] : timers) {
        declarations.push_back("int " + name + "=" + std::to_string(index) + ";");
    }
    return declarations;
}

const Entry* enclosingProcedure(const Entry& waittil)
{
    for (const Scope* scope = waittil.scope; scope != nullptr; scope = scope->parent) {
        const Entry* owner = scope->ownerEntry();
        if (owner != nullptr && owner->code == ENT_PROC) {
            return owner;
        }
    }
    return nullptr;
}

bool isTimer(const std::vector<const Entry*>& timers, std::string_view name)
{
    return std::any_of(timers.begin(), timers.end(), [&](const Entry* timer) { return timer->name == name; });
}

// The type of a block's variable as the file scope can write it: the
// typedef names of the block give way to the types they stand for. None
// when it needs a structure, union or enumeration declared in the block.
std::optional<canalysis::TypePtr> fileScopeType(const canalysis::TypePtr& type, base::Ident scope)
{
    using namespace canalysis;
    if (!type) {
        return type;
    }
    switch (type->kind) {
    case kTypedefName: {
        const Symbol* local = cSymbols().findInScope(type->name, scope);
        return local != nullptr && (local->storage & kTypedef) != 0 ? fileScopeType(type->target, scope) : type;
    }
    case kStruct:
    case kUnion:
    case kEnum: {
        const Tag* local = cSymbols().findTagInScope(type->name, type->kind, scope);
        const bool same = local != nullptr && (type->kind == kEnum ? local->enumeration.get() == type->enumeration
                                                                   : local->aggregate.get() == type->aggregate);
        return same ? std::nullopt : std::optional<TypePtr>(type);
    }
    case kPointer:
    case kArray:
    case kQualified:
    case kFunction: {
        auto copy = std::make_shared<CType>(*type);
        const std::optional<TypePtr> target = fileScopeType(type->target, scope);
        if (!target) {
            return std::nullopt;
        }
        copy->target = *target;
        for (Parameter& parameter : copy->parameters) {
            const std::optional<TypePtr> written = fileScopeType(parameter.type, scope);
            if (!written) {
                return std::nullopt;
            }
            parameter.type = *written;
        }
        return copy;
    }
    default:
        return type;
    }
}

// An enumeration declared in the block, which the file scope cannot name.
bool isBlockEnumeration(const canalysis::CType* type, base::Ident scope)
{
    type = canalysis::C_CPP_resolve(type);
    if (type == nullptr || type->kind != canalysis::kEnum) {
        return false;
    }
    const canalysis::Tag* local = cSymbols().findTagInScope(type->name, canalysis::kEnum, scope);
    return local != nullptr && local->enumeration.get() == type->enumeration;
}

// The constants of an enumeration of the block are defined as their values
// when the condition names one of them.
void addBlockEnumerators(const WaittilTexts& texts, const std::vector<const canalysis::Tag*>& tags,
                         WaitContext& context)
{
    for (const canalysis::Tag* tag : tags) {
        if (tag->kind != canalysis::kEnum || !tag->enumeration || tag->order >= texts.declaredBefore) {
            continue;
        }
        const auto& enumerators = tag->enumeration->enumerators;
        if (std::none_of(enumerators.begin(), enumerators.end(), [&](const canalysis::Enumerator& constant) {
                return namedByCondition(texts, base::identText(constant.name));
            })) {
            continue;
        }
        // All of them: a value may be written with another constant of the list.
        for (const canalysis::Enumerator& constant : enumerators) {
            context.aliases.emplace_back(base::identText(constant.name), "(" + base::identText(constant.value) + ")");
        }
    }
}

// A variable of the block goes by address, read through a define line of
// its name, which hides a global of that name as the block does. A
// register variable has no address and goes by value, and so does a
// variable of an enumeration of the block, as an int.
void addBlockVariable(const canalysis::Symbol& symbol, base::Ident scope, const std::string& typeName,
                      WaitContext& context)
{
    const std::string name(symbol.name);
    const bool enumeration = isBlockEnumeration(symbol.type.get(), scope);
    const std::optional<canalysis::TypePtr> type =
        enumeration ? std::optional<canalysis::TypePtr>(canalysis::TypePtr()) : fileScopeType(symbol.type, scope);
    if (!type) {
        context.hidden.push_back(name);
        return;
    }
    context.typedefs.push_back("typedef " + canalysis::C_CPP_type_image(type->get(), typeName) + ";");
    if (enumeration || (symbol.storage & canalysis::kRegister) != 0) {
        context.parameters.emplace_back(typeName, name);
        context.arguments += ", " + name;
        return;
    }
    context.parameters.emplace_back(typeName + " *", "trv_ref_" + name);
    context.arguments += ", &" + name;
    context.aliases.emplace_back(name, "(*trv_ref_" + name + ")");
}

void addProcedureParameters(const Entry& waittil, WaitContext& context, std::set<std::string, std::less<>>& names)
{
    const Entry* procedure = enclosingProcedure(waittil);
    if (procedure == nullptr) {
        return;
    }
    for (const Entry& entry : procedure->descriptor->subScope->entries) {
        if (entry.code == ENT_PARAM && !entry.name.empty()) {
            context.parameters.emplace_back(entry.data<ParamData>().type, entry.name);
            context.arguments += ", " + entry.name;
            names.insert(std::string(entry.name));
        }
    }
}

// The variables and tags of a block's C scope, which WAITTIL conditions of
// the block may name.
struct BlockNames {
    std::vector<const canalysis::Symbol*> symbols;
    std::vector<const canalysis::Tag*> tags;
};

// The names of the C scopes and the timers of the script's scopes, each
// listed once for every WAITTIL that stands in them.
class WaitContexts {
public:
    void gather(const Entry& waittil);

private:
    const BlockNames& blockNames(const std::string& cScope);
    std::vector<const Entry*> timersSeenFrom(const Scope* scope);

    std::unordered_map<std::string, BlockNames> blockNames_;
    std::unordered_map<const Scope*, std::vector<const Entry*>> scopeTimers_;
};

const BlockNames& WaitContexts::blockNames(const std::string& cScope)
{
    auto [found, added] = blockNames_.try_emplace(cScope);
    if (added && !cScope.empty()) {
        const base::Ident scope = canalysis::scopeIdent(cScope);
        found->second.symbols = cSymbols().symbolsOf(scope);
        found->second.tags = cSymbols().tagsOf(scope);
    }
    return found->second;
}

// The timer declarations that a statement of the scope sees, those of the
// nearest scope first.
std::vector<const Entry*> WaitContexts::timersSeenFrom(const Scope* scope)
{
    std::vector<const Entry*> seen;
    for (; scope != nullptr; scope = scope->parent) {
        auto [found, added] = scopeTimers_.try_emplace(scope);
        if (added && scope->holds(ENT_TIMER_DECL)) {
            for (const Entry& entry : scope->entries) {
                if (entry.code == ENT_TIMER_DECL) {
                    found->second.push_back(&entry);
                }
            }
        }
        seen.insert(seen.end(), found->second.begin(), found->second.end());
    }
    return seen;
}

// What a condition function receives after its fixed parameters, so that
// it sees what the statement sees: the parameters of the procedure around
// it by value, and the variables of its block (procedure, scenario,
// INITIALIZATION, TERMINATION or EXCEPTION body) declared before it that
// the condition names, but for the timers it sees, which it declares.
void WaitContexts::gather(const Entry& waittil)
{
    const auto& data = waittil.data<WaittilData>();
    WaittilTexts& texts = *data.texts;
    WaitContext& context = texts.context;
    std::set<std::string, std::less<>> parameterNames;
    addProcedureParameters(waittil, context, parameterNames);
    const std::vector<const Entry*> timers = timersSeenFrom(waittil.scope);
    context.timers = timersNamed(timers, texts);
    if (texts.cScope.empty()) {
        return;
    }
    const BlockNames& names = blockNames(texts.cScope);
    const base::Ident scope = canalysis::scopeIdent(texts.cScope);
    const std::string typePrefix = "trv_T_WAIT_" + std::to_string(data.number) + "_";
    for (const canalysis::Symbol* symbol : names.symbols) {
        const std::string name(symbol->name);
        if (symbol->order >= texts.declaredBefore || !namedByCondition(texts, name) || !isCVariable(*symbol) ||
            parameterNames.count(name) != 0 || isTimer(timers, name)) {
            continue;
        }
        addBlockVariable(*symbol, scope, typePrefix + name, context);
    }
    addBlockEnumerators(texts, names.tags, context);
}

// Whether the object itself is read-only: a constant needs no copy per tester.
bool isReadOnly(const canalysis::CType* type)
{
    while (type != nullptr) {
        switch (type->kind) {
        case canalysis::kQualified:
            if (type->name != nullptr && std::string_view(type->name) == "const") {
                return true;
            }
            type = type->target.get();
            break;
        case canalysis::kTypedefName:
        case canalysis::kArray: type = type->target.get(); break;
        default: return false;
        }
    }
    return false;
}

// A variable a tester context can copy: one the program defines itself
// (not extern) and may change.
bool isContextVariable(const canalysis::Symbol& symbol)
{
    return isCVariable(symbol) && (symbol.storage & canalysis::kExtern) == 0 && !isReadOnly(symbol.type.get());
}

}  // namespace

void gatherWaitContexts(const std::vector<Entry*>& waittils)
{
    WaitContexts contexts;
    for (const Entry* waittil : waittils) {
        contexts.gather(*waittil);
    }
}

std::vector<ContextVariable> contextVariablesOf(const Model& model, const std::vector<SourceFileRecord>& sourceFiles)
{
    // Shared variables stay global; so do timers, which are indexes.
    std::set<std::string, std::less<>> shared;
    for (const Entry& entry : model.global().entries) {
        if (entry.code == ENT_SHARE || entry.code == ENT_TIMER_DECL) {
            shared.insert(std::string(entry.name));
        }
    }
    std::set<std::string, std::less<>> scriptFiles;
    for (const SourceFileRecord& record : sourceFiles) {
        scriptFiles.insert(record.path);
    }
    std::vector<ContextVariable> variables;
    for (const canalysis::Symbol* symbol : cSymbols().symbolsOf(nullptr)) {
        if (!model.declaredByScriptLines(symbol->order) || symbol->file == nullptr ||
            scriptFiles.count(symbol->file) == 0 || !isContextVariable(*symbol)) {
            continue;
        }
        // The member is named after the variable behind the context prefix,
        // which the variable's define line maps it to.
        std::string name(symbol->name);
        std::string member = canalysis::C_CPP_type_image(symbol->type.get(), "trv_ctx" + name) + ";";
        const bool isShared = shared.count(name) != 0;
        variables.push_back({std::move(name), std::move(member), isShared});
    }
    return variables;
}

}  // namespace qvm::script
