// Outputs are written aside and put in place only when the run succeeds: a
// run that cannot create or write an output, that is interrupted, or that
// finds errors leaves the old outputs exactly as they were (bytes and time
// stamp) and no temporary file; an output whose text did not change keeps
// its time stamp.
#include "codegen/genfiles.h"
#include "codegen_support.h"

#include <gmock/gmock.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace qvm::testing::codegen;

bool holdsTemporary(const fs::path& dir)
{
    const std::vector<std::string> names = fileNames(dir);
    return std::any_of(names.begin(), names.end(), [](const std::string& name) { return name.ends_with(".tmp"); });
}

// The hand-written TRIGGER script in a scratch directory, its templates
// going to out/, where old outputs of an earlier run already stand.
class TemplateOutputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        copyFiles(goldenDirectory("templates") / "trig", {"trig.pts", "trig.h"}, dir.path());
        fs::create_directories(dir / "out");
        // Older than the old templates, so that the kept fctri_c is not reported.
        fs::last_write_time(dir / "trig.h", fs::file_time_type::clock::now() - std::chrono::hours(24 * 800));
        for (const std::string& name : kTemplateFiles) {
            writeOldFile(dir / "out" / name, "old " + name + "\n");
        }
        before = states();
    }

    std::vector<FileState> states() const
    {
        std::vector<FileState> all;
        for (const std::string& name : kTemplateFiles) {
            all.push_back(stateOf(dir / "out" / name));
        }
        return all;
    }

    std::vector<std::string> arguments(const std::string& root = "out/trig") const
    {
        return {"trig.pts", "trig.h", root, stdDefineOption()};
    }

    void expectOldOutputsUntouched() const
    {
        EXPECT_EQ(states(), before);
        EXPECT_FALSE(holdsTemporary(dir / "out"));
        EXPECT_FALSE(holdsTemporary(dir.path()));
    }

    TempDir dir;
    std::vector<FileState> before;
};

TEST_F(TemplateOutputs, MissingOutputDirIsFatal)
{
    const auto result = runIn(dir.path(), arguments("missing/trig"));
    expectFatalOnFile(result, "FICERROPN", "missing/");
    EXPECT_FALSE(fs::exists(dir / "missing"));
    expectOldOutputsUntouched();
}

TEST_F(TemplateOutputs, ReadOnlyDirKeepsOld)
{
    // Permissions do not stop root: the run is then made as nobody.
    const bool asRoot = ::geteuid() == 0;
    if (asRoot && !fs::exists("/usr/bin/setpriv")) {
        GTEST_SKIP() << "running as root without setpriv: a read-only directory cannot stop the writes";
    }
    // The list file is still written beside the script.
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(dir / "out", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const auto result =
        asRoot ? runThrough("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups"}, arguments(), dir.path())
               : runIn(dir.path(), arguments());
    fs::permissions(dir / "out", fs::perms::owner_all, fs::perm_options::add);
    if (asRoot && result.status == 127) {
        GTEST_SKIP() << "qvmprepro cannot be run as nobody here";
    }
    expectFatalOnFile(result, "FICERROPN", "out/");
    expectOldOutputsUntouched();
}

TEST_F(TemplateOutputs, FailedRunWritesNothing)
{
    std::string script = readFile(dir / "trig.pts");
    script.replace(script.find("CALL lamp_switch(1) @ 0"), 23, "CALL no_such_function()");
    writeFile(dir / "trig.pts", script);
    const auto result = runIn(dir.path(), arguments());
    EXPECT_EQ(result.status, 5) << result.err;
    expectOldOutputsUntouched();
    EXPECT_EQ(fileNames(dir / "out"), (std::vector<std::string>{"fctfc_c.c", "fctri_c.c", "tarvo_c.h"}));
}

TEST_F(TemplateOutputs, UnchangedKeepsTimeStamp)
{
    ASSERT_EQ(runIn(dir.path(), arguments()).status, 0);
    const FileState header = stateOf(dir / "out" / "tarvo_c.h");
    EXPECT_NE(header, before[2]);
    writeOldFile(dir / "out" / "tarvo_c.h", header.bytes);
    const FileState old = stateOf(dir / "out" / "tarvo_c.h");
    ASSERT_EQ(runIn(dir.path(), arguments()).status, 0);
    EXPECT_EQ(stateOf(dir / "out" / "tarvo_c.h"), old);
    EXPECT_FALSE(holdsTemporary(dir / "out"));
}

