// The scenario section of the generated program: the functions of
// scenarios, procedures and level blocks, with the state protocol that
// sequences a composite scenario's sub-scenarios, and the statement lists
// in them; communication statements and variable checks go to their
// sections.
#pragma once

#include "codegen/cprggen_context.h"

#include <string>
#include <string_view>

namespace qvm::codegen::program {

class CommWriter;
class VarsWriter;

// The text of a native line as C: the script keeps a line without its '#',
// which a preprocessor directive gets back.
std::string nativeLineText(std::string_view text);
// The text of an '@' line as C: a statement of its own, which neither
// continues into the next line nor leaves a comment open over it.
std::string nativeStatementText(std::string_view text);

// The arguments of a procedure call, as written in C: "trv_ctx" then each
// argument after ", ", "&" before one passed by address.
std::string procedureArguments(const Scope* arguments);

// The level blocks in force while a composite scenario's children are written.
struct LevelBlocks {
    const Entry* initialization = nullptr;
    const Entry* termination = nullptr;
    const Entry* exception = nullptr;
};

// The runtime calls around one kind of level block, and its tracer code.
struct BlockCalls {
    std::string_view before;  // "binit"
    std::string_view after;   // "ainit"
    int tracerKind;           // 1 INITIALIZATION, 2 TERMINATION, 3 EXCEPTION
};

class ScenarioWriter : SectionWriter {
public:
    ScenarioWriter(ProgramContext& context, CommWriter& comm, VarsWriter& vars);

    void procedure(const Entry& procedure);
    void scenario(const Entry& scenario);
    // The head and the rest of a procsend or callback body: its native lines
    // and declarations, then its statements. In the callback generated for a
    // TRIGGER structure, native lines are statements, never directives.
    void blockDeclarations(const Scope* body, bool nativeStatements);
    void blockStatements(const Scope* body, bool nativeStatements);

private:
    // ---- scenarios, procedures, level blocks (cprggen_scenario.cpp) ----
    void levelBlock(const Entry& block);
    void compositeScenario(const Entry& scenario);
    void subScenario(const Entry& child, const LevelBlocks& blocks);
    void initializationStep(const Entry& block);
    void exceptionStep(const Entry& block);
    void terminationStep(const Entry& block);
    void runBlock(const Entry& block, const BlockCalls& calls);
    // Writes the line of a level block's runtime call.
    void blockMark(std::string_view call, std::string_view state, const Entry& block);
    std::string blockFunction(const Entry& block) const;
    void blockCall(const Entry& block);
    void specialBlockTrace(const Entry& block, int kind, bool begin);
    void failureReturn();
    void failureFlush();
    void levelFlush();
    bool levelFlushes() const { return tracing() && options_.traceLevel != kTraceCircular; }
    void openFunction(const std::string& header, const Parameters& parameters = {});
    void closingSequence();

    // ---- statement lists and plain statements (cprggen_statements.cpp) ----
    void statements(const Scope* scope);
    void statement(const Entry& entry);
    void dispatch(const Entry& entry);
    void procedureCall(const Entry& call);
    void conditional(const Entry& entry);
    void caseStatement(const Entry& entry);
    void whenClause(const Entry& when);
    void instanceBodyBegin(const Entry& begin);
    int instanceNumberOf(std::string_view name) const;

    CommWriter& comm_;
    VarsWriter& vars_;
    int depth_ = 0;  // scenario depth: numbers the repetition counters J<depth>
    // While the callback generated for a TRIGGER structure is written: its
    // native lines are statements, never directives.
    bool statementLines_ = false;
};

}  // namespace qvm::codegen::program
