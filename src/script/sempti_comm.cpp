// Communication: the declarations of communication types, channels,
// messages and their callback and procsend blocks, and the instructions
// that send, wait for and define messages.
#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/pprepc.h"
#include "script/prtanac.h"
#include "script/sempti_analysis.h"
#include "script/stxpti_lexer.h"

#include <cctype>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <unordered_map>

namespace qvm::script::sem {

namespace {

bool isIdentifierChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The waiting limit of a WAITTIL: the value compared with WTIME, "0" when
// the text holds no such comparison.
std::string waitingLimit(std::string_view text)
{
    constexpr std::string_view word = "WTIME";
    for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at > 0 && isIdentifierChar(text[at - 1])) || (end < text.size() && isIdentifierChar(text[end]))) {
            continue;
        }
        std::size_t i = end;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        if (i >= text.size() || (text[i] != '>' && text[i] != '=')) {
            continue;
        }
        i += (i + 1 < text.size() && text[i + 1] == '=') ? 2 : 1;
        while (i < text.size() && text[i] < '*') {
            ++i;
        }
        std::string limit;
        while (i < text.size() && text[i] >= '*' && text[i] <= 'z') {
            limit += text[i++];
        }
        return limit;
    }
    return "0";
}

bool isBlockOwner(const Entry* owner)
{
    return owner != nullptr && owner->code != ENT_IF && owner->code != ENT_WHILE && owner->code != ENT_CASE &&
           owner->code != ENT_WHEN;
}

// The entry of the block that becomes one generated function around scope.
const Entry* enclosingBlock(const Scope* scope)
{
    while (scope != nullptr && scope->ownerEntry() != nullptr && !isBlockOwner(scope->ownerEntry())) {
        scope = scope->parent;
    }
    return scope == nullptr ? nullptr : scope->ownerEntry();
}

bool isMatchingPiece(SyntaxKind kind)
{
    return kind == STX_MATCHING || kind == STX_MATCHED || kind == STX_NOTMATCHING || kind == STX_NOTMATCHED;
}

bool isStringClass(int cls)
{
    return cls == kClassString || cls == kClassCharArray;
}

bool isIntegerClass(int cls)
{
    return cls == kClassInt || cls == kClassLong;
}

// "(message,channel)" as the polling checks show a piece.
std::string pollText(const Entry* message, const Entry* channel)
{
    return "(" + message->name + "," + channel->name + ")";
}

const Entry* structureOf(const Entry* message)
{
    return message->data<MessageVarData>().structure;
}

}  // namespace

// The communication declarations, in the global scope.
class CommunicationDeclarations {
public:
    explicit CommunicationDeclarations(Analysis& analysis) : a(analysis), model(analysis.model) {}

