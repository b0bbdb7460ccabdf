// A user's files are never lost: no output replaces an input or another
// output, the outputs of a run go in place all together or not at all, runs
// on one output root take turns, file messages say the system's reason, and
// the dependency file reads back in make.
#include "support/messages.h"
#include "support/process.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <thread>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::EnvChanges;
using qvm::testing::lines;

// Every file below a directory with its bytes and time stamp.
using Snapshot = std::map<std::string, std::pair<std::string, fs::file_time_type>>;

Snapshot snapshot(const fs::path& dir)
{
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), dir).string()] = {readFile(entry.path()),
                                                               fs::last_write_time(entry.path())};
        }
    }
    return files;
}

std::vector<std::string> temporariesBelow(const fs::path& dir)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".tmp") || name.ends_with(".lock")) {
            found.push_back(name);
        }
    }
    return found;
}

// Makes every file below dir look old, so that a rewrite shows.
void ageAll(const fs::path& dir)
{
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
        }
    }
}

std::string lastLine(const std::string& text)
{
    const std::vector<std::string> all = lines(text);
    return all.empty() ? std::string() : all.back();
}

// qvmprepro through prlimit, with a limit on the size of the files it writes.
RunResult runWithFileSizeLimit(std::size_t bytes, const std::vector<std::string>& arguments, const fs::path& dir)
{
    std::vector<std::string> command{"--fsize=" + std::to_string(bytes), QVM_PREPRO_BIN};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return qvm::testing::runProgram("prlimit", command,
                                    {{"FENWIRDIR", std::string(QVM_SHARE_DIR)}, {"LANG", std::string("C")}}, dir);
}

void writeIncludingRun(const fs::path& dir)
{
    qvm::testing::writeSampleRun(dir);
    writeFile(dir / "procs.pts", "PROC reset ()\n  CALL reset_counter(1)\nEND PROC\n");
    writeFile(dir / "inc.pts", "HEADER \"inc\", \"sample\", \"1\"\nINCLUDE \"procs.pts\"\n"
                               "SCENARIO s\n  CALL reset()\nEND SCENARIO\n");
    fs::create_directories(dir / "od");
    fs::create_symlink("demo.pts", dir / "alias.c");
}

