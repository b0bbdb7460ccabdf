// The progress line: shown on a terminal once a run has lasted a second,
// cleared before diagnostics and at the end, never in the list file and never
// when the standard error stream is not a terminal.
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

using qvm::testing::readFile;
using qvm::testing::RunResult;
using qvm::testing::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

const qvm::testing::EnvChanges kEnv{{"FENWIRDIR", std::string(QVM_SHARE_DIR)}, {"LANG", std::string("C")}};

// The sample run, with its studio log a named pipe that nobody reads for a
// while: the run waits there, in the TDC file pass, for about that long.
class SlowRun {
public:
    explicit SlowRun(std::chrono::milliseconds delay) : log_(dir_ / "studio.log")
    {
        qvm::testing::writeSampleRun(dir_.path());
        if (::mkfifo(log_.c_str(), 0600) != 0) {
            throw std::runtime_error("mkfifo failed");
        }
        reader_ = std::thread([this, delay] {
            std::this_thread::sleep_for(delay);
            drainLog();
        });
    }

    SlowRun(const SlowRun&) = delete;
    SlowRun& operator=(const SlowRun&) = delete;

    ~SlowRun()
    {
        done_ = true;
        reader_.join();
    }

    std::vector<std::string> arguments() const { return {"demo.pts", "demo.h", "run", "-STUDIO_LOG=studio.log"}; }
    const fs::path& dir() const { return dir_.path(); }

private:
    // Opens the pipe without waiting for a writer and keeps it open, so that
    // the run's own open and writes go through whenever they come; reads
    // until the run has written and closed it, or has ended without it.
    void drainLog() const
    {
        const int fd = ::open(log_.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) {
            return;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        char buffer[256];
        bool written = false;
        while (true) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0) {
                written = true;
            } else if (written || done_) {
                break;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        ::close(fd);
    }

    TempDir dir_;
    fs::path log_;
    std::atomic<bool> done_ = false;
    std::thread reader_;  // last: started once the rest is ready
};

// The run with its standard streams on a pseudo-terminal (through script),
// whose output is everything the terminal showed.
RunResult runOnTerminal(const fs::path& dir, const std::vector<std::string>& arguments)
{
    std::string command = QVM_PREPRO_BIN;
    for (const std::string& argument : arguments) {
        command += " '" + argument + "'";
    }
    return qvm::testing::runProgram("script", {"-qefc", command, "/dev/null"}, kEnv, dir);
}

TEST(ProgressLine, TerminalNamesPassAndClears)
{
    const SlowRun slow(std::chrono::milliseconds(2500));
    const RunResult result = runOnTerminal(slow.dir(), slow.arguments());
    EXPECT_EQ(result.status, 0) << result.out;

    const std::size_t shown = result.out.find("\rqvmprepro: TDC file (");
    ASSERT_NE(shown, std::string::npos) << result.out;
    const std::size_t summary = result.out.find("Fenwir-I-ENDNOENWR");
    ASSERT_NE(summary, std::string::npos) << result.out;
    EXPECT_LT(shown, summary);
    // Between the last drawing and the summary the line is blanked out, and
    // the summary starts at the left margin.
    const std::string beforeSummary = result.out.substr(shown, summary - shown);
    EXPECT_TRUE(std::regex_search(beforeSummary, std::regex("\r {20,}\r$"))) << beforeSummary;
    EXPECT_THAT(result.out.substr(summary), Not(HasSubstr("qvmprepro: ")));
    EXPECT_THAT(readFile(slow.dir() / "demo.lis"), Not(HasSubstr("qvmprepro: ")));
}

TEST(ProgressLine, AbsentWhenRedirected)
{
    const SlowRun slow(std::chrono::milliseconds(1500));
    const RunResult result = qvm::testing::runPrepro(slow.arguments(), {}, slow.dir());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, Not(HasSubstr("qvmprepro: ")));
    EXPECT_THAT(result.err, Not(HasSubstr("\r")));
}

TEST(ProgressLine, AbsentWhenShortOrNolog)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const RunResult quick = runOnTerminal(dir.path(), {"demo.pts", "demo.h", "run"});
    EXPECT_EQ(quick.status, 0) << quick.out;
    EXPECT_THAT(quick.out, HasSubstr("Fenwir-I-ENDNOENWR"));
    EXPECT_THAT(quick.out, Not(HasSubstr("qvmprepro: ")));

    const SlowRun slow(std::chrono::milliseconds(1500));
    auto arguments = slow.arguments();
    arguments.push_back("-NOLOG");
    const RunResult silent = runOnTerminal(slow.dir(), arguments);
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.out, "");
}

}  // namespace
