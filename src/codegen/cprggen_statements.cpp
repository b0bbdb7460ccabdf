// Statement lists: filter guards, instance guards and the plain statements.
#include "codegen/cprggen_scenario.h"

#include "codegen/cprggen_comm.h"
#include "codegen/cprggen_vars.h"

#include "diag/i18nerrgest.h"
#include "script/sempti.h"

#include <cctype>

namespace qvm::codegen::program {

using namespace script::sem;

namespace {

// The letters of a SET or UNSET, which the script writes as a string.
std::string_view withoutQuotes(std::string_view letters)
{
    if (letters.size() >= 2 && letters.front() == '"' && letters.back() == '"') {
        return letters.substr(1, letters.size() - 2);
    }
    return letters;
}

std::string_view conditionText(const Entry& entry)
{
    const auto& data = entry.data<ConditionData>();
    return data.code.empty() ? data.text : data.code;
}

// Whether a statement runs inside a procsend or a callback, whose SEND or
// WAITTIL is the construct a crash there is reported in.
bool inCommunicationBlock(const Entry& entry)
{
    for (const Scope* scope = entry.scope; scope != nullptr; scope = scope->parent) {
        const Entry* owner = scope->ownerEntry();
        if (owner == nullptr || owner->code == ENT_SCENARIO || owner->code == ENT_PROC) {
            return false;
        }
        if (owner->code == ENT_PROCSEND || owner->code == ENT_CALLBACK) {
            return true;
        }
    }
    return false;
}

// Whether the runtime call that notes where a run of '@' lines begins can
// stand before this one: it is the first of its run, and no "else" that
// the call would part from its "if".
bool notesCLines(const Entry& entry)
{
    if (entry.prev != nullptr && entry.prev->code == ENT_AT_LINE) {
        return false;
    }
    const std::string_view text = entry.name;
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view code = text.substr(start);
    const auto wordGoesOn = [&](std::size_t at) {
        return at < code.size() && (std::isalnum(static_cast<unsigned char>(code[at])) != 0 || code[at] == '_');
    };
    const bool startsWithElse = code.starts_with("else") && !wordGoesOn(4);
    return !startsWithElse && !inCommunicationBlock(entry);
}

// The statements whose code comes from their script line. A WHILE, IF or
// CASE has the line of its condition; the functions of scenarios,
// procedures and level blocks are written apart.
bool codeOfScriptLine(int code)
{
    switch (code) {
    case ENT_CALL: case ENT_COMMENT: case ENT_ENABLE_CLEANUP: case ENT_DISABLE_CLEANUP: case ENT_WAITTIL:
    case ENT_HASH_LINE: case ENT_AT_LINE: case ENT_WHILE: case ENT_IF: case ENT_CASE: case ENT_ERROR:
    case ENT_EXIT: case ENT_SET: case ENT_UNSET: case ENT_RENDEZVOUS: case ENT_DEF_MESSAGE: case ENT_NO_MESSAGE:
    case ENT_MESSAGE_DATE: case ENT_ADD_ID: case ENT_CLEAR_ID: case ENT_TIMER_DECL: case ENT_TIMER:
    case ENT_RESET: case ENT_PAUSE: case ENT_PRINT: case ENT_SEND: case ENT_INSTANCE_BODY_BEGIN:
    case ENT_FLUSH_TRACE: case ENT_TRACE_ON: case ENT_TRACE_OFF: case ENT_INTERSEND: case ENT_INTERRECV:
    case ENT_VAR:
        return true;
    default:
        return false;
    }
}

// Whether C text ends inside a comment that it opened with "/*".
bool endsInBlockComment(std::string_view text)
{
    bool inComment = false;
    char quote = 0;  // the quote of the literal being read
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (inComment) {
            if (c == '*' && next == '/') {
                inComment = false;
                ++i;
            }
        } else if (quote != 0) {
            if (c == '\\') {
                ++i;
            } else if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && next == '/') {
            return false;
        } else if (c == '/' && next == '*') {
            inComment = true;
            ++i;
        }
    }
    return inComment;
}

}  // namespace

std::string nativeLineText(std::string_view text)
{
    const std::string_view kept = withoutLineSplice(text);
    return isDirective(kept) ? "#" + std::string(kept) : std::string(kept);
}

std::string nativeStatementText(std::string_view text)
{
    std::string statement(withoutLineSplice(text));
    if (endsInBlockComment(statement)) {
        statement += " */";
    }
    return statement;
}

void ScenarioWriter::statements(const Scope* scope)
{
    if (scope == nullptr) {
        return;
    }
    for (const Entry& entry : scope->entries) {
        statement(entry);
    }
}

void ScenarioWriter::statement(const Entry& entry)
{
    if (codeOfScriptLine(entry.code)) {
        scriptLine(entry);
    }
    const std::string_view filter = model_.filterOf(entry);
    if (filter.empty()) {
        dispatch(entry);
    } else {
        line(filterCondition(filter));
        open();
        dispatch(entry);
        close();
    }
    generatedLines();
}