    void commtype(const SyntaxNode& node)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        const std::string idType = Analysis::identText(node.c1(), node);
        const Origin origin = Analysis::originOf(node);
        if (model.findGlobal(ENT_COMMTYPE, name) != nullptr) {
            Analysis::report(diag::Error, "COMALRDEC", name, origin);
        }
        a.acceptDeclaredName(name, NameUse::Block, origin);
        setCContext({}, origin.fileName, origin.line);
        if (!isTypeName(idType)) {
            Analysis::report(diag::Error, "IDCNOTDEC", idType, origin);
        }
        Entry& entry = model.append(&model.global(), ENT_COMMTYPE, name, origin);
        auto& data = model.attach(entry, DSC_COMMTYPE).as<CommtypeData>();
        data.idType = idType;
        data.typeIndex = model.takeCommtypeIndex();
        for (const SyntaxNode* property = node.c2(); property != nullptr; property = property->c1()) {
            Analysis::expect(property->c0(), STX_MULTIPLEXING, *property);
            if (data.multiplexing) {
                Analysis::report(diag::Error, "PROPALDEC", "MULTIPLEXING", origin);
            }
            data.multiplexing = true;
        }
    }

    void channels(const SyntaxNode& node)
    {
        const std::string typeName = Analysis::identText(node.c0(), node);
        const Origin origin = Analysis::originOf(node);
        for (const SyntaxNode* item = node.c1(); item != nullptr; item = item->c1()) {
            const std::string name = Analysis::identText(item->c0(), *item);
            Entry* commtype = model.findGlobal(ENT_COMMTYPE, typeName);
            if (commtype == nullptr) {
                Analysis::report(diag::Error, "COMMNODEC", typeName, origin);
                return;
            }
            if (model.findGlobal(ENT_CHANNEL, name) != nullptr) {
                Analysis::report(diag::Error, "CHAALRDEC", name, origin);
                return;
            }
            // A channel's name is a macro of the generated program.
            a.acceptDeclaredName(name, NameUse::Macro, origin);
            declareChannel(name, *commtype, origin);
        }
    }

    // MESSAGE and TRIGGER: the structure (made on first use) and its message
    // variables. Gives the structure (none when its type is unknown) and
    // whether it is new.
    std::pair<Entry*, bool> messages(const SyntaxNode& node)
    {
        const std::string structName = Analysis::identText(node.c0(), node);
        const Origin origin = Analysis::originOf(node);
        Entry* structure = model.findGlobal(ENT_EVENT_STRUCT, structName);
        const bool isNew = structure == nullptr;
        if (isNew) {
            setCContext({}, origin.fileName, origin.line);
            if (!isTypeName(structName)) {
                Analysis::report(diag::Error, "UKNEVTSTC", structName, origin);
                return {nullptr, false};
            }
            structure = &declareEventStruct(structName, origin);
        }
        for (const SyntaxNode* item = node.c1(); item != nullptr; item = item->c1()) {
            const std::string name = Analysis::identText(item->c0(), *item);
            if (model.findGlobal(ENT_MESSAGE_VAR, name) != nullptr) {
                Analysis::report(diag::Error, "TRGALRDEC", name, origin);
                break;
            }
            // A message's name is a macro of the generated program.
            a.acceptDeclaredName(name, NameUse::Macro, origin);
            Entry& message = model.append(&model.global(), ENT_MESSAGE_VAR, name, origin);
            a.state.messageVariables.push_back(&message);
            auto& data = model.attach(message, DSC_MESSAGE_VAR).as<MessageVarData>();
            data.structure = structure;
            data.index = structure->data<EventStructData>().messageCount++;
            a.declare(structName + " " + name + ";\n", {}, origin);
        }
        return {structure, isNew};
    }

    // The older form: each new structure gets a channel of the predeclared
    // socket type and, unless the script wrote one, a callback.
    void trigger(const SyntaxNode& node)
    {
        const auto [structure, isNew] = messages(node);
        Entry* socket = model.findGlobal(ENT_COMMTYPE, "trv_socket");
        if (!isNew || socket == nullptr) {
            return;
        }
        const Origin origin = Analysis::originOf(node);
        const int channelNumber = socket->data<CommtypeData>().channelCount;
        Entry& channel = declareChannel("trv_v1_3_ch_" + std::to_string(channelNumber), *socket, origin);
        structure->data<EventStructData>().triggerChannel = &channel;
        if (model.findCallback(socket, structure) == nullptr) {
            generateTriggerCallback(*socket, *structure, origin);
        }
    }

    // CALLBACK and PROCSEND blocks.
    void communicationBlock(const SyntaxNode& node, bool isCallback)
    {
        const SyntaxNode& head =
            Analysis::expect(node.c0(), isCallback ? STX_CALLBACK_NAME : STX_PROCSEND_NAME, node);
        const SyntaxNode& on = Analysis::expect(node.c1(), isCallback ? STX_CALLBACK_ON : STX_PROCSEND_ON, node);
        const std::string structName = Analysis::identText(head.c0(), head);
        const std::string typeName = Analysis::identText(on.c0(), on);
        const std::string name = structName + "_ON_" + typeName + (isCallback ? "" : "_for_procsend");
        const Origin origin = Analysis::originOf(node);
        Entry* commtype = model.findGlobal(ENT_COMMTYPE, typeName);
        Entry* structure = model.findGlobal(ENT_EVENT_STRUCT, structName);
        const bool defined = isCallback ? model.findCallback(commtype, structure) != nullptr
                                        : model.findProcsend(commtype, structure) != nullptr;
        if (commtype != nullptr && structure != nullptr && defined) {
            Analysis::report(diag::Error, isCallback ? diag::MessageCode("CBALRDEFI") : diag::MessageCode("PSALRDEFI"),
                             name, origin);
            return;
        }
        Entry& entry = model.append(&model.global(), isCallback ? ENT_CALLBACK : ENT_PROCSEND, name, origin);
        auto& data = model.attach(entry, isCallback ? DSC_CALLBACK : DSC_PROCSEND).as<CommBlockData>();
        if (!blockTypesAccepted(commtype, typeName, structure, structName, isCallback, on.c2() != nullptr, origin)) {
            return;
        }
        data.commtype = commtype;
        data.structure = structure;
        data.messageVar = Analysis::identText(head.c1(), head);
        data.idVar = Analysis::identText(on.c1(), on);
        data.multiplexed = isCallback && on.c2() != nullptr;
        if (data.multiplexed) {
            data.countVar = Analysis::identText(on.c2(), on);
        }
        // The block's variables are those of its generated function.
        for (const std::string* variable : {&data.messageVar, &data.idVar, &data.countVar}) {
            if (!variable->empty() && !a.acceptDeclaredName(*variable, NameUse::Block, origin)) {
                return;
            }
        }
        isCallback ? model.registerCallback(entry) : model.registerProcsend(entry);
        declareBlockVariables(data, *commtype, structName, name, origin);
        Scope& scope = model.makeScope(*entry.descriptor, &model.global());
        // What the body calls is used when the block is (see markCommunicationBlockProcedures).
        a.state.insideCommBlock = true;
        a.analyseBody(node.c2(), scope, name);
        a.state.insideCommBlock = false;
        if (isCallback && !scope.holds(ENT_MESSAGE_DATE)) {
            Analysis::report(diag::Error, "NOMSGDCAL", name, origin);
        }
        if (isCallback && !scope.holds(ENT_NO_MESSAGE)) {
            Analysis::report(diag::Error, "NONMSGCAL", name, origin);
        }
    }

