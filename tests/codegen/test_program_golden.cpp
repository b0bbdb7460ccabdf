// Whole generated programs compared byte for byte with expected files under
// tests/data/codegen/program. Both expected files were written by hand from
// the templates of the program's layout, before the writer was run on their
// scripts. Numbers are those of the in-process numbering (records from 100
// in script order, tracer elements from 3); the stamp is fixed; the run's
// directory reads DIR, and the hash key, run key, size and checksum of the
// source file (which depend on where and how the file is stored) are masked.
#include "codegen/test_program_support.h"

#include <gmock/gmock.h>


namespace {

using qvm::testing::program::kGoldenDir;
using qvm::testing::program::maskedRunKeys;
using qvm::testing::program::GenProg;

class GoldenProg : public GenProg {
protected:
    void expectGolden(const std::string& name, const qvm::codegen::ProgramOptions& o)
    {
        const std::string text = generate(qvm::testing::readFile(kGoldenDir + name + ".pts"), o);
        EXPECT_EQ(maskedRunKeys(text), qvm::testing::readFile(kGoldenDir + name + ".c"));
    }
};

// Written by hand: main entry, no trace, a procedure with a parameter and a
// call of it, a filtered ERROR, a default filter letter.
TEST_F(GoldenProg, MainWithProcAndFilter)
{
    qvm::codegen::ProgramOptions o = options();
    o.traceLevel = 0;
    o.filterLetters = "A";
    expectGolden("main_filter", o);
}

// Written by hand: thread entry with its instance table, DYNAMIC
// allocation, SCN tracing in a 1 kilobyte buffer, a repeated scenario with
// an INITIALIZATION block, an instance block in a body.
TEST_F(GoldenProg, ThreadEntryDynamicInstances)
{
    qvm::codegen::ProgramOptions o = options();
    o.entryName = "prog_start";
    o.allocation = qvm::codegen::Allocation::Dynamic;
    o.bufferSizeKb = 1;
    expectGolden("thread_instances", o);
}

}  // namespace
