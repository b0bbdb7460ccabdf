// Runs of generated-style test programs against the runtime, compiled with
// gcc and clang: scenario sequencing, verdicts, exit status, the summary,
// the command line, cleanup procedures, allocation modes, threads, timers.
#include "runtime/runtime_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qvm::testing;
using ::testing::HasSubstr;
using ::testing::Not;

using RtRun = RuntimeProgramTest;

TEST_P(RtRun, PassingRunStatusZero)
{
    const fs::path program = build("scenarios");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("qvm run scenarios.rio_0: PASSED - scenarios 5 (5 passed, 0 failed)"));
    EXPECT_THAT(run.out, HasSubstr("qvm run scenarios.rio_0: trace in scenarios.rio"));
    const std::vector<std::string> lines = qvm::testing::lines(trace());
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines.front(), HasSubstr("RUN      begin tester \"scenarios.rio_0\""));
    EXPECT_THAT(lines.front(), HasSubstr("stamp \"Sun Dec  6 04:00:00 2026 4242\" build release"));
    EXPECT_EQ(occurrences(trace(), "SCENARIO #9 scenarios.pts:4 begin \"Door\""), 3U);
    EXPECT_EQ(occurrences(trace(), "TERMINATION end passed"), 3U);
    EXPECT_EQ(occurrences(trace(), "EXCEPTION"), 0U);
    // The cleanup procedure enabled in Lift runs when the run ends.
    const int cleanup = lineIndex(lines, "CLEANUP  procedure 1 runs");
    EXPECT_GT(cleanup, lineIndex(lines, "end \"(root)\""));
    ASSERT_LT(cleanup + 1, static_cast<int>(lines.size()));
    EXPECT_EQ(lines[cleanup + 1], "COMMENT  #24 scenarios.pts:20 \"cleanup runs\"");
    EXPECT_THAT(lines.back(), HasSubstr("RUN      end scenarios.rio_0: PASSED"));

    const RunResult quiet = runBuilt(program, {}, {{"QVM_RUN_QUIET", "1"}});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
}

TEST_P(RtRun, FailingRepetitionBlocks)
{
    const fs::path program = build("scenarios");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"E"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("FAILED - scenarios 5 (3 passed, 2 failed), checks 1 (0 passed, 1 failed)"));
    EXPECT_THAT(run.out, HasSubstr("  FAIL #15 scenarios.pts:10 ERROR statement in scenario \"Door\""));

    const std::vector<std::string> kinds = lines(trace());
    std::vector<std::string> door;
    for (const std::string& line : kinds) {
        if (line.find("INITIALIZATION") != std::string::npos || line.find("TERMINATION") != std::string::npos ||
            line.find("EXCEPTION") != std::string::npos || line.find("\"Door\"") != std::string::npos ||
            line.rfind("FAIL", 0) == 0) {
            door.push_back(line.substr(0, line.find(" depth")));
        }
    }
    const std::vector<std::string> expected = {
        "BLOCK    #10 scenarios.pts:5 INITIALIZATION begin",
        "BLOCK    #10 scenarios.pts:5 INITIALIZATION end passed",
        "SCENARIO #9 scenarios.pts:4 begin \"Door\"",
        "SCENARIO #22 scenarios.pts:17 end \"Door\" repetition 1 passed",
        "TIME     #22 scenarios.pts:17 \"Door\"",
        "BLOCK    #19 scenarios.pts:14 TERMINATION begin",
        "BLOCK    #19 scenarios.pts:14 TERMINATION end passed",
        "BLOCK    #10 scenarios.pts:5 INITIALIZATION begin",
        "BLOCK    #10 scenarios.pts:5 INITIALIZATION end passed",
        "SCENARIO #9 scenarios.pts:4 begin \"Door\"",
        "FAIL     #15 scenarios.pts:10 ERROR statement in scenario \"Door\"",
        "SCENARIO #22 scenarios.pts:17 end \"Door\" repetition 2 FAILED (state 1)",
        "TIME     #22 scenarios.pts:17 \"Door\"",
        "BLOCK    #16 scenarios.pts:11 EXCEPTION begin",
        "BLOCK    #16 scenarios.pts:11 EXCEPTION end passed",
        "BLOCK    #10 scenarios.pts:5 INITIALIZATION begin",
        "BLOCK    #10 scenarios.pts:5 INITIALIZATION end passed",
        "SCENARIO #9 scenarios.pts:4 begin \"Door\"",
        "SCENARIO #22 scenarios.pts:17 end \"Door\" repetition 3 passed",
        "TIME     #22 scenarios.pts:17 \"Door\"",
        "BLOCK    #19 scenarios.pts:14 TERMINATION begin",
        "BLOCK    #19 scenarios.pts:14 TERMINATION end passed",
        "BLOCK    #27 scenarios.pts:23 INITIALIZATION begin",
        "BLOCK    #27 scenarios.pts:23 INITIALIZATION end passed",
        "RUN      end   FAIL #15 scenarios.pts:10 ERROR statement in scenario \"Door\"",
    };
    ASSERT_EQ(door.size(), expected.size()) << trace();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(door[i].substr(0, expected[i].size()), expected[i]) << "line " << i;
    }
    EXPECT_THAT(trace(), HasSubstr("SCENARIO #41 scenarios.pts:36 end \"(root)\" repetition 1 FAILED (state 2)"));
}