private:
    Entry& declareChannel(const std::string& name, Entry& commtype, const Origin& origin)
    {
        Entry& entry = model.append(&model.global(), ENT_CHANNEL, name, origin);
        auto& data = model.attach(entry, DSC_CHANNEL).as<ChannelData>();
        auto& commtypeData = commtype.data<CommtypeData>();
        data.commtype = &commtype;
        data.index = commtypeData.channelCount++;
        commtypeData.channels.push_back(&entry);
        model.useChannelIndex(data.index);
        return entry;
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

    // The callback a TRIGGER structure gets: it polls the identifiers and
    // initialises the message with the structure's own function.
    void generateTriggerCallback(Entry& socket, Entry& structure, const Origin& origin)
    {
        const std::string name = structure.name + "_ON_" + socket.name;
        Entry& entry = model.append(&model.global(), ENT_CALLBACK, name, origin);
        auto& data = model.attach(entry, DSC_CALLBACK).as<CommBlockData>();
        data = {&socket, &structure, "trv_msg", "trv_ids", "trv_n", false, true};
        model.registerCallback(entry);
        structure.data<EventStructData>().callback = &entry;
        declareBlockVariables(data, socket, std::string(structure.name), name, origin);
        Scope& scope = model.makeScope(*entry.descriptor, &model.global());
        model.append(&scope, ENT_HASH_LINE, "int fd;", origin);
        model.append(&scope, ENT_COMMENT, "Entree dans le callback " + structure.name, origin);
        model.append(&scope, ENT_HASH_LINE,
                     "if ((fd=trv_pollevt(trv_ids, trv_n))) {  " + structure.name +
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

    // A block's communication type and structure must be declared, its
    // count variable must follow the type's multiplexing, and its message
    // must be a value that can be copied whole.
    bool blockTypesAccepted(const Entry* commtype, const std::string& typeName, const Entry* structure,
                            const std::string& structName, bool isCallback, bool counted, const Origin& origin)
    {
        if (commtype == nullptr) {
            Analysis::report(diag::Error, "COMMNODEC", typeName, origin);
            return false;
        }
        if (structure == nullptr) {
            Analysis::report(diag::Error, "UKNMSGTYP", structName, origin);
            return false;
        }
        if (isCallback && counted != commtype->data<CommtypeData>().multiplexing) {
            Analysis::report(diag::Error, "CBNOMATCH", "MULTIPLEXING", origin);
            return false;
        }
        const int cls = expressionClass("*(" + structName + "*)0", {}, origin.fileName, origin.line).cls;
        if (cls == kClassString || cls == kClassPointer) {
            Analysis::report(diag::Error, isCallback ? diag::MessageCode("CBNPTTYPE") : diag::MessageCode("PSNPTTYPE"),
                             structName, origin);
            return false;
        }
        return true;
    }

    Analysis& a;
    Model& model;
};

// The communication instructions of one block.
class CommunicationInstructions {
public:
    CommunicationInstructions(Analysis& analysis, Block& block) : a(analysis), model(analysis.model), block(block) {}

    void waittil(const SyntaxNode& node, const Origin& origin)
    {
        auto condition = a.matchingExpression(node.c0(), origin);
        auto timeout = a.matchingExpression(node.c1(), origin);
        if (!condition || !timeout) {
            return;
        }
        std::vector<Analysis::MatchPiece> pieces = std::move(condition->pieces);
        pieces.insert(pieces.end(), std::make_move_iterator(timeout->pieces.begin()),
                      std::make_move_iterator(timeout->pieces.end()));
        if (!oneStructurePerChannel(pieces, origin)) {
            return;
        }
        Entry& entry = append(ENT_WAITTIL, {}, origin);
        Descriptor& descriptor = model.attach(entry, DSC_WAITTIL);
        auto& waittil = descriptor.as<WaittilData>();
        auto& data = *waittil.texts;
        data.condition = model.keep(condition->display);
        data.timeout = model.keep(timeout->display);
        data.conditionCode = model.keep(condition->code);
        data.timeoutCode = model.keep(timeout->code);
        data.cScope = block.cScope;
        data.declaredBefore = cSymbols().nextOrder();
        data.limit = waitingLimit(data.timeout);
        if (data.limit == "0") {
            data.limit = waitingLimit(data.condition);
        }
        waittil.number = a.state.waittilCount++;
        a.state.waittils.push_back(&entry);
        pollingList(pieces, model.makeScope(descriptor, block.scope), origin);
        model.prepend(&model.global(), ENT_WAITTIL_REF, {}, origin, waittil.number);
        if (!pieces.empty() && !a.state.firstWaittil) {
            a.state.firstWaittil = origin;
        }
    }

    void send(const SyntaxNode& node, const Origin& origin)
    {
        const SyntaxNode& arguments = Analysis::expect(node.c0(), STX_SEND_ARGS, node);
        const std::string messageName = Analysis::identText(arguments.c0(), arguments);
        const std::string channelName = Analysis::identText(arguments.c1(), arguments);
        Entry* message = model.findGlobal(ENT_MESSAGE_VAR, messageName);
        Entry* channel = model.findGlobal(ENT_CHANNEL, channelName);
        if (message == nullptr) {
            Analysis::report(diag::Error, "UNKMSGNAM", messageName, origin);
        }
        if (channel == nullptr) {
            Analysis::report(diag::Error, "UNKCHANAM", channelName, origin);
        }
        if (message == nullptr || channel == nullptr) {
            return;
        }
        Entry* commtype = channel->data<ChannelData>().commtype;
        Entry* procsend = model.findProcsend(commtype, structureOf(message));
        if (procsend == nullptr) {
            Analysis::report(diag::Error, "PSNOTDECL", {}, origin);
            return;
        }
        a.markUsed(procsend->data<CommBlockData>().used);
        auto& messageData = message->data<MessageVarData>();
        a.markUsed(messageData.used);
        a.markUsed(commtype->data<CommtypeData>().used);
        Entry& entry = append(ENT_SEND, messageName, origin);
        model.attach(entry, DSC_SEND).as<SendData>() = {message, channel, procsend};
        if (!messageData.sent) {
            messageData.sent = true;
            receivedMessageCheck(*message, origin);
        }
    }

    void defMessage(const std::string& messageText, std::string check, const Origin& origin)
    {
        const std::string name = Analysis::trimmed(messageText);
        Entry* message = model.findGlobal(ENT_MESSAGE_VAR, name);
        if (message == nullptr) {
            Analysis::report(diag::Error, "UNDECTRGV", name, origin);
            return;
        }
        Entry& entry = append(ENT_DEF_MESSAGE, name, origin);
        auto& data = model.attach(entry, DSC_DEF_MESSAGE).as<DefMessageData>();
        data.number = ++a.state.defMessageCount;
        data.message = message;
        data.check = model.keep(check);
        data.inProcedure = a.state.insideProcedure;
        data.procedure = a.state.insideProcedure ? a.state.currentProcedure : nullptr;
        data.tree = held(analyseValue(name, data.check, block.cScope, origin.fileName, origin.line));
        receivedMessageCheck(*message, origin);
    }

    // DEF_TRIGGER(m, v1, v2): DEF_MESSAGE m, EV={v1,v2}.
    void defTrigger(const SyntaxNode& node, const Origin& origin)
    {
        std::string check = "EV={";
        for (const SyntaxNode* value = node.c1(); value != nullptr; value = value->c1()) {
            check += Analysis::expressionText(value->c0());
            if (value->c1() != nullptr) {
                check += ",";
            }
        }
        check += '}';
        defMessage(Analysis::expressionText(node.c0()), std::move(check), origin);
    }

    // MESSAGE_DATE and NO_MESSAGE belong to a callback or a procedure.
    void messageBlockOnly(int code, diag::MessageCode refusal, const Origin& origin)
    {
        const Entry* owner = enclosingBlock(block.scope);
        if (owner == nullptr || (owner->code != ENT_CALLBACK && owner->code != ENT_PROC)) {
            Analysis::report(diag::Error, refusal, {}, origin);
            return;
        }
        append(code, {}, origin);
    }

    void addId(const SyntaxNode& node, const Origin& origin)
    {
        Entry* channel = knownChannel(node, origin);
        if (channel == nullptr) {
            return;
        }
        const std::string id = Analysis::expressionText(node.c1());
        const Entry& commtype = *channel->data<ChannelData>().commtype;
        const std::optional<std::string> expanded = preprocessText(id, block.cScope, origin.line);
        const std::string& typedText = expanded ? *expanded : id;
        const TypedExpression found = expressionClass(typedText, block.cScope, origin.fileName, origin.line);
        if (!identifierTypeMatches(commtype.data<CommtypeData>().idType, found, origin)) {
            Analysis::report(diag::Error, "TYPIDCOKO", Analysis::trimmed(id), origin);
            return;
        }
        Entry& entry = append(ENT_ADD_ID, channel->name, origin);
        auto& data = model.attach(entry, DSC_ADD_ID).as<ChannelOpData>();
        data.channel = channel->name;
        data.channelEntry = channel;
        data.id = model.keep(id);
        data.constant = found.constant || !namesVariable(typedText);
    }

    void clearId(const SyntaxNode& node, const Origin& origin)
    {
        Entry* channel = knownChannel(node, origin);
        if (channel == nullptr) {
            return;
        }
        Entry& entry = append(ENT_CLEAR_ID, channel->name, origin);
        auto& data = model.attach(entry, DSC_CLEAR_ID).as<ChannelOpData>();
        data.channel = channel->name;
        data.channelEntry = channel;
    }

    // INTERSEND(text or number, destination): the destination is a text.
    void interSend(const SyntaxNode& node, const Origin& origin)
    {
        const SyntaxNode& arguments = Analysis::expect(node.c0(), STX_INTERSEND_ARGS, node);
        InterData data = interArguments(arguments, origin);
        bool accepted = classExpected(data.first, data.firstClass,
                                      isIntegerClass(data.firstClass) || isStringClass(data.firstClass), origin);
        accepted = classExpected(data.second, data.secondClass, isStringClass(data.secondClass), origin) && accepted;
        if (accepted) {
            model.attach(append(ENT_INTERSEND, {}, origin), DSC_INTERSEND).as<InterData>() = std::move(data);
        }
    }

    // INTERRECV(number) or INTERRECV(text, size).
    void interRecv(const SyntaxNode& node, const Origin& origin)
    {
        const SyntaxNode& arguments = Analysis::expect(node.c0(), STX_INTERRECV_ARGS, node);
        InterData data = interArguments(arguments, origin);
        bool accepted = true;
        if (arguments.c1() != nullptr) {
            accepted = classExpected(data.first, data.firstClass, isStringClass(data.firstClass), origin);
            accepted = classExpected(data.second, data.secondClass, isIntegerClass(data.secondClass), origin) &&
                       accepted;
        } else {
            accepted = classExpected(data.first, data.firstClass, !isStringClass(data.firstClass), origin);
        }
        if (accepted) {
            model.attach(append(ENT_INTERRECV, {}, origin), DSC_INTERRECV).as<InterData>() = std::move(data);
        }
    }

    void rendezvous(const SyntaxNode& node, const Origin& origin)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        Entry& entry = append(ENT_RENDEZVOUS, name, origin);
        model.attach(entry, DSC_RENDEZVOUS).as<NameData>().name = entry.name;
    }

private:
    Entry& append(int code, std::string_view name, const Origin& origin)
    {
        return model.append(block.scope, code, name, origin);
    }

    // No two structures on one channel among the pieces of one WAITTIL.
    bool oneStructurePerChannel(const std::vector<Analysis::MatchPiece>& pieces, const Origin& origin)
    {
        std::unordered_map<const Entry*, const Analysis::MatchPiece*> firstOnChannel;
        for (const Analysis::MatchPiece& piece : pieces) {
            if (piece.channel == nullptr) {
                continue;
            }
            const auto [known, isFirst] = firstOnChannel.emplace(piece.channel, &piece);
            const Analysis::MatchPiece& first = *known->second;
            if (!isFirst && structureOf(first.message) != structureOf(piece.message)) {
                Analysis::report(diag::Error, "DBLMSGTYP",
                                 pollText(first.message, first.channel) + " " + pollText(piece.message, piece.channel),
                                 origin);
                return false;
            }
        }
        return true;
    }

    // One match piece entry per piece, each followed by the (structure,
    // channel) pairs it makes the WAITTIL poll, each pair once.
    void pollingList(const std::vector<Analysis::MatchPiece>& pieces, Scope& scope, const Origin& origin)
    {
        PollingList pairs;
        for (const Analysis::MatchPiece& piece : pieces) {
            Entry& entry = model.append(&scope, ENT_MATCH_PIECE, piece.message->name, origin);
            model.attach(entry, DSC_MATCH_PIECE).as<MatchPieceData>() = {model.keep(piece.display), model.keep(piece.code),
                                                                         piece.message, piece.channel};
            Entry* structure = piece.message->data<MessageVarData>().structure;
            if (piece.channel != nullptr) {
                Entry* commtype = piece.channel->data<ChannelData>().commtype;
                Entry* callback = model.findCallback(commtype, structure);
                if (callback != nullptr) {
                    a.markUsed(callback->data<CommBlockData>().used);
                }
                addPollPair({structure, piece.channel, callback, piece.message}, pairs, scope, origin);
                continue;
            }
            for (Entry* callback : model.callbacksOf(structure)) {
                Entry* commtype = callback->data<CommBlockData>().commtype;
                for (Entry* channel : commtype->data<CommtypeData>().channels) {
                    addPollPair({structure, channel, callback, piece.message}, pairs, scope, origin);
                }
            }
        }
    }

    // The pairs of one WAITTIL by channel; one structure per channel, a
    // conflict reported once.
    struct PollingList {
        std::unordered_map<const Entry*, PollPairData> byChannel;
        bool conflictReported = false;
    };

    void addPollPair(const PollPairData& pair, PollingList& list, Scope& scope, const Origin& origin)
    {
        const auto [known, isNew] = list.byChannel.emplace(pair.channel, pair);
        if (!isNew) {
            if (known->second.structure != pair.structure && !list.conflictReported) {
                list.conflictReported = true;
                Analysis::report(diag::Error, "DBLCOMTYP",
                                 pollText(known->second.message, known->second.channel) + " " +
                                     pollText(pair.message, pair.channel),
                                 origin);
            }
            return;
        }
        a.markUsed(pair.channel->data<ChannelData>().commtype->data<CommtypeData>().used);
        Entry& entry = model.append(&scope, ENT_POLL_PAIR, pair.channel->name, origin);
        model.attach(entry, DSC_POLL_PAIR).as<PollPairData>() = pair;
    }

    // The check the generated code makes of every received message of the
    // structure: "EV=trv_msgrcv", analysed once per structure.
    void receivedMessageCheck(const Entry& message, const Origin& origin)
    {
        if (!a.state.receivedMessageDeclared) {
            a.state.receivedMessageDeclared = true;
            a.declare("int trv_msgrcv;\n", {}, origin);
        }
        // Once registered, the hidden format stays: registering it again
        // would only set the C context again.
        if (a.state.receivedMessageFormatted) {
            setCContext({}, origin.fileName, origin.line);
        } else {
            a.state.receivedMessageFormatted =
                registerFormat(FormatKind::Hidden, {}, "trv_msgrcv # integer", origin.fileName, origin.line) != nullptr;
        }
        auto& structure = message.data<MessageVarData>().structure->data<EventStructData>();
        if (!structure.receivedCheckDone) {
            structure.receivedCheckDone = true;
            structure.receivedCheck =
                boxed(analyseValue(message.name, "EV=trv_msgrcv", {}, origin.fileName, origin.line));
        }
    }

    // The channel named by the first argument of ADD_ID, FD_ADD, CLEAR_ID;
    // its communication type's table is then used by generated code.
    Entry* knownChannel(const SyntaxNode& node, const Origin& origin)
    {
        const std::string name = Analysis::trimmedExpressionText(node.c0());
        Entry* channel = model.findGlobal(ENT_CHANNEL, name);
        if (channel == nullptr) {
            Analysis::report(diag::Error, "UNKCHANAM", name, origin);
            return nullptr;
        }
        a.markUsed(channel->data<ChannelData>().commtype->data<CommtypeData>().used);
        return channel;
    }

    // An identifier of a communication type: of its identifier type's
    // class family, and of the same type for structures, unions and pointers.
    bool identifierTypeMatches(const std::string& idType, const TypedExpression& found, const Origin& origin)
    {
        const TypedExpression expected = expressionClass("*(" + idType + "*)0", {}, origin.fileName, origin.line);
        if (!compatibleClasses(expected.cls, found.cls)) {
            return false;
        }
        switch (expected.cls) {
        case kClassStruct:
        case kClassUnion: return resolvedImage(expected.typeImage) == resolvedImage(found.typeImage);
        default: return true;
        }
    }

    static std::string resolvedImage(std::string image)
    {
        const std::string qualifier = "const ";
        for (std::size_t at = image.find(qualifier); at != std::string::npos; at = image.find(qualifier)) {
            image.erase(at, qualifier.size());
        }
        return Analysis::trimmed(image);
    }

    // A variable, possibly followed by fields and indices: its address can
    // be taken (a constant or a computed value cannot).
    bool namesVariable(std::string_view text) const
    {
        std::size_t i = 0;
        const auto blanks = [&] {
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
                ++i;
            }
        };
        const auto identifier = [&] {
            const std::size_t start = i;
            while (i < text.size() && isIdentifierChar(text[i])) {
                ++i;
            }
            return text.substr(start, i - start);
        };
        blanks();
        const std::string_view name = identifier();
        if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())) != 0 ||
            findCVariable(name, block.cScope) == nullptr) {
            return false;
        }
        for (blanks(); i < text.size(); blanks()) {
            if (text[i] == '.' || text.substr(i, 2) == "->") {
                i += text[i] == '.' ? 1 : 2;
                blanks();
                if (identifier().empty()) {
                    return false;
                }
            } else if (text[i] == '[') {
                const std::size_t close = matchingBracket(text, i);
                if (close == std::string_view::npos) {
                    return false;
                }
                i = close + 1;
            } else {
                return false;
            }
        }
        return true;
    }

    static std::size_t matchingBracket(std::string_view text, std::size_t open)
    {
        int depth = 0;
        for (std::size_t i = open; i < text.size(); ++i) {
            depth += text[i] == '[' ? 1 : text[i] == ']' ? -1 : 0;
            if (depth == 0) {
                return i;
            }
        }
        return std::string_view::npos;
    }

    InterData interArguments(const SyntaxNode& arguments, const Origin& origin)
    {
        InterData data;
        data.first = Analysis::expressionText(arguments.c0());
        data.firstClass = a.classOf(data.first, block.cScope, origin);
        if (arguments.c1() != nullptr) {
            data.second = Analysis::expressionText(arguments.c1());
            data.secondClass = a.classOf(data.second, block.cScope, origin);
        }
        return data;
    }

    static bool classExpected(const std::string& text, int cls, bool accepted, const Origin& origin)
    {
        if (!accepted && cls != kClassNone) {
            Analysis::report(diag::Error, "INCOMPTYP", Analysis::trimmed(text), origin);
        }
        return accepted || cls == kClassNone;
    }

    Analysis& a;
    Model& model;
    Block& block;
};

