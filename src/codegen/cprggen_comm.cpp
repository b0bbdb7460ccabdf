// Communication: the message and channel tables of the context, their
// initialisation, the message functions, and the procsend and callback
// functions.
#include "codegen/cprggen_comm.h"

#include "codegen/cprggen_scenario.h"

#include <sstream>

namespace qvm::codegen::program {

using namespace script::sem;

namespace {

const Scope* subScopeOf(const Entry& entry)
{
    return entry.descriptor != nullptr ? entry.descriptor->subScope : nullptr;
}

}  // namespace

CommWriter::CommWriter(ProgramContext& context, VarsWriter& vars, ScenarioWriter& statements)
    : SectionWriter(context), vars_(vars), statements_(statements),
      rendezvousMembers_(rendezvousMembers(context.model.global()))
{
    for (const auto& [structure, definitions] : index_.writtenDefinitions) {
        for (const ScriptIndex::Definition& definition : definitions) {
            auto& [count, first] = definitionsByMessage_[definition.message];
            first = count++ == 0 ? definition.entry : first;
        }
    }
    for (const Entry& entry : model_.global().entries) {
        if (entry.code == ENT_COMMTYPE) {
            commtypes_.push_back(&entry);
        }
    }
}

// The message functions are written for the calls of the generated code
// only: a static function that nothing calls is a warning of the C compiler.
// A WAITTIL calls the reference and compare functions of the types it polls.
bool CommWriter::hasMessageFunctions(const Entry& structure) const
{
    return index_.polledTypes.count(&structure) != 0;
}

// SEND and WAITTIL dump every message of the type they exchange.
bool CommWriter::hasDumpFunction(const Entry& structure) const
{
    return index_.polledTypes.count(&structure) != 0 || index_.sentTypes.count(&structure) != 0;
}

// ---- types and constants ----

// A script without communication declarations has no tables to size.
void CommWriter::messageTypeDefinitions()
{
    int commtypes = 0;
    for (const Entry& entry : model_.global().entries) {
        commtypes += entry.code == ENT_COMMTYPE ? 1 : 0;
    }
    if (commtypes > 0 || model_.eventStructCount() > 0) {
        out_.define("TRV_K_MAX_COMT", text(commtypes + 1));
        out_.define("TRV_K_MAX_CHAN", text(model_.highestChannelIndex() + 1));
        out_.define("TRV_K_MAX_MSGT", text(model_.eventStructCount()));
    }
    for (const Entry& entry : model_.global().entries) {
        switch (entry.code) {
        case ENT_EVENT_STRUCT: messageTypeDefinition(entry); break;
        case ENT_COMMTYPE: channelTypeDefinition(entry); break;
        case ENT_TIMER_DECL: timerDeclaration(entry); break;
        default: break;
        }
    }
}

void CommWriter::messageTypeDefinition(const Entry& structure)
{
    const ModelText type = structure.name;
    emit(R"(
        #define TRV_K_MSG_$type$ $count$
        typedef struct trv_s_T_MSG_$type$
         {
          TRV_T_INT trv_defNumber;
          $type$ trv_MsgRef;
          $type$ trv_MsgMin;
          $type$ trv_MsgMax;
          TRV_T_INT trv_state;
          TRV_T_INT trv_stateok;
          TRV_T_INT trv_stateko;
          TRV_T_INT trv_state_channel[TRV_K_MAX_COMT][TRV_K_MAX_CHAN];
         }
        TRV_T_$type$, *TRV_PT_$type$;
        typedef TRV_T_$type$ TRV_T_MSG_$type$[TRV_K_MSG_$type$];
    )",
         {{"type", type}, {"count", structure.data<EventStructData>().messageCount}});
}

