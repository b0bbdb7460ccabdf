// Generated programs run against the runtime's in-process system under
// test (tests/data/codegen/program/loopback): VAR and native call checks
// with their values in the trace, SEND, the callback and WAITTIL for real,
// with the time-out branch and an unexpected message, a WAITTIL inside a
// procedure, and the tracer link of the communication statements.
#include "codegen/test_program_run_support.h"
#include "support/tracer_server.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>

#include <map>
#include <regex>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::TracerServer;
using qvm::testing::program::Compiled;
using qvm::testing::program::ProgRun;

const std::string kLoopback = QVM_TESTDATA_DIR "/codegen/program/loopback/";

const std::string kDeclarations = "HEADER \"loop\", \"1\", \"x\"\n"
                                  "#int counter;\n"
                                  "#link_t bench_link;\n"
                                  "COMMTYPE wire IS link_t\n"
                                  "CHANNEL wire : line\n"
                                  "MESSAGE ping_t : ping, pong, oddity\n"
                                  "PROCSEND ping_t : out ON wire : id\n"
                                  "  @link_send(id, &out);\n"
                                  "END PROCSEND\n"
                                  "CALLBACK ping_t : in ON wire : id\n"
                                  "  @if (!link_receive(id, &in)) {\n"
                                  "  NO_MESSAGE\n"
                                  "  @}\n"
                                  "  MESSAGE_DATE\n"
                                  "END CALLBACK\n";

class Loopback : public ProgRun {
protected:
    // The script generated with the real numbering, compiled with the
    // system under test, run; the trace is in trace.
    RunResult run(const std::string& statements, const std::string& procedures = {},
                  const std::string& compiler = "gcc")
    {
        writersNumber = true;
        const std::string interface = qvm::testing::readFile(kLoopback + "loopback.h");
        qvm::testing::writeFile(dir / "loopback.h", interface);
        qvm::codegen::ProgramOptions o = options();
        o.traceLevel = 0;  // every trace line
        const std::string program =
            generate(kDeclarations + procedures + "SCENARIO main\n" + statements + "END SCENARIO\n", o, {}, interface);
        EXPECT_FALSE(program.empty());
        const qvm::testing::program::Compiled compiled = compile(compiler, {kLoopback + "sut.c"});
        EXPECT_EQ(compiled.compile.status, 0) << compiled.compile.err;
        compileErrors = compiled.compile.err;
        std::filesystem::remove(dir / "prog.rio");
        RunResult result = qvm::testing::runProgram(compiled.executable, {}, {{"QVM_RUN_QUIET", "1"}}, dir.path());
        trace = std::filesystem::exists(dir / "prog.rio") ? qvm::testing::readFile(dir / "prog.rio") : std::string();
        return result;
    }

    std::string compileErrors;  // what the compiler of the last run printed
};

TEST_F(Loopback, VarChecksPassAndFail)
{
    EXPECT_EQ(run("  VAR counter, INIT=5\n  VAR counter, EV=5\n").status, 0) << trace;
    const RunResult failed = run("  VAR counter, INIT=5\n  VAR counter, EV=6\n");
    EXPECT_EQ(failed.status, 1) << trace;
    EXPECT_THAT(trace, HasSubstr("expected 6 actual 5 FAILED"));
}

TEST_F(Loopback, NativeCallsCheckTheirResult)
{
    EXPECT_EQ(run("  CALL add(2, 3) @ 5\n").status, 0) << trace;
    EXPECT_THAT(trace, HasSubstr("expected 5 actual 5 ok"));
    EXPECT_EQ(run("  CALL add(2, 3) @ 6\n").status, 1) << trace;
    EXPECT_THAT(trace, HasSubstr("expected 6 actual 5 FAILED"));
}

const std::string kExchange = "  @bench_link = link_open(\"LINE\");\n"
                              "  ADD_ID(line, bench_link)\n"
                              "  DEF_MESSAGE ping, EV={code => PING_CODE, value => 21}\n"
                              "  DEF_MESSAGE pong, EV={code => 2, value => [40 .. 44]}\n"
                              "  SEND(ping, line)\n"
                              "  WAITTIL(MATCHING(pong, line), WTIME > 300)\n"
                              "  IF (MATCHED(pong, line)) THEN\n"
                              "    COMMENT: answered\n"
                              "  ELSE\n"
                              "    ERROR\n"
                              "  END IF\n";

