// Whole runs of the real program: list file, console echo, studio log, file
// names derived from paths, files that cannot take what is written to them.
#include "support/messages.h"
#include "support/process.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::lines;

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

TEST(Run, NoLogKeepsTheListFile)
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

TEST(Run, UndecodableCmdLineFatal)
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
    EXPECT_EQ(lines(result.err).back(), "Fenwir-F-FICERROPN,  File nodir/demo.lis opening problem: No such file or directory");
}

TEST(Run, UncreatableStudioLogIsFatal)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result =
        runPrepro({"demo", "demo.h", "out", "-SPVGEN", "-STUDIO_LOG=no/such/dir/log"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(lines(result.err).back(), "Fenwir-F-FICERROPN,  File no/such/dir/log opening problem: No such file or directory");
    EXPECT_EQ(lines(readFile(dir / "demo.lis")).back(), "Fenwir-F-FICERROPN,  File no/such/dir/log opening problem: No such file or directory");
}

// On Linux '/' separates directories: a dot in a directory name starts no
// extension, and the list file lies beside the script.
TEST(Run, ScriptAndRootPathsWithDirectories)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "tests");
    std::filesystem::create_directories(dir / "run" / "dir.d");
    qvm::testing::writeSampleRun(dir / "tests");

    auto result = runPrepro({"../tests/demo", "../tests/demo.h", "dir.d/run", "-STUDIO_LOG=studio.txt"}, {},
                            dir / "run");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "tests" / "demo.lis"));
    EXPECT_FALSE(std::filesystem::exists(dir / "run" / "..lis"));
    EXPECT_EQ(readFile(dir / "run" / "studio.txt"), "TDC dir.d/run.tdc\nTSF dir.d/run_dyn.tsf\nSRC dir.d/run.c\n");

    result = runPrepro({"./demo", "demo.h", "out"}, {}, dir / "tests");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(dir / "tests" / "demo.lis"), result.err);

    // An argument that starts with '/' and holds another '/' is a path.
    const std::string absolute = (dir / "tests" / "demo").string();
    std::filesystem::remove(dir / "tests" / "demo.lis");
    result = runPrepro({absolute, absolute + ".h", "out"}, {}, dir / "run");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "tests" / "demo.lis"));
}

// /dev/full takes the opening but no line: the run must say so and fail.
TEST(Run, ListFileWriteFailFatal)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    std::filesystem::create_symlink("/dev/full", dir / "demo.lis");
    for (const char* log : {"-LOG", "-NOLOG"}) {
        const auto result = runPrepro({"demo", "demo.h", "out", log}, {}, dir.path());
        EXPECT_EQ(result.status, 7) << log;
        EXPECT_EQ(lines(result.err).back(), "Fenwir-F-FICNOTOPN,  File demo.lis access problem: No space left on device") << log;
    }

    // Enough reports to fill the buffer: the run stops at the first lost line.
    std::string script = "HEADER \"demo\", \"sample\", \"1\"\n#int x;\nSCENARIO main\n";
    for (int i = 0; i < 500; ++i) {
        script += "  RESET t u\n";
    }
    writeFile(dir / "demo.pts", script + "END SCENARIO\n");
    const auto result = runPrepro({"demo", "demo.h", "out"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(lines(result.err).back(), "Fenwir-F-FICNOTOPN,  File demo.lis access problem: No space left on device");
    // No summary follows.
    EXPECT_THAT(qvm::testing::allMessagesOf(result.err),
                ::testing::Each(::testing::Field("code", &qvm::testing::PlainMessage::code,
                                                 ::testing::Not(::testing::StartsWith("END")))));
}

TEST(Run, StudioLogWriteFailFatal)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out", "-STUDIO_LOG=/dev/full"}, {}, dir.path());
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(lines(result.err).back(), "Fenwir-F-FICNOTOPN,  File /dev/full access problem: No space left on device");
    EXPECT_EQ(lines(readFile(dir / "demo.lis")).back(), "Fenwir-F-FICNOTOPN,  File /dev/full access problem: No space left on device");
}

}  // namespace
