// Procedure, level block and scenario functions, and the state protocol
// that sequences a composite scenario's sub-scenarios with their
// INITIALIZATION, TERMINATION and EXCEPTION blocks.
#include "codegen/cprggen_scenario.h"

namespace qvm::codegen::program {

using namespace script::sem;

ScenarioWriter::ScenarioWriter(ProgramContext& context, CommWriter& comm, VarsWriter& vars)
    : SectionWriter(context), comm_(comm), vars_(vars)
{
}

namespace {

constexpr BlockCalls kInitialization{"binit", "ainit", 1};
constexpr BlockCalls kTermination{"bterm", "aterm", 2};
constexpr BlockCalls kException{"bexcep", "aexcep", 3};

std::string_view blockPrefix(int code)
{
    switch (code) {
    case ENT_INITIALIZATION: return "trv_i";
    case ENT_TERMINATION: return "trv_t";
    default: return "trv_e";
    }
}

}  // namespace

std::string procedureArguments(const Scope* arguments)
{
    std::string text = "trv_ctx";
    if (arguments == nullptr) {
        return text;
    }
    for (const Entry& argument : arguments->entries) {
        if (argument.code == ENT_ARG) {
            text += ", ";
            text += argument.data<ArgData>().reference ? "&" : "";
            text += argument.data<ArgData>().text;
        }
    }
    return text;
}

void ScenarioWriter::openFunction(const std::string& header, const Parameters& parameters)
{
    prototype(header, parameters);
    open();
    debugDeclaration();
}

void ScenarioWriter::closingSequence()
{
    debugFrame({"return ( trv_debug_state );"}, {"return ( 0 );"});
    close();
}

void ScenarioWriter::procedure(const Entry& procedure)
{
    if (!procedure.data<ProcData>().used) {
        return;
    }
    emptyLine();
    line("/* procedure ", procedure.name, " */");
    const Scope* body = procedure.descriptor->subScope;
    Parameters parameters;
    for (const Entry& entry : body->entries) {
        if (entry.code == ENT_PARAM && !entry.name.empty()) {
            parameters.emplace_back(entry.data<ParamData>().type, entry.name);
        }
    }
    // Its parameters come from the PROC line, where a debugger stops on entry.
    scriptLine(procedure);
    openFunction("static TRV_T_INT trv_P" + text(number(procedure)) + " ", parameters);
    generatedLines();
    statements(body);
    closingSequence();
}

std::string ScenarioWriter::blockFunction(const Entry& block) const
{
    if (const Entry* procedure = block.data<BlockData>().procedure) {
        return "trv_P" + text(number(*procedure));
    }
    const Entry* scenario = block.scope->ownerEntry();
    return std::string(blockPrefix(block.code)) + text(scenario != nullptr ? number(*scenario) : -1);
}

void ScenarioWriter::levelBlock(const Entry& block)
{
    if (block.data<BlockData>().procedure != nullptr) {
        return;
    }
    openFunction("static TRV_T_INT " + blockFunction(block) + " ");
    statements(block.descriptor->subScope);
    closingSequence();
}

void ScenarioWriter::scenario(const Entry& scenario)
{
    const auto& data = scenario.data<ScenarioData>();
    if (!data.selected) {
        return;
    }
    ++depth_;
    if (data.leaf) {
        openFunction("static TRV_T_INT trv_S" + text(number(scenario)) + " ");
        statements(scenario.descriptor->subScope);
        closingSequence();
    } else {
        compositeScenario(scenario);
    }
    --depth_;
}

void ScenarioWriter::compositeScenario(const Entry& scenario)
{
    const Scope* children = scenario.descriptor->subScope;
    statements(children);
    prototype("static TRV_T_INT trv_S" + text(number(scenario)));
    open();
    line("TRV_T_INT trv_local_state = 0;");
    line("TRV_T_INT trv_global_state = 0;");
    LevelBlocks blocks;
    for (const Entry& child : children->entries) {
        switch (child.code) {
        case ENT_INITIALIZATION: blocks.initialization = &child; break;
        case ENT_TERMINATION: blocks.termination = &child; break;
        case ENT_EXCEPTION: blocks.exception = &child; break;
        case ENT_SCENARIO:
            if (child.data<ScenarioData>().selected) {
                subScenario(child, blocks);
            }
            break;
        default: break;
        }
    }
    line("return ( trv_global_state );");
    close();
}

void ScenarioWriter::subScenario(const Entry& child, const LevelBlocks& blocks)
{
    const int d = depth_;  // the repetition counter is J<d>
    const int repetitions = child.data<ScenarioData>().loopCount;
    // A scenario left out at run time takes its level's blocks with it.
    line("if ( trv_scenario_selected ( ", kRun, ", ", number(child), " ) )");
    open();
    if (repetitions < 2) {
        line("J", d, " = 1;");
    } else {
        line("for(J", d, "=1; J", d, "<=", repetitions, "; ++J", d, ")");
        open();
    }
    if (blocks.initialization != nullptr) {
        initializationStep(*blocks.initialization);
    }
    const int end = endNumber(child);
    const std::string name = qualifiedName(child);
    line("trv_startchronomarkloop ( ", kRun, ",", end, ", ", number(child), " ,", d, ", J", d, ", \"", name, "\", ",
         element(child), ", ", child.fileId(), ");");
    line("trv_local_state = trv_S", number(child), " (trv_ctx);");
    line("trv_stopchronomarkloop (", kRun, ",trv_local_state,", end, ",", d, ",J", d, ",\"", name, "\",",
         element(child) + 1, ",", child.fileId(), ");");
    line("if ( trv_local_state )");
    open();
    line("trv_global_state = 2;");
    failureFlush();
    line("if (( trv_local_state == 3) || ( trv_local_state == 4) )");
    open();
    line("return ( 4 );");
    close();
    if (blocks.exception != nullptr) {
        exceptionStep(*blocks.exception);
    }
    close();
    if (blocks.termination != nullptr) {
        line("else");
        open();
        terminationStep(*blocks.termination);
        close();
    }
    levelFlush();
    if (repetitions >= 2) {
        close();
    }
    close();
}

// "trv_binit(ctx,<end>,<number>,<depth>,J<depth>);" and its kin.
void ScenarioWriter::blockMark(std::string_view call, std::string_view state, const Entry& block)
{
    if (state.empty()) {
        line("trv_", call, "(", kRun, ",", endNumber(block), ",", number(block), ",", depth_, ",J", depth_, ");");
    } else {
        line("trv_", call, "(", kRun, ",", state, endNumber(block), ",", depth_, ",J", depth_, ");");
    }
}

void ScenarioWriter::runBlock(const Entry& block, const BlockCalls& calls)
{
    specialBlockTrace(block, calls.tracerKind, true);
    blockMark(calls.before, {}, block);
    blockCall(block);
    line("if (trv_local_state)");
    open();
    specialBlockTrace(block, calls.tracerKind, false);
    blockMark(calls.after, "1,", block);
    failureFlush();
    failureReturn();
    close();
    line("else");
}

void ScenarioWriter::initializationStep(const Entry& block)
{
    runBlock(block, kInitialization);
    specialBlockTrace(block, kInitialization.tracerKind, false);
    blockMark(kInitialization.after, "0,", block);
    levelFlush();
}

void ScenarioWriter::exceptionStep(const Entry& block)
{
    runBlock(block, kException);
    open();
    specialBlockTrace(block, kException.tracerKind, false);
    blockMark(kException.after, "0,", block);
    close();
}

void ScenarioWriter::terminationStep(const Entry& block)
{
    runBlock(block, kTermination);
    specialBlockTrace(block, kTermination.tracerKind, false);
    blockMark(kTermination.after, "0,", block);
}

void ScenarioWriter::blockCall(const Entry& block)
{
    const Entry* procedure = block.data<BlockData>().procedure;
    scriptLine(block);
    if (procedure != nullptr) {
        line("trv_bproc(", kRun, ",", number(*procedure), ");");
    }
    const std::string arguments = procedure != nullptr ? procedureArguments(block.descriptor->subScope) : "trv_ctx";
    line("trv_local_state = ", blockFunction(block), " (", arguments, ");");
    if (procedure != nullptr) {
        line("trv_aproc(", kRun, ",", endNumber(*procedure), ");");
    }
    generatedLines();
}

void ScenarioWriter::specialBlockTrace(const Entry& block, int kind, bool begin)
{
    const int tracerElement = element(block) + (begin ? 0 : 1);
    line("#if QVM_DYNFLW");
    line("trv_special_block_tsf ( ", kRun, ", ", tracerElement, ", ", block.fileId(), ", ", kind, ", ",
         (begin ? "1" : "0"), ");");
    line("#endif /* QVM_DYNFLW */");
    emptyLine();
}

void ScenarioWriter::failureReturn()
{
    emit(R"(
        #ifdef TRV_OSTREL_DEBUG
        trv_global_state = 2;
        if (( trv_local_state == 3) || ( trv_local_state == 4) )
         {
          return ( 4 );
         }
        #else
        if (trv_local_state & 1)
         {
          ++trv_local_state;
         }
        return ( trv_local_state );
        #endif
    )");
}

void ScenarioWriter::failureFlush()
{
    if (levelFlushes()) {
        line("trv_flush_circular_buffer(", kRun, ", K_TRACECTX_MAX_PRIORITY);");
    }
}

void ScenarioWriter::levelFlush()
{
    if (levelFlushes()) {
        line("trv_flush_circular_buffer(", kRun, ", ", options_.traceLevel, ");");
    }
}

}  // namespace qvm::codegen::program
