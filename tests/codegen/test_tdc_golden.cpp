// The TDC file and the probe header of real runs, compared byte for byte with
// the expected files of tests/data/codegen/tdc (generation stamp, dates and
// program path masked).
//
// Written by hand from the record templates, before the program was ever run
// on them: hand_plain.tdc, hand_comm.tdc and hand_comm_probe.h. The example
// files (<example>.tdc, door_controller_probe.h, can_gateway_probe.h) were
// generated, then reviewed record by record against the templates.
//
// With QVM_UPDATE_GOLDEN set in the environment the generated expectations
// (never the hand-written ones) are rewritten instead of compared.
#include "test_tdc_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace qvm::testing::tdc;
using ::testing::HasSubstr;
using ::testing::Not;

bool updating()
{
    return std::getenv("QVM_UPDATE_GOLDEN") != nullptr;
}

void compareWithFile(const std::string& actual, const std::string& expectedFile, bool handWritten)
{
    const fs::path expected = kTdcData / expectedFile;
    if (updating() && !handWritten) {
        qvm::testing::writeFile(expected, actual);
        return;
    }
    ASSERT_TRUE(fs::exists(expected)) << expected;
    EXPECT_EQ(actual, qvm::testing::readFile(expected)) << expectedFile;
}

TEST(TdcGolden, HandWrittenPlainStatements)
{
    const TdcOutputs run = runScript(handScript("hand_plain"), {});
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    compareWithFile(masked(run.tdc), "hand_plain.tdc", true);
    EXPECT_FALSE(run.probeHeaderWritten);
}

TEST(TdcGolden, CommWithCustomProbe)
{
    const TdcOutputs run = runScript(handScript("hand_comm"), {"-PROBE=CUSTOM", "-TRACE=CIRCULAR"});
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    compareWithFile(masked(run.tdc), "hand_comm.tdc", true);
    compareWithFile(masked(tdcPartOfProbeHeader(run.probeHeader)), "hand_comm_probe.h", true);
}

TEST(TdcGolden, EveryExample)
{
    for (const Script& example : bundledExamples()) {
        const TdcOutputs run = runScript(example, {"-STD_DEFINE=" + kStdDefine});
        ASSERT_EQ(run.result.status, 0) << example.name << "\n" << run.result.err;
        compareWithFile(masked(run.tdc), example.name + ".tdc", false);
    }
}

TEST(TdcGolden, ProbeHeadersOfTwoExamples)
{
    const std::vector<std::pair<std::string, std::string>> runs{{"door_controller", "DEFAULT"},
                                                                {"can_gateway", "CUSTOM"}};
    for (const Script& example : bundledExamples()) {
        for (const auto& [name, mode] : runs) {
            if (example.name != name) {
                continue;
            }
            const TdcOutputs run = runScript(example, {"-STD_DEFINE=" + kStdDefine, "-PROBE=" + mode});
            ASSERT_EQ(run.result.status, 0) << run.result.err;
            ASSERT_TRUE(run.probeHeaderWritten);
            compareWithFile(masked(tdcPartOfProbeHeader(run.probeHeader)), name + "_probe.h", false);
        }
    }
}

// ---- edge cases of the file as a whole ----

TEST(TdcFile, InstanceRecordByInstanceMode)
{
    for (const Script& example : bundledExamples()) {
        if (example.name != "door_controller") {
            continue;
        }
        const auto instanceLine = [&](const std::vector<std::string>& options) {
            std::vector<std::string> all{"-STD_DEFINE=" + kStdDefine};
            all.insert(all.end(), options.begin(), options.end());
            const TdcOutputs run = runScript(example, all);
            return qvm::testing::lines(run.tdc).at(5);
        };
        EXPECT_EQ(instanceLine({"-INSTANCE=car_b"}), "IL4 \"car_b\"");
        // An instance the script does not declare is dropped: all are listed.
        EXPECT_EQ(instanceLine({"-INSTANCE=car_z"}), "IL4 \"car_a\", \"car_b\"");
    }
}

