// The runtime's fixed limits hold with their stated messages, and a broken
// TDC file costs script positions, never the run.
#include "runtime/runtime_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace qvm::testing;
using ::testing::HasSubstr;

using RtLimits = RuntimeProgramTest;

// A TDC file of the limits program, with a comment far longer than a trace
// line and records that no writer produces.
std::string limitsTdc()
{
    return "TARVO Ostrel \"v2.6a\", \"QVM_C\", \"TDC file\", \"limits 1\"\n"
           "CF6 \"limits.pts\", \".\", \".\", \"1\", \"1\"\n"
           "S8 \"deep\", \"d\", ?, \"1\", \"3\"\n"
           "C10 \"" + std::string(3000, 'x') + "\", \"1\", \"4\"\n"
           "C11 \"bad\x01\x02\", \"1\", \"5\"\n"
           "S2147483647999 \"huge\", \"1\", \"1\"\n"
           "C12 \"unterminated, \"1\n"
           "\x7f\x80\xff garbage\n";
}

TEST_P(RtLimits, LimitsWithMessages)
{
    const fs::path program = build("limits");
    ASSERT_FALSE(program.empty());
    writeFile(dir / "limits.tdc", limitsTdc());
    const RunResult run = runBuilt(program, {});
    EXPECT_EQ(run.status, 1) << run.err;

    // The summary lists the first 32 failures and counts the rest.
    EXPECT_EQ(linesStartingWith(run.out, "qvm run   FAIL").size(), 32U);
    EXPECT_THAT(run.out, HasSubstr("qvm run   ... 70 more failures"));
    EXPECT_THAT(run.out, HasSubstr("checks 102 (0 passed, 102 failed)"));

    const std::string trace = readFile(dir / "limits.rio");
    EXPECT_THAT(trace, HasSubstr("FAIL     too many cleanup procedures enabled (at most 16)"));
    EXPECT_THAT(trace, HasSubstr("FAIL     cleanup procedure 1 failed"));
    EXPECT_EQ(occurrences(trace, "CLEANUP  procedure 2 disabled"), 1U);
    EXPECT_EQ(occurrences(trace, "SCENARIO #8 limits.pts:3 begin \"deep\""), 100U);
    EXPECT_THAT(trace, HasSubstr("begin \"deep\" depth 99 repetition 1"));
    EXPECT_THAT(trace, HasSubstr("FAIL     #11 limits.pts:5 WAITTIL not available yet"));

    std::size_t longest = 0;
    for (const std::string& line : lines(trace)) {
        longest = std::max(longest, line.size());
        EXPECT_EQ(line.find_first_of(std::string("\x01\x02", 2)), std::string::npos);
    }
    EXPECT_EQ(longest, 1023U);
}

INSTANTIATE_TEST_SUITE_P(CC, RtLimits, kCompilers, compilerName);

}  // namespace
