// The generated program: file order, the run-time context type with its
// access macros, and the context initialisation functions.
#include "codegen/cprggen.h"

#include "codegen/cprggen_comm.h"
#include "codegen/cprggen_context.h"
#include "codegen/cprggen_entry.h"
#include "codegen/cprggen_probe.h"
#include "codegen/cprggen_scenario.h"
#include "codegen/cprggen_vars.h"

#include "diag/i18nerrgest.h"
#include "script/sempti.h"

#include <filesystem>
#include <optional>

namespace qvm::codegen {

namespace program {

using namespace script::sem;

namespace {

// Access macros that map script names to fields of the context, in the
// order they are defined.
struct AccessMacro {
    std::string_view name;
    std::string_view field;
};
constexpr AccessMacro kAccessMacros[] = {
    {"trv_filter", "(trv_ctx->trv_ctxrun.trv_ctxfilter)"},
    {"TRV_NUMINSTANCE", "(trv_ctx->trv_ctxrun.trv_ctxnuminstance)"},
    {"trv_numinstance", "(trv_ctx->trv_ctxrun.trv_ctxnuminstance)"},
    {"trv_tagtsocket", "(trv_ctx->trv_ctxrun.trv_ctxtagtsocket)"},
    {"trv_testernaming", "(trv_ctx->trv_ctxrun.trv_ctxtesternaming)"},
    {"trv_tagttimeout", "(trv_ctx->trv_ctxrun.trv_ctxtagttimeout)"},
    {"trv_tagtcommactivated", "(trv_ctx->trv_ctxrun.trv_ctxtagtcommactivated)"},
    {"TRV_OCCID", "(trv_ctx->trv_ctxrun.trv_ctxoccid)"},
    {"trv_flagrt", "(trv_ctx->trv_ctxflagrt)"},
    {"trv_wtime", "(trv_ctx->trv_ctxrun.trv_ctxwtime)"},
    {"trv_lwait", "(trv_ctx->trv_ctxrun.trv_ctxlwait)"},
    {"TRV_TIMEOUT", "(trv_ctx->trv_ctxrun.trv_ctxtimeout)"},
    {"trv_rcvtime", "(trv_ctx->trv_ctxrun.trv_ctxrcvtime)"},
    {"trv_logdate", "(trv_ctx->trv_ctxrun.trv_ctxlogdate)"},
};

}  // namespace

// The program in file order: the context type, the functions of the
// script, the entry; each section has its writer.
class ProgramWriter : SectionWriter {
public:
    explicit ProgramWriter(ProgramContext& context)
        : SectionWriter(context), files_(context.files), vars_(context),
          comm_(context, vars_, statements_), statements_(context, comm_, vars_), entry_(context)
    {
    }

    void write();

private:
    void banner();
    void interfaceIncludes();
    void contextDeclaration();
    void accessMacros();
    void contextType();
    // NOTSHARED: the context variables that no SHARE nor timer names, each
    // as (name, member declaration); every tester context gets its own
    // copy, which trv_initctx starts from the value of the global one.
    std::vector<std::pair<std::string, std::string>> notSharedVariables() const;
    void notSharedGlobals();
    void notSharedInitialValues();
    void contextInitialisation();
    void initContext();
    void staticContext();
    void scriptFunctions();
    void probeProgram();

    GeneratedFiles& files_;
    VarsWriter vars_;
    CommWriter comm_;  // given the scenario writer before it is built
    ScenarioWriter statements_;
    EntryWriter entry_;
    std::vector<std::pair<std::string, std::string>> notShared_;
};

void ProgramWriter::write()
{
    banner();
    if (options_.probeMode != 0) {
        interfaceIncludes();
        probeProgram();
        return;
    }
    emit(R"(
        #ifdef USE_QVM
        #undef USE_QVM
        #endif
        #define USE_QVM 1
        #include "TP.h"
    )");
    interfaceIncludes();
    contextDeclaration();
    contextInitialisation();
    staticContext();
    scriptFunctions();
    entry_.entryFunction();
}

void ProgramWriter::banner()
{
    emit(R"(

        /*
         * TARVO Ostrel v2.6a, preprocessor C
         * file name: $path$
         * date: $date$
         */



    )",
         {{"path", cCommentText(options_.programPath)}, {"date", cCommentText(options_.date)}});
}

// Probe code stands beside its probe header: an interface file that its
// name would find there as the probe header is included by its full path.
void ProgramWriter::interfaceIncludes()
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    const fs::path probeHeader = fs::absolute(options_.probeHeaderPath, ignored).lexically_normal();
    const fs::path directory = fs::absolute(options_.programPath, ignored).parent_path();
    for (const std::string& file : options_.interfaceFiles) {
        const bool hidden = options_.probeMode != 0 && (directory / file).lexically_normal() == probeHeader;
        line("#include \"", hidden ? cStringText(fs::absolute(file, ignored).lexically_normal().string()) : file, "\"");
        emptyLine();
    }
}

// In probe mode the program holds the code that records and decodes the
// events the probe header names, and the header the TDC writer began gets
// its macros; the message dumps are this writer's own.
void ProgramWriter::probeProgram()
{
    GeneratedFile* header = files_.find(options_.probeHeaderPath);
    if (header == nullptr) {
        return;
    }
    std::vector<std::string> variables;
    for (const ContextVariable& variable : model_.contextVariables()) {
        variables.push_back(variable.name);
    }
    probe::ProbeWriter(out_, *header, model_, numbering_.probe, options_).write(variables, [this](const Entry& type) {
        vars_.forMessageType(type, [&] { comm_.dumpFunction(type); });
    });
}