TEST_P(RtRun, FailingInitAbandons)
{
    const fs::path program = build("scenarios");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"I"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(trace(), HasSubstr("FAIL     #28 scenarios.pts:24 ERROR statement in scenario \"(root)\""));
    EXPECT_THAT(trace(), HasSubstr("BLOCK    #27 scenarios.pts:23 INITIALIZATION end FAILED"));
    EXPECT_THAT(trace(), Not(HasSubstr("\"Lift\"")));
}

TEST_P(RtRun, NotYetAvailableFails)
{
    const fs::path program = build("scenarios");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"U"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("FAIL #34 scenarios.pts:30 SEND not available yet in scenario \"Lift\""));
    // The scenario's own state stays 0: only the verdict fails the run.
    EXPECT_THAT(trace(), HasSubstr("end \"Lift\" repetition 1 passed"));
    EXPECT_THAT(run.out, HasSubstr("FAILED - scenarios 5 (5 passed, 0 failed), checks 1 (0 passed, 1 failed)"));
}

TEST_P(RtRun, ExitAfterCleanups)
{
    const fs::path program = build("scenarios");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"X"});
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = qvm::testing::lines(trace());
    const int exit = lineIndex(lines, "FAIL     #33 scenarios.pts:29 EXIT statement stops the run");
    ASSERT_GE(exit, 0) << trace();
    EXPECT_GT(lineIndex(lines, "CLEANUP  procedure 1 runs"), exit);
    EXPECT_EQ(lineIndex(lines, "end \"Lift\""), -1);
    EXPECT_EQ(lineIndex(lines, "end \"(root)\""), -1);
    EXPECT_THAT(lines.back(), HasSubstr("FAIL #33 scenarios.pts:29 EXIT statement stops the run"));
}

TEST_P(RtRun, CmdLineFiltersAndTrace)
{
    const fs::path program = build("scenarios");
    ASSERT_FALSE(program.empty());
    fs::create_directory(dir / "out");
    fs::copy_file(dir / "scenarios.tdc", dir / "out" / "x.tdc");

    const RunResult run = runBuilt(program, {"-OCCID=7", "e", "-RIO=out/x"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("qvm run out/x.rio_7: FAILED"));
    EXPECT_THAT(trace("out/x.rio"), HasSubstr("FILTER   active \"E\""));
    EXPECT_THAT(trace("out/x.rio"), HasSubstr("occurrence 7"));

    // Unknown characters are reported and ignored; SET and UNSET switch
    // letters while the run goes on.
    const RunResult odd = runBuilt(program, {"A?B"});
    EXPECT_EQ(odd.status, 0);
    EXPECT_THAT(trace(), HasSubstr("FILTER   character '?' ignored: filters are letters A to Z"));
    EXPECT_THAT(trace(), HasSubstr("FILTER   active \"AB\""));
    EXPECT_EQ(occurrences(trace(), "\"lift body\""), 2U);
    EXPECT_THAT(trace(), HasSubstr("FILTER   #31 scenarios.pts:27 set \"F\""));

    // A filter list longer than the program's array is cut, not overflowed.
    const RunResult huge = runBuilt(program, {std::string(5000, 'Q')});
    EXPECT_EQ(huge.status, 0) << huge.err;
    EXPECT_THAT(trace(), HasSubstr("FILTER   active \"Q\""));
}

TEST_P(RtRun, StackDynamicSameVerdicts)
{
    for (const char* allocation : {"ALLOCATION=1", "ALLOCATION=2"}) {
        for (const char* level : {"TRACE_LEVEL=0", "TRACE_LEVEL=10"}) {
            SCOPED_TRACE(std::string(allocation) + " " + level);
            const fs::path program = build("scenarios", {allocation, level});
            ASSERT_FALSE(program.empty());
            const RunResult run = runBuilt(program, {"E"});
            EXPECT_EQ(run.status, 1) << run.err;
            EXPECT_THAT(run.out, HasSubstr("FAILED - scenarios 5 (3 passed, 2 failed), checks 1 (0 passed, 1 failed)"));
            EXPECT_THAT(trace(), HasSubstr("FAIL     #15 scenarios.pts:10 ERROR statement"));
        }
    }
}

TEST_P(RtRun, MonotonicTimersPause)
{
    const fs::path program = build("timers");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"-RIO=timers.rio"});
    EXPECT_EQ(run.status, 0) << trace("timers.rio");
    const std::vector<std::string> prints = linesStartingWith(trace("timers.rio"), "PRINT");
    ASSERT_EQ(prints.size(), 3U);
    auto value = [](const std::string& line) { return std::stoul(line.substr(line.find("= ") + 2)); };
    EXPECT_LT(value(prints[0]), 30U);
    EXPECT_GE(value(prints[1]), value(prints[0]) + 30);
    EXPECT_LE(value(prints[2]), value(prints[1]));
}

