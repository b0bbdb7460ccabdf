// Selection contexts: for every union inside a message structure, the
// member that records which alternative a value selects.
#include "script/prtanac.h"

#include "canalysis/declarations/ctabsy.h"
#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/prtanac_detail.h"

#include <algorithm>
#include <map>
#include <utility>

namespace qvm::script {

namespace {

using canalysis::CType;

// Built contexts by (C scope, type name); none for a type without union.
using ContextKey = std::pair<std::string, std::string>;
std::map<ContextKey, std::optional<SelectionContext>>& builtContexts()
{
    static std::map<ContextKey, std::optional<SelectionContext>> built;
    return built;
}

class ContextBuilder {
public:
    // The context of a type declared as declarator; none when it needs none
    // or when the context was refused.
    std::optional<std::string> contextOf(const CType* type, const std::string& declarator)
    {
        type = canalysis::C_CPP_resolve(type);
        if (!mayNeedContext(type) || !refusal_.empty()) {
            return std::nullopt;
        }
        if (depth_ == kMaxSelectionDepth) {
            refusal_ = "nested deeper than " + std::to_string(kMaxSelectionDepth) + " levels";
            return std::nullopt;
        }
        ++depth_;
        std::optional<std::string> context = contextOfResolved(*type, declarator);
        --depth_;
        return refusal_.empty() ? context : std::nullopt;
    }

    // Why the context was refused; empty when it was not.
    const std::string& refusal() const { return refusal_; }

private:
    static bool mayNeedContext(const CType* type)
    {
        return type != nullptr &&
               (type->kind == canalysis::kArray || type->kind == canalysis::kStruct || type->kind == canalysis::kUnion);
    }

    std::optional<std::string> contextOfResolved(const CType& type, const std::string& declarator)
    {
        switch (type.kind) {
        case canalysis::kArray:
            return contextOf(type.target.get(), declarator + "[" + base::identText(type.dimension) + "]");
        case canalysis::kUnion: {
            const std::string members = membersOf(type);
            return "struct {\nint select;\n\n" + members + (members.empty() ? "" : "\n") + "}" + declarator + ";\n";
        }
        case canalysis::kStruct: {
            const std::string members = membersOf(type);
            if (members.empty()) {
                return std::nullopt;
            }
            return "struct {\n" + members + "\n}" + declarator + ";\n";
        }
        default:
            return std::nullopt;
        }
    }

    // The contexts of the members that need one, in member order.
    std::string membersOf(const CType& aggregate)
    {
        std::string members;
        if (aggregate.aggregate == nullptr) {
            return members;
        }
        for (const canalysis::Field& field : aggregate.aggregate->fields) {
            if (std::optional<std::string> context = contextOf(field.type.get(), memberName(field))) {
                members += *context;
            }
            if (members.size() > kMaxSelectionLength) {
                refusal_ = "longer than " + std::to_string(kMaxSelectionLength) + " characters";
                break;
            }
        }
        return members;
    }

    static std::string memberName(const canalysis::Field& field)
    {
        if (field.name != nullptr) {
            return base::identText(field.name);
        }
        const CType* type = canalysis::C_CPP_resolve(field.type.get());
        const bool tagged = type != nullptr && type->aggregate != nullptr;
        return "trv_ctxsel_" + (tagged ? base::identText(type->aggregate->tag) : std::string("member"));
    }

    int depth_ = 0;
    std::string refusal_;
};

std::optional<SelectionContext> buildContext(std::string_view typeName, std::string_view scope)
{
    const CContext& context = cContext();
    const canalysis::TypePtr type =
        canalysis::C_CPP_type_of_type_name(typeName, cSymbols(), scope, context.file, context.line);
    if (!type) {
        return std::nullopt;
    }
    const std::string name(typeName);
    ContextBuilder builder;
    std::optional<std::string> declaration = builder.contextOf(type.get(), "TRV_" + name);
    if (!builder.refusal().empty()) {
        diag::reportLocated(diag::Error, "DEBORUBAN", "(selection context of " + name + " " + builder.refusal() + ")",
                            context.file, context.line);
        return std::nullopt;
    }
    if (!declaration) {
        return std::nullopt;
    }
    std::optional<std::string> companion = builder.contextOf(type.get(), "trv_ctxsel_" + name);
    return SelectionContext{std::move(*declaration), std::move(*companion)};
}

}  // namespace

std::optional<SelectionContext> selectionContext(std::string_view structTypeName, std::string_view scope, int line)
{
    setCContext(scope, cContext().file, line);
    std::string_view name = structTypeName;
    name.remove_prefix(std::min(name.size(), name.find_first_not_of(" \t")));
    name = name.substr(0, name.find_last_not_of(" \t") + 1);
    ContextKey key{cContext().scope, std::string(name)};
    const auto found = builtContexts().find(key);
    if (found != builtContexts().end()) {
        return found->second;
    }
    std::optional<SelectionContext> context = buildContext(name, cContext().scope);
    builtContexts().emplace(std::move(key), context);
    return context;
}

void detail::resetSelectionContexts()
{
    builtContexts().clear();
}

}  // namespace qvm::script