void CommWriter::channelTypeDefinition(const Entry& commtype)
{
    const ModelText name = commtype.name;
    const auto& data = commtype.data<CommtypeData>();
    emit(R"(
        #define TRV_K_CHAN_$name$ $count$
        typedef struct trv_s_T_CHAN_$name$
         {
          $id$ trv_connexionId[TRV_K_ID_SIZE];
          TRV_T_INT trv_numberofId;
          TRV_T_INT trv_msg[TRV_K_MAX_MSGT];
         }
        TRV_T_CHAN_$name$, *TRV_PT_CHAN_$name$;
        typedef TRV_T_CHAN_$name$ TRV_T_COMM_$name$[TRV_K_CHAN_$name$];
    )",
         {{"name", name}, {"count", data.channelCount}, {"id", data.idType}});
}

// Script names of messages, message tables and channels mapped to the context.
void CommWriter::communicationMacros()
{
    // The granularity of the WAITTIL loops is a field of the run context too.
    if (!index_.waittils.empty()) {
        out_.define("trv_gran", "(trv_ctx->trv_ctxrun.trv_gran)");
    }
    for (const Entry& entry : model_.global().entries) {
        switch (entry.code) {
        case ENT_MESSAGE_VAR: {
            // Every message variable: VAR checks, conditions and native
            // lines may name one that no statement sends or waits for.
            const auto& data = entry.data<MessageVarData>();
            const std::string table = "trv_msg_" + data.structure->name + "[" + text(data.index) + "]";
            defineScriptName(entry.name, table + ".trv_MsgRef");
            out_.define("trv_Min_" + entry.name, table + ".trv_MsgMin");
            out_.define("trv_Max_" + entry.name, table + ".trv_MsgMax");
            break;
        }
        case ENT_EVENT_STRUCT: {
            const ModelText type = entry.name;
            out_.define("trv_msg_" + type, "(trv_ctx->trv_ctx" + type + ")");
            out_.define("trv_" + type + "_rcv", "(trv_ctx->trv_ctx" + type + "_rcv)");
            if (!entry.data<EventStructData>().companion.empty()) {
                out_.define("TRV_" + type, "(trv_ctx->trv_ctxsel_" + type + ")");
            }
            out_.define("trv_" + type + "_send", "(trv_ctx->trv_ctx" + type + "_send)");
            break;
        }
        case ENT_CHANNEL: {
            const auto& data = entry.data<ChannelData>();
            if (data.used) {
                defineScriptName(entry.name, "trv_state_channel[" +
                                                 text(data.commtype->data<CommtypeData>().typeIndex) + "][" +
                                                 text(data.index) + "]");
            }
            break;
        }
        case ENT_COMMTYPE:
            // Every channel table is reset by trv_initctx, used or not.
            out_.define("trv_channel_" + entry.name, "(trv_ctx->trv_ctx" + entry.name + ")");
            break;
        default: break;
        }
    }
}

void CommWriter::communicationMembers()
{
    for (const Entry& entry : model_.global().entries) {
        if (entry.code == ENT_EVENT_STRUCT) {
            const ModelText type = entry.name;
            line("TRV_T_MSG_", type, " trv_ctx", type, ";");
            line(type, " trv_ctx", type, "_rcv;");
            std::istringstream selector(entry.data<EventStructData>().companion);
            for (std::string text; std::getline(selector, text);) {
                if (!text.empty()) {
                    line(text);
                }
            }
            line(type, " *trv_ctx", type, "_send;");
        }
    }
    for (const Entry& entry : model_.global().entries) {
        if (entry.code == ENT_COMMTYPE) {
            line("TRV_T_COMM_", entry.name, " trv_ctx", entry.name, ";");
        }
    }
}

// ---- context initialisation ----

