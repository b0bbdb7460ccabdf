// Whole runs of the real program: list file, console echo, studio log.
#include "support/process.h"

#include <gtest/gtest.h>

namespace {

using qvm::testing::lines;
using qvm::testing::readFile;
using qvm::testing::runPrepro;
using qvm::testing::TempDir;

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

TEST(Run, CleanRunListsBannerAndSummary)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out"}, {}, dir.path());
    EXPECT_EQ(result.status, 0);
    const auto console = lines(result.err);
    ASSERT_EQ(console.size(), 3u) << result.err;
    EXPECT_TRUE(startsWith(console[0], "Fenwir-I-STARTEXEC,  Fenwir QVM test script preprocessor version "));
    EXPECT_EQ(console[1], "Fenwir-I-COPYRIGHT,  ");
    EXPECT_EQ(console[2], "Fenwir-I-ENDNOENWR,  End of execution with 0 error and 0 warning");
    EXPECT_EQ(readFile(dir / "demo.lis"), result.err);
}

TEST(Run, NoLogSilencesTheConsoleButNotTheListFile)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runPrepro({"demo.pts", "demo.h", "out", "-NOLOG"}, {}, dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const auto listed = lines(readFile(dir / "demo.lis"));
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[2], "Fenwir-I-ENDNOENWR,  End of execution with 0 error and 0 warning");
}

TEST(Run, UndecodableCommandLineIsFatalBeforeTheListFile)
{
    TempDir dir;
    const auto result = runPrepro({"demo", "demo.h"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(lines(result.err).back(), "Fenwir-F-COMMFATAL,  Invalid command line");
    EXPECT_FALSE(std::filesystem::exists(dir / "demo.lis"));
}

TEST(Run, UncreatableListFileIsFatal)
{
    TempDir dir;
    const auto result = runPrepro({"nodir/demo", "demo.h", "out"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(lines(result.err).back(), "Fenwir-F-FICERROPN,  File nodir/demo.lis opening problem");
}

TEST(Run, StudioLogNamesTheProjectFileUnderSpgGeneration)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out", "-SPVGEN", "-STUDIO_LOG=studio.txt"}, {}, dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(dir / "studio.txt"), "SPG demo.spg\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.tdc"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.c"));
}

TEST(Run, UncreatableStudioLogIsFatal)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result =
        runPrepro({"demo", "demo.h", "out", "-SPVGEN", "-STUDIO_LOG=no/such/dir/log"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(lines(result.err).back(), "Fenwir-F-FICERROPN,  File no/such/dir/log opening problem");
    EXPECT_EQ(lines(readFile(dir / "demo.lis")).back(), "Fenwir-F-FICERROPN,  File no/such/dir/log opening problem");
}

}  // namespace
