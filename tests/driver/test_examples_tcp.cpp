// can_gateway over a real transport: its tester link served by the TCP
// server beside the example (examples/can_gateway/can_gateway_server.c)
// instead of the in-process gateway, the generated program told so by
// QVM_CHANNEL_TESTER.
#include "driver/example_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using qvm::testing::RunResult;
using qvm::testing::examples::compile;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::scenarioNames;
using qvm::testing::examples::TesterRun;
using qvm::testing::examples::traceLines;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The tester link server, started with its arguments and ended with the
// test; port() is the port it listens on, 0 when it did not start.
class LinkServer {
public:
    LinkServer(const fs::path& executable, const std::vector<std::string>& arguments)
    {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv{const_cast<char*>(executable.c_str())};
            for (const std::string& argument : arguments) {
                argv.push_back(const_cast<char*>(argument.c_str()));
            }
            argv.push_back(nullptr);
            execv(executable.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        port_ = readPort(out[0]);
        close(out[0]);
    }
    ~LinkServer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    int port() const { return port_; }

private:
    // The "port <n>" line, waited for at most 5 s.
    static int readPort(int fd)
    {
        std::string line;
        pollfd ready{fd, POLLIN, 0};
        char c = 0;
        while (line.find('\n') == std::string::npos && poll(&ready, 1, 5000) > 0 && read(fd, &c, 1) == 1) {
            line += c;
        }
        return line.rfind("port ", 0) == 0 ? std::stoi(line.substr(5)) : 0;
    }

    pid_t pid_ = -1;
    int port_ = 0;
};

class TcpRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(program.generate().empty());
        const RunResult built = program.build("gcc");
        ASSERT_EQ(built.status, 0) << built.err;
        ASSERT_THAT(built.err, IsEmpty());
        const fs::path source = program.example.directory / "can_gateway_server.c";
        const RunResult server =
            compile("gcc", {"-std=gnu99", "-Wall", "-Wextra", "-I" + program.example.directory.string(),
                            source.string(), "-o", serverExecutable().string()});
        ASSERT_EQ(server.status, 0) << server.err;
        ASSERT_THAT(server.err, IsEmpty());
    }

    fs::path serverExecutable() const { return program.dir / "can_gateway_server"; }

    TesterRun runAgainst(const LinkServer& server)
    {
        return program.run("gcc", {}, {{"QVM_CHANNEL_TESTER", "127.0.0.1:" + std::to_string(server.port())}});
    }

    ExampleProgram program{"can_gateway"};
};

TEST_F(TcpRun, AllPassOverTcp)
{
    const LinkServer server(serverExecutable(), {});
    ASSERT_GT(server.port(), 0);
    const TesterRun run = runAgainst(server);
    EXPECT_EQ(run.status, 0) << run.trace;
    EXPECT_THAT(traceLines(run.trace, "FAIL"), IsEmpty());
    EXPECT_THAT(run.trace, HasSubstr(": PASSED - scenarios"));
    for (const std::string& name : scenarioNames(program.example.script())) {
        EXPECT_THAT(run.trace, ::testing::ContainsRegex("SCENARIO .* begin \"([a-z_0-9]+\\.)*" + name + "\""));
    }
    // Every connection of the link went to the server, none to the
    // in-process gateway.
    const std::vector<std::string> channels = traceLines(run.trace, "CHANNEL");
    EXPECT_THAT(channels, Contains("CHANNEL  tester connected to 127.0.0.1:" + std::to_string(server.port())));
    EXPECT_THAT(channels, ::testing::Not(Contains(HasSubstr("in-process"))));
}

// The server closes the link when the VIN is asked for: the waiting
// scenario fails at once with the runtime's verdict, the run goes on with
// the next scenarios and ends with status 1.
TEST_F(TcpRun, ServerClosingMidExchangeFails)
{
    const LinkServer server(serverExecutable(), {"--close-on", "0x22"});
    ASSERT_GT(server.port(), 0);
    const TesterRun run = runAgainst(server);
    EXPECT_EQ(run.status, 1) << run.trace;
    const std::vector<std::string> failures = traceLines(run.trace, "FAIL");
    ASSERT_FALSE(failures.empty()) << run.trace;
    EXPECT_THAT(failures.front(), HasSubstr("channel tester: the system under test closed the connection in "
                                            "scenario \"read_vin\""));
    EXPECT_THAT(failures, Contains(HasSubstr("WAITTIL stopped after")));
    EXPECT_THAT(run.trace, HasSubstr("end \"read_vin\" repetition 1 FAILED"));
    // The routing scenarios before it passed over the same run.
    EXPECT_THAT(run.trace, HasSubstr("end \"routing\" repetition 1 passed"));
    EXPECT_THAT(run.trace, HasSubstr("RUN      end can_gateway.rio_0: FAILED"));
}

}  // namespace
