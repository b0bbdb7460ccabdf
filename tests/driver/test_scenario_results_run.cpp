// What a CI server gets from a generated program: -LIST, -SCN= and -EXSCN=
// over its scenarios at run time (with the blocks of a level run for the
// selected child), a command line read in any order and refused whole when
// wrong, JUnit XML that a schema accepts and that lists the scenarios
// selected (also from a run the time limit stops), and from
// qvm_add_test_script(SCENARIO_TESTS JUNIT) one CTest test per leaf
// scenario, labelled by family.
#include "driver/example_programs.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using qvm::testing::readFile;
using qvm::testing::RunResult;
using qvm::testing::runProgram;
using qvm::testing::TempDir;
using qvm::testing::writeFile;
using qvm::testing::examples::ExampleProgram;
using qvm::testing::examples::traceLines;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

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
    std::vector<std::string> traced;  // "<kind> <text>": a trace line of that kind holds the text
    std::vector<std::string> junit;   // what the JUnit file holds
    std::vector<std::string> notInJunit = {};
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
        // it repeats), the child left out is skipped with its blocks, and the
        // JUnit file lists only the leaf selected. Options in any order.
        {{"-SCN=motors.stop", "-OCCID=3", "ab", "-SCENARIO_LIMIT=60000", "-RIO=sel"},
         1,
         {"SCENARIO skipped \"motors.start\"", "BLOCK INITIALIZATION begin", "SCENARIO begin \"stop\"",
          "BLOCK INITIALIZATION begin", "SCENARIO begin \"stop\"", "SCENARIO skipped \"labels\"",
          "SCENARIO skipped \"hang\"", "RUN begin tester \"sel.rio_3\"", "FILTER active \"AB\""},
         {"<testcase name=\"motors.stop\" classname=\"scenarios.smoke\"", "expected 1 actual 2",
          "tests=\"1\" failures=\"1\" errors=\"0\" skipped=\"0\""},
         {"motors.start", "<skipped"}},
        // A selected ancestor takes its descendants; lower case option names.
        {{"-RIO=sel", "-scn=motors", "-junit=ignored.xml"},
         1,
         {},
         {"<testcase name=\"motors.start\" classname=\"scenarios.smoke\"", "tests=\"2\""},
         {"labels.odd"}},
        {{"-EXSCN=motors,hang", "-RIO=sel"},
         1,
         {"SCENARIO skipped \"motors\"", "SCENARIO begin \"odd\"", "SCENARIO skipped \"hang\""},
         {"classname=\"scenarios.nightly\"", "actual &quot;a&lt;b&amp;c\\x01\\xFF&quot;",
          "scenarios.pts:19: VAR: 1 of 1 values failed", "tests=\"2\" failures=\"1\" errors=\"0\" skipped=\"0\""},
         {"motors.st", "hang"}},
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
        EXPECT_THAT(runProgram(executable, {"-EXSCN=motors,hang,late", "-RIO=x", "-LIST"}, {}, out).out,
                    "labels\tgroup\tnightly,slow\tscenarios.pts:16\n"
                    "labels.odd\tleaf\tnightly,slow\tscenarios.pts:18\n");

        for (const SelectionRun& run : runs) {
            SCOPED_TRACE(run.arguments.front());
            fs::remove(out / "sel.rio");
            fs::remove(out / "sel.xml");
            const RunResult result =
                runProgram(executable, run.arguments, {{"QVM_RUN_QUIET", "1"}, {"QVM_JUNIT_FILE", "sel.xml"}}, out);
            EXPECT_EQ(result.status, run.status) << result.err;
            const std::string trace = readFile(out / "sel.rio");
            std::vector<std::string> seen;
            for (const std::string kind : {"SCENARIO", "BLOCK", "RUN", "FILTER"}) {
                for (const std::string& line : traceLines(trace, kind)) {
                    seen.push_back(line);
                }
            }
            for (const std::string& expected : run.traced) {
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
            for (const std::string& part : run.notInJunit) {
                EXPECT_THAT(readFile(junit), Not(HasSubstr(part)));
            }
            fs::remove(out / "ignored.xml");
        }

        // A name that is no scenario of the program, both lists, nothing
        // left, an unknown or repeated option, a wrong value: nothing runs,
        // status 4, the reason and the usage.
        for (const auto& [arguments, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
                 {{"-SCN=motors.spin"}, "-SCN=motors.spin: the program has no scenario of that name"},
                 {{"-SCN=motors", "-EXSCN=hang"}, "-SCN= and -EXSCN= cannot be used together"},
                 {{"-EXSCN=motors,labels,hang,late"}, "no scenario of the program is left to run"},
                 {{"-SCN=motors,"}, "needs a scenario name before and after each comma"},
                 {{"-JUNIT="}, "-JUNIT= needs a file name"},
                 {{"-SCN=motors", "-RIO=a", "-LIST", "-rio=b"}, "-rio= is given twice"},
                 {{"AB", "-RIO=a", "CD"}, "\"CD\": the filter letters are given twice"},
                 {{"-RIO=a", "-SCN=motors", "-VERBOSE"}, "-VERBOSE: the program has no such option"},
                 {{"-SCENARIO_LIMIT=5s"}, "-SCENARIO_LIMIT= needs a number of milliseconds, not \"5s\""},
                 {{"-OCCID=-1"}, "-OCCID= needs an occurrence number"}}) {
            const RunResult refused = runProgram(executable, arguments, {}, out);
            EXPECT_EQ(refused.status, 4) << arguments.back();
            EXPECT_THAT(refused.err, AllOf(HasSubstr(message), HasSubstr("usage: ")));
            EXPECT_THAT(refused.out, IsEmpty()) << arguments.back();
            EXPECT_FALSE(fs::exists(out / "a.rio")) << arguments.back();
        }

        // The time limit stops the run in "hang": the guard writes the file,
        // where a leaf not reached stays listed as skipped, with or without a
        // selection; and a tester name with markup, a control character and
        // a byte that is no UTF-8 is written so that XML holds it.
        for (const auto& [selection, counts] : std::vector<std::pair<std::string, std::string>>{
                 {"-EXSCN=labels", "tests=\"4\" failures=\"2\" errors=\"0\" skipped=\"1\""},
                 {"", "tests=\"5\" failures=\"3\" errors=\"0\" skipped=\"1\""}}) {
            SCOPED_TRACE(selection);
            fs::remove(out / "stopped.xml");
            std::vector<std::string> arguments = {"-RIO=t<&\x01\xff", "-JUNIT=stopped.xml"};
            if (!selection.empty()) {
                arguments.push_back(selection);
            }
            const RunResult stopped =
                runProgram(executable, arguments, {{"QVM_RUN_QUIET", "1"}, {"QVM_SCENARIO_LIMIT", "200"}}, out);
            EXPECT_EQ(stopped.status, 3) << stopped.err;
            ASSERT_TRUE(fs::exists(out / "stopped.xml"));
            EXPECT_EQ(schemaProblems(out / "stopped.xml"), "");
            const std::string text = readFile(out / "stopped.xml");
            EXPECT_THAT(text, HasSubstr("<property name=\"tester\" value=\"t&lt;&amp;\\x01\\xFF.rio_0\"/>"));
            EXPECT_THAT(text, HasSubstr("type=\"stopped\">the run stopped: "));
            EXPECT_THAT(text, HasSubstr("scenario time limit of 200 ms reached"));
            EXPECT_THAT(text, HasSubstr("<testcase name=\"late\""));
            EXPECT_THAT(text, HasSubstr("<skipped message=\"not reached"));
            EXPECT_THAT(text, HasSubstr(counts));
            EXPECT_EQ(text.find("labels.odd") == std::string::npos, !selection.empty());
        }
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
    // The run of one scenario reports that scenario alone.
    EXPECT_THAT(readFile(junit), AllOf(HasSubstr("<testcase name=\"motors.start\" classname=\"scenarios.smoke\" "),
                                       HasSubstr("tests=\"1\""), Not(HasSubstr("motors.stop")),
                                       Not(HasSubstr("<skipped"))));
    if (haveXmllint()) {
        EXPECT_EQ(schemaProblems(junit), "");
    }
    EXPECT_TRUE(fs::exists(build / "sel" / "sel.motors.start.rio"));
}

}  // namespace