void ScenarioWriter::dispatch(const Entry& entry)
{
    const int n = number(entry);
    switch (entry.code) {
    case ENT_SCENARIO: scenario(entry); break;
    case ENT_PROC: procedure(entry); break;
    case ENT_INITIALIZATION:
    case ENT_TERMINATION:
    case ENT_EXCEPTION: levelBlock(entry); break;
    case ENT_CALL:
        if (entry.data<CallData>().procedure != nullptr) {
            procedureCall(entry);
        } else {
            vars_.nativeCall(entry);
        }
        break;
    case ENT_COMMENT: line("trv_comment ( ", kRun, ",", n, " );"); break;
    case ENT_TRACE_ON: line("trv_trace_on ( ", kRun, ",", n, " );"); break;
    case ENT_TRACE_OFF: line("trv_trace_off ( ", kRun, ",", n, " );"); break;
    case ENT_FLUSH_TRACE:
        line("trv_flush_trace (", kRun, ",", n, ");");
        line("trv_flush_circular_buffer (", kRun, ", K_TRACECTX_MAX_PRIORITY);");
        break;
    case ENT_ERROR:
        line("trv_error ( ", kRun, ",", n, " );");
        debugResult("1");
        break;
    case ENT_EXIT: line("trv_rioexit ( ", kRun, ",", n, " );"); break;
    case ENT_ENABLE_CLEANUP:
    case ENT_DISABLE_CLEANUP: {
        const std::string call = entry.code == ENT_ENABLE_CLEANUP ? "trv_enable" : "trv_disable";
        const Entry& cleanup = *entry.data<ProcedureRefData>().procedure;
        line(call, " ( ", kRun, ",(TRV_T_INT (*)())trv_P", number(cleanup), " );");
        break;
    }
    case ENT_SET:
    case ENT_UNSET: {
        const std::string call = entry.code == ENT_SET ? "trv_setfilter" : "trv_unsetfilter";
        line(call, " ( ", kRun, ",\"", withoutQuotes(entry.name), "\", ", n, " );");
        break;
    }
    case ENT_WHILE:
        line("while ( ", conditionText(entry), " )");
        generatedLines();
        open();
        statements(entry.descriptor->subScope);
        close();
        break;
    case ENT_IF: conditional(entry); break;
    case ENT_CASE: caseStatement(entry); break;
    case ENT_PAUSE: line("trv_pause ((TRV_T_UTIME)(", entry.name, "));"); break;
    case ENT_PRINT: line("trv_print(", kRun, ",", n, ",(TRV_T_ULONG)(", entry.data<TextPairData>().second,
                         "));"); break;
    case ENT_TIMER_DECL: timerDeclaration(entry); break;
    case ENT_TIMER:
        line("trv_get_date(&(trv_ctx->timer[", entry.data<NumberData>().number, "].timer));");
        break;
    case ENT_RESET: line("trv_get_date(&(trv_ctx->timer[", entry.name, "].timer));"); break;
    case ENT_HASH_LINE: line(statementLines_ ? std::string(entry.name) : nativeLineText(entry.name)); break;
    case ENT_AT_LINE:
        if (notesCLines(entry)) {
            line("trv_c_lines (", kRun, ", \"", cStringText(entry.fileName()), "\", ", entry.line, ");");
        }
        line(nativeStatementText(entry.name));  // a statement, never a directive
        break;
    case ENT_INSTANCE_BODY_BEGIN: instanceBodyBegin(entry); break;
    case ENT_INSTANCE_BODY_END:
        if (runTimeInstances()) {
            close();
        }
        break;
    case ENT_INSTANCE_HASH_BEGIN:
    case ENT_INSTANCE_HASH_END:
        // Native lines serve every instance: no guard.
        if (!runTimeInstances()) {
            diag::error("BADPARAMS");
        }
        break;
    case ENT_RETURN_VAR: {
        const auto& data = entry.data<ReturnVarData>();
        if (data.declaration.view().empty()) {
            line(runtimeTypeName(data.cls), " ", entry.name, ";");
        } else {
            line(data.declaration);
        }
        break;
    }
    case ENT_VAR: vars_.varStatement(entry); break;
    case ENT_SEND: comm_.send(entry); break;
    case ENT_WAITTIL: comm_.waittil(entry); break;
    case ENT_DEF_MESSAGE: comm_.defMessage(entry); break;
    case ENT_NO_MESSAGE:
        line("trv_nomsg ( ", kRun, ",", n, " );");
        line("return ( TRV_NO_MESSAGE );");
        break;
    case ENT_MESSAGE_DATE: line("trv_msgdate ( ", kRun, ",", n, " );"); break;
    case ENT_ADD_ID: comm_.addId(entry); break;
    case ENT_CLEAR_ID: {
        const auto& channel = entry.data<ChannelOpData>().channelEntry->data<ChannelData>();
        line("trv_channel_", channel.commtype->name, "[", channel.index, "].trv_numberofId=0;");
        break;
    }
    case ENT_RENDEZVOUS: comm_.rendezvous(entry); break;
    case ENT_INTERSEND: comm_.interSend(entry); break;
    case ENT_INTERRECV: comm_.interReceive(entry); break;
    default: break;  // parameters, arguments, instance names and WHEN values are written by their owners
    }
}

