// The tracer link of a program built with QVM_DYNFLW: its communication
// events reach the tracer with the element numbers of the tracer structure
// file that the same qvmprepro run wrote.
#include "codegen/test_program_run_support.h"
#include "support/tracer_server.h"

#include <gmock/gmock.h>

#include <map>
#include <regex>

namespace {

namespace fs = std::filesystem;
using qvm::testing::RunResult;
using qvm::testing::TracerServer;
using qvm::testing::program::Compiled;
using qvm::testing::program::ProgramRunTest;
using ::testing::HasSubstr;

const std::string kLoopback = QVM_TESTDATA_DIR "/codegen/program/loopback/";

const std::string kScript = "HEADER \"tracer\", \"1\", \"x\"\n"
                            "#link_t bench_link;\n"
                            "COMMTYPE wire IS link_t\n"
                            "CHANNEL wire : line\n"
                            "MESSAGE ping_t : ping, pong\n"
                            "PROCSEND ping_t : out ON wire : id\n"
                            "  @link_send(id, &out);\n"
                            "END PROCSEND\n"
                            "CALLBACK ping_t : in ON wire : id\n"
                            "  @if (!link_receive(id, &in)) {\n"
                            "  NO_MESSAGE\n"
                            "  @}\n"
                            "  MESSAGE_DATE\n"
                            "END CALLBACK\n"
                            "SCENARIO main\n"
                            "  @bench_link = link_open(\"LINE\");\n"
                            "  ADD_ID(line, bench_link)\n"
                            "  DEF_MESSAGE ping, EV={code => 1, value => 21}\n"
                            "  DEF_MESSAGE pong, EV={code => 2, value => [40 .. 44]}\n"
                            "  SEND(ping, line)\n"
                            "  WAITTIL(MATCHING(pong, line), WTIME > 300)\n"
                            "  RENDEZVOUS meet\n"
                            "END SCENARIO\n";

// The section of the script's own file in a tracer structure file: its
// "ID" line, and the number of each element by its state code and text
// ("383 ping_t", "433 WAITTIL", ...).
struct TracerSection {
    std::string id;
    std::map<std::string, std::string> elements;
};

TracerSection scriptSection(const std::string& tsf)
{
    static const std::regex element(R"re((?:TX|MS) ([0-9]+) "(.*)")re");
    TracerSection section;
    int sections = 0;
    std::string state;
    for (const std::string& line : qvm::testing::lines(tsf)) {
        std::smatch m;
        if (line.rfind("DB ", 0) == 0) {
            ++sections;
        } else if (sections == 2 && line.rfind("ID ", 0) == 0) {
            section.id = line.substr(3);
        } else if (sections == 2 && line.rfind("ST ", 0) == 0) {
            state = line.substr(3);
        } else if (sections == 2 && std::regex_match(line, m, element)) {
            section.elements[state + " " + m[2].str()] = m[1];
        }
    }
    return section;
}

TEST_F(ProgramRunTest, TracerLinkCarriesTheCommunicationEventsWithTheirElements)
{
    qvm::testing::writeFile(dir / "loopback.h", qvm::testing::readFile(kLoopback + "loopback.h"));
    qvm::testing::writeFile(dir / "tr.pts", kScript);
    fs::create_directories(dir / "out");
    const RunResult prepro = qvm::testing::runPrepro({"tr.pts", "loopback.h", "out/tr"}, {}, dir.path());
    ASSERT_EQ(prepro.status, 0) << prepro.err;
    const TracerSection tsf = scriptSection(qvm::testing::readFile(dir / "out" / "tr_dyn.tsf"));
    for (const std::string key : {"383 ping_t", "433 WAITTIL", "380 ...", "433 END MATCHING(pong,line)", "310 meet"}) {
        ASSERT_EQ(tsf.elements.count(key), 1U) << key;
    }

    const Compiled compiled = compile("gcc", {"-DQVM_DYNFLW=1", kLoopback + "sut.c"}, dir / "out" / "tr.c");
    ASSERT_EQ(compiled.compile.status, 0) << compiled.compile.err;
    const fs::path socketPath = dir / "tracer.sock";
    TracerServer tracer(socketPath);
    ASSERT_TRUE(tracer.bound());
    const RunResult run = qvm::testing::runProgram(
        compiled.executable, {"-RIO=tr"},
        {{"QVM_TRACER_SOCKET", socketPath.string()}, {"QVM_RDV_COUNT", "1"}, {"QVM_RUN_QUIET", "1"}}, dir / "out");
    const std::string events = tracer.received();
    EXPECT_EQ(run.status, 0) << run.err << qvm::testing::readFile(dir / "out" / "tr.rio");

    // The file's keys are those of its section; the events follow in the
    // order the statements ran, each with its element and file 1.
    EXPECT_THAT(events, HasSubstr("\nFILE 1 " + tsf.id + "\n"));
    const std::vector<std::string> expected = {
        "SEND " + tsf.elements.at("383 ping_t") + " 1",
        "WAITTIL BEGIN " + tsf.elements.at("433 WAITTIL") + " 1",
        "WAITTIL MESSAGE " + tsf.elements.at("380 ...") + " 1 \"ping_t\"",
        "WAITTIL END " + tsf.elements.at("433 END MATCHING(pong,line)") + " 1 0",
        "RENDEZVOUS " + tsf.elements.at("310 meet") + " 1 0",
        "END 0",
    };
    std::size_t at = 0;
    for (const std::string& event : expected) {
        const std::size_t found = events.find("\n" + event + "\n", at);
        EXPECT_NE(found, std::string::npos) << event << " missing or out of order in:\n" << events;
        at = found == std::string::npos ? at : found + 1;
    }
}

}  // namespace