void CommWriter::initStates()
{
    emptyLine();
    prototype("static void trv_initstates ");
    open();
    line("TRV_T_INT trv_i,trv_j,trv_k;");
    for (const Entry& entry : model_.global().entries) {
        if (entry.code != ENT_EVENT_STRUCT) {
            continue;
        }
        emit(R"(
            for (trv_i=0; trv_i<TRV_K_MSG_$type$; trv_i++)
             {
              trv_msg_$type$[trv_i].trv_state=TRV_NOEVT;
              trv_msg_$type$[trv_i].trv_stateok=0;
              trv_msg_$type$[trv_i].trv_stateko=0;
              for (trv_j=0; trv_j<TRV_K_MAX_COMT; trv_j++)
               {
                for (trv_k=0; trv_k<TRV_K_MAX_CHAN; trv_k++)
                 {
                  trv_msg_$type$[trv_i].trv_state_channel[trv_j][trv_k]=TRV_NOEVT;
                 }
               }
             }
        )",
             {{"type", entry.name}});
    }
    close();
}

// The tables of a message type and of a COMMTYPE start empty.
void CommWriter::initTables(const Entry& entry)
{
    if (entry.code == ENT_EVENT_STRUCT) {
        line("for (trv_i=0;trv_i<TRV_K_MSG_", entry.name, ";trv_i++)");
        open();
        // A message read before any DEF_MESSAGE reads zeros, whichever
        // memory holds the context.
        line("trv_memset(&trv_msg_", entry.name, "[trv_i], 0, sizeof(trv_msg_", entry.name, "[trv_i]));");
        line("trv_msg_", entry.name, "[trv_i].trv_defNumber=0;");
        close();
        if (const Entry* channel = entry.data<EventStructData>().triggerChannel) {
            triggerChannelIdentifier(entry, *channel);
        }
    } else if (entry.code == ENT_COMMTYPE) {
        line("for (trv_i=0;trv_i<TRV_K_CHAN_", entry.name, ";trv_i++)");
        open();
        line("trv_channel_", entry.name, "[trv_i].trv_numberofId = 0;");
        close();
    }
}

// A TRIGGER structure's telegrams arrive on the runtime channel named after
// the structure; its identifier is the one its channel polls.
void CommWriter::triggerChannelIdentifier(const Entry& structure, const Entry& channel)
{
    const auto& data = channel.data<ChannelData>();
    const std::string table = "trv_channel_" + data.commtype->name + "[" + text(data.index) + "]";
    line("if ((", table, ".trv_connexionId[0] = trv_channel_open (\"", structure.name, "\")) >= 0)");
    open();
    line(table, ".trv_numberofId = 1;");
    close();
}

// ---- message functions ----

void CommWriter::messageFunctions()
{
    for (const Entry& entry : model_.global().entries) {
        if (entry.code != ENT_EVENT_STRUCT) {
            continue;
        }
        vars_.forMessageType(entry, [&] {
            if (hasMessageFunctions(entry)) {
                referenceFunction(entry);
                compareFunction(entry);
            }
            if (hasDumpFunction(entry)) {
                dumpFunction(entry);
            }
        });
    }
}

void CommWriter::dumpFunction(const Entry& structure)
{
    const ModelText type = structure.name;
    prototype("static void trv_" + type + "_dump_msg", {{type + " *", "trv_msg_to_dump"}});
    open();
    out_.define("trv_msgrcv", "(*trv_msg_to_dump)");
    if (const script::ValueTree* dump = structure.data<EventStructData>().receivedCheck.get()) {
        vars_.walkTree(dump->root(), "trv_msgrcv", WalkMode::Dump);
    }
    out_.undefine("trv_msgrcv");
    close();
}

void CommWriter::referenceFunction(const Entry& structure)
{
    const ModelText type = structure.name;
    prototype("static void trv_" + type + "_ref_msg", {{"TRV_PT_" + type, "trv_msg_ref"}});
    open();
    out_.define("trv_msgrcv", "(trv_msg_ref->trv_MsgRef)");
    out_.define("trv_msgMin", "(trv_msg_ref->trv_MsgMin)");
    out_.define("trv_msgMax", "(trv_msg_ref->trv_MsgMax)");
    definitionCases(structure, WalkMode::DumpReference);
    out_.undefine("trv_msgrcv");
    out_.undefine("trv_msgMin");
    out_.undefine("trv_msgMax");
    close();
}