// A project file far larger than the file-size limit; the list file stays
// well below it.
class SpgOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(dir / "big.h", "extern int counter;\n");
        std::string script = "HEADER \"big\", \"many scenarios\", \"1.0\"\n#static int runs;\n";
        for (int i = 0; i < 600; ++i) {
            const std::string name = "scenario_with_a_rather_long_name_" + std::to_string(i);
            script += "SCENARIO " + name + "\n  @counter = " + std::to_string(i) + ";\nEND SCENARIO\n";
        }
        writeFile(dir / "big.pts", script);
    }

    std::vector<std::string> arguments() const { return {"big.pts", "big.h", "out/big", "-SPVGEN"}; }

    TempDir dir;
};

TEST_F(SpgOutput, WriteFailureKeepsOldFile)
{
    writeOldFile(dir / "big.spg", "old project\n");
    const FileState old = stateOf(dir / "big.spg");
    const auto result = runThrough("/usr/bin/prlimit", {"--fsize=32768"}, arguments(), dir.path());
    expectFatalOnFile(result, "FICNOTOPN", "big.spg");
    EXPECT_EQ(stateOf(dir / "big.spg"), old);
    EXPECT_FALSE(holdsTemporary(dir.path()));
}

TEST_F(SpgOutput, UnwritableCurrentDirFatal)
{
    if (::geteuid() != 0 || !fs::exists("/usr/bin/setpriv")) {
        GTEST_SKIP() << "needs root and setpriv to run as a user who may not write here";
    }
    writeOldFile(dir / "big.spg", "old project\n");
    const FileState old = stateOf(dir / "big.spg");
    // The list file goes elsewhere, so that the run gets as far as the project file.
    fs::create_directories(dir / "work");
    fs::permissions(dir / "work", fs::perms::all);
    fs::rename(dir / "big.pts", dir / "work" / "big.pts");
    fs::rename(dir / "big.h", dir / "work" / "big.h");
    const auto result = runThrough("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups"},
                                   {(dir / "work" / "big.pts").string(), (dir / "work" / "big.h").string(), "out/big", "-SPVGEN"},
                                   dir.path());
    if (result.status == 127) {
        GTEST_SKIP() << "qvmprepro cannot be run as nobody here";
    }
    expectFatalOnFile(result, "FICERROPN", "big.spg");
    EXPECT_EQ(stateOf(dir / "big.spg"), old);
}

TEST_F(SpgOutput, UnchangedKeepsTimeStamp)
{
    ASSERT_EQ(runIn(dir.path(), arguments()).status, 0);
    writeOldFile(dir / "big.spg", readFile(dir / "big.spg"));
    const FileState old = stateOf(dir / "big.spg");
    ASSERT_EQ(runIn(dir.path(), arguments()).status, 0);
    EXPECT_EQ(stateOf(dir / "big.spg"), old);
}

// An old text of the same length is still replaced, wherever it differs:
// near the start, across the pieces the comparison reads, or in the last byte.
TEST_F(SpgOutput, SameLengthProjectReplaced)
{
    ASSERT_EQ(runIn(dir.path(), arguments()).status, 0);
    const std::string written = readFile(dir / "big.spg");
    ASSERT_GT(written.size(), 70000u) << "the text should span more than one piece of the comparison";
    for (const std::size_t at : {std::size_t{10}, std::size_t{65536}, written.size() - 2}) {
        std::string altered = written;
        altered[at] = altered[at] == '#' ? '$' : '#';
        writeOldFile(dir / "big.spg", altered);
        ASSERT_EQ(runIn(dir.path(), arguments()).status, 0);
        EXPECT_EQ(readFile(dir / "big.spg"), written) << "difference at " << at;
        EXPECT_FALSE(holdsTemporary(dir.path()));
    }
}

// An interrupted process removes the temporary files it was writing and
// still ends by the signal that interrupted it.
TEST(InterruptedRun, TemporariesGoneOnSignal)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            qvm::codegen::GeneratedFiles files;
            files.create((dir / "a.c").string()).write("partial text");
            files.create((dir / "b.h").string()).write("partial text");
            ::raise(signal);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_TRUE(fs::is_empty(dir.path())) << ::testing::PrintToString(fileNames(dir.path()));
    }
}

}  // namespace
