// Runs of generated-style programs that check variables, exchange messages
// with a system under test (in process or over TCP) and meet other testers,
// compiled with gcc and clang.
#include "runtime/runtime_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qvm::testing;
using ::testing::HasSubstr;
using ::testing::Not;

class RtComm : public RuntimeProgramTest {
protected:
    // Builds programs/<program>.c and puts its TDC file beside it (under
    // the trace file's stem when that differs).
    fs::path buildWithTdc(const std::string& program, const std::vector<std::string>& stems = {})
    {
        const fs::path source = fs::path(QVM_SOURCE_DIR) / "tests" / "runtime" / "programs" / (program + ".tdc");
        for (const std::string& stem : stems.empty() ? std::vector<std::string>{program} : stems) {
            fs::copy_file(source, dir / (stem + ".tdc"), fs::copy_options::overwrite_existing);
        }
        return build(program);
    }
};

// ---- Variable checks -------------------------------------------------------

TEST_P(RtComm, ChecksTraceInFormatBase)
{
    const fs::path program = buildWithTdc("checks");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("checks 2 (2 passed, 0 failed)"));
    const std::string rio = trace("checks.rio");
    EXPECT_THAT(rio, HasSubstr("CHECK    #11 checks.pts:4 \"rec.count\" expected 0x1F actual 0x1F ok"));
    EXPECT_THAT(rio, HasSubstr("\"rec.flags\" expected 0b11111 actual 0b11111 ok"));
    EXPECT_THAT(rio, HasSubstr("\"rec.letter\" expected 'q' actual 'q' ok"));
    EXPECT_THAT(rio, HasSubstr("\"rec.name\" expected \"door\" actual \"door\" ok"));
    EXPECT_THAT(rio, HasSubstr("\"rec.table[2]\" expected 0xFA actual 0xFA ok"));
    EXPECT_THAT(rio, HasSubstr("\"rec.ptr\" expected NONIL actual 0x"));
    EXPECT_THAT(rio, HasSubstr("\"rec.level\" expected [-10 .. ] actual -3 ok"));
    EXPECT_THAT(rio, HasSubstr("PASS     #10 checks.pts:4 VAR: 10 values passed"));
    // Dumps write the values in their own base.
    EXPECT_THAT(rio, HasSubstr("DUMP     #11 checks.pts:4 \"rec.count\" = 037"));
    EXPECT_THAT(rio, HasSubstr("DUMP     #13 checks.pts:4 \"rec.letter\" = 0b1110001"));
    // A parameter without expected value is traced, not judged.
    EXPECT_THAT(rio, HasSubstr("PARAM    #31 checks.pts:8 \"w\" initial 6 actual 6"));
    EXPECT_THAT(rio, HasSubstr("PASS     #30 checks.pts:8 CALL: 2 values passed"));
}

TEST_P(RtComm, OneVerdictPerVar)
{
    const fs::path program = buildWithTdc("checks");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"F"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("checks 1 (0 passed, 1 failed)"));
    EXPECT_THAT(run.out, HasSubstr("FAIL #10 checks.pts:4 VAR: 3 of 10 values failed, first \"rec.count\" "
                                   "expected 0x20 actual 0x1F in scenario \"Checks\""));
    const std::string rio = trace("checks.rio");
    EXPECT_THAT(rio, HasSubstr("\"rec.name\" expected \"window\" actual \"door\" FAILED"));
    EXPECT_THAT(rio, HasSubstr("\"rec.level\" expected [0 .. ] actual -3 FAILED"));
    EXPECT_THAT(rio, HasSubstr("\"rec.ratio\" expected 0.5 actual 0.5 ok"));
}

TEST_P(RtComm, FailingNativeResult)
{
    const fs::path program = buildWithTdc("checks");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"C"});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("FAIL #30 checks.pts:8 CALL: 1 of 2 values failed, first \"result\" "
                                   "expected 36 actual 42"));
}

// ---- Messages with the in-process system under test ---------------------------

TEST_P(RtComm, RequestAnsweredMatches)
{
    const fs::path program = buildWithTdc("messages");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<std::string> rio = lines(trace("messages.rio"));
    const int sent = lineIndex(rio, "SEND     #20 messages.pts:10 \"req\"");
    const int received = lineIndex(rio, "RECEIVE  #22 messages.pts:2 \"T_ANS\" on channel CMD");
    const int matched = lineIndex(rio, "PASS     #30 messages.pts:11 WAITTIL condition met after");
    ASSERT_GE(sent, 0);
    EXPECT_GT(received, sent);
    EXPECT_GT(matched, received);
    EXPECT_GE(lineIndex(rio, "DUMP     #28 messages.pts:5 \"code\" = 0x29"), 0);
    EXPECT_GE(lineIndex(rio, "COMPARE  #26 messages.pts:6 \"value\" reference [4000 .. 5000] received 4242 same"),
              0);
    EXPECT_GT(lineIndex(rio, "STATE    #32 messages.pts:11 \"MATCHED(ans, CMD)\" true"), received);
    EXPECT_EQ(lineIndex(rio, "FAIL"), -1);
}

