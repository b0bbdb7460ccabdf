// What a CI server gets from a generated program: -LIST, -SCN= and -EXSCN=
// over its scenarios at run time (with the blocks of a level run for the
// selected child), JUnit XML that a schema accepts (also from a run the
// time limit stops), and from qvm_add_test_script(SCENARIO_TESTS JUNIT)
// one CTest test per leaf scenario, labelled by family.
#include "driver/example_programs.h"
#include "support/process.h"
#include "support/run_prelude.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace qvm::testing::run_prelude;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::traceLines;

const std::string kData = QVM_TESTDATA_DIR "/driver/scenarios";
const std::string kSchema = QVM_TESTDATA_DIR "/driver/junit.xsd";

bool haveXmllint()
{
    return runProgram("sh", {"-c", "command -v xmllint"}).status == 0;
}

// The schema's verdict on the file: "" when it is valid.
std::string schemaProblems(const fs::path& file)
{
    const RunResult check = runProgram("xmllint", {"--noout", "--schema", kSchema, file.string()});
    return check.status == 0 ? std::string() : check.out + check.err;
}

struct SelectionRun {
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> scenarioLines;  // begin, skipped and block lines of the trace
    std::vector<std::string> junit;          // what the JUnit file holds
};

TEST(ScenarioResults, SelectionListJUnit)
{
    if (!haveXmllint()) {
        GTEST_SKIP() << "xmllint is not installed (package libxml2-utils): the JUnit files cannot be validated";
    }
    ExampleProgram program({"scenarios", kData});
    ASSERT_FALSE(program.generate().empty());
    const fs::path out = program.dir / "out";
    const std::vector<SelectionRun> runs = {
        // The INITIALIZATION of the level runs for the selected child (twice:
        // it repeats), the child left out is skipped with its blocks; the
        // JUnit file lists the leaves selected only.
        {{"-SCN=motors.stop"},
         1,
         {"SCENARIO skipped \"motors.start\"", "BLOCK INITIALIZATION begin", "SCENARIO begin \"stop\"",
          "BLOCK INITIALIZATION begin", "SCENARIO begin \"stop\"", "SCENARIO skipped \"labels\"",
          "SCENARIO skipped \"hang\""},
         {"<testcase name=\"motors.stop\" classname=\"scenarios.smoke\"", "expected 1 actual 2",
          "tests=\"1\" failures=\"1\" errors=\"0\" skipped=\"0\""}},
        // A selected ancestor takes its descendants; lower case option names.
        {{"-scn=motors", "-junit=ignored.xml"},
         1,
         {},
         {"<testcase name=\"motors.start\" classname=\"scenarios.smoke\"", "tests=\"2\""}},
        {{"-EXSCN=motors,hang"},
         1,
         {"SCENARIO skipped \"motors\"", "SCENARIO begin \"odd\"", "SCENARIO skipped \"hang\"",
          "SCENARIO begin \"late\""},
         {"classname=\"scenarios.nightly\"", "actual &quot;a&lt;b&amp;c\\x01\\xFF&quot;",
          "scenarios.pts:19: VAR: 1 of 1 values failed", "tests=\"2\" failures=\"1\" errors=\"0\" skipped=\"0\""}},
    };
    for (const std::string compiler : {"gcc", "clang"}) {
        SCOPED_TRACE(compiler);
        const RunResult built = program.build(compiler);
        ASSERT_EQ(built.status, 0) << built.err;
        EXPECT_THAT(built.err, IsEmpty());
        const std::string executable = program.executable(compiler).string();

        const RunResult listed = runProgram(executable, {"-LIST"}, {}, out);
        EXPECT_EQ(listed.status, 0) << listed.err;
        EXPECT_EQ(listed.out, "motors\tgroup\tsmoke\tscenarios.pts:4\n"
                              "motors.start\tleaf\tsmoke\tscenarios.pts:9\n"
                              "motors.stop\tleaf\tsmoke\tscenarios.pts:12\n"
                              "labels\tgroup\tnightly,slow\tscenarios.pts:16\n"
                              "labels.odd\tleaf\tnightly,slow\tscenarios.pts:18\n"
                              "hang\tleaf\t-\tscenarios.pts:22\n"
                              "late\tleaf\t-\tscenarios.pts:25\n");
        EXPECT_THAT(runProgram(executable, {"-LIST", "-EXSCN=motors,hang,late"}, {}, out).out,
                    "labels\tgroup\tnightly,slow\tscenarios.pts:16\n"
                    "labels.odd\tleaf\tnightly,slow\tscenarios.pts:18\n");

        for (const SelectionRun& run : runs) {
            SCOPED_TRACE(run.arguments.front());
            fs::remove(out / "sel.rio");
            fs::remove(out / "sel.xml");
            std::vector<std::string> arguments = {"-RIO=sel"};
            arguments.insert(arguments.end(), run.arguments.begin(), run.arguments.end());
            const RunResult result =
                runProgram(executable, arguments, {{"QVM_RUN_QUIET", "1"}, {"QVM_JUNIT_FILE", "sel.xml"}}, out);
            EXPECT_EQ(result.status, run.status) << result.err;
            const std::string trace = readFile(out / "sel.rio");
            std::vector<std::string> seen;
            for (const std::string kind : {"SCENARIO", "BLOCK"}) {
                for (const std::string& line : traceLines(trace, kind)) {
                    if (line.find("begin") != std::string::npos || line.find("skipped") != std::string::npos) {
                        seen.push_back(line);
                    }
                }
            }
            for (const std::string& expected : run.scenarioLines) {
                EXPECT_THAT(seen, Contains(AllOf(HasSubstr(expected.substr(0, expected.find(' '))),
                                                 HasSubstr(expected.substr(expected.find(' ') + 1)))))
                    << trace;
            }
            // -JUNIT= wins over QVM_JUNIT_FILE.
            const fs::path junit = out / (fs::exists(out / "ignored.xml") ? "ignored.xml" : "sel.xml");
            ASSERT_TRUE(fs::exists(junit));
            EXPECT_EQ(schemaProblems(junit), "");
            for (const std::string& part : run.junit) {
                EXPECT_THAT(readFile(junit), HasSubstr(part));
            }
            fs::remove(out / "ignored.xml");
        }

        // A name that is no scenario of the program, both lists, or nothing
        // left: nothing runs, status 4.
        for (const auto& [arguments, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
                 {{"-SCN=motors.spin"}, "-SCN=motors.spin: the program has no scenario of that name"},
                 {{"-SCN=motors", "-EXSCN=hang"}, "-SCN= and -EXSCN= cannot be used together"},
                 {{"-EXSCN=motors,labels,hang,late"}, "no scenario of the program is left to run"},
                 {{"-SCN=motors,"}, "needs a scenario name before and after each comma"},
                 {{"-JUNIT="}, "-JUNIT= needs a file name"}}) {
            const RunResult refused = runProgram(executable, arguments, {}, out);
            EXPECT_EQ(refused.status, 4) << arguments.front();
            EXPECT_THAT(refused.err, HasSubstr(message));
        }

        // The time limit stops the run in "hang": the guard writes the file,
        // where "late", selected but never reached, is skipped; a tester name with markup, a control character and a byte that
        // is no UTF-8 is written so that XML holds it.
        fs::remove(out / "stopped.xml");
        const RunResult stopped = runProgram(executable, {"-RIO=t<&\x01\xff", "-SCN=hang,late", "-JUNIT=stopped.xml"},
                                             {{"QVM_RUN_QUIET", "1"}, {"QVM_SCENARIO_LIMIT", "200"}}, out);
        EXPECT_EQ(stopped.status, 3) << stopped.err;
        ASSERT_TRUE(fs::exists(out / "stopped.xml"));
        EXPECT_EQ(schemaProblems(out / "stopped.xml"), "");
        const std::string text = readFile(out / "stopped.xml");
        EXPECT_THAT(text, HasSubstr("<property name=\"tester\" value=\"t&lt;&amp;\\x01\\xFF.rio_0\"/>"));
        EXPECT_THAT(text, HasSubstr("type=\"stopped\">the run stopped: "));
        EXPECT_THAT(text, HasSubstr("scenario time limit of 200 ms reached"));
        EXPECT_THAT(text, HasSubstr("tests=\"2\" failures=\"1\" errors=\"0\" skipped=\"1\""));
        EXPECT_THAT(text, HasSubstr("<testcase name=\"late\""));
        for (const fs::directory_entry& left : fs::directory_iterator(out)) {
            EXPECT_THAT(left.path().string(), Not(HasSubstr(".tmp"))) << "temporary JUnit file left behind";
        }
    }
}

