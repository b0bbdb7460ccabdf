// The declaration pass: every declaration of the script, in order, in the
// global scope; '#' lines gathered and declared before the next declaration.
#include "script/ancgest.h"
#include "script/prtanac.h"
#include "script/sempti_analysis.h"
#include "script/stxpti_lexer.h"

#include <unordered_set>

namespace qvm::script::sem {

namespace {

// '#' and '@' lines of the declaration part are reduced after their newline.
int leafDeclarationLine(const SyntaxNode& node)
{
    return node.line > 1 ? node.line - 1 : node.line;
}

}  // namespace

// The rules of the declarations: communication types and their blocks,
// procedures and instances.
struct DeclarationRules {
    Analysis& a;
    Model& model;

    void commtype(const SyntaxNode& node)
    {
        const std::string name = a.identText(node.c0(), node);
        const Origin origin = a.originOf(node);
        if (model.findGlobal(ENT_COMMTYPE, name) != nullptr) {
            a.report(diag::Error, "COMALRDEC", name, origin);
        }
        Entry& entry = model.append(&model.global(), ENT_COMMTYPE, name, origin);
        auto& data = model.attach(entry, DSC_COMMTYPE).as<CommtypeData>();
        data.idType = a.identText(node.c1(), node);
        data.typeIndex = model.takeCommtypeIndex();
        for (const SyntaxNode* property = node.c2(); property != nullptr; property = property->c1()) {
            a.expect(property->c0(), STX_MULTIPLEXING, *property);
            if (data.multiplexing) {
                a.report(diag::Error, "PROPALDEC", "MULTIPLEXING", origin);
            }
            data.multiplexing = true;
        }
    }

    void channel(const SyntaxNode& node)
    {
        const std::string typeName = a.identText(node.c0(), node);
        const Origin origin = a.originOf(node);
        for (const SyntaxNode* item = node.c1(); item != nullptr; item = item->c1()) {
            const std::string name = a.identText(item->c0(), *item);
            Entry* commtype = model.findGlobal(ENT_COMMTYPE, typeName);
            if (commtype == nullptr) {
                a.report(diag::Error, "COMMNODEC", typeName, origin);
                return;
            }
            if (model.findGlobal(ENT_CHANNEL, name) != nullptr) {
                a.report(diag::Error, "CHAALRDEC", name, origin);
                return;
            }
            declareChannel(name, *commtype, origin);
        }
    }

    Entry& declareChannel(const std::string& name, Entry& commtype, const Origin& origin)
    {
        Entry& entry = model.append(&model.global(), ENT_CHANNEL, name, origin);
        auto& data = model.attach(entry, DSC_CHANNEL).as<ChannelData>();
        data.commtype = &commtype;
        data.index = commtype.data<CommtypeData>().channelCount++;
        model.useChannelIndex(data.index);
        return entry;
    }

    // MESSAGE and TRIGGER: the structure (made on first use) and its message
    // variables. Gives the structure and whether it is new.
    std::pair<Entry*, bool> messages(const SyntaxNode& node)
    {
        const std::string structName = a.identText(node.c0(), node);
        const Origin origin = a.originOf(node);
        Entry* structure = model.findGlobal(ENT_EVENT_STRUCT, structName);
        const bool isNew = structure == nullptr;
        if (isNew) {
            structure = &declareEventStruct(structName, origin);
        }
        for (const SyntaxNode* item = node.c1(); item != nullptr; item = item->c1()) {
            const std::string name = a.identText(item->c0(), *item);
            if (model.findGlobal(ENT_MESSAGE_VAR, name) != nullptr) {
                a.report(diag::Error, "TRGALRDEC", name, origin);
                break;
            }
            Entry& message = model.append(&model.global(), ENT_MESSAGE_VAR, name, origin);
            auto& data = model.attach(message, DSC_MESSAGE_VAR).as<MessageVarData>();
            data.structure = structure;
            data.index = structure->data<EventStructData>().messageCount++;
            a.declare(structName + " " + name + ";\n", {}, origin);
        }
        return {structure, isNew};
    }

    Entry& declareEventStruct(const std::string& name, const Origin& origin)
    {
        Entry& entry = model.append(&model.global(), ENT_EVENT_STRUCT, name, origin);
        auto& data = model.attach(entry, DSC_EVENT_STRUCT).as<EventStructData>();
        data.index = model.takeEventStructIndex();
        if (a.options.scriptFlags == ScriptUsesTrigger) {
            model.skipChannelIndex();
        }
        if (const auto context = selectionContext(name, {}, origin.line)) {
            a.declare(context->declaration, {}, origin);
            data.companion = context->companion;
        }
        return entry;
    }