TEST_P(RtComm, WrongOrNoAnswerFails)
{
    const fs::path program = buildWithTdc("messages");
    ASSERT_FALSE(program.empty());
    const RunResult wrong = runBuilt(program, {}, {{"SUT_MODE", "wrong"}});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_THAT(wrong.out, HasSubstr("FAIL #30 messages.pts:11 WAITTIL failure condition met after"));
    EXPECT_THAT(wrong.out, HasSubstr("last difference #26 messages.pts:6 \"value\" reference [4000 .. 5000] "
                                     "received 7"));

    const RunResult silent = runBuilt(program, {}, {{"SUT_MODE", "silent"}});
    EXPECT_EQ(silent.status, 1);
    EXPECT_THAT(silent.out, HasSubstr("WAITTIL failure condition met after"));
    EXPECT_THAT(silent.out, HasSubstr("nothing matched (T_ANS)"));

    const RunResult absent = runBuilt(program, {}, {{"SUT_MODE", "absent"}});
    EXPECT_EQ(absent.status, 1);
    EXPECT_THAT(absent.out, HasSubstr("no system under test for channel CMD"));
}

TEST_P(RtComm, PastWaitLimitStopsRun)
{
    const fs::path program = buildWithTdc("messages");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {}, {{"SUT_MODE", "silent"}, {"QVM_WAITTIL_LIMIT", "50"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("WAITTIL waited more than 50 ms (QVM_WAITTIL_LIMIT): the run stops"));
}

struct Fault {
    const char* mode;
    const char* verdict;
};

TEST_P(RtComm, SutFaultsFailTheWaittil)
{
    const fs::path program = buildWithTdc("messages");
    ASSERT_FALSE(program.empty());
    const Fault faults[] = {
        {"close", "channel CMD: the system under test closed the connection"},
        {"short", "channel CMD: short message of type 2: 12 bytes where 16 are expected"},
        {"oversized", "channel CMD: oversized message: 2147483643 bytes, the limit is 65536"},
        {"garbage", "channel CMD: short message: the connection closed after 6 bytes of a message"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.mode);
        const RunResult run = runBuilt(program, {}, {{"SUT_MODE", fault.mode}});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_THAT(run.out, HasSubstr("FAIL #30 messages.pts:11 " + std::string(fault.verdict)));
        EXPECT_THAT(run.out, HasSubstr("WAITTIL stopped after"));
    }
}

TEST_P(RtComm, TriggerPollsConnections)
{
    const fs::path program = build("pollevt");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_THAT(trace("pollevt.rio"), HasSubstr("CHANNEL  ECHO receives type 3, 4 bytes"));
    EXPECT_THAT(trace("pollevt.rio"), HasSubstr("CHECK    #13 expected 77 actual 77 ok"));

    const RunResult closed = runBuilt(program, {}, {{"ECHO_CLOSES", "1"}});
    EXPECT_EQ(closed.status, 1);
    EXPECT_THAT(closed.out, HasSubstr("FAIL channel ECHO: the system under test closed the connection"));
}

// ---- A real system under test over TCP -----------------------------------------

// A one-connection server on 127.0.0.1: it reads one request frame and
// answers it, or closes the connection when told to.
class AnswerServer {
public:
    explicit AnswerServer(bool answers) : answers_(answers)
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ADD_FAILURE() << "no listening socket";
        }
        port_ = ntohs(address.sin_port);
        served_ = std::async(std::launch::async, [this] { return serve(); });
    }
    ~AnswerServer() { close(listener_); }
    AnswerServer(const AnswerServer&) = delete;
    AnswerServer& operator=(const AnswerServer&) = delete;

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    // The request's type and size as the server read them.
    std::string request() { return served_.get(); }

private:
    static bool readAll(int fd, unsigned char* out, std::size_t size)
    {
        std::size_t got = 0;
        while (got < size) {
            pollfd waited{fd, POLLIN, 0};
            if (poll(&waited, 1, 10000) <= 0) {
                return false;
            }
            const ssize_t count = recv(fd, out + got, size - got, 0);
            if (count <= 0) {
                return false;
            }
            got += static_cast<std::size_t>(count);
        }
        return true;
    }
    static std::uint32_t get32(const unsigned char* in)
    {
        return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) | (std::uint32_t{in[2]} << 8) | in[3];
    }
    static void put32(unsigned char* out, std::uint32_t value)
    {
        out[0] = static_cast<unsigned char>(value >> 24);
        out[1] = static_cast<unsigned char>(value >> 16);
        out[2] = static_cast<unsigned char>(value >> 8);
        out[3] = static_cast<unsigned char>(value);
    }

    std::string serve()
    {
        pollfd waited{listener_, POLLIN, 0};
        if (poll(&waited, 1, 20000) <= 0) {
            return "no connection";
        }
        const int fd = accept(listener_, nullptr, nullptr);
        unsigned char header[8];
        std::string seen = "no request";
        if (readAll(fd, header, sizeof header)) {
            std::vector<unsigned char> body(get32(header) - 4);
            if (readAll(fd, body.data(), body.size())) {
                seen = "type " + std::to_string(get32(header + 4)) + " size " + std::to_string(body.size());
            }
        }
        if (answers_) {
            // The answer of the program's T_ANS layout: int code, long value.
            struct {
                int code;
                long value;
            } answer{42, 4242};
            unsigned char frame[8 + sizeof answer];
            put32(frame, 4 + sizeof answer);
            put32(frame + 4, 2);
            std::memcpy(frame + 8, &answer, sizeof answer);
            EXPECT_EQ(send(fd, frame, sizeof frame, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof frame));
            char rest;
            pollfd end{fd, POLLIN, 0};
            poll(&end, 1, 10000);  // until the tester closes its end
            (void)recv(fd, &rest, 1, 0);
        }
        close(fd);
        return seen;
    }

    bool answers_;
    int listener_ = -1;
    int port_ = 0;
    std::future<std::string> served_;
};