const char* const kProject = R"(cmake_minimum_required(VERSION 3.20)
project(scenario_tests LANGUAGES C)
enable_testing()
find_package(QvmPrepro REQUIRED)
qvm_add_test_script(TARGET sel SCRIPT scenarios.pts INTERFACES scenarios.h SOURCES scenarios_sut.c
                    SCENARIO_TESTS JUNIT)
)";

TEST(ScenarioResults, OneCTestPerLeafScenario)
{
    TempDir project;
    TempDir build;
    for (const char* file : {"scenarios.pts", "scenarios.h", "scenarios_sut.c"}) {
        fs::copy_file(fs::path(kData) / file, project / file);
    }
    // The scenario that hangs is not one to run here.
    writeFile(project / "scenarios.pts", readFile(project / "scenarios.pts").substr(
                                             0, readFile(project / "scenarios.pts").find("SCENARIO hang")));
    writeFile(project / "CMakeLists.txt", kProject);
    const RunResult configure = runProgram("cmake", {"-G", "Ninja", "-S", project.path().string(), "-B",
                                                     build.path().string(), std::string("-DQvmPrepro_DIR=") + QVM_BINARY_DIR});
    ASSERT_EQ(configure.status, 0) << configure.out << configure.err;
    const RunResult built = runProgram("cmake", {"--build", build.path().string(), "-j2"});
    ASSERT_EQ(built.status, 0) << built.out << built.err;

    const RunResult listed = runProgram("ctest", {"-N"}, {}, build.path());
    EXPECT_THAT(listed.out, AllOf(HasSubstr("sel.motors.start"), HasSubstr("sel.motors.stop"),
                                  HasSubstr("sel.labels.odd"), HasSubstr("Total Tests: 3")));
    const RunResult smoke = runProgram("ctest", {"-L", "smoke"}, {}, build.path());
    EXPECT_THAT(smoke.out, AllOf(HasSubstr("sel.motors.start"), HasSubstr("sel.motors.stop"),
                                 Not(HasSubstr("sel.labels.odd")), HasSubstr("1 tests failed out of 2")));
    const RunResult slow = runProgram("ctest", {"-L", "slow"}, {}, build.path());
    EXPECT_THAT(slow.out, AllOf(HasSubstr("sel.labels.odd"), HasSubstr("out of 1")));

    const fs::path junit = build / "sel" / "junit" / "sel.motors.start.xml";
    ASSERT_TRUE(fs::exists(junit));
    EXPECT_THAT(readFile(junit), HasSubstr("<testcase name=\"motors.start\" classname=\"scenarios.smoke\" "));
    if (haveXmllint()) {
        EXPECT_EQ(schemaProblems(junit), "");
    }
    EXPECT_TRUE(fs::exists(build / "sel" / "sel.motors.start.rio"));
}

}  // namespace
