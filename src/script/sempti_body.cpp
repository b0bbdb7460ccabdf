// Instruction bodies: each instruction line dispatched by kind to the rule
// that records it in the scope of its block.
#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/pprepc.h"
#include "script/prtanac.h"
#include "script/sempti_analysis.h"

#include <cctype>
#include <set>

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

bool holdsMatchPiece(const SyntaxNode* expression)
{
    for (const SyntaxNode* link = expression; link != nullptr; link = link->c1()) {
        const SyntaxNode* piece = link->c0();
        if (piece != nullptr && (piece->kind == STX_MATCHING || piece->kind == STX_MATCHED ||
                                 piece->kind == STX_NOTMATCHING || piece->kind == STX_NOTMATCHED)) {
            return true;
        }
    }
    return false;
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

}  // namespace

// The instruction rules of a body.
class Instructions {
public:
    Instructions(Analysis& analysis, Block& block) : a(analysis), model(analysis.model), block(block) {}

    void dispatch(const SyntaxNode& node)
    {
        const Origin origin = Analysis::originOf(node);
        switch (node.kind) {
        case STX_CALL: a.analyseCall(node, block); break;
        case STX_VAR: a.analyseVar(node, block); break;
        case STX_WAITTIL: waittil(node, origin); break;
        case STX_IF: ifThenElse(node, origin); break;
        case STX_WHILE: whileLoop(node, origin); break;
        case STX_CASE: caseOf(node, origin); break;
        case STX_SEND: send(node, origin); break;
        case STX_DEF_MESSAGE:
            defMessage(Analysis::expressionText(node.c0()), Analysis::expect(node.c1(), STX_EV_TEXT, node).textOrEmpty(),
                       origin);
            break;
        case STX_DEF_TRIGGER: defTrigger(node, origin); break;
        case STX_TIMER: a.declareTimer(node, block); break;
        case STX_RESET: reset(node, origin); break;
        case STX_PAUSE: pause(node, origin); break;
        case STX_PRINT: print(node, origin); break;
        case STX_TRACE_ON: trace(ENT_TRACE_ON, a.state.ignoredTraceOn, origin); break;
        case STX_TRACE_OFF: trace(ENT_TRACE_OFF, a.state.ignoredTraceOff, origin); break;
        case STX_FLUSH_TRACE: trace(ENT_FLUSH_TRACE, a.state.ignoredFlushTrace, origin); break;
        case STX_ERROR: simple(ENT_ERROR, {}, origin); break;
        case STX_EXIT: simple(ENT_EXIT, {}, origin); break;
        case STX_SET: filterSwitch(ENT_SET, node, origin); break;
        case STX_UNSET: filterSwitch(ENT_UNSET, node, origin); break;
        case STX_ENABLE_CLEANUP: cleanup(node, ENT_ENABLE_CLEANUP, DSC_ENABLE_CLEANUP, origin); break;
        case STX_DISABLE_CLEANUP: cleanup(node, ENT_DISABLE_CLEANUP, DSC_DISABLE_CLEANUP, origin); break;
        case STX_COMMENT: simple(ENT_COMMENT, node.textOrEmpty(), origin); break;
        case STX_AT_LINE: simple(ENT_AT_LINE, node.textOrEmpty(), origin); break;
        case STX_MESSAGE_DATE: messageBlockOnly(ENT_MESSAGE_DATE, "MSGDINBBL", origin); break;
        case STX_NO_MESSAGE: messageBlockOnly(ENT_NO_MESSAGE, "NOMSINBBL", origin); break;
        case STX_ADD_ID:
        case STX_FD_ADD: addId(node, origin); break;
        case STX_CLEAR_ID: clearId(node, origin); break;
        case STX_FD_DEL: break;
        case STX_INTERSEND: interOperation(node, STX_INTERSEND_ARGS, ENT_INTERSEND, DSC_INTERSEND, origin); break;
        case STX_INTERRECV: interOperation(node, STX_INTERRECV_ARGS, ENT_INTERRECV, DSC_INTERRECV, origin); break;
        case STX_RENDEZVOUS: rendezvous(node, origin); break;
        case STX_FORMAT: a.format(node, block); break;
        default: Analysis::unexpected(node);  // CATCH has no rule
        }
    }

private:
    Entry& simple(int code, std::string name, const Origin& origin)
    {
        return model.append(block.scope, code, std::move(name), origin);
    }

