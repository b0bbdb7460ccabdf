// Testers that meet. door_controller's two cars when one of them never
// comes: the tester that runs alone fails its rendezvous by the time-out,
// its messages to the other car and the messages it waits for, and ends
// with status 1; every scenario that needs no partner still passes. (Both
// cars together pass: test_examples_run.cpp.) Three testers of one program
// that find each other by instance name and meet where the script makes
// them meet, with no setting in the environment.
#include "driver/example_programs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

namespace {

using qvm::testing::EnvChanges;
using qvm::testing::RunResult;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::TesterRun;
using qvm::testing::examples::traceLines;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// Short waits for the partner, so that the lonely tester gives up soon.
const EnvChanges kShortWaits = {{"QVM_RDV_TIMEOUT", "300"}, {"QVM_TESTER_TIMEOUT", "300"}};

class LonelyCar : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(program.generate().empty()); }

    void build(const std::vector<std::string>& defines)
    {
        const RunResult built = program.build("gcc", defines);
        ASSERT_EQ(built.status, 0) << built.err;
        ASSERT_THAT(built.err, IsEmpty());
    }

    // The failures of the cooperation scenario, without their numbers and
    // positions; every other scenario must have passed.
    static std::vector<std::string> cooperationFailures(const std::string& trace)
    {
        std::vector<std::string> found;
        for (const std::string& line : traceLines(trace, "FAIL")) {
            EXPECT_THAT(line, HasSubstr("in scenario \"cooperation_between_cars\"")) << line;
            const std::size_t text = line.find(' ', line.find(".pts:"));
            found.push_back(line.substr(text + 1, line.find(" in scenario") - text - 1));
        }
        return found;
    }

    ExampleProgram program{"door_controller"};
};

// A debug build goes on after each failure: every statement that needs
// the other car reports it.
TEST_F(LonelyCar, DebugBuildFailsEachExchange)
{
    build({"-DTRV_OSTREL_DEBUG"});
    const TesterRun run = program.run("gcc", "car_a", kShortWaits);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(cooperationFailures(run.trace),
                ElementsAre("INTERSEND to \"car_b_0\" failed: tester \"car_b_0\" did not take the message within 300 ms "
                            "(testers running: car_a_0)",
                            "INTERSEND to \"car_b_0\" failed: tester \"car_b_0\" did not take the message within 300 ms "
                            "(testers running: car_a_0)",
                            "RENDEZVOUS \"cars_ready\" failed: 1 of 2 testers came within 300 ms (missing: car_b)",
                            "INTERRECV failed: no message came within 300 ms",
                            "INTERRECV failed: no message came within 300 ms",
                            "VAR: 1 of 1 values failed, first \"peer_news\" expected \"car B right doors released\" actual \"\"",
                            "VAR: 1 of 1 values failed, first \"peer_doors\" expected 240 actual 0"))
        << run.trace;
    EXPECT_THAT(run.trace, HasSubstr("end \"cooperation_between_cars\" repetition 1 FAILED"));
    EXPECT_THAT(run.trace, HasSubstr("RUN      end car_a_0: FAILED - scenarios 20 (17 passed, 3 failed)"));
}

// A release build stops the scenario at its first failure; the other car,
// started alone too, fails the same way on its own.
TEST_F(LonelyCar, ReleaseStopsAtFirstFailure)
{
    build({});
    const TesterRun run = program.run("gcc", "car_b", kShortWaits);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(cooperationFailures(run.trace),
                ElementsAre("INTERSEND to \"car_a_0\" failed: tester \"car_a_0\" did not take the message within "
                            "300 ms (testers running: car_b_0)"))
        << run.trace;
    EXPECT_THAT(traceLines(run.trace, "RENDEZVOUS"), IsEmpty());
    EXPECT_THAT(run.trace, AllOf(HasSubstr("end \"identity\" repetition 1 passed"),
                                 HasSubstr("RUN      end car_b_0: FAILED")));
}

// relay: master, node_a and node_b pass a token round by instance name
// ("node_a") and by tester name ("master_0"), and meet at three
// rendezvous: one in a procedure called in an IF, one for master and
// node_b only, one for all. Started together, with generous time-outs
// for a loaded machine.
class Relay : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(program.generate().empty());
        const RunResult built = program.build("gcc");
        ASSERT_EQ(built.status, 0) << built.err;
        ASSERT_THAT(built.err, IsEmpty());
    }

    ExampleProgram program{{"relay", std::string(QVM_TESTDATA_DIR) + "/driver/relay"}};
};

TEST_F(Relay, ThreeTestersMeet)
{
    const EnvChanges generous = {{"QVM_RDV_TIMEOUT", "120000"}, {"QVM_TESTER_TIMEOUT", "120000"}};
    const std::vector<TesterRun> runs = program.runSideBySide("gcc", {"master", "node_a", "node_b"}, generous);
    for (const TesterRun& run : runs) {
        EXPECT_EQ(run.status, 0) << run.instance << "\n" << run.trace;
        EXPECT_THAT(traceLines(run.trace, "FAIL"), IsEmpty()) << run.instance;
    }
    EXPECT_THAT(runs[0].trace, AllOf(HasSubstr("INTERSEND \"token from master\" to \"node_a\" (tester node_a_0)"),
                                     HasSubstr("INTERRECV \"token from node_b\" from \"node_b_0\""),
                                     HasSubstr("RENDEZVOUS \"pair\" met")));
    EXPECT_THAT(runs[1].trace, Not(HasSubstr("\"pair\"")));
    EXPECT_THAT(runs[2].trace, HasSubstr("RENDEZVOUS \"done\" met"));
}

// A destination that is neither a tester nor an instance of the script
// fails at once, naming the testers there; a rendezvous names the
// instances that did not come.
TEST_F(Relay, MisnamedDestinationFails)
{
    const auto start = std::chrono::steady_clock::now();
    const TesterRun run = program.run(
        "gcc", "master", {{"RELAY_TYPO", "1"}, {"QVM_TESTER_TIMEOUT", "120000"}, {"QVM_RDV_TIMEOUT", "300"}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> failures = traceLines(run.trace, "FAIL");
    ASSERT_EQ(failures.size(), 2U) << run.trace;
    EXPECT_THAT(failures[0], HasSubstr("INTERSEND to \"nod_a\" failed: no tester is named \"nod_a\" and the script "
                                       "declares no instance of that name (testers running: master_0)"));
    EXPECT_THAT(failures[1], HasSubstr("RENDEZVOUS \"all_here\" failed: 1 of 3 testers came within 300 ms "
                                       "(missing: node_a, node_b)"));
}

}  // namespace