TEST(TdcFile, ProbeLeavesTdcUnchanged)
{
    const Script script = handScript("hand_comm");
    const TdcOutputs plain = runScript(script, {"-TRACE=CIRCULAR"});
    const TdcOutputs probed = runScript(script, {"-TRACE=CIRCULAR", "-PROBE=DEFAULT"});
    EXPECT_FALSE(plain.probeHeaderWritten);
    EXPECT_TRUE(probed.probeHeaderWritten);
    std::vector<std::string> plainLines = qvm::testing::lines(masked(plain.tdc));
    std::vector<std::string> probedLines = qvm::testing::lines(masked(probed.tdc));
    ASSERT_EQ(plainLines.size(), probedLines.size());
    // Only the echoed command line differs.
    plainLines.erase(plainLines.begin() + 1);
    probedLines.erase(probedLines.begin() + 1);
    EXPECT_EQ(plainLines, probedLines);
}

TEST(TdcFile, ProbeHeaderWithoutSend)
{
    const TdcOutputs run = runScript(handScript("hand_plain"), {"-PROBE=DEFAULT"});
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_THAT(run.probeHeader, HasSubstr("#define TRV_TDC_LAST_SEND 0\n#define TRV_TDC_LAST_ID 0\n"));
    EXPECT_THAT(run.probeHeader, Not(HasSubstr("#define TRV_TDC_SEND_")));
    // The stamp is the TDC banner's, so that the files of one run match.
    const std::string stamp = qvm::testing::lines(run.tdc).at(0).substr(std::string("TARVO Ostrel \"v2.6a\", \"QVM_C\", \"TDC file\", ").size());
    EXPECT_THAT(run.probeHeader, HasSubstr("#define TRV_TDC_gen " + stamp + "\n"));
}

// A 5000-character comment: its record is cut at 4095 characters, its
// text closed and its location kept, with one SIZBUFOVL that counts what is
// dropped; the file is still written, so the run ends with warnings.
TEST(TdcFile, LongRecordCutOnce)
{
    qvm::testing::TempDir dir;
    qvm::testing::writeFile(dir / "long.h", "int x;\n");
    const std::string comment(5000, 'c');
    qvm::testing::writeFile(dir / "long.pts", "HEADER \"a\", \"b\", \"c\"\n#int y;\nSCENARIO s\n  COMMENT: " + comment +
                                                  "\n  EXIT\nEND SCENARIO\n");
    const TdcOutputs run = runScript({dir.path(), "long"}, {});
    EXPECT_EQ(run.result.status, 3);
    // C<n> "<blank><5000 c>", "1", "4"
    const std::string full = "C10 \" " + comment + "\", \"1\", \"4\"";
    std::string line;
    for (const std::string& l : qvm::testing::lines(run.tdc)) {
        if (l.rfind("C10 ", 0) == 0) {
            line = l;
        }
    }
    const std::string location = "\", \"1\", \"4\"";
    EXPECT_EQ(line, "C10 \" " + comment.substr(0, 4095 - 6 - location.size()) + location);
    EXPECT_EQ(qvm::testing::occurrences(run.result.err, "SIZBUFOVL"), 1u);
    EXPECT_THAT(run.result.err, HasSubstr("-W-SIZBUFOVL,  [long.pts:4] Out of bound on output buffer, " +
                                          std::to_string(full.size() - 4095) + " characters dropped."));
    // The records after it are whole.
    EXPECT_THAT(run.tdc, HasSubstr("\nQ11 \"1\", \"5\"\nS12 \"s\", ?, ?, ?, \"1\", \"3\"\n"));
}

