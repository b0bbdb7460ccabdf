// Instruction bodies: each instruction line dispatched by kind to the rule
// that records it in the scope of its block.
#include "base/mstrin.h"
#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/plainexpr.h"
#include "script/pprepc.h"
#include "script/prtanac.h"
#include "script/sempti_analysis.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string_view>
#include <vector>

namespace qvm::script::sem {

// The instruction rules of a body.
class Instructions {
public:
    Instructions(Analysis& analysis, Block& block) : a(analysis), model(analysis.model), block(block) {}

    // origin: where the instruction starts.
    void dispatch(const SyntaxNode& node, const Origin& origin)
    {
        switch (node.kind) {
        case STX_CALL: a.analyseCall(node, block, origin); break;
        case STX_VAR: a.analyseVar(node, block, origin); break;
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
        case STX_RENDEZVOUS: a.analyseCommunicationInstruction(node, block, origin); break;
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
        case STX_FD_DEL: break;
        case STX_FORMAT: a.format(node, block); break;
        default: Analysis::unexpected(node);  // CATCH has no rule
        }
    }

private:
    Entry& simple(int code, std::string_view name, const Origin& origin)
    {
        return model.append(block.scope, code, name, origin);
    }

    void filterSwitch(int code, const SyntaxNode& node, const Origin& origin)
    {
        const std::string letters(Analysis::expect(node.c0(), STX_STRING, node).textOrEmpty());
        Analysis::checkFilterLetters(letters, origin);
        simple(code, letters, origin);
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
        // MATCHING-family pieces become calls the C analysis can type.
        if (const auto rebuilt = a.matchingExpression(node.c0(), origin)) {
            data.text = model.keep(rebuilt->display);
            data.code = model.keep(rebuilt->code);
            data.cls = a.classOf(rebuilt->typed, block.cScope, origin);
        } else {
            data.text = model.keep(Analysis::expressionText(node.c0()));
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
            data.elseScope = &model.makeSideScope(descriptor, block.scope);
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
        std::set<std::string_view> used;  // views of the script's text
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

    void whenValue(const SyntaxNode& value, Scope& body, std::set<std::string_view>& used)
    {
        std::string_view text;
        const Origin origin = Analysis::originOf(value);
        switch (value.kind) {
        case STX_CONSTANT: text = value.textOrEmpty(); break;
        case STX_IDENT: {
            text = base::trimmed(value.textOrEmpty());
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
        if (base::trimmed(text).empty()) {
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
        data.first = entry.name;
        data.second = model.keep(text);
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
        // The generated code names the procedure as a CALL does.
        if (!a.state.insideProcedure && !a.state.insideCommBlock) {
            a.markProcedureUsed(*procedure);
        }
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
    // A COMMENT line read with comments off keeps its line but makes no node.
    if (line.c1() == nullptr) {
        return;
    }
    std::string_view filter;
    if (const SyntaxNode* prefix = line.c0()) {
        if (prefix->kind != STX_FILTER && prefix->kind != STX_FILTER_DOUBLE) {
            unexpected(*prefix);
        }
        filter = prefix->textOrEmpty();
    }
    const SyntaxNode& instruction = present(line.c1(), line);
    // Finding an instruction's line walks its leftmost nodes: once per line.
    const Origin origin = originOf(instruction);
    if (line.c0() != nullptr) {
        checkFilter(filter, line.c0()->kind == STX_FILTER_DOUBLE, origin);
    }
    Entry* before = block.scope->last();
    Instructions(*this, block).dispatch(instruction, origin);
    block.instructionSeen = true;
    Entry* newest = block.scope->last();
    if (newest == before || newest == nullptr) {
        return;
    }
    model.setFilter(*newest, filter);
    if (block.scope->entries.size() >= 2) {
        const Entry& previous = *std::prev(block.scope->entries.end(), 2);
        if (previous.code == ENT_ERROR || previous.code == ENT_EXIT) {
            report(diag::Warning, "NOEXEINST", {}, origin);
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
    const long declaredFrom = cSymbols().nextOrder();
    flushPending(pending, block.cScope);
    reportHiddenMessages(block, declaredFrom, originAt(*list->c0(), firstLine));
}

namespace {

// The names of the records of a C scope ranked from declaredFrom on: only
// these can be records the lines just read declared.
std::vector<std::string_view> namesDeclaredFrom(std::string_view cScope, long declaredFrom)
{
    std::vector<std::string_view> names;
    const std::vector<const canalysis::Symbol*> records = cSymbols().symbolsOf(canalysis::scopeIdent(cScope));
    for (auto record = records.rbegin(); record != records.rend() && (*record)->order >= declaredFrom; ++record) {
        if ((*record)->name != nullptr) {
            names.emplace_back((*record)->name);
        }
    }
    return names;
}

}  // namespace

// A local variable that these lines declare (ranked from declaredFrom) named
// like a message variable would be renamed by the program's define of the
// message's name.
void Analysis::reportHiddenMessages(const Block& block, long declaredFrom, const Origin& origin)
{
    if (block.cScope.empty() || state.messageVariables.empty() || cSymbols().nextOrder() == declaredFrom) {
        return;
    }
    const std::vector<std::string_view> declared = namesDeclaredFrom(block.cScope, declaredFrom);
    for (const Entry* message : state.messageVariables) {
        if (std::ranges::find(declared, message->name.view()) == declared.end()) {
            continue;
        }
        const canalysis::Symbol* symbol = findCVariable(message->name, block.cScope);
        if (symbol != nullptr && symbol->scope != nullptr && symbol->order >= declaredFrom) {
            report(diag::Error, "MSGHIDDEN", message->name, origin);
        }
    }
}

std::optional<std::string_view> Analysis::expandedForTyping(std::string_view text, std::string_view cScope,
                                                            const Origin& origin, std::string& storage)
{
    setCContext(cScope, origin.fileName, origin.line);
    const unsigned errorsBefore = diag::errorCount();
    const std::optional<std::string_view> expanded = preprocessTextView(text, cScope, origin.line, storage);
    if (!expanded && diag::errorCount() != errorsBefore) {
        return std::nullopt;
    }
    return expanded ? *expanded : text;
}

int Analysis::classOfExpanded(std::string_view expanded, std::string_view cScope, const Origin& origin)
{
    if (const std::optional<PlainTyped> plain = typePlainExpression(expanded, cScope)) {
        return plain->cls;
    }
    return expressionType(expanded, cScope, origin.fileName, origin.line).second;
}

int Analysis::classOf(std::string_view text, std::string_view cScope, const Origin& origin)
{
    std::string storage;
    const std::optional<std::string_view> expanded = expandedForTyping(text, cScope, origin, storage);
    return expanded ? classOfExpanded(*expanded, cScope, origin) : int{kClassNone};
}

void Analysis::declareTimer(const SyntaxNode& node, Block& block)
{
    const std::string name = identText(node.c0(), node);
    const Origin origin = originOf(node);
    if (!acceptDeclaredName(name, block.cScope.empty() ? NameUse::FileScope : NameUse::Block, origin)) {
        return;
    }
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
    // Every variable of the global C scope lives for the whole run, whether
    // written static, extern or without storage class; functions do not.
    const canalysis::Symbol* variable = findCVariable(name, {});
    const canalysis::CType* type = variable != nullptr ? canalysis::C_CPP_resolve(variable->type.get()) : nullptr;
    if (variable == nullptr || (type != nullptr && type->kind == canalysis::kFunction)) {
        report(diag::Error, "NOTSTATIC", name, origin);
        return;
    }
    model.append(&model.global(), ENT_SHARE, name, origin);
}

}  // namespace qvm::script::sem
