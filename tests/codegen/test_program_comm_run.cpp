// Generated programs run against the runtime's in-process system under
// test (tests/data/codegen/program/loopback): VAR and native call checks
// with their values in the trace, and SEND, the callback and WAITTIL for
// real, with the time-out branch and an unexpected message.
#include "codegen/test_program_run_support.h"

#include <gmock/gmock.h>

#include <regex>

namespace {

using qvm::testing::RunResult;
using qvm::testing::program::ProgramRunTest;
using ::testing::HasSubstr;
using ::testing::Not;

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

class LoopbackRunTest : public ProgramRunTest {
protected:
    // The script generated with the real numbering, compiled with the
    // system under test, run; the trace is in trace.
    RunResult run(const std::string& statements, const std::string& procedures = {})
    {
        writersNumber = true;
        const std::string interface = qvm::testing::readFile(kLoopback + "loopback.h");
        qvm::testing::writeFile(dir / "loopback.h", interface);
        qvm::codegen::ProgramOptions o = options();
        o.traceLevel = 0;  // every trace line
        const std::string program =
            generate(kDeclarations + procedures + "SCENARIO main\n" + statements + "END SCENARIO\n", o, {}, interface);
        EXPECT_FALSE(program.empty());
        const qvm::testing::program::Compiled compiled = compile("gcc", {kLoopback + "sut.c"});
        EXPECT_EQ(compiled.compile.status, 0) << compiled.compile.err;
        std::filesystem::remove(dir / "prog.rio");
        RunResult result = qvm::testing::runProgram(compiled.executable, {}, {{"QVM_RUN_QUIET", "1"}}, dir.path());
        trace = std::filesystem::exists(dir / "prog.rio") ? qvm::testing::readFile(dir / "prog.rio") : std::string();
        return result;
    }
};

TEST_F(LoopbackRunTest, VarChecksPassAndFailWithTheirValues)
{
    EXPECT_EQ(run("  VAR counter, INIT=5\n  VAR counter, EV=5\n").status, 0) << trace;
    const RunResult failed = run("  VAR counter, INIT=5\n  VAR counter, EV=6\n");
    EXPECT_EQ(failed.status, 1) << trace;
    EXPECT_THAT(trace, HasSubstr("expected 6 actual 5 FAILED"));
}

TEST_F(LoopbackRunTest, NativeCallsCheckTheirResult)
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

TEST_F(LoopbackRunTest, TheAnswerToASentMessageIsAwaited)
{
    const RunResult answered = run(withPing(1));
    EXPECT_EQ(answered.status, 0) << answered.err << trace;
    EXPECT_THAT(trace, HasSubstr("reference [40 .. 44] received 42 same"));
    EXPECT_THAT(trace, HasSubstr("WAITTIL condition met"));
    EXPECT_THAT(trace, HasSubstr("COMMENT"));
    EXPECT_THAT(trace, Not(HasSubstr("FAIL"))) << trace;
}

// The system under test ignores a ping of code 3: the time-out branch.
TEST_F(LoopbackRunTest, AMessageThatNeverComesEndsTheWaitAtItsTimeOut)
{
    const RunResult silent = run(withPing(3));
    EXPECT_EQ(silent.status, 1) << trace;
    EXPECT_THAT(trace, HasSubstr("WAITTIL failure condition met"));
    EXPECT_THAT(trace, Not(HasSubstr("RECEIVE")));
}

// A ping of code 9 is answered by a message that matches no definition.
TEST_F(LoopbackRunTest, AnUnexpectedMessageDoesNotMatch)
{
    const RunResult other = run(withPing(9));
    EXPECT_EQ(other.status, 1) << trace;
    EXPECT_THAT(trace, HasSubstr("reference 2 received 99 differs"));
    EXPECT_THAT(trace, HasSubstr("WAITTIL failure condition met"));
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

TEST_F(LoopbackRunTest, AWaitInAProcedureSeesTheProcedureParameterAndVariables)
{
    EXPECT_EQ(run(awaiting(1, 300), kAwait).status, 0) << trace;
    EXPECT_THAT(trace, HasSubstr("WAITTIL condition met"));
    // Never answered: the wait ends at the parameter's limit.
    EXPECT_EQ(run(awaiting(3, 60), kAwait).status, 1) << trace;
    std::smatch waited;
    ASSERT_TRUE(std::regex_search(trace, waited, std::regex("WAITTIL failure condition met after ([0-9]+) ms")))
        << trace;
    EXPECT_GE(std::stoi(waited[1]), 60);
    EXPECT_LT(std::stoi(waited[1]), 300);
    // Never answered, but the procedure's variable ends the wait at once.
    EXPECT_EQ(run(awaiting(3, 5000), kAwait).status, 0) << trace;
    EXPECT_THAT(trace, HasSubstr("WAITTIL condition met after 0 ms"));
}

}  // namespace