    void filterSwitch(int code, const SyntaxNode& node, const Origin& origin)
    {
        const std::string& letters = Analysis::expect(node.c0(), STX_STRING, node).textOrEmpty();
        Analysis::checkFilterLetters(letters, origin);
        simple(code, letters, origin);
    }

    void waittil(const SyntaxNode& node, const Origin& origin)
    {
        Entry& entry = simple(ENT_WAITTIL, {}, origin);
        Descriptor& descriptor = model.attach(entry, DSC_WAITTIL);
        auto& data = descriptor.as<WaittilData>();
        data.condition = Analysis::expressionText(node.c0());
        data.timeout = Analysis::expressionText(node.c1());
        data.limit = waitingLimit(data.timeout);
        if (data.limit == "0") {
            data.limit = waitingLimit(data.condition);
        }
        data.number = a.state.waittilCount++;
        model.makeScope(descriptor, block.scope);
        model.prepend(&model.global(), ENT_WAITTIL_REF, {}, origin, data.number);
        if (!a.state.firstWaittil) {
            a.state.firstWaittil = origin;
        }
    }

    // A nested block (IF, WHILE, WHEN body) in the C scope of its block.
    void nested(const SyntaxNode* body, Scope& scope)
    {
        Block inner{&scope, block.cScope};
        a.analyseNestedBody(body, inner);
    }

    Descriptor& conditional(int code, int descriptorCode, const SyntaxNode& node, const Origin& origin)
    {
        Entry& entry = simple(code, {}, origin);
        Descriptor& descriptor = model.attach(entry, descriptorCode);
        auto& data = descriptor.as<ConditionData>();
        data.text = Analysis::expressionText(node.c0());
        // MATCHING-family pieces are no C until the communication rules rewrite them.
        if (!holdsMatchPiece(node.c0())) {
            data.cls = a.classOf(data.text, block.cScope, origin);
        }
        return descriptor;
    }

    void ifThenElse(const SyntaxNode& node, const Origin& origin)
    {
        Descriptor& descriptor = conditional(ENT_IF, DSC_IF, node, origin);
        nested(node.c1(), model.makeScope(descriptor, block.scope));
        const SyntaxNode& otherwise = Analysis::present(node.c2(), node);
        if (otherwise.kind == STX_ELSE) {
            auto& data = descriptor.as<ConditionData>();
            data.elseScope = model.makeSideScope(descriptor, block.scope);
            nested(otherwise.c0(), *data.elseScope);
        } else if (otherwise.kind != STX_EMPTY) {
            Analysis::unexpected(otherwise);
        }
    }

    void whileLoop(const SyntaxNode& node, const Origin& origin)
    {
        Descriptor& descriptor = conditional(ENT_WHILE, DSC_WHILE, node, origin);
        nested(node.c1(), model.makeScope(descriptor, block.scope));
    }

    void caseOf(const SyntaxNode& node, const Origin& origin)
    {
        Descriptor& descriptor = conditional(ENT_CASE, DSC_CASE, node, origin);
        Scope& clauses = model.makeScope(descriptor, block.scope);
        std::set<std::string> used;
        for (const SyntaxNode* link = node.c1(); link != nullptr; link = link->c1()) {
            const SyntaxNode& clause = Analysis::expect(link->c0(), STX_WHEN_CLAUSE, *link);
            const Origin at = Analysis::originOf(clause);
            Entry& when = model.append(&clauses, ENT_WHEN, {}, at);
            Scope& body = model.makeScope(model.attach(when, DSC_WHEN), &clauses);
            for (const SyntaxNode* value = clause.c0(); value != nullptr; value = value->c1()) {
                Analysis::expect(value, STX_WHEN_LIST, clause);
                whenValue(Analysis::present(value->c0(), *value), body, used);
            }
            nested(clause.c1(), body);
        }
    }