void Analysis::analyseCommunicationDeclaration(const SyntaxNode& node)
{
    CommunicationDeclarations rules(*this);
    switch (node.kind) {
    case STX_COMMTYPE: rules.commtype(node); break;
    case STX_CHANNEL: rules.channels(node); break;
    case STX_MESSAGE: rules.messages(node); break;
    case STX_TRIGGER: rules.trigger(node); break;
    case STX_CALLBACK: rules.communicationBlock(node, true); break;
    case STX_PROCSEND: rules.communicationBlock(node, false); break;
    default: unexpected(node);
    }
}

void Analysis::analyseCommunicationInstruction(const SyntaxNode& node, Block& block, const Origin& origin)
{
    CommunicationInstructions rules(*this, block);
    switch (node.kind) {
    case STX_WAITTIL: rules.waittil(node, origin); break;
    case STX_SEND: rules.send(node, origin); break;
    case STX_DEF_MESSAGE:
        rules.defMessage(expressionText(node.c0()), std::string(expect(node.c1(), STX_EV_TEXT, node).textOrEmpty()),
                         origin);
        break;
    case STX_DEF_TRIGGER: rules.defTrigger(node, origin); break;
    case STX_MESSAGE_DATE: rules.messageBlockOnly(ENT_MESSAGE_DATE, "MSGDINBBL", origin); break;
    case STX_NO_MESSAGE: rules.messageBlockOnly(ENT_NO_MESSAGE, "NOMSINBBL", origin); break;
    case STX_ADD_ID:
    case STX_FD_ADD: rules.addId(node, origin); break;
    case STX_CLEAR_ID: rules.clearId(node, origin); break;
    case STX_INTERSEND: rules.interSend(node, origin); break;
    case STX_INTERRECV: rules.interRecv(node, origin); break;
    case STX_RENDEZVOUS: rules.rendezvous(node, origin); break;
    default: unexpected(node);
    }
}