TEST_P(RtRun, ThreadEntryTesterName)
{
    const fs::path program = build("thread");
    ASSERT_FALSE(program.empty());
    const RunResult left = runBuilt(program, {"E", "left", "3", "left.rio"});
    EXPECT_EQ(left.status, 1);
    EXPECT_THAT(left.out, HasSubstr("thread result 1"));
    EXPECT_THAT(trace("left.rio"), HasSubstr("RUN      begin tester \"left_3\" instance \"left\" occurrence 3"));
    EXPECT_THAT(trace("left.rio"), HasSubstr("FILTER   active \"EZ\""));
    EXPECT_THAT(trace("left.rio"), HasSubstr("COMMENT  #10"));

    const RunResult right = runBuilt(program, {"", "right", "1", "right.rio"});
    EXPECT_EQ(right.status, 0);
    EXPECT_THAT(right.out, HasSubstr("thread result 0"));
    EXPECT_THAT(trace("right.rio"), Not(HasSubstr("COMMENT")));

    const RunResult none = runBuilt(program, {"", "", "1", "none.rio"});
    EXPECT_EQ(none.status, 0);
    EXPECT_THAT(trace("none.rio"), HasSubstr("RUN      no instance selected: the instance blocks are skipped"));
    EXPECT_THAT(trace("none.rio"), HasSubstr("RUN      begin tester \"none.rio_1\""));

    const RunResult unknown = runBuilt(program, {"", "middle", "1", "middle.rio"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_THAT(trace("middle.rio"), HasSubstr("FAIL     instance \"middle\" is not declared in the script"));
}

TEST_P(RtRun, TesterThreadsCounters)
{
    const fs::path program = build("thread");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"", "left", "1", "left.rio", "right", "right.rio"});
    EXPECT_EQ(run.status, 0) << run.out << trace("left.rio") << trace("right.rio");
    EXPECT_EQ(occurrences(run.out, "thread result 0"), 2U);
    EXPECT_THAT(trace("left.rio"), HasSubstr("RUN      end left_1: PASSED"));
    EXPECT_THAT(trace("right.rio"), HasSubstr("RUN      end right_1: PASSED"));
}

TEST_P(RtRun, TraceToStandardError)
{
    const fs::path program = build("scenarios");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"-RIO=missing/dir/x"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("FAIL     the trace file missing/dir/x.rio cannot be written"));
    EXPECT_THAT(run.err, HasSubstr("SCENARIO #8 begin \"(root)\""));
}

TEST_P(RtRun, StaleTdcNotUsed)
{
    const fs::path program = build("scenarios");
    ASSERT_FALSE(program.empty());
    std::string tdc = readFile(dir / "scenarios.tdc");
    tdc.replace(tdc.find("4242"), 4, "4243");
    writeFile(dir / "scenarios.tdc", tdc);
    const RunResult run = runBuilt(program, {"E"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(trace(), HasSubstr("RUN      TDC file scenarios.tdc is not from the same generation"));
    EXPECT_THAT(trace(), HasSubstr("FAIL     #15 ERROR statement in scenario \"the door\""));

    fs::remove(dir / "scenarios.tdc");
    runBuilt(program, {});
    EXPECT_THAT(trace(), HasSubstr("RUN      no TDC file scenarios.tdc: script positions are not shown"));
}

INSTANTIATE_TEST_SUITE_P(CC, RtRun, kCompilers, compilerName);

TEST(RuntimeLibrary, LinksInstalledLibrary)
{
    TempDir dir;
    const fs::path program = buildWithLibrary("scenarios", dir.path());
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"E"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("ERROR statement"));
}

}  // namespace
