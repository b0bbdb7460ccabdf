// The look-ups the writers share: what they find in an analysed script besides their walks.
#include "codegen/genindex.h"

#include "codegen/genwalk.h"

namespace qvm::codegen {

using namespace script::sem;

bool hasTracerElements(const Entry& entry)
{
    switch (entry.code) {
    case ENT_INSTANCE_DECL:
    case ENT_SCENARIO:
    case ENT_INITIALIZATION:
    case ENT_TERMINATION:
    case ENT_EXCEPTION:
    case ENT_WAITTIL:
    case ENT_SEND:
    case ENT_INTERSEND:
    case ENT_INTERRECV:
    case ENT_RENDEZVOUS: return true;
    default: return false;
    }
}

namespace {

bool isUnusedProcedure(const Entry& entry)
{
    const Descriptor* descriptor = entry.descriptor;
    return descriptor != nullptr && descriptor->code == DSC_PROC && !descriptor->as<ProcData>().used;
}

const Entry* structureOf(const Entry& message)
{
    return message.data<MessageVarData>().structure;
}

// The constructs around the scope: generated, whether they all are;
// traced, whether none is a procedure that nothing uses.
void indexScope(ScriptIndex& index, const Scope* scope, bool generated, bool traced)
{
    for (const Entry& entry : scope->entries) {
        const bool entryGenerated = generated && isGenerated(entry);
        if (traced && hasTracerElements(entry)) {
            index.traced.push_back(&entry);
        }
        if (entry.code == ENT_DEF_MESSAGE) {
            const auto& data = entry.data<DefMessageData>();
            if (data.generated() && data.tree) {
                const Entry* structure = structureOf(*data.message);
                const ScriptIndex::Definition definition{&entry, data.message, &data.tree.root(), data.number};
                if (generated) {
                    index.describedDefinitions[structure].push_back(definition);
                }
                if (data.message->data<MessageVarData>().used) {
                    index.writtenDefinitions[structure].push_back(definition);
                }
            }
        } else if (entry.code == ENT_WAITTIL && generated) {
            index.waittils[entry.data<WaittilData>().number] = &entry;
            for (const Entry& piece : entry.descriptor->subScope->entries) {
                if (piece.code == ENT_MATCH_PIECE) {
                    index.polledTypes.insert(structureOf(*piece.data<MatchPieceData>().message));
                } else if (piece.code == ENT_POLL_PAIR && piece.data<PollPairData>().callback != nullptr) {
                    index.polledCallbacks.insert(piece.data<PollPairData>().callback);
                }
            }
        } else if (entry.code == ENT_SEND && generated) {
            index.sentTypes.insert(structureOf(*entry.data<SendData>().message));
            index.sendingProcsends.insert(entry.data<SendData>().procsend);
        }
        for (const Scope* statements : statementScopes(entry)) {
            if (statements != nullptr) {
                indexScope(index, statements, entryGenerated, traced && !isUnusedProcedure(entry));
            }
        }
    }
}

}  // namespace

ScriptIndex indexScript(const Model& model)
{
    ScriptIndex index;
    indexScope(index, &model.global(), true, true);
    return index;
}

}  // namespace qvm::codegen
