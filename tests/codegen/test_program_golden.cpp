// Whole generated programs compared byte for byte with expected files under
// tests/data/codegen/program: prologue.txt (the banner and includes every
// program begins with) followed by NAME.c. The expected files were written
// by hand from the templates of the program's layout, before the writer was
// run on their scripts. The stamp is fixed; the run's directory reads DIR,
// and the hash key, run key, size and checksum of the source file (which
// depend on where and how the file is stored) are masked.
//
// With QVM_UPDATE_GOLDEN set in the environment NAME.c is rewritten from
// the program instead of compared (review the change with git diff).
#include "codegen/test_program_support.h"

#include <cstdlib>

namespace {

using qvm::testing::program::kGoldenDir;
using qvm::testing::program::maskedRunKeys;
using qvm::testing::program::GenProg;

class GoldenProg : public GenProg {
protected:
    void expectGolden(const std::string& name, qvm::codegen::ProgramOptions o, const std::string& interface = qvm::testing::program::kInterface)
    {
        const std::string text = maskedRunKeys(generate(qvm::testing::readFile(kGoldenDir + name + ".pts"), o, {}, interface));
        const std::string prologue = qvm::testing::readFile(kGoldenDir + "prologue.txt");
        ASSERT_EQ(text.substr(0, prologue.size()), prologue);
        if (std::getenv("QVM_UPDATE_GOLDEN") != nullptr) {
            qvm::testing::writeFile(kGoldenDir + name + ".c", text.substr(prologue.size()));
            return;
        }
        EXPECT_EQ(text.substr(prologue.size()), qvm::testing::readFile(kGoldenDir + name + ".c"));
    }

    // Numbers of the TDC and tracer structure writers of the same run,
    // without trace, with the script's own interface NAME.h.
    void expectNumberedByWriters(const std::string& name)
    {
        writersNumber = true;
        qvm::codegen::ProgramOptions o = options();
        o.traceLevel = 0;
        expectGolden(name, o, qvm::testing::readFile(kGoldenDir + name + ".h"));
    }
};

// Main entry, no trace, a procedure with a parameter and a call of it, a
// filtered ERROR, a default filter letter. Numbers are those of the
// in-process numbering (records from 100 in script order, tracer elements
// from 3).
TEST_F(GoldenProg, MainWithProcAndFilter)
{
    qvm::codegen::ProgramOptions o = options();
    o.traceLevel = 0;
    o.filterLetters = "A";
    expectGolden("main_filter", o);
}

// Thread entry with its instance table, DYNAMIC allocation, SCN tracing in
// a 1 kilobyte buffer, a repeated scenario with an INITIALIZATION block, an
// instance block in a body.
TEST_F(GoldenProg, ThreadEntryDynamicInstances)
{
    qvm::codegen::ProgramOptions o = options();
    o.entryName = "prog_start";
    o.allocation = qvm::codegen::Allocation::Dynamic;
    o.bufferSizeKb = 1;
    expectGolden("thread_instances", o);
}

// The message-driven script: one channel, a procsend, a callback, two
// definitions, a SEND and a WAITTIL.
TEST_F(GoldenProg, MessageDrivenProgram)
{
    expectNumberedByWriters("comm_exchange");
}

// The VAR- and CALL-heavy script: an INIT=, an expected range, a character
// with its FORMAT, a structure, an array with OTHERS and a native call with
// parameter and result checks.
TEST_F(GoldenProg, ChecksAndCalls)
{
    expectNumberedByWriters("vars_call");
}

}  // namespace