    void trigger(const SyntaxNode& node)
    {
        const auto [structure, isNew] = messages(node);
        Entry* socket = model.findGlobal(ENT_COMMTYPE, "trv_socket");
        if (!isNew || socket == nullptr) {
            return;
        }
        const Origin origin = a.originOf(node);
        const int channelNumber = socket->data<CommtypeData>().channelCount;
        declareChannel("trv_v1_3_ch_" + std::to_string(channelNumber), *socket, origin);
        if (model.findCallback(socket, structure, false) == nullptr) {
            generateTriggerCallback(*socket, *structure, origin);
        }
    }

    // The callback a TRIGGER structure gets: it polls the identifiers and
    // initialises the message with the structure's own function.
    void generateTriggerCallback(Entry& socket, Entry& structure, const Origin& origin)
    {
        const std::string name = structure.name + "_ON_" + socket.name;
        Entry& entry = model.append(&model.global(), ENT_CALLBACK, name, origin);
        auto& data = model.attach(entry, DSC_CALLBACK).as<CommBlockData>();
        data = {&socket, &structure, false, "trv_msg", "trv_ids", "trv_n", true};
        model.registerCallback(entry);
        structure.data<EventStructData>().callback = &entry;
        declareBlockVariables(data, socket, structure.name, name, origin);
        Scope& scope = model.makeScope(*entry.descriptor, &model.global());
        model.append(&scope, ENT_HASH_LINE, "int fd;", origin);
        model.append(&scope, ENT_COMMENT, "Entree dans le callback " + structure.name, origin);
        model.append(&scope, ENT_HASH_LINE,
                     "if (fd=trv_pollevt(trv_ids, trv_n)) {  " + structure.name +
                         "_Init(&trv_msg, fd); trv_msgdate ( &(trv_ctx->trv_ctxrun),0 );} else return "
                         "(TRV_NO_MESSAGE);",
                     origin);
        a.declare("int fd;\n", name, origin);
    }

    void declareBlockVariables(const CommBlockData& data, const Entry& commtype, const std::string& structName,
                               const std::string& cScope, const Origin& origin)
    {
        const std::string& idType = commtype.data<CommtypeData>().idType;
        if (data.multiplexed) {
            a.declare("int " + data.countVar + ";\n", cScope, origin);
            a.declare(idType + " " + data.idVar + "[];\n", cScope, origin);
        } else {
            a.declare(idType + " " + data.idVar + ";\n", cScope, origin);
        }
        a.declare(structName + " " + data.messageVar + ";\n", cScope, origin);
    }

    // CALLBACK and PROCSEND blocks.
    void communicationBlock(const SyntaxNode& node, bool isCallback)
    {
        const SyntaxNode& head = a.expect(node.c0(), isCallback ? STX_CALLBACK_NAME : STX_PROCSEND_NAME, node);
        const SyntaxNode& on = a.expect(node.c1(), isCallback ? STX_CALLBACK_ON : STX_PROCSEND_ON, node);
        const std::string structName = a.identText(head.c0(), head);
        const std::string typeName = a.identText(on.c0(), on);
        const std::string name = structName + "_ON_" + typeName + (isCallback ? "" : "_for_procsend");
        const Origin origin = a.originOf(node);
        Entry* commtype = model.findGlobal(ENT_COMMTYPE, typeName);
        Entry* structure = model.findGlobal(ENT_EVENT_STRUCT, structName);
        const bool defined = isCallback ? model.findCallback(commtype, structure, false) != nullptr
                                        : model.findProcsend(commtype, structure, false) != nullptr;
        if (commtype != nullptr && structure != nullptr && defined) {
            a.report(diag::Error, isCallback ? diag::MessageCode("CBALRDEFI") : diag::MessageCode("PSALRDEFI"), name,
                     origin);
            return;
        }
        Entry& entry = model.append(&model.global(), isCallback ? ENT_CALLBACK : ENT_PROCSEND, name, origin);
        auto& data = model.attach(entry, isCallback ? DSC_CALLBACK : DSC_PROCSEND).as<CommBlockData>();
        if (commtype == nullptr) {
            a.report(diag::Error, "COMMNODEC", typeName, origin);
            return;
        }
        if (structure == nullptr) {
            a.report(diag::Error, "UKNMSGTYP", structName, origin);
            return;
        }
        const bool counted = isCallback && on.c2() != nullptr;
        if (isCallback && counted != commtype->data<CommtypeData>().multiplexing) {
            a.report(diag::Error, "CBNOMATCH", "MULTIPLEXING", origin);
            return;
        }
        data.commtype = commtype;
        data.structure = structure;
        data.messageVar = a.identText(head.c1(), head);
        data.idVar = a.identText(on.c1(), on);
        data.multiplexed = counted;
        if (counted) {
            data.countVar = a.identText(on.c2(), on);
        }
        isCallback ? model.registerCallback(entry) : model.registerProcsend(entry);
        declareBlockVariables(data, *commtype, structName, name, origin);
        Scope& scope = model.makeScope(*entry.descriptor, &model.global());
        a.analyseBody(node.c2(), scope, name);
        if (isCallback && !scope.holds(ENT_MESSAGE_DATE)) {
            a.report(diag::Error, "NOMSGDCAL", name, origin);
        }
        if (isCallback && !scope.holds(ENT_NO_MESSAGE)) {
            a.report(diag::Error, "NONMSGCAL", name, origin);
        }
    }