// The family names of a scenario record stay below 4000 characters: a name
// that would pass is dropped with SIZBUFOVL, the others are kept.
TEST(TdcFile, OverlongHeaderItemsDropped)
{
    qvm::testing::TempDir dir;
    qvm::testing::writeFile(dir / "fam.h", "int x;\n");
    const std::string first(2500, 'F');
    const std::string second(2500, 'G');
    qvm::testing::writeFile(dir / "fam.pts", "HEADER \"a\", \"b\", \"c\"\n#int y;\nSCENARIO s\nFAMILY " + first + ", " + second +
                                                 ", H\n  EXIT\nEND SCENARIO\n");
    const TdcOutputs run = runScript({dir.path(), "fam"}, {});
    EXPECT_EQ(run.result.status, 3);
    EXPECT_EQ(qvm::testing::occurrences(run.result.err, "SIZBUFOVL"), 1u);
    EXPECT_THAT(run.tdc, HasSubstr("S9 \"s\", \"s\", \"" + first + "\", \"H\", ?, \"1\", \"3\"\n"));
}

TEST(TdcFile, OutputDirectoryMissingIsFatal)
{
    qvm::testing::TempDir dir;
    fs::copy(kTdcData / "hand_plain.pts", dir / "hand_plain.pts");
    fs::copy(kTdcData / "hand_plain.h", dir / "hand_plain.h");
    const qvm::testing::RunResult result =
        qvm::testing::runPrepro({"hand_plain.pts", "hand_plain.h", "missing/run"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_THAT(result.err, HasSubstr("FICERROPN,  File missing/run.tdc opening problem"));
}

}  // namespace

// Where the record templates leave a choice open, what this writer writes:
// - the location index of a record is the file id of its source file, and
//   the CF records come in file id order (the script first), so that index
//   k names the k-th CF record;
// - each MATCHING-family piece of a WAITTIL is one of its message variables:
//   one Y record per piece, a message named twice has two;
// - the second text of an I record for a field without bounds is its
//   expected value expression;
// - the first text of an I record is the item as the script names it: the
//   VAR's variable with the fields below it, "[]" for each array level;
// - a call's result record is named by the call as written.
TEST(TdcFile, ChoicesOfTheTemplates)
{
    qvm::testing::TempDir dir;
    qvm::testing::writeFile(dir / "choice.h", "typedef struct { int seq; } ping_t;\nint y;\n");
    qvm::testing::writeFile(dir / "part.pts", "PROC helper ( )\n  EXIT\nEND PROC\n");
    qvm::testing::writeFile(dir / "choice.pts",
                            "HEADER \"a\", \"b\", \"c\"\nCOMMTYPE link IS int\nCHANNEL link : main_ch\n"
                            "MESSAGE ping_t : ping, pong\nCALLBACK ping_t : in ON link : id\n  NO_MESSAGE\n"
                            "  MESSAGE_DATE\nEND CALLBACK\nINCLUDE \"part.pts\"\nSCENARIO s\n  CALL helper()\n"
                            "  WAITTIL(MATCHING(pong, main_ch) || NOTMATCHING(pong, main_ch), WTIME > 10)\n"
                            "  VAR y, EV=3\nEND SCENARIO\n");
    const TdcOutputs run = runScript({dir.path(), "choice"}, {});
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    const std::vector<std::string> lines = qvm::testing::lines(run.tdc);
    ASSERT_GE(lines.size(), 10u);
    EXPECT_THAT(lines[7], ::testing::StartsWith("CF6 \"choice.pts\", \".\", \"\", "));
    EXPECT_THAT(lines[8], ::testing::StartsWith("CF7 \"part.pts\", \".\", \"\", \"32\", "));
    EXPECT_THAT(run.tdc, HasSubstr("\"helper\", \"2\", \"1\"\n"));
    EXPECT_THAT(run.tdc, ::testing::ContainsRegex(
                             "W[0-9]+ \"MATCHING\\(pong,main_ch\\)\\|\\|NOTMATCHING\\(pong,main_ch\\)\", "
                             "\"WTIME > 10\", \"1\", \"12\"\nY[0-9]+ \"pong\", \"1\", \"12\"\nY[0-9]+ \"pong\", "
                             "\"1\", \"12\"\nW[0-9]+ \\?, \\?, \"1\", \"12\"\n"));
    EXPECT_THAT(run.tdc, ::testing::ContainsRegex("\nI[0-9]+ \"y\", \"3\", \"1\", \"13\"\n"));
}