// One case per definition of the type's messages: the received message
// walked against that definition (the reference dump names it first).
void CommWriter::definitionCases(const Entry& structure, WalkMode mode)
{
    line("switch(trv_msg_ref->trv_defNumber)");
    open();
    const auto found = index_.writtenDefinitions.find(&structure);
    if (found == index_.writtenDefinitions.end()) {
        close();
        return;
    }
    for (const ScriptIndex::Definition& definition : found->second) {
        scriptLine(*definition.entry);
        line("case ", definition.number, ":");
        open();
        vars_.locateWalk(*definition.entry);
        if (mode == WalkMode::DumpReference) {
            line("trv_def_msg(", kRun, ",", number(*definition.entry), ");");
        }
        vars_.walkTree(*definition.root, "trv_msgrcv", mode);
        line("break;");
        close();
        generatedLines();
    }
    close();
}

void CommWriter::compareFunction(const Entry& structure)
{
    const ModelText type = structure.name;
    prototype("static TRV_T_INT trv_" + type + "_cmp_msg", {{"TRV_PT_" + type, "trv_msg_ref"}, {type + " *", "msg_rcv"}});
    open();
    emit(R"(
        TRV_T_INT trv_ret;
        #define trv_msgrcv (*msg_rcv)
        #define trv_msgref (trv_msg_ref->trv_MsgRef)
        #define trv_msgMin (trv_msg_ref->trv_MsgMin)
        #define trv_msgMax (trv_msg_ref->trv_MsgMax)
        trv_cmp(&(trv_ctx->trv_ctxrun));
    )");
    definitionCases(structure, WalkMode::Compare);
    emit(R"(
        trv_ret=trv_cmp(&(trv_ctx->trv_ctxrun));
        trv_msg_ref->trv_state = trv_ret?TRV_EVTOK:TRV_EVTKO;
        if (trv_msg_ref->trv_state == TRV_EVTOK)
         {
          trv_msg_ref->trv_stateok = 1;
          trv_memcpy(&(trv_msg_ref->trv_MsgRef),msg_rcv,sizeof($type$));
         }
        else trv_msg_ref->trv_stateko = 1;
        return(trv_ret);
        #undef trv_msgrcv
        #undef trv_msgref
        #undef trv_msgMin
        #undef trv_msgMax
    )",
         {{"type", type}});
    close();
}

// ---- procsend and callback functions ----

// The head of a procsend or callback function: its comment, prototype and
// message variable.
void CommWriter::commBlockHead(const Entry& block, std::string_view kind, bool oneIdentifier)
{
    const auto& data = block.data<CommBlockData>();
    emptyLine();
    line("/* ", kind, " ", block.name, " */");
    Parameters parameters{{"TRV_T_INT", "trv_RegId"}};
    if (oneIdentifier) {
        parameters.emplace_back("TRV_T_INT", "trv_index");
    }
    prototype("static TRV_T_INT trv_" + block.name + " ", parameters);
    open();
    line(data.structure->name, " ", data.messageVar, ";");
}

// The block's own declarations, then the debug state.
void CommWriter::commBlockDeclarations(const Entry& block, bool nativeStatements)
{
    statements_.blockDeclarations(subScopeOf(block), nativeStatements);
    emptyLine();
    debugDeclaration();
}

// The connection identifier the function is called for, copied into the block's variable.
void CommWriter::copyIdentifier(const CommBlockData& data)
{
    const std::string id = "(trv_channel_" + data.commtype->name + "[trv_RegId].trv_connexionId[trv_index])";
    line("trv_memcpy (&", data.idVar, ",&", id, ", sizeof(", id, "));");
}

void CommWriter::defineScriptName(std::string_view name, const std::string& expansion)
{
    out_.define(name, expansion);
    scriptNameDefines_.insert_or_assign(std::string(name), expansion);
}

