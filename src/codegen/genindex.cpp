#include "codegen/genindex.h"

#include "codegen/genwalk.h"

namespace qvm::codegen {

using namespace script::sem;

bool isGenerated(const Entry& entry)
{
    switch (entry.code) {
    case ENT_SCENARIO: return entry.data<ScenarioData>().selected;
    case ENT_PROC: return entry.data<ProcData>().used;
    case ENT_CALLBACK:
    case ENT_PROCSEND: return entry.data<CommBlockData>().used;
    case ENT_DEF_MESSAGE: return entry.data<DefMessageData>().generated();
    default: return true;
    }
}

namespace {

const Entry* structureOf(const Entry& message)
{
    return message.data<MessageVarData>().structure;
}

// generated: whether the constructs around the scope are all generated.
void indexScope(ScriptIndex& index, const Scope* scope, bool generated)
{
    for (const Entry& entry : scope->entries) {
        const bool entryGenerated = generated && isGenerated(entry);
        if (entry.code == ENT_ENABLE_CLEANUP || entry.code == ENT_DISABLE_CLEANUP) {
            index.cleanupProcedures.insert(entry.data<ProcedureRefData>().procedure);
        } else if (entry.code == ENT_DEF_MESSAGE) {
            const auto& data = entry.data<DefMessageData>();
            if (data.generated() && data.tree != nullptr) {
                const Entry* structure = structureOf(*data.message);
                if (generated) {
                    index.describedDefinitions[structure].push_back(&entry);
                }
                if (data.message->data<MessageVarData>().used) {
                    index.writtenDefinitions[structure].push_back(&entry);
                }
            }
        } else if (entry.code == ENT_WAITTIL) {
            index.waittils[entry.data<WaittilData>().number] = &entry;
            for (const Entry& piece : entry.descriptor->subScope->entries) {
                if (piece.code == ENT_MATCH_PIECE) {
                    index.polledTypes.insert(structureOf(*piece.data<MatchPieceData>().message));
                }
            }
        }
        for (const Scope* statements : statementScopes(entry)) {
            if (statements != nullptr) {
                indexScope(index, statements, entryGenerated);
            }
        }
    }
}

}  // namespace

ScriptIndex indexScript(const Model& model)
{
    ScriptIndex index;
    indexScope(index, &model.global(), true);
    return index;
}

}  // namespace qvm::codegen