std::string withPing(int code)
{
    std::string script = kExchange;
    script.replace(script.find("PING_CODE"), 9, std::to_string(code));
    return script;
}

TEST_F(Loopback, AnswerToASendIsAwaited)
{
    const RunResult answered = run(withPing(1));
    EXPECT_EQ(answered.status, 0) << answered.err << trace;
    EXPECT_THAT(trace, HasSubstr("reference [40 .. 44] received 42 same"));
    EXPECT_THAT(trace, HasSubstr("WAITTIL condition met"));
    EXPECT_THAT(trace, HasSubstr("COMMENT"));
    EXPECT_THAT(trace, Not(HasSubstr("FAIL"))) << trace;

    // The same SEND before any ADD_ID reaches nobody: a failure, not a pass.
    std::string unconnected = withPing(1);
    unconnected.erase(unconnected.find("  ADD_ID"), std::string("  ADD_ID(line, bench_link)\n").size());
    EXPECT_EQ(run(unconnected).status, 1) << trace;
    EXPECT_THAT(trace, HasSubstr("SEND sent nothing: its channel has no connection identifier (ADD_ID)"));
}

// The system under test ignores a ping of code 3: the time-out branch.
TEST_F(Loopback, NoMessageEndsAtTimeOut)
{
    const RunResult silent = run(withPing(3));
    EXPECT_EQ(silent.status, 1) << trace;
    EXPECT_THAT(trace, HasSubstr("WAITTIL failure condition met"));
    EXPECT_THAT(trace, Not(HasSubstr("RECEIVE")));
}

// A ping of code 9 is answered by a message that matches no definition.
TEST_F(Loopback, AnUnexpectedMessageDoesNotMatch)
{
    const RunResult other = run(withPing(9));
    EXPECT_EQ(other.status, 1) << trace;
    EXPECT_THAT(trace, HasSubstr("reference 2 received 99 differs"));
    EXPECT_THAT(trace, HasSubstr("WAITTIL failure condition met"));
}

// Faults of the system under test are failing verdicts of the WAITTIL that
// reads, which then ends by its time-out: the callback reads no message.
TEST_F(Loopback, SystemFaultsAreVerdicts)
{
    const std::map<int, std::string> faults = {
        {5, "channel LINE: short message of type 1: 4 bytes where 8 are expected"},
        {6, "channel LINE: oversized message: 2147483643 bytes, the limit is 65536"},
        {7, "channel LINE: the system under test closed the connection"}};
    for (const auto& [code, verdict] : faults) {
        const RunResult faulty = run(withPing(code));
        EXPECT_EQ(faulty.status, 1) << code << "\n" << trace;
        EXPECT_THAT(trace, HasSubstr(verdict)) << code;
        EXPECT_THAT(trace, HasSubstr("WAITTIL failure condition met")) << code;
    }
}

// A WAITTIL inside a procedure waits as long as the procedure's parameter
// says, and its condition reads the procedure's own variable.
const std::string kAwait = "PROC await (int limit)\n"
                           "  #int enough;\n"
                           "  @enough = limit > 1000;\n"
                           "  WAITTIL(MATCHING(pong, line) || enough, WTIME > limit)\n"
                           "END PROC\n";

std::string awaiting(int code, int limit)
{
    return "  @bench_link = link_open(\"LINE\");\n"
           "  ADD_ID(line, bench_link)\n"
           "  DEF_MESSAGE ping, EV={code => " + std::to_string(code) + ", value => 21}\n"
           "  DEF_MESSAGE pong, EV={code => 2, value => 42}\n"
           "  SEND(ping, line)\n"
           "  CALL await(" + std::to_string(limit) + ")\n";
}

// The waited time, to the microsecond, of a failed wait; a wait that a
// variable of the condition ended at once (well under its 2000 ms limit,
// even on a loaded machine under the sanitizers).
const std::regex kFailedAfter("WAITTIL failure condition met after ([0-9]+)\\.[0-9]{3} ms");
const std::regex kMetAtOnce("WAITTIL condition met after [0-9]{1,3}\\.[0-9]{3} ms: "
                            "(condition true without a message|no message ended the wait)");