TEST_P(RtComm, TcpAddressRealSystem)
{
    const fs::path program = buildWithTdc("messages");
    ASSERT_FALSE(program.empty());
    AnswerServer server(true);
    // The in-process system would answer wrongly: the TCP address wins.
    const RunResult run =
        runBuilt(program, {}, {{"QVM_CHANNEL_CMD", server.address()}, {"SUT_MODE", "wrong"}});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(server.request(), "type 1 size 12");
    EXPECT_THAT(trace("messages.rio"), HasSubstr("CHANNEL  CMD connected to " + server.address()));
    EXPECT_THAT(trace("messages.rio"), HasSubstr("PASS     #30 messages.pts:11 WAITTIL condition met"));
}

TEST_P(RtComm, ClosedChannelFailsWait)
{
    const fs::path program = buildWithTdc("messages");
    ASSERT_FALSE(program.empty());
    AnswerServer server(false);
    writeFile(dir / "channels.conf", "# channels of the system under test\n\nCMD " + server.address() + "\n");
    const RunResult run = runBuilt(program, {}, {{"QVM_CHANNEL_FILE", (dir / "channels.conf").string()}});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(server.request(), "type 1 size 12");
    EXPECT_THAT(run.out, HasSubstr("channel CMD: the system under test closed the connection"));
}

TEST_P(RtComm, UnreachableTcpFails)
{
    const fs::path program = buildWithTdc("messages");
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {}, {{"QVM_CHANNEL_CMD", "127.0.0.1:1"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("channel CMD: cannot connect to 127.0.0.1:1 (Connection refused)"));
    const RunResult malformed = runBuilt(program, {}, {{"QVM_CHANNEL_CMD", "nowhere"}});
    EXPECT_EQ(malformed.status, 1);
    EXPECT_THAT(malformed.out, HasSubstr("the address \"nowhere\" is not <host>:<port>"));
}

// ---- Testers that meet ------------------------------------------------------------

TEST_P(RtComm, TwoInstancesExchange)
{
    const fs::path program = buildWithTdc("testers", {"testers_A", "testers_B"});
    ASSERT_FALSE(program.empty());
    auto first = std::async(std::launch::async, [&] { return runBuilt(program, {"-INSTANCE=A"}); });
    const RunResult second = runBuilt(program, {"-INSTANCE=B"});
    const RunResult a = first.get();
    EXPECT_EQ(a.status, 0) << a.out << a.err;
    EXPECT_EQ(second.status, 0) << second.out << second.err;
    const std::string rioA = trace("testers_A.rio");
    EXPECT_THAT(rioA, HasSubstr("PASS     #10 testers.pts:4 RENDEZVOUS \"start\" met"));
    EXPECT_THAT(rioA, HasSubstr("PASS     #12 testers.pts:6 INTERRECV \"42\" from \"B_0\""));
    EXPECT_THAT(rioA, HasSubstr("PASS     #15 testers.pts:11 RENDEZVOUS \"end\" met"));
    EXPECT_THAT(trace("testers_B.rio"), HasSubstr("INTERRECV \"hello\" from \"A_0\""));
    // The testers' sockets are gone with them.
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path())) {
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".sock")));
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr(".tester")));
    }
}

TEST_P(RtComm, LonelyRendezvousTimesOut)
{
    const fs::path program = buildWithTdc("testers", {"testers_A"});
    ASSERT_FALSE(program.empty());
    const RunResult run = runBuilt(program, {"-INSTANCE=A"}, {{"QVM_RDV_TIMEOUT", "200"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("RENDEZVOUS \"start\" failed: 1 of 2 testers came within 200 ms"));
}

TEST_P(RtComm, IntersendAbsentTimesOut)
{
    const fs::path program = buildWithTdc("testers", {"testers_A"});
    ASSERT_FALSE(program.empty());
    const RunResult run =
        runBuilt(program, {"-INSTANCE=A"}, {{"QVM_RDV_COUNT", "1"}, {"QVM_TESTER_TIMEOUT", "100"}});
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.out, HasSubstr("INTERSEND to \"B_0\" failed: tester \"B_0\" did not take the message "
                                   "within 100 ms"));
}

INSTANTIATE_TEST_SUITE_P(CC, RtComm, kCompilers, compilerName);

}  // namespace
