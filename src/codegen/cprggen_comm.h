// The communication section of the generated program: the message and
// channel tables of the context and their initialisation, the message,
// procsend, callback and WAITTIL condition functions, and the communication
// statements (SEND, WAITTIL, DEF_MESSAGE, ADD_ID, RENDEZVOUS, the exchanges
// between testers).
#pragma once

#include "codegen/cprggen_context.h"
#include "codegen/cprggen_vars.h"
#include "codegen/spggen.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qvm::codegen::program {

class ScenarioWriter;

class CommWriter : SectionWriter {
public:
    // The statements of procsend and callback bodies are the scenario
    // writer's; it may be built after this writer.
    CommWriter(ProgramContext& context, VarsWriter& vars, ScenarioWriter& statements);

    // ---- context: tables and their initialisation (cprggen_comm.cpp) ----
    void messageTypeDefinitions();
    void communicationMacros();
    void communicationMembers();
    void initStates();
    // The initialisation of the table of a message type or a COMMTYPE.
    void initTables(const Entry& entry);
    // A define of a script name (a message variable, a channel, a NOTSHARED
    // variable), kept so that the functions whose own variables hide the
    // name can lift it.
    void defineScriptName(std::string_view name, const std::string& expansion);

    // ---- functions ----
    void messageFunctions();
    void dumpFunction(const Entry& structure);
    void procsendFunction(const Entry& procsend);
    void callbackFunction(const Entry& callback);
    void waitFunction(int number);

    // ---- statements (cprggen_comm_statements.cpp) ----
    void send(const Entry& send);
    void waittil(const Entry& waittil);
    void defMessage(const Entry& definition);
    void addId(const Entry& entry);
    void rendezvous(const Entry& entry);
    void interSend(const Entry& entry);
    void interReceive(const Entry& entry);

private:
    void messageTypeDefinition(const Entry& structure);
    void channelTypeDefinition(const Entry& commtype);
    void triggerChannelIdentifier(const Entry& structure, const Entry& channel);
    void referenceFunction(const Entry& structure);
    void compareFunction(const Entry& structure);
    void definitionCases(const Entry& structure, WalkMode mode);
    void commBlockHead(const Entry& block, std::string_view kind, bool oneIdentifier);
    void commBlockDeclarations(const Entry& block, bool nativeStatements);
    void copyIdentifier(const script::sem::CommBlockData& data);
    void procsendBody(const Entry& procsend);
    void callbackBody(const Entry& callback);
    void withOwnVariables(const script::sem::CommBlockData& data, const std::function<void()>& write);
    // The match pieces and polling pairs of a WAITTIL, gathered in one pass.
    struct WaittilEntries {
        std::vector<const Entry*> pieces;
        std::vector<const Entry*> pairs;
    };
    static WaittilEntries waittilEntries(const Entry& waittil);
    void waittilChecks(const Entry& waittil, const WaittilEntries& entries);
    void waittilPolling(const Entry& waittil, const WaittilEntries& entries);
    void receiveStep(const Entry& waittil, const Entry& structure, const Entry& channel,
                     const WaittilEntries& entries);
    void remainingTime(std::string_view limit);
    void waitTest(const Entry& waittil);
    void waittilResult(const Entry& waittil, const std::vector<const Entry*>& messages);
    void waittilEnd(const Entry& waittil, int result, std::string_view typeName);
    bool hasMessageFunctions(const Entry& structure) const;
    bool hasDumpFunction(const Entry& structure) const;
    // The generated DEF_MESSAGE with a value of a message variable when it
    // has exactly one, else none.
    const Entry* onlyDefinitionOf(const Entry& message) const;

    VarsWriter& vars_;
    ScenarioWriter& statements_;
    std::map<std::string, std::string, std::less<>> scriptNameDefines_;  // name, expansion
    // The COMMTYPEs of the global scope, in order: each WAITTIL polls their
    // channels, and the global scope holds an entry per WAITTIL.
    std::vector<const Entry*> commtypes_;
    // The number of generated DEF_MESSAGEs with a value of each message
    // variable, and the first of them; every WAITTIL asks.
    std::unordered_map<const Entry*, std::pair<int, const Entry*>> definitionsByMessage_;
    // The instances that meet at each rendezvous.
    RendezvousMembers rendezvousMembers_;
};

}  // namespace qvm::codegen::program