    void declareInstances(const SyntaxNode& node)
    {
        for (const SyntaxNode* link = node.c0(); link != nullptr; link = link->c1()) {
            const SyntaxNode& ident = a.expect(link->c0(), STX_IDENT, *link);
            const Origin origin = a.originOf(ident);
            if (model.findGlobal(ENT_INSTANCE_DECL, ident.textOrEmpty()) != nullptr) {
                a.report(diag::Error, "ISTNALRDEC", ident.textOrEmpty(), origin);
                return;
            }
            Entry& entry = model.append(&model.global(), ENT_INSTANCE_DECL, ident.textOrEmpty(), origin);
            model.attach(entry, DSC_INSTANCE_DECL).as<NumberData>().number = a.state.nextInstanceNumber++;
        }
    }

    void instanceBlock(const SyntaxNode& node)
    {
        const Origin origin = a.originOf(node);
        a.enterInstance(origin);
        Block global{&model.global(), {}};
        const bool markers = a.options.instance.empty();
        if (markers) {
            model.append(&model.global(), ENT_INSTANCE_BEGIN, {}, origin);
            a.instanceUses(node.c0(), global, origin);
        }
        if (markers || a.namesSelectedInstance(node.c0())) {
            PendingText pending;
            for (const SyntaxNode* link = node.c1(); link != nullptr; link = link->c2()) {
                if (link->c0() != nullptr) {
                    a.analyseDeclaration(*link->c0(), pending);
                }
            }
            a.flushPending(pending, {});
        }
        if (markers) {
            model.append(&model.global(), ENT_INSTANCE_END, {}, Analysis::originAt(node, node.line - 1));
        }
        a.leaveInstance(origin);
    }
};

void Analysis::analyseDeclarations(const SyntaxNode* list)
{
    PendingText pending;
    DeclarationRules rules{*this, model};
    for (const SyntaxNode* link = list; link != nullptr; link = link->c2()) {
        if (link->kind != STX_DECL_LIST) {
            unexpected(*link);
        }
        if (link->c0() != nullptr) {
            analyseDeclaration(*link->c0(), pending);
        }
        if (const SyntaxNode* instancePart = link->c1()) {
            flushPending(pending, {});
            if (instancePart->kind == STX_DECLARE_INSTANCE) {
                rules.declareInstances(*instancePart);
            } else if (instancePart->kind == STX_INSTANCE_BLOCK) {
                rules.instanceBlock(*instancePart);
            } else {
                unexpected(*instancePart);
            }
        }
    }
    flushPending(pending, {});
}

void Analysis::analyseDeclaration(const SyntaxNode& node, PendingText& pending)
{
    if (node.kind == STX_HASH_LINE) {
        const Origin origin = originAt(node, leafDeclarationLine(node));
        model.append(&model.global(), ENT_HASH_LINE, node.textOrEmpty(), origin);
        pending.add(node.textOrEmpty(), origin);
        return;
    }
    flushPending(pending, {});
    DeclarationRules rules{*this, model};
    Block global{&model.global(), {}};
    switch (node.kind) {
    case STX_AT_LINE:
        model.append(&model.global(), ENT_AT_LINE, node.textOrEmpty(), originAt(node, leafDeclarationLine(node)));
        break;
    case STX_COMMTYPE: rules.commtype(node); break;
    case STX_CHANNEL: rules.channel(node); break;
    case STX_MESSAGE: rules.messages(node); break;
    case STX_TRIGGER: rules.trigger(node); break;
    case STX_CALLBACK: rules.communicationBlock(node, true); break;
    case STX_PROCSEND: rules.communicationBlock(node, false); break;
    case STX_PROC: analyseProcedure(node); break;
    case STX_TIMER: declareTimer(node, global); break;
    case STX_SHARE: share(node); break;
    case STX_FORMAT: format(node, global); break;
    case STX_INCLUDE: break;  // the included declarations follow in the list
    default: unexpected(node);  // CATCH and the VIRTUAL blocks have no rule
    }
}

}  // namespace qvm::script::sem
