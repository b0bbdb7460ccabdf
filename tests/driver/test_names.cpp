// File names of a run, the thread routine name and the echo limit.
#include "driver/prepro.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using qvm::driver::deriveNames;

using qvm::testing::ScopedEnv;

TEST(RunNames, ScriptArgumentWithoutExtension)
{
    ScopedEnv pts("QVM_PTS", nullptr);
    ScopedEnv lis("QVM_LIS", nullptr);
    const auto names = deriveNames("demo", "out\\run");
    EXPECT_EQ(names.script, "demo.pts");
    EXPECT_EQ(names.list, "demo.lis");
    EXPECT_EQ(names.spg, "demo.spg");
}

TEST(RunNames, ScriptKeepsItsExtension)
{
    const auto names = deriveNames("demo.scr", "run");
    EXPECT_EQ(names.script, "demo.scr");
    EXPECT_EQ(names.list, "demo.lis");
}

TEST(RunNames, ExtensionVariablesWhenSet)
{
    {
        ScopedEnv pts("QVM_PTS", "txt");
        EXPECT_EQ(deriveNames("demo", "run").script, "demo.txt");
        EXPECT_EQ(deriveNames("demo.scr", "run").script, "demo.scr");
    }
    {
        ScopedEnv pts("QVM_PTS", "");
        EXPECT_EQ(deriveNames("demo", "run").script, "demo.pts");
    }
    ScopedEnv lis("QVM_LIS", "log");
    ScopedEnv tsf("QVM_TSF", "trc");
    const auto names = deriveNames("demo", "run");
    EXPECT_EQ(names.list, "demo.log");
    EXPECT_EQ(names.tracer, "run_dyn.trc");
}

TEST(RunNames, OutputNamesFromTheRoot)
{
    const auto withOwn = deriveNames("demo", "out\\run.cc");
    EXPECT_EQ(withOwn.tdc, "out\\run.tdc");
    EXPECT_EQ(withOwn.probeHeader, "out\\run.h");
    EXPECT_EQ(withOwn.tracer, "out\\run_dyn.tsf");
    EXPECT_EQ(withOwn.rio, "out\\run.rio");
    EXPECT_EQ(withOwn.program, "out\\run.cc");
    EXPECT_EQ(deriveNames("demo", "out\\run").program, "out\\run.c");
}

// On Linux '/' separates directories, so a dot in a directory name never
// starts an extension: the root dir.d/run has none. The backslash still
// separates too.
TEST(RunNames, BothSlashesSeparateDirectories)
{
    const auto names = deriveNames("../tests/demo", "dir.d/run");
    EXPECT_EQ(names.script, "../tests/demo.pts");
    EXPECT_EQ(names.list, "../tests/demo.lis");
    EXPECT_EQ(names.program, "dir.d/run.c");
    EXPECT_EQ(names.tdc, "dir.d/run.tdc");
    EXPECT_EQ(names.tracer, "dir.d/run_dyn.tsf");
    EXPECT_EQ(deriveNames("dir.d\\demo", "r").script, "dir.d\\demo.pts");
}

TEST(RunNames, StandardDefinitionsFile)
{
    ScopedEnv def("QVM_DEF", nullptr);
    EXPECT_EQ(qvm::driver::stdDefinePath("std"), "std.def");
    EXPECT_EQ(qvm::driver::stdDefinePath("std.h"), "std.h");
}

TEST(ThreadRoutine, StartFormUsesRootName)
{
    EXPECT_EQ(qvm::driver::threadRoutineName("<start>", "out\\run.c"), "run_start");
    EXPECT_EQ(qvm::driver::threadRoutineName("<main>", "out\\run.c"), "<main>");
    EXPECT_EQ(qvm::driver::threadRoutineName("worker", "run"), "worker");
}

TEST(Echo, CutAfter1900Characters)
{
    const std::string exact(1900, 'x');
    EXPECT_EQ(qvm::driver::cutEcho(exact), exact);
    EXPECT_EQ(qvm::driver::cutEcho(exact + "y"), exact + " (...)");
}

}  // namespace
