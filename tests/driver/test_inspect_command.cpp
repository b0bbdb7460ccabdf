// The command line of qvminspect: misplaced and unknown options, and output
// that cannot be written.
#include "support/process.h"

#include <gtest/gtest.h>

namespace {

using qvm::testing::lines;
using qvm::testing::runInspect;
using qvm::testing::runProgram;
using qvm::testing::TempDir;

TEST(InspectCommand, UnknownOptionShowsUsage)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runInspect({"tree", "-X", "demo.pts"}, {}, dir.path());
    EXPECT_EQ(result.status, 2);
    const auto text = lines(result.err);
    ASSERT_EQ(text.size(), 6u) << result.err;
    EXPECT_EQ(text[0], "qvminspect: unknown option '-X'");
    EXPECT_EQ(text[1], "usage: qvminspect tree SCRIPT [-INCL=...] [-NOCOMMENT]");
    EXPECT_EQ(text[2].rfind("options: -INCL=", 0), 0u);

    // Arguments that start with '-' but not with a letter are no options.
    const auto negative = runInspect({"if", "-1 > 0u"});
    EXPECT_EQ(negative.status, 0) << negative.err;
    EXPECT_EQ(negative.out, "1\n");
    const auto afterEnd = runInspect({"if", "--", "-FLAG + 2", "-DEFINE=FLAG=1"});
    EXPECT_EQ(afterEnd.status, 2);
    const auto ended = runInspect({"if", "-DEFINE=FLAG=1", "--", "-FLAG + 2"});
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(ended.out, "1\n");
}

TEST(InspectCommand, OptionsBeforeSubcommand)
{
    const auto result = runInspect({"-INCL=x", "tree", "demo.pts"});
    EXPECT_EQ(result.status, 2);
    const auto text = lines(result.err);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], "qvminspect: options follow the subcommand, '-INCL=x' comes before it");
    EXPECT_EQ(text[1], "usage: qvminspect SUBCOMMAND ARGUMENTS [options]");
}

// Standard output on /dev/full: the lost output is a fatal report.
TEST(InspectCommand, UnwritableOutputFatal)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runProgram(
        "/bin/sh", {"-c", std::string("exec '") + QVM_INSPECT_BIN + "' tokens demo.pts >/dev/full"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.err, "Fenwir-F-FICNOTOPN,  File standard output access problem\n");
}

}  // namespace