// A procsend or callback declares its message and identifier variables
// itself: in its function they are those variables (a local hides a global
// in C), not the message, channel or context member that a define maps a
// script name of the same spelling to.
void CommWriter::withOwnVariables(const CommBlockData& data, const std::function<void()>& write)
{
    std::vector<std::map<std::string, std::string, std::less<>>::const_iterator> hidden;
    for (const std::string* name : {&data.messageVar, &data.idVar, &data.countVar}) {
        const auto defined = scriptNameDefines_.find(*name);
        if (defined != scriptNameDefines_.end()) {
            out_.undefine(*name);
            hidden.push_back(defined);
        }
    }
    write();
    for (const auto& defined : hidden) {
        out_.define(defined->first, defined->second);
    }
}

void CommWriter::procsendFunction(const Entry& procsend)
{
    const auto& data = procsend.data<CommBlockData>();
    if (!data.used || index_.sendingProcsends.count(&procsend) == 0) {
        return;
    }
    withOwnVariables(data, [&] { procsendBody(procsend); });
}

void CommWriter::procsendBody(const Entry& procsend)
{
    const auto& data = procsend.data<CommBlockData>();
    const std::string sent = "(trv_" + data.structure->name + "_send)";
    commBlockHead(procsend, "procsend", true);
    line(data.commtype->data<CommtypeData>().idType, " ", data.idVar, ";");
    commBlockDeclarations(procsend, false);
    line("trv_memcpy (&", data.messageVar, ",", sent, ",sizeof(*", sent, "));");
    copyIdentifier(data);
    statements_.blockStatements(subScopeOf(procsend), false);
    debugFrame({"return (trv_debug_state ? 1 : TRV_MESSAGE_SENT);"}, {"return ( TRV_MESSAGE_SENT );"});
    close();
}

// A callback is called by the polling of the WAITTILs that the program holds
// only: a static function that nothing calls is a warning of the C compiler.
void CommWriter::callbackFunction(const Entry& callback)
{
    const auto& data = callback.data<CommBlockData>();
    if (!data.used || index_.polledCallbacks.count(&callback) == 0) {
        return;
    }
    withOwnVariables(data, [&] { callbackBody(callback); });
}

void CommWriter::callbackBody(const Entry& callback)
{
    const auto& data = callback.data<CommBlockData>();
    const std::string& idType = data.commtype->data<CommtypeData>().idType;
    commBlockHead(callback, "callback", !data.multiplexed);
    if (data.multiplexed) {
        line("TRV_T_INT ", data.countVar, ";");
        line(idType, " ", data.idVar, "[TRV_K_ID_SIZE];");
    } else {
        line(idType, " ", data.idVar, ";");
    }
    // The callback generated for a TRIGGER structure.
    const bool nativeStatements = data.structure->data<EventStructData>().callback == &callback;
    commBlockDeclarations(callback, nativeStatements);
    const std::string received = "(trv_" + data.structure->name + "_rcv)";
    line("trv_memcpy (&", data.messageVar, ",&", received, ",sizeof(", received, "));");
    if (data.multiplexed) {
        const std::string channel = "(trv_channel_" + data.commtype->name + "[trv_RegId]";
        line(data.countVar, " = ", channel, ".trv_numberofId);");
        line("trv_memcpy(", data.idVar, ",", channel, ".trv_connexionId), sizeof(", channel, ".trv_connexionId)));");
    } else {
        copyIdentifier(data);
    }
    statements_.blockStatements(subScopeOf(callback), nativeStatements);
    line("trv_memcpy (&", received, ",&", data.messageVar, ",sizeof(", data.messageVar, "));");
    debugFrame({"return (trv_debug_state ? 1 : TRV_MESSAGE_READ);"}, {"return ( TRV_MESSAGE_READ );"});
    close();
}

}  // namespace qvm::codegen::program
