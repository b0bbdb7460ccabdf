// What the writers look up apart from their walks over an analysed script:
// the message definitions, the WAITTILs and the constructs that have
// tracer elements, gathered for all of them in one walk over its statements.
#pragma once

#include "script/semmodel.h"

#include <map>
#include <unordered_set>
#include <vector>

namespace qvm::codegen {

// Whether the program writer generates the construct and what it holds.
inline bool isGenerated(const script::sem::Entry& entry)
{
    using namespace script::sem;
    switch (entry.code) {
    case ENT_SCENARIO: return entry.data<ScenarioData>().selected;
    case ENT_PROC: return entry.data<ProcData>().used;
    case ENT_CALLBACK:
    case ENT_PROCSEND: return entry.data<CommBlockData>().used;
    case ENT_DEF_MESSAGE: return entry.data<DefMessageData>().generated();
    default: return true;
    }
}
// Whether the tracer structure file lists elements of the construct.
bool hasTracerElements(const script::sem::Entry& entry);

struct ScriptIndex {
    using Entry = script::sem::Entry;
    // A DEF_MESSAGE with a value, and what the writers read of it besides
    // the entry: kept here, read where the definitions are listed by type.
    // Entries and trees are held by the model, which outlives the writers.
    struct Definition {
        const Entry* entry;
        const Entry* message;           // the message variable
        const script::ValueNode* root;  // the top node of its value tree
        int number;                     // its run-wide number
    };
    // DEF_MESSAGEs by message type, in script order.
    using Definitions = std::map<const Entry*, std::vector<Definition>>;

    // The generated DEF_MESSAGEs with a value in no construct that is left
    // out of the program: the TDC describes them.
    Definitions describedDefinitions;
    // The generated DEF_MESSAGEs with a value of a used message variable,
    // wherever they stand: the program writes them.
    Definitions writtenDefinitions;
    // What the generated code (no construct left out of the program) holds:
    std::map<int, const Entry*> waittils;          // the WAITTILs, by their run-wide number
    std::unordered_set<const Entry*> polledTypes;  // message types whose messages a WAITTIL polls
    std::unordered_set<const Entry*> sentTypes;    // message types whose messages a SEND sends
    std::unordered_set<const Entry*> polledCallbacks;  // the CALLBACKs that a WAITTIL's polling calls
    std::unordered_set<const Entry*> sendingProcsends; // the PROCSENDs that a SEND calls
    // The constructs with tracer elements, each before those in its scopes,
    // none from the body of a procedure that nothing uses.
    std::vector<const Entry*> traced;
};

ScriptIndex indexScript(const script::sem::Model& model);

}  // namespace qvm::codegen