void ProgramWriter::contextDeclaration()
{
    out_.undefine("TIME");
    out_.define("TIME(x)", "0");
    for (const Entry& entry : model_.global().entries) {
        if (entry.code == ENT_HASH_LINE || entry.code == ENT_AT_LINE) {
            scriptLine(entry);
            line(entry.code == ENT_HASH_LINE ? nativeLineText(entry.name) : nativeStatementText(entry.name));
            generatedLines();
        }
    }
    if (options_.notShared) {
        notShared_ = notSharedVariables();
    }
    notSharedGlobals();
    for (const auto& [name, member] : notShared_) {
        comm_.defineScriptName(name, "(trv_ctx->trv_ctx" + name + ")");
    }
    comm_.messageTypeDefinitions();
    accessMacros();
    comm_.communicationMacros();
    contextType();
    out_.undefine("TIME");
    out_.define("TIME(X) ", "(trv_time(&(trv_ctx->timer[(X)].timer)))");
}

void ProgramWriter::accessMacros()
{
    for (const AccessMacro& macro : kAccessMacros) {
        out_.define(macro.name, macro.field);
    }
}

void ProgramWriter::contextType()
{
    line("typedef struct");
    open();
    line("TRV_T_RUNCTX trv_ctxrun;");
    line("TRV_T_INT trv_ctxflagrt;");
    comm_.communicationMembers();
    if (options_.timerCount > 0) {
        line("TRV_T_TIMER timer[", options_.timerCount, "];");
    }
    for (const auto& [name, member] : notShared_) {
        line(member);
    }
    close();
    line("TRV_T_CTX, *TRV_PT_CTX ;");
}

std::vector<std::pair<std::string, std::string>> ProgramWriter::notSharedVariables() const
{
    std::vector<std::pair<std::string, std::string>> variables;
    for (const ContextVariable& variable : model_.contextVariables()) {
        if (!variable.shared) {
            variables.emplace_back(variable.name, variable.member);
        }
    }
    return variables;
}

// The address of each global variable that a context member copies, taken
// before its name is mapped to the member.
void ProgramWriter::notSharedGlobals()
{
    for (const auto& [name, member] : notShared_) {
        line("static void *const trv_notshared_", name, " = (void *) &", name, ";");
    }
}

void ProgramWriter::notSharedInitialValues()
{
    for (const auto& [name, member] : notShared_) {
        line("trv_memcpy(&(", name, "), trv_notshared_", name, ", sizeof(", name, "));");
    }
}

void ProgramWriter::contextInitialisation()
{
    comm_.initStates();
    initContext();
}

void ProgramWriter::initContext()
{
    emptyLine();
    prototype("static void trv_initctx ");
    open();
    line("TRV_T_INT trv_i;");
    notSharedInitialValues();
    for (const Entry& entry : model_.global().entries) {
        if (entry.code == ENT_TIMER) {
            line("trv_get_date(&(trv_ctx->timer[", entry.data<NumberData>().number, "].timer));");
        } else {
            comm_.initTables(entry);
        }
    }
    close();
}

void ProgramWriter::staticContext()
{
    if (options_.allocation != Allocation::None) {
        return;
    }
    line("static TRV_T_CTX trv_ctxst;");
    if (tracing()) {
        line("static TRV_T_CAR trv_ctxbuffertracest[", bufferBytes(), "];");
    }
}

void ProgramWriter::scriptFunctions()
{
    comm_.messageFunctions();
    for (const Entry& entry : model_.global().entries) {
        switch (entry.code) {
        case ENT_SCENARIO: statements_.scenario(entry); break;
        case ENT_PROC: statements_.procedure(entry); break;
        case ENT_PROCSEND: comm_.procsendFunction(entry); break;
        case ENT_CALLBACK: comm_.callbackFunction(entry); break;
        case ENT_WAITTIL_REF: comm_.waitFunction(entry.auxiliary); break;
        case ENT_INSTANCE_BEGIN:
        case ENT_INSTANCE_END:
            // The declarations between the markers serve every instance.
            if (!runTimeInstances()) {
                diag::error("BADPARAMS");
            }
            break;
        default: break;
        }
    }
}

}  // namespace program

void writeProgram(GeneratedFiles& files, const Numbering& numbering, const script::sem::Model& model,
                  const std::vector<script::SourceFileRecord>& sourceFiles, const ProgramOptions& options)
{
    std::optional<ScriptIndex> gathered;
    const ScriptIndex& index = numbering.index ? *numbering.index : gathered.emplace(indexScript(model));
    program::ProgramContext context(files, numbering, index, model, sourceFiles, options);
    program::ProgramWriter(context).write();
}

std::string filterCondition(std::string_view prefix)
{
    const bool grouped = prefix.find('+') != std::string_view::npos;
    const bool swapped = !prefix.empty() && prefix.front() == '%';
    const std::string_view join = swapped ? " || " : " && ";
    const std::string_view separator = swapped ? ") && (" : ") || (";
    std::string condition = grouped ? "if ( ( " : "if ( ";
    bool letterInGroup = false;
    for (const char c : swapped ? prefix.substr(1) : prefix) {
        if (c == '+') {
            condition += separator;
            letterInGroup = false;
            continue;
        }
        if (letterInGroup) {
            condition += join;
        }
        if (c == '~') {
            // The letter that follows is the negated operand: no operator before it.
            condition += "!";
            letterInGroup = false;
            continue;
        }
        condition += "trv_filter[" + std::to_string(c - 'A') + "]";
        letterInGroup = true;
    }
    condition += ")";
    if (grouped) {
        condition += " )";
    }
    return condition;
}

}  // namespace qvm::codegen