void ScenarioWriter::procedureCall(const Entry& call)
{
    const Entry& procedure = *call.data<CallData>().procedure;
    // The CALL's own number: a failure inside the procedure names where it was called from.
    open();
    emit(R"(
        TRV_T_INT trv_ret;
        trv_call_enter ( &(trv_ctx->trv_ctxrun), $call$ );
        trv_bproc( &(trv_ctx->trv_ctxrun), $procedure$);
        trv_ret=trv_P$procedure$ ($arguments$ );
        trv_aproc( &(trv_ctx->trv_ctxrun), $end$);
        trv_call_leave ( &(trv_ctx->trv_ctxrun) );
        if (trv_ret)
         {
          if (trv_ret==1)
           {
    )",
         {{"call", number(call)},
          {"procedure", number(procedure)},
          {"arguments", procedureArguments(call.descriptor->subScope)},
          {"end", endNumber(procedure)}});
    debugResult("1");
    close();
    emit(R"(
        else
         {
          return ( trv_ret );
         }
    )");
    close();
    close();
}

void ScenarioWriter::conditional(const Entry& entry)
{
    line("if ( ", conditionText(entry), " )");
    generatedLines();
    open();
    statements(entry.descriptor->subScope);
    close();
    if (const Scope* otherwise = entry.data<ConditionData>().elseScope) {
        line("else");
        open();
        statements(otherwise);
        close();
    }
}

void ScenarioWriter::caseStatement(const Entry& entry)
{
    line("switch ( ", conditionText(entry), " )");
    generatedLines();
    open();
    for (const Entry& clause : entry.descriptor->subScope->entries) {
        if (clause.code == ENT_WHEN) {
            whenClause(clause);
        }
    }
    close();
}

void ScenarioWriter::whenClause(const Entry& when)
{
    const Scope* body = when.descriptor->subScope;
    scriptLine(when);
    for (const Entry& value : body->entries) {
        if (value.code == ENT_WHEN_VALUE) {
            line(value.name == "OTHERS" ? "default :" : "case " + value.name + " :");
        }
    }
    generatedLines();
    open();
    statements(body);
    line("break;");
    close();
}

void ScenarioWriter::instanceBodyBegin(const Entry& begin)
{
    if (!runTimeInstances()) {
        diag::error("BADPARAMS");
        return;
    }
    std::string terms;
    int count = 0;
    for (const Entry* use = begin.next; use != nullptr && use->code == ENT_INSTANCE_USE; use = use->next) {
        terms += (terms.empty() ? "" : " || ") + std::string("(trv_numinstance==") + text(instanceNumberOf(use->name)) + ")";
        ++count;
    }
    // The terms are parenthesised to be joined; a single one stands alone,
    // as a comparison in doubled parentheses reads as a mistaken assignment.
    if (count == 1) {
        terms = terms.substr(1, terms.size() - 2);
    }
    line("if (", terms, ")");
    open();
}

int ScenarioWriter::instanceNumberOf(std::string_view name) const
{
    const Entry* declared = model_.findGlobal(ENT_INSTANCE_DECL, name);
    return declared != nullptr ? declared->data<NumberData>().number : 0;
}

namespace {

bool isLeadingDeclaration(const Entry& entry)
{
    return entry.code == ENT_HASH_LINE || entry.code == ENT_TIMER_DECL || entry.code == ENT_RETURN_VAR;
}

}  // namespace

// The native lines and declarations at the head of a procsend or callback body.
void ScenarioWriter::blockDeclarations(const Scope* body, bool nativeStatements)
{
    if (body == nullptr) {
        return;
    }
    statementLines_ = nativeStatements;
    for (const Entry& entry : body->entries) {
        if (!isLeadingDeclaration(entry)) {
            break;
        }
        statement(entry);
    }
    statementLines_ = false;
}

void ScenarioWriter::blockStatements(const Scope* body, bool nativeStatements)
{
    if (body == nullptr) {
        return;
    }
    statementLines_ = nativeStatements;
    bool leading = true;
    for (const Entry& entry : body->entries) {
        leading = leading && isLeadingDeclaration(entry);
        if (!leading) {
            statement(entry);
        }
    }
    statementLines_ = false;
}

}  // namespace qvm::codegen::program