    void whenValue(const SyntaxNode& value, Scope& body, std::set<std::string>& used)
    {
        std::string text;
        const Origin origin = Analysis::originOf(value);
        switch (value.kind) {
        case STX_CONSTANT: text = value.textOrEmpty(); break;
        case STX_IDENT: {
            text = Analysis::trimmed(value.textOrEmpty());
            const int cls = a.classOf(text, block.cScope, origin);
            if (cls != kClassChar && cls != kClassInt) {
                Analysis::report(diag::Error, "WHWACONST", text, origin);
                return;
            }
            break;
        }
        case STX_OTHERS: text = "OTHERS"; break;
        default: Analysis::unexpected(value);
        }
        if (!used.insert(text).second) {
            Analysis::report(diag::Error, "ALRCASDEF", text, origin);
            return;
        }
        model.append(&body, ENT_WHEN_VALUE, text, origin);
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
        Entry* procsend = model.findProcsend(channel->data<ChannelData>().commtype,
                                             message->data<MessageVarData>().structure);
        if (procsend == nullptr) {
            Analysis::report(diag::Error, "PSNOTDECL", {}, origin);
            return;
        }
        message->data<MessageVarData>().used = true;
        message->data<MessageVarData>().sent = true;
        Entry& entry = simple(ENT_SEND, messageName, origin);
        auto& data = model.attach(entry, DSC_SEND).as<SendData>();
        data = {message, channel, procsend};
    }

    void defMessage(const std::string& messageText, std::string check, const Origin& origin)
    {
        const std::string name = Analysis::trimmed(messageText);
        Entry* message = model.findGlobal(ENT_MESSAGE_VAR, name);
        if (message == nullptr) {
            Analysis::report(diag::Error, "UNDECTRGV", name, origin);
            return;
        }
        Entry& entry = simple(ENT_DEF_MESSAGE, name, origin);
        auto& data = model.attach(entry, DSC_DEF_MESSAGE).as<DefMessageData>();
        data.number = ++a.state.defMessageCount;
        data.message = message;
        data.check = std::move(check);
        data.inProcedure = a.state.insideProcedure;
    }

    void defTrigger(const SyntaxNode& node, const Origin& origin)
    {
        std::string check = "EV={";
        for (const SyntaxNode* value = node.c1(); value != nullptr; value = value->c1()) {
            check += Analysis::expressionText(value->c0());
            if (value->c1() != nullptr) {
                check += ",";
            }
        }
        defMessage(Analysis::expressionText(node.c0()), check + "}", origin);
    }

