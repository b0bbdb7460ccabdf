// The walks of the writers over the statements of an analysed script.
#pragma once

#include "script/semmodel.h"

#include <array>

namespace qvm::codegen {

// The scopes below an entry that hold statements: its own and, for an IF,
// its ELSE part. The values of a VAR and the pieces and polling pairs of a
// WAITTIL hold none, and are many: walks that look for statements skip them.
inline std::array<const script::sem::Scope*, 2> statementScopes(const script::sem::Entry& entry)
{
    const script::sem::Descriptor* descriptor = entry.descriptor;
    if (descriptor == nullptr || descriptor->code == script::sem::DSC_WAITTIL ||
        descriptor->code == script::sem::DSC_VAR) {
        return {};
    }
    const script::sem::Scope* elseScope = nullptr;
    if (const auto* condition = descriptor->find<script::sem::ConditionData>()) {
        elseScope = condition->elseScope;
    }
    return {descriptor->subScope, elseScope};
}

}  // namespace qvm::codegen
