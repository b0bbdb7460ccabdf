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

// The instruction rules of a body.
class Instructions {
public:
    Instructions(Analysis& analysis, Block& block) : a(analysis), model(analysis.model), block(block) {}

    void dispatch(const SyntaxNode& node)
    {
        const Origin origin = Analysis::originOf(node);
        switch (node.kind) {
        case STX_CALL: call(node, origin); break;
        case STX_VAR: var(node, origin); break;
        case STX_IF: ifThenElse(node, origin); break;
        case STX_WHILE: whileLoop(node, origin); break;
        case STX_CASE: caseOf(node, origin); break;
        case STX_WAITTIL:
        case STX_SEND:
        case STX_DEF_MESSAGE:
        case STX_DEF_TRIGGER:
        case STX_MESSAGE_DATE:
        case STX_NO_MESSAGE:
        case STX_ADD_ID:
        case STX_FD_ADD:
        case STX_CLEAR_ID:
        case STX_INTERSEND:
        case STX_INTERRECV:
        case STX_RENDEZVOUS: a.analyseCommunicationInstruction(node, block); break;
        case STX_TIMER: a.declareTimer(node, block); break;
        case STX_RESET: simple(ENT_RESET, Analysis::identText(node.c0(), node), origin); break;
        case STX_PAUSE: simple(ENT_PAUSE, Analysis::expressionText(node.c0()), origin); break;
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
        case STX_FD_DEL: break;
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

    void call(const SyntaxNode& node, const Origin& origin)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        Entry& entry = simple(ENT_CALL, name, origin);
        Descriptor& descriptor = model.attach(entry, DSC_CALL);
        auto& data = descriptor.as<CallData>();
        if (const SyntaxNode* at = node.c2()) {
            Analysis::expect(at, STX_CALL_AT, node);
            data.expected = Analysis::expressionText(at->c0());
            data.result = Analysis::expressionText(at->c1());
        }
        data.procedure = model.findGlobal(ENT_PROC, name);
        if (data.procedure != nullptr) {
            if (a.state.insideProcedure) {
                a.state.currentProcedure->data<ProcData>().calledProcedures.push_back(data.procedure);
            } else {
                a.markProcedureUsed(*data.procedure);
            }
        } else if (const auto function = lookupFunction(name)) {
            data.cFunction = true;
            data.returnClass = function->returnClass;
            hiddenReturnVariable(data, origin);
        }
        a.analyseCallArguments(node.c1(), descriptor, *block.scope, block.cScope);
    }

    // A C function's value goes somewhere even when the script does not keep it.
    void hiddenReturnVariable(CallData& data, const Origin& origin)
    {
        const bool unspecified = data.returnClass == kClassUnspecified;
        if (!data.result.empty() || data.returnClass == kClassVoid || (unspecified && data.expected.empty())) {
            return;
        }
        int cls = data.returnClass;
        if (unspecified) {
            cls = expressionClass(data.expected, block.cScope, origin.fileName, origin.line).cls;
            if (cls == kClassUnspecified || cls == kClassNone) {
                cls = kClassInt;
            }
        }
        const int number = a.state.returnVarCount++;
        data.result = "trv_return_" + std::to_string(number);
        Entry& variable = model.prependToBlock(block.scope, ENT_RETURN_VAR, data.result, origin);
        auto& variableData = model.attach(variable, DSC_RETURN_VAR).as<ReturnVarData>();
        variableData.cls = cls;
        variableData.number = number;
    }

    void var(const SyntaxNode& node, const Origin& origin)
    {
        const std::string variable = Analysis::expressionText(node.c0());
        const SyntaxNode& check = Analysis::present(node.c1(), node);
        Entry& entry = simple(ENT_VAR, variable, origin);
        auto& data = model.attach(entry, DSC_VAR).as<VarData>();
        data.variable = variable;
        data.message = model.findGlobal(ENT_MESSAGE_VAR, Analysis::trimmed(variable));
        switch (check.kind) {
        case STX_INIT_TEXT:
        case STX_EV_TEXT: data.check = check.textOrEmpty(); break;
        case STX_EV_EQ: data.check = "EV=(" + variable + ")"; break;
        default: Analysis::unexpected(check);
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
        descriptor.as<ConditionData>().text = Analysis::expressionText(node.c0());
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
        switch (value.kind) {
        case STX_CONSTANT:
        case STX_IDENT: text = value.textOrEmpty(); break;
        case STX_OTHERS: text = "OTHERS"; break;
        default: Analysis::unexpected(value);
        }
        const Origin origin = Analysis::originOf(value);
        if (!used.insert(text).second) {
            Analysis::report(diag::Error, "ALRCASDEF", text, origin);
            return;
        }
        model.append(&body, ENT_WHEN_VALUE, text, origin);
    }

    void print(const SyntaxNode& node, const Origin& origin)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        Entry& entry = simple(ENT_PRINT, name, origin);
        auto& data = model.attach(entry, DSC_PRINT).as<TextPairData>();
        data.first = name;
        data.second = Analysis::expressionText(node.c1());
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

void Analysis::analyseCallArguments(const SyntaxNode* arguments, Descriptor& call, Scope& parent,
                                    const std::string& cScope)
{
    // "CALL p()" passes one empty argument: the empty list.
    if (arguments == nullptr ||
        (arguments->c1() == nullptr && arguments->c0() != nullptr && arguments->c0()->kind == STX_ARG &&
         expressionText(expect(arguments->c0()->c0(), STX_AT_EXPR, *arguments->c0()).c0()).empty())) {
        return;
    }
    Scope& scope = model.makeScope(call, &parent);
    for (const SyntaxNode* link = arguments; link != nullptr; link = link->c1()) {
        const SyntaxNode& argument = present(link->c0(), *link);
        if (argument.kind != STX_ARG && argument.kind != STX_REF_ARG) {
            unexpected(argument);
        }
        const SyntaxNode& at = expect(argument.c0(), STX_AT_EXPR, argument);
        const Origin origin = originOf(argument);
        const std::string text = expressionText(at.c0());
        Entry& entry = model.append(&scope, ENT_ARG, text, origin);
        auto& data = model.attach(entry, DSC_ARG).as<ArgData>();
        data.text = text;
        data.reference = argument.kind == STX_REF_ARG;
        data.expected = expressionText(at.c1());
        data.result = expressionText(at.c2());
        data.cls = classOf(text, cScope, origin);
    }
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

void Analysis::markProcedureUsed(Entry& procedure)
{
    std::vector<Entry*> pending{&procedure};
    while (!pending.empty()) {
        Entry* next = pending.back();
        pending.pop_back();
        auto& data = next->data<ProcData>();
        if (data.used) {
            continue;
        }
        data.used = true;
        pending.insert(pending.end(), data.calledProcedures.begin(), data.calledProcedures.end());
    }
}

void Analysis::declareTimer(const SyntaxNode& node, Block& block)
{
    const std::string name = identText(node.c0(), node);
    const Origin origin = originOf(node);
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

}  // namespace qvm::script::sem