    void reset(const SyntaxNode& node, const Origin& origin)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        if (findCVariable(name, block.cScope) == nullptr) {
            Analysis::report(diag::Error, "IDENTINCO", name, origin);
            return;
        }
        simple(ENT_RESET, name, origin);
    }

    // The number PAUSE and PRINT take: an integer expression.
    bool integerOperand(const std::string& text, std::string_view instruction, const Origin& origin)
    {
        if (Analysis::trimmed(text).empty()) {
            Analysis::report(diag::Error, "TOOFEWARG", instruction, origin);
            return false;
        }
        const int cls = a.classOf(text, block.cScope, origin);
        if (cls != kClassInt && cls != kClassLong) {
            Analysis::report(diag::Warning, "INCOMPTYP", text, origin);
        }
        return true;
    }

    void pause(const SyntaxNode& node, const Origin& origin)
    {
        const std::string text = Analysis::expressionText(node.c0());
        if (integerOperand(text, "PAUSE", origin)) {
            simple(ENT_PAUSE, text, origin);
        }
    }

    void print(const SyntaxNode& node, const Origin& origin)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        const std::string text = Analysis::expressionText(node.c1());
        if (!integerOperand(text, "PRINT", origin)) {
            return;
        }
        Entry& entry = simple(ENT_PRINT, name, origin);
        auto& data = model.attach(entry, DSC_PRINT).as<TextPairData>();
        data.first = name;
        data.second = text;
    }

    // Trace instructions exist only at the circular trace level; the levels
    // below count the ones they inhibit.
    void trace(int code, IgnoredTrace& ignored, const Origin& origin)
    {
        switch (a.options.traceLevel) {
        case 50:
            if (code == ENT_FLUSH_TRACE && block.scope->ownerEntry() != nullptr &&
                (block.scope->ownerEntry()->code == ENT_CALLBACK || block.scope->ownerEntry()->code == ENT_PROCSEND)) {
                Analysis::report(diag::Error, "FTINCBPS", {}, origin);
                return;
            }
            simple(code, {}, origin);
            return;
        case 0:
        case 5:
        case 10:
        case 20:
            if (ignored.count++ == 0) {
                ignored.first = origin;
            }
            return;
        default:
            return;
        }
    }

    void cleanup(const SyntaxNode& node, int code, int descriptorCode, const Origin& origin)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        Entry* procedure = model.findGlobal(ENT_PROC, name);
        if (procedure == nullptr) {
            Analysis::report(diag::Error, "UNKCLPROC", name, origin);
            return;
        }
        if (procedure->data<ProcData>().parameterCount > 0) {
            Analysis::report(diag::Error, "CLVOIDPRC", name, origin);
            return;
        }
        Entry& entry = simple(code, name, origin);
        model.attach(entry, descriptorCode).as<ProcedureRefData>().procedure = procedure;
    }

    // MESSAGE_DATE and NO_MESSAGE belong to a callback or a procedure.
    void messageBlockOnly(int code, diag::MessageCode refusal, const Origin& origin)
    {
        const Entry* owner = enclosingBlock(block.scope);
        if (owner == nullptr || (owner->code != ENT_CALLBACK && owner->code != ENT_PROC)) {
            Analysis::report(diag::Error, refusal, {}, origin);
            return;
        }
        simple(code, {}, origin);
    }

    void addId(const SyntaxNode& node, const Origin& origin)
    {
        const std::string channel = Analysis::trimmed(Analysis::expressionText(node.c0()));
        if (model.findGlobal(ENT_CHANNEL, channel) == nullptr) {
            Analysis::report(diag::Error, "UNKCHANAM", channel, origin);
            return;
        }
        Entry& entry = simple(ENT_ADD_ID, channel, origin);
        auto& data = model.attach(entry, DSC_ADD_ID).as<ChannelOpData>();
        data.channel = channel;
        data.id = Analysis::expressionText(node.c1());
    }

    void clearId(const SyntaxNode& node, const Origin& origin)
    {
        const std::string channel = Analysis::trimmed(Analysis::expressionText(node.c0()));
        if (model.findGlobal(ENT_CHANNEL, channel) == nullptr) {
            Analysis::report(diag::Error, "UNKCHANAM", channel, origin);
            return;
        }
        Entry& entry = simple(ENT_CLEAR_ID, channel, origin);
        model.attach(entry, DSC_CLEAR_ID).as<ChannelOpData>().channel = channel;
    }

    void interOperation(const SyntaxNode& node, SyntaxKind argumentsKind, int code, int descriptorCode,
                        const Origin& origin)
    {
        const SyntaxNode& arguments = Analysis::expect(node.c0(), argumentsKind, node);
        Entry& entry = simple(code, {}, origin);
        auto& data = model.attach(entry, descriptorCode).as<TextPairData>();
        data.first = Analysis::expressionText(arguments.c0());
        data.second = Analysis::expressionText(arguments.c1());
    }

    void rendezvous(const SyntaxNode& node, const Origin& origin)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        Entry& entry = simple(ENT_RENDEZVOUS, name, origin);
        model.attach(entry, DSC_RENDEZVOUS).as<NameData>().name = name;
    }

    Analysis& a;
    Model& model;
    Block& block;
};

void Analysis::analyseBody(const SyntaxNode* body, Scope& scope, std::string cScope)
{
    Block block{&scope, std::move(cScope)};
    for (const SyntaxNode* link = body; link != nullptr; link = link->c2()) {
        const SyntaxNode& first = present(link->c0(), *link);
        const bool instanceBlock = first.kind == STX_INSTANCE_BEGIN;
        if (link->kind == STX_INSTR_GROUP) {
            if (instanceBlock) {
                analyseInstanceBlockInBody(*link, block, false);
            } else {
                analyseInstructionLine(expect(&first, STX_INSTR_LINE, *link), block);
            }
        } else if (link->kind == STX_NATIVE_GROUP) {
            if (instanceBlock) {
                analyseInstanceBlockInBody(*link, block, true);
            } else {
                analyseHashLines(&first, block);
            }
        } else {
            unexpected(*link);
        }
    }
}

void Analysis::analyseNestedBody(const SyntaxNode* body, Block& block)
{
    for (const SyntaxNode* link = body; link != nullptr; link = link->c2()) {
        const SyntaxNode& group = expect(link, STX_NESTED_GROUP, *link);
        const SyntaxNode& first = present(group.c0(), group);
        if (first.kind == STX_INSTANCE_BEGIN) {
            analyseInstanceBlockInBody(group, block, false);
        } else {
            analyseInstructionLine(expect(&first, STX_INSTR_LINE, group), block);
        }
    }
}

