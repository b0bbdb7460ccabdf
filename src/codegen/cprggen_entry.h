// The entry section of the generated program: main or the thread routine,
// with the table of the scenarios the program holds.
#pragma once

#include "codegen/cprggen_context.h"

#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen::program {

class EntryWriter : SectionWriter {
public:
    EntryWriter(ProgramContext& context) : SectionWriter(context), sourceFiles_(context.sourceFiles) {}

    void entryFunction();

private:
    void entryHeader();
    void entryDeclarations();
    void entryContext();
    void traceBufferSetup();
    void threadArguments();
    void mainArguments();
    void argumentParser(int position, std::string_view option);
    void instanceIndexBlock();
    void declaredInstanceTable();
    void testerNaming();
    void initrioCall(bool thread);
    void tracerLink(const Entry& root);
    void supervisionNotices();
    void rootRun(const Entry& root);
    // The table of the scenarios the program holds, which the runtime
    // selects from at run time (-SCN=, -EXSCN=) and reports (-LIST, -JUNIT=).
    void scenarioTable(const Entry& root);
    // The rows of scenario and of the generated scenarios below it; index
    // is that of the next row.
    void scenarioRows(const Entry& scenario, int parent, int& index);
    void scenarioOptions();
    void entryEnd();
    std::string stamp() const;
    const Entry* rootScenario() const;
    std::vector<const Entry*> declaredInstances() const;

    const std::vector<script::SourceFileRecord>& sourceFiles_;
    int scenarioCount_ = 0;  // rows of the scenario table
};

}  // namespace qvm::codegen::program