TEST_F(Loopback, WaitInProcSeesParams)
{
    EXPECT_EQ(run(awaiting(1, 300), kAwait).status, 0) << trace;
    EXPECT_THAT(trace, HasSubstr("WAITTIL condition met"));
    // Never answered: the wait ends at the parameter's limit.
    EXPECT_EQ(run(awaiting(3, 60), kAwait).status, 1) << trace;
    std::smatch waited;
    ASSERT_TRUE(std::regex_search(trace, waited, kFailedAfter)) << trace;
    EXPECT_GE(std::stoi(waited[1]), 60);
    EXPECT_LT(std::stoi(waited[1]), 300);
    // Never answered, but the procedure's variable ends the wait at once.
    EXPECT_EQ(run(awaiting(3, 5000), kAwait).status, 0) << trace;
    EXPECT_TRUE(std::regex_search(trace, kMetAtOnce)) << trace;
}

// Each wait ends by the value of a variable of the block that holds it:
// the system under test never answers a ping of code 3, so a condition
// that did not see its variable would wait until its time-out. The
// sub-scenario's counter hides the global counter, which stays 0.
const std::string kBlockWaits = "  INITIALIZATION\n"
                                "    #int armed;\n"
                                "    @armed = 1;\n"
                                "    @bench_link = link_open(\"LINE\");\n"
                                "    ADD_ID(line, bench_link)\n"
                                "    DEF_MESSAGE ping, EV={code => 3, value => 21}\n"
                                "    DEF_MESSAGE pong, EV={code => 2, value => 42}\n"
                                "    SEND(ping, line)\n"
                                "    WAITTIL(MATCHING(pong, line) || armed, WTIME > 2000)\n"
                                "  END INITIALIZATION\n"
                                "  TERMINATION\n"
                                "    #char done[2];\n"
                                "    @done[0] = 'y';\n"
                                "    WAITTIL(MATCHING(pong, line) || done[0] == 'y', WTIME > 2000)\n"
                                "  END TERMINATION\n"
                                "  EXCEPTION\n"
                                "    #unsigned caught;\n"
                                "    @caught = 2000;\n"
                                "    WAITTIL(MATCHING(pong, line), WTIME > 2000 - caught)\n"
                                "  END EXCEPTION\n"
                                "  SCENARIO passing\n"
                                "    #int counter;\n"
                                "    #typedef short level_t;\n"
                                "    #level_t level;\n"
                                "    #enum { IDLE, BUSY } state;\n"
                                "    @counter = 4;\n"
                                "    @level = 1;\n"
                                "    @state = BUSY;\n"
                                "    WAITTIL(MATCHING(pong, line) || counter == 4, WTIME > 2000)\n"
                                "    IF (level) THEN\n"
                                "      WAITTIL(MATCHING(pong, line) || (level == 1 && state == BUSY), WTIME > 2000)\n"
                                "    END IF\n"
                                "  END SCENARIO\n"
                                "  SCENARIO failing\n"
                                "    ERROR\n"
                                "  END SCENARIO\n";

TEST_F(Loopback, WaitsSeeTheirVariables)
{
    for (const std::string compiler : {"gcc", "clang"}) {
        EXPECT_EQ(run(kBlockWaits, {}, compiler).status, 1) << compiler << trace;  // the failing scenario
        EXPECT_THAT(compileErrors, ::testing::IsEmpty()) << compiler;
        // The initialisation runs before each sub-scenario.
        const auto metAtOnce = std::distance(std::sregex_iterator(trace.begin(), trace.end(), kMetAtOnce),
                                             std::sregex_iterator());
        EXPECT_EQ(metAtOnce, 5) << compiler << trace;
        // The exception block's time-out is its variable's doing: at once.
        std::smatch waited;
        ASSERT_TRUE(std::regex_search(trace, waited, kFailedAfter)) << compiler << trace;
        EXPECT_LT(std::stoi(waited[1]), 1000) << compiler;
    }
}

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

// Built with QVM_DYNFLW, the program sends its communication events to the
// tracer with the element numbers of the tracer structure file that the
// same qvmprepro run wrote.
TEST_F(Loopback, TracerLinkEvents)
{
    qvm::testing::writeFile(dir / "loopback.h", qvm::testing::readFile(kLoopback + "loopback.h"));
    qvm::testing::writeFile(dir / "tr.pts",
                            kDeclarations + "SCENARIO main\n" + withPing(1) + "  RENDEZVOUS meet\nEND SCENARIO\n");
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