void Analysis::analyseInstructionLine(const SyntaxNode& line, Block& block)
{
    std::string filter;
    if (const SyntaxNode* prefix = line.c0()) {
        if (prefix->kind != STX_FILTER && prefix->kind != STX_FILTER_DOUBLE) {
            unexpected(*prefix);
        }
        filter = prefix->textOrEmpty();
        checkFilter(filter, prefix->kind == STX_FILTER_DOUBLE, originOf(*line.c1()));
    }
    const SyntaxNode& instruction = present(line.c1(), line);
    Entry* before = block.scope->last();
    Instructions(*this, block).dispatch(instruction);
    block.instructionSeen = true;
    Entry* newest = block.scope->last();
    if (newest == before || newest == nullptr) {
        return;
    }
    newest->filter = std::move(filter);
    if (block.scope->entries.size() >= 2) {
        const Entry& previous = *std::prev(block.scope->entries.end(), 2);
        if (previous.code == ENT_ERROR || previous.code == ENT_EXIT) {
            report(diag::Warning, "NOEXEINST", {}, originOf(instruction));
        }
    }
}

void Analysis::analyseHashLines(const SyntaxNode* list, Block& block)
{
    // The links carry the line after the list: the lines are counted back from it.
    std::size_t count = 0;
    for (const SyntaxNode* link = list; link != nullptr; link = link->c1()) {
        ++count;
    }
    const int firstLine = list->line - static_cast<int>(count);
    PendingText pending;
    int line = firstLine;
    for (const SyntaxNode* link = list; link != nullptr; link = link->c1(), ++line) {
        expect(link, STX_HASH_LINE_LIST, *link);
        const SyntaxNode& hash = expect(link->c0(), STX_HASH_LINE, *link);
        const Origin origin = originAt(hash, line);
        model.append(block.scope, ENT_HASH_LINE, hash.textOrEmpty(), origin);
        pending.add(hash.textOrEmpty(), origin);
    }
    flushPending(pending, block.cScope);
}

int Analysis::classOf(std::string_view text, std::string_view cScope, const Origin& origin)
{
    setCContext(cScope, origin.fileName, origin.line);
    const unsigned errorsBefore = diag::errorCount();
    std::optional<std::string> expanded = preprocessText(text, cScope, origin.line);
    if (!expanded && diag::errorCount() != errorsBefore) {
        return kClassNone;
    }
    return expressionType(expanded ? *expanded : text, cScope, origin.fileName, origin.line).second;
}

void Analysis::declareTimer(const SyntaxNode& node, Block& block)
{
    const std::string name = identText(node.c0(), node);
    const Origin origin = originOf(node);
    const canalysis::Symbol* known = findCVariable(name, block.cScope);
    if (known != nullptr && known->scope == canalysis::scopeIdent(block.cScope)) {
        report(diag::Error, "IDENREDEF", name, origin);
        return;
    }
    declare("int " + name + ";\n", block.cScope, origin);
    const int number = state.timerCount++;
    Entry& timer = model.append(block.scope, ENT_TIMER, name, origin);
    model.attach(timer, DSC_TIMER).as<NumberData>().number = number;
    Entry& twin = model.prependToBlock(block.scope, ENT_TIMER_DECL, name, origin);
    model.attach(twin, DSC_TIMER).as<NumberData>().number = number;
}

void Analysis::format(const SyntaxNode& node, const Block& block)
{
    const Origin origin = originOf(node);
    registerFormat(FormatKind::Instruction, block.cScope, expressionText(node.c1()), origin.fileName, origin.line);
}

void Analysis::share(const SyntaxNode& node)
{
    const std::string name = identText(node.c0(), node);
    const Origin origin = originOf(node);
    const canalysis::Symbol* variable = findCVariable(name, {});
    if (variable == nullptr || (variable->storage & canalysis::kStatic) == 0) {
        report(diag::Error, "NOTSTATIC", name, origin);
        return;
    }
    model.append(&model.global(), ENT_SHARE, name, origin);
}

}  // namespace qvm::script::sem