TEST(OutputCommit, NoOutputReplacesAnInput)
{
    struct Case {
        std::vector<std::string> arguments;
        EnvChanges env;
        std::string code;
        std::string named;  // a file the message names
    };
    const std::vector<Case> cases{
        {{"demo.pts", "demo.h", "demo.pts"}, {}, "OUTOVRINP", "demo.pts"},
        {{"demo.pts", "demo.h", "demo.h"}, {}, "OUTOVRINP", "demo.h"},
        {{"demo.pts", "demo.h", "out"}, {{"QVM_DEPFILE", std::string("demo.pts")}}, "OUTOVRINP", "demo.pts"},
        {{"demo.pts", "demo.h", "alias.c"}, {}, "OUTOVRINP", "demo.pts"},
        {{"demo.pts", "demo.h", "demo"}, {{"QVM_TDC", std::string("h")}}, "OUTOVRINP", "demo.h"},
        {{"demo.pts", "demo.h", "od/x"}, {{"QVM_DEPFILE", std::string("od/x.c")}}, "OUTOVROUT", "od/x.c"},
        {{"demo.pts", "demo.h", "out"}, {{"QVM_TDC", std::string("c")}}, "OUTOVROUT", "out.c"},
        {{"demo.pts", "demo.h", "demo"}, {{"QVM_LIS", std::string("c")}}, "OUTOVROUT", "demo.c"},
        // Known only once read: an included script.
        {{"inc.pts", "demo.h", "out"}, {{"QVM_DEPFILE", std::string("procs.pts")}}, "OUTOVRINP", "procs.pts"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeIncludingRun(dir.path());
        // A script whose list file would be the script itself.
        fs::copy_file(dir / "demo.pts", dir / "b.lis");
        ageAll(dir.path());
        const Snapshot before = snapshot(dir.path());
        const RunResult result = runPrepro(c.arguments, c.env, dir.path());
        const std::string trace = ::testing::PrintToString(c.arguments) + "\n" + result.err;
        EXPECT_EQ(result.status, 7) << trace;
        const auto last = qvm::testing::lastMessageOf(result.err);
        ASSERT_TRUE(last.has_value()) << trace;
        EXPECT_EQ(last->code, c.code) << trace;
        EXPECT_THAT(last->text, HasSubstr(c.named)) << trace;
        EXPECT_EQ(snapshot(dir.path()), before) << trace;
        EXPECT_THAT(temporariesBelow(dir.path()), ::testing::IsEmpty()) << trace;
    }
    TempDir dir;
    writeIncludingRun(dir.path());
    fs::copy_file(dir / "demo.pts", dir / "b.lis");
    const std::string script = readFile(dir / "b.lis");
    const RunResult result = runPrepro({"b.lis", "demo.h", "out"}, {}, dir.path());
    EXPECT_EQ(result.status, 7) << result.err;
    EXPECT_EQ(readFile(dir / "b.lis"), script);
    EXPECT_EQ(lastLine(result.err),
              "Fenwir-F-OUTOVRINP,  Output file b.lis is the input file b.lis: nothing was written");
}

// Each case starts from the outputs of a good run, aged; the failed run
// must leave them all, list file included unless the case says it may
// hold the failure, and end with its fatal line.
TEST(OutputCommit, FailedRunKeepsOldOutputs)
{
    struct Case {
        std::string name;
        std::function<void(const fs::path&)> prepare;
        std::function<RunResult(const fs::path&)> run;
        std::string lastLine;   // a regular expression
        bool listMayChange;     // the list file is the report of the failed run
    };
    const std::vector<std::string> arguments{"demo.pts", "demo.h", "o3/x.c"};
    const EnvChanges withDepfile{{"QVM_DEPFILE", std::string("o3/deps.d")}};
    const std::vector<Case> cases{
        {"dependency file named like a directory",
         [](const fs::path& dir) {
             fs::remove(dir / "o3" / "deps.d");
             fs::create_directories(dir / "o3" / "deps.d");
         },
         [&](const fs::path& dir) { return runPrepro(arguments, withDepfile, dir); },
         R"(Fenwir-F-FICERROPN,  File o3/deps.d opening problem: Is a directory)", false},
        {"program named like a directory",
         [](const fs::path& dir) {
             fs::remove(dir / "o3" / "x.c");
             fs::create_directories(dir / "o3" / "x.c" / "sub");
         },
         [&](const fs::path& dir) { return runPrepro(arguments, withDepfile, dir); },
         R"(Fenwir-F-FICERROPN,  File o3/x.c opening problem: Is a directory)", false},
        {"missing output directory", [](const fs::path&) {},
         [](const fs::path& dir) { return runPrepro({"demo.pts", "demo.h", "gone/x.c"}, {}, dir); },
         R"(Fenwir-F-FICERROPN,  File gone/x.tdc opening problem: No such file or directory)", true},
        {"files limited to 1 KiB", [](const fs::path&) {},
         [&](const fs::path& dir) { return runWithFileSizeLimit(1024, arguments, dir); },
         R"(Fenwir-F-FICNOTOPN,  File o3/x(\.tdc|\.c|_dyn\.tsf) access problem: File too large)", true},
        {"files limited below the list file", [](const fs::path&) {},
         [&](const fs::path& dir) { return runWithFileSizeLimit(100, arguments, dir); },
         R"(Fenwir-F-FICNOTOPN,  File demo.lis access problem: File too large)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        qvm::testing::writeSampleRun(dir.path());
        fs::create_directories(dir / "o3");
        ASSERT_EQ(runPrepro(arguments, withDepfile, dir.path()).status, 0);
        c.prepare(dir.path());
        ageAll(dir.path());
        Snapshot before = snapshot(dir.path());
        const RunResult result = c.run(dir.path());
        EXPECT_EQ(result.status, 7) << result.err;
        EXPECT_TRUE(std::regex_match(lastLine(result.err), std::regex(c.lastLine))) << result.err;
        EXPECT_THAT(result.err, ::testing::Not(HasSubstr("End of execution"))) << result.err;
        Snapshot after = snapshot(dir.path());
        if (c.listMayChange) {
            EXPECT_EQ(lastLine(after["demo.lis"].first), lastLine(result.err));
            after.erase("demo.lis");
            before.erase("demo.lis");
        }
        EXPECT_EQ(after, before);
        EXPECT_THAT(temporariesBelow(dir.path()), ::testing::IsEmpty());
    }
}

TEST(OutputCommit, ListFileFailureWithoutLog)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const bool asRoot = ::geteuid() == 0;
    if (asRoot && !fs::exists("/usr/bin/setpriv")) {
        GTEST_SKIP() << "root without setpriv: a read-only directory stops nothing";
    }
    fs::create_directories(dir / "ro");
    fs::copy_file(dir / "demo.pts", dir / "ro" / "demo.pts");
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const std::vector<std::string> arguments{"ro/demo.pts", "demo.h", "out", "-NOLOG"};
    RunResult result;
    if (asRoot) {
        std::vector<std::string> command{"--reuid=65534", "--regid=65534", "--clear-groups", QVM_PREPRO_BIN};
        command.insert(command.end(), arguments.begin(), arguments.end());
        result = qvm::testing::runProgram("/usr/bin/setpriv", command,
                                          {{"FENWIRDIR", std::string(QVM_SHARE_DIR)}, {"LANG", std::string("C")}},
                                          dir.path());
    } else {
        result = runPrepro(arguments, {}, dir.path());
    }
    fs::permissions(dir / "ro", fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.err, "Fenwir-F-FICERROPN,  File ro/demo.lis opening problem: Permission denied\n");
}

// The program and the TDC file of one run carry its stamp (date and
// process); all three outputs name the script they come from.
std::string scriptNamedIn(const std::string& text)
{
    return text.find("other.pts") != std::string::npos  ? "other"
           : text.find("demo.pts") != std::string::npos ? "demo"
                                                         : "none";
}

std::string stampOf(const std::string& text)
{
    static const std::regex stamp(R"((\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})\D{1,20}?(\d+))");
    std::smatch match;
    if (!std::regex_search(text, match, stamp)) {
        return "none";
    }
    return match[1].str() + " " + match[2].str();
}

TEST(OutputCommit, ConcurrentRunsLeaveOneSet)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    writeFile(dir / "other.pts", "HEADER \"other\", \"sample\", \"1\"\n#int other_value;\nSCENARIO other\n  CALL reset_counter(2)\n"
                                 "END SCENARIO\n");
    fs::create_directories(dir / "out");
    // A run waits while another holds the root's lock.
    writeFile(dir / "out" / "run.lock", "");
    const int holder = ::open((dir / "out" / "run.lock").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    RunResult waiting;
    std::thread waiter([&] { waiting = runPrepro({"demo.pts", "demo.h", "out/run"}, {}, dir.path()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_FALSE(fs::exists(dir / "out" / "run.c"));
    ::close(holder);
    waiter.join();
    EXPECT_EQ(waiting.status, 0) << waiting.err;
    EXPECT_TRUE(fs::exists(dir / "out" / "run.c"));
    // A lock file the run did not create stays.
    EXPECT_TRUE(fs::exists(dir / "out" / "run.lock"));
    fs::remove(dir / "out" / "run.lock");

    // A temporary left by a killed run, and one of a run still alive.
    writeFile(dir / "out" / "run.c.Dead01.tmp", "left by a killed run");
    writeFile(dir / "out" / "run.tdc.Live01.tmp", "being written");
    const int live = ::open((dir / "out" / "run.tdc.Live01.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    ASSERT_EQ(runPrepro({"demo.pts", "demo.h", "out/run"}, {}, dir.path()).status, 0);
    EXPECT_FALSE(fs::exists(dir / "out" / "run.c.Dead01.tmp"));
    EXPECT_TRUE(fs::exists(dir / "out" / "run.tdc.Live01.tmp"));
    ::close(live);
    fs::remove(dir / "out" / "run.tdc.Live01.tmp");

    for (int round = 0; round < 100; ++round) {
        RunResult first;
        RunResult second;
        std::thread one([&] { first = runPrepro({"demo.pts", "demo.h", "out/run"}, {}, dir.path()); });
        std::thread two([&] { second = runPrepro({"other.pts", "demo.h", "out/run"}, {}, dir.path()); });
        one.join();
        two.join();
        ASSERT_EQ(first.status, 0) << first.err;
        ASSERT_EQ(second.status, 0) << second.err;
        const std::string program = readFile(dir / "out" / "run.c");
        const std::string stamp = stampOf(program);
        ASSERT_NE(stamp, "none") << program.substr(0, 600);
        ASSERT_EQ(stampOf(readFile(dir / "out" / "run.tdc")), stamp) << "round " << round;
        const std::string script = scriptNamedIn(program);
        ASSERT_NE(script, "none");
        ASSERT_EQ(scriptNamedIn(readFile(dir / "out" / "run.tdc")), script) << "round " << round;
        ASSERT_EQ(scriptNamedIn(readFile(dir / "out" / "run_dyn.tsf")), script) << "round " << round;
        ASSERT_THAT(temporariesBelow(dir.path()), ::testing::IsEmpty()) << "round " << round;
    }
}

TEST(OutputCommit, OddDirDepFileReadsInMake)
{
    TempDir dir;
    const fs::path odd = dir / "a:b #1 $HOME %x";
    fs::create_directories(odd / "out");
    qvm::testing::writeSampleRun(odd);
    const RunResult result = runPrepro({(odd / "demo.pts").string(), (odd / "demo.h").string(),
                                        (odd / "out" / "run").string()},
                                       {{"QVM_DEPFILE", std::string("run.d")}}, dir.path());
    ASSERT_EQ(result.status, 0) << result.err;
    // The rule of the program comes from the dependency file; its recipe from a pattern.
    writeFile(dir / "Makefile", "include run.d\n%.c:\n\t@echo regenerate\n");
    const std::string program = (odd / "out" / "run.c").string();
    const auto upToDate = [&] {
        return qvm::testing::runProgram("make", {"-q", program}, {}, dir.path()).status;
    };
    EXPECT_EQ(upToDate(), 0) << readFile(dir / "run.d");
    fs::last_write_time(odd / "out" / "run.c", fs::file_time_type::clock::now() - std::chrono::hours(1));
    EXPECT_EQ(upToDate(), 1) << readFile(dir / "run.d");
    // A prerequisite that has gone stops nothing.
    fs::remove(odd / "demo.h");
    EXPECT_EQ(qvm::testing::runProgram("make", {"-n", program}, {}, dir.path()).status, 0);
}

}  // namespace