namespace {

// The pieces one after the other, in a text of their exact size.
std::string joined(std::initializer_list<std::string_view> pieces)
{
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
        size += piece.size();
    }
    std::string text;
    text.reserve(size);
    for (const std::string_view piece : pieces) {
        text += piece;
    }
    return text;
}

// One MATCHING-family piece: its message (and channel) looked up and used,
// its two texts, and the callbacks that will receive its message.
class MatchingPieceRules {
public:
    MatchingPieceRules(Analysis& analysis, bool triggerMode)
        : a(analysis), model(analysis.model), triggerMode(triggerMode)
    {
    }

    std::optional<Analysis::MatchPiece> piece(const SyntaxNode& node, const Origin& origin)
    {
        const std::string_view function = kindName(node.kind).substr(4);
        const std::string messageName = Analysis::identText(node.c0(), node);
        const std::string channelName = node.c1() != nullptr ? Analysis::identText(node.c1(), node) : std::string();
        Entry* message = model.findGlobal(ENT_MESSAGE_VAR, messageName);
        if (message == nullptr) {
            Analysis::report(diag::Error, "UNKMSGNAM", messageName, origin);
            return std::nullopt;
        }
        auto& messageData = message->data<MessageVarData>();
        a.markUsed(messageData.used);
        Analysis::MatchPiece piece;
        piece.message = message;
        const bool twoArguments = !channelName.empty();
        piece.typed = joined({"TRV_", function, twoArguments ? "_2(0,0)" : "_1(0)"});
        const std::string_view shownChannel = twoArguments && !triggerMode ? channelName : std::string_view();
        piece.display = joined({function, "(", messageName, shownChannel.empty() ? "" : ",", shownChannel, ")"});
        const std::string index = std::to_string(messageData.index);
        if (!twoArguments) {
            piece.code = joined({"TRV_", function, "_1(trv_msg_", messageData.structure->name, "[", index, "])"});
            if (triggerMode) {
                piece.channel = messageData.structure->data<EventStructData>().triggerChannel;
            }
        } else {
            piece.channel = model.findGlobal(ENT_CHANNEL, channelName);
            if (piece.channel == nullptr) {
                Analysis::report(diag::Error, "UNKCHANAM", channelName, origin);
                return std::nullopt;
            }
            const auto& channelData = piece.channel->data<ChannelData>();
            piece.code = joined({"TRV_", function, "_2(trv_msg_", messageData.structure->name, "[", index,
                                 "],trv_state_channel[",
                                 std::to_string(channelData.commtype->data<CommtypeData>().typeIndex), "][",
                                 std::to_string(channelData.index), "])"});
        }
        if (!callbackAvailable(piece)) {
            Analysis::report(diag::Error, "CBNOTDECL", piece.display, origin);
            return std::nullopt;
        }
        return piece;
    }

private:
    bool callbackAvailable(const Analysis::MatchPiece& piece)
    {
        Entry* structure = piece.message->data<MessageVarData>().structure;
        if (piece.channel != nullptr) {
            auto& channelData = piece.channel->data<ChannelData>();
            a.markUsed(channelData.used);
            Entry* callback = model.findCallback(channelData.commtype, structure);
            if (callback != nullptr) {
                a.markUsed(callback->data<CommBlockData>().used);
            }
            return callback != nullptr;
        }
        const std::vector<Entry*> callbacks = model.callbacksOf(structure);
        for (Entry* callback : callbacks) {
            a.markUsed(callback->data<CommBlockData>().used);
        }
        return !callbacks.empty();
    }

    Analysis& a;
    Model& model;
    bool triggerMode;
};

}  // namespace

std::optional<Analysis::MatchingExpression> Analysis::matchingExpression(const SyntaxNode* expression,
                                                                         const Origin& origin)
{
    MatchingPieceRules rules(*this, options.scriptFlags == ScriptUsesTrigger);
    MatchingExpression result;
    bool accepted = true;
    for (const SyntaxNode* link = expression; link != nullptr; link = link->c1()) {
        const SyntaxNode& piece = present(link->c0(), *link);
        if (piece.kind == STX_NATIVE_EXPR) {
            result.display += piece.textOrEmpty();
            result.code += piece.textOrEmpty();
            result.typed += piece.textOrEmpty();
        } else if (isMatchingPiece(piece.kind)) {
            if (auto matched = rules.piece(piece, origin)) {
                result.display += matched->display;
                result.code += matched->code;
                result.typed += matched->typed;
                result.pieces.push_back(std::move(*matched));
            } else {
                accepted = false;
            }
        } else if (piece.kind != STX_EMPTY) {
            unexpected(piece);
        }
    }
    if (!accepted) {
        return std::nullopt;
    }
    return result;
}

}  // namespace qvm::script::sem
