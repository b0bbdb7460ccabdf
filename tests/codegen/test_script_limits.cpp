// What a script can ask beyond what the program or the TDC file holds: a
// LOOP count is taken exactly or refused with the largest count; scenarios
// nest as deep as the program has repetition counters; a TDC record too
// long for its line is cut once, keeping the place it names. Through the
// real qvmprepro; one LOOP program compiled and run.
#include "support/process.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace qvm::testing::run_prelude;

const std::string kHead = "HEADER \"limits\", \"1\", \"x\"\n#int rounds = 3;\n";

// The script run in dir as s.pts, its program s.c.
RunResult generate(const TempDir& dir, const std::string& script)
{
    writeFile(dir / "api.h", "int counter;\n");
    writeFile(dir / "s.pts", script);
    return runPrepro({"s.pts", "api.h", "s", "-NOLOG"}, {}, dir.path());
}

std::string scenarioLooping(const std::string& count)
{
    return kHead + "SCENARIO main LOOP " + count + "\n  PRINT rounds, rounds\nEND SCENARIO\n";
}

TEST(ScriptLimits, LoopCountExactOrRefused)
{
    struct Row {
        std::string count;
        std::string repetition;  // what the program writes, "" when refused
    };
    const std::vector<Row> rows = {
        {"7", "J1<=7;"},          {"0x10", "J1<=16;"},   {"010", "J1<=8;"},   {"12UL", "J1<=12;"},
        {"2147483647", "J1<=2147483647;"},              {"1", "J1 = 1;"},    {"2147483648", ""},
        {"4294967299", ""},       {"0x100000010", ""},   {"99999999999999999999999", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.count);
        TempDir dir;
        const RunResult run = generate(dir, scenarioLooping(row.count));
        if (row.repetition.empty()) {
            EXPECT_EQ(run.status, 5);
            EXPECT_THAT(readFile(dir / "s.lis"),
                        HasSubstr("Fenwir-E-LOOPTOBIG,  [s.pts:3] LOOP count " + row.count +
                                  " is too large: a scenario repeats at most 2147483647 times"));
            EXPECT_FALSE(fs::exists(dir / "s.c"));
        } else {
            EXPECT_EQ(run.status, 0);
            EXPECT_THAT(readFile(dir / "s.c"), HasSubstr(row.repetition));
        }
    }
}

TEST(ScriptLimits, HexLoopCountRepeats)
{
    TempDir dir;
    ASSERT_EQ(generate(dir, scenarioLooping("0x3")).status, 0);
    const std::string executable = (dir / "s_prog").string();
    std::vector<std::string> arguments{"-std=gnu99", "-Wall", "-Wextra", "-Werror", "-I" QVM_RUNTIME_INCLUDE_DIR,
                                       (dir / "s.c").string(), "-I" + dir.path().string(), "-o", executable};
    for (const std::string& link : qvm::testing::runtimeLinkArguments()) {
        arguments.push_back(link);
    }
    const RunResult built = runProgram("gcc", arguments);
    ASSERT_EQ(built.status, 0) << built.err;
    const RunResult run = runProgram(executable, {}, {{"QVM_RUN_QUIET", "1"}}, dir.path());
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string trace = readFile(dir / "s.rio");
    EXPECT_EQ(qvm::testing::occurrences(trace, "begin \"main\""), 3u);
    EXPECT_THAT(trace, HasSubstr("end \"main\" repetition 3 passed"));
}

// Scenarios nested depth deep, each named name<k>, the innermost printing.
std::string nestedScenarios(int depth, const std::string& name)
{
    std::string script = kHead;
    for (int k = 1; k <= depth; ++k) {
        script += "SCENARIO " + name + std::to_string(k) + "\n";
    }
    script += "  PRINT rounds, rounds\n";
    for (int k = 1; k <= depth; ++k) {
        script += "END SCENARIO\n";
    }
    return script;
}

TEST(ScriptLimits, NestAsDeepAsCounters)
{
    TempDir deepest;
    EXPECT_EQ(generate(deepest, nestedScenarios(20, "s")).status, 0);
    TempDir deeper;
    EXPECT_EQ(generate(deeper, nestedScenarios(40, "s")).status, 5);
    const std::string list = readFile(deeper / "s.lis");
    EXPECT_THAT(list, HasSubstr("Fenwir-E-SCENDEPTH,  [s.pts:23] Scenario 's21' is nested too deep: at most 20 "
                                "levels of scenarios"));
    EXPECT_EQ(qvm::testing::occurrences(list, "SCENDEPTH"), 1u);
    EXPECT_FALSE(fs::exists(deeper / "s.c"));
}

// The record of the innermost of 20 scenarios with names of 197 characters
// holds its qualified name of 20 of them: it alone passes 4095 characters.
TEST(ScriptLimits, LongRecordCutOnce)
{
    TempDir dir;
    const std::string name(196, 'n');
    ASSERT_EQ(generate(dir, nestedScenarios(20, name)).status, 3);
    const std::string list = readFile(dir / "s.lis");
    EXPECT_EQ(qvm::testing::occurrences(list, "SIZBUFOVL"), 1u);
    EXPECT_THAT(list, ::testing::ContainsRegex("Fenwir-W-SIZBUFOVL,  \\[s\\.pts:22\\] Out of bound on output "
                                               "buffer, [0-9]+ characters dropped"));
    EXPECT_LT(list.size(), 1000u);
    std::string record;
    for (const std::string& line : qvm::testing::lines(readFile(dir / "s.tdc"))) {
        if (line.rfind("S", 0) == 0 && line.find(name + "20\"") != std::string::npos && line.size() > 4000) {
            record = line;
        }
    }
    EXPECT_EQ(record.size(), 4095u);
    // The fields are cut, their quoted text closed; the location follows whole.
    EXPECT_THAT(record, ::testing::EndsWith("\", \"1\", \"22\""));
    EXPECT_EQ(qvm::testing::occurrences(record, "\"") % 2, 0u);
}

}  // namespace
