// The tutorial's project (examples/tutorial) built out of tree against this
// build's CMake package: its CTest run passes, and with the tutorial's wrong
// expected value it fails with the summary and trace lines the tutorial shows.
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

using qvm::testing::readFile;
using qvm::testing::runProgram;
using qvm::testing::RunResult;
using qvm::testing::TempDir;
using qvm::testing::writeFile;
using ::testing::HasSubstr;

std::string shown(const RunResult& result)
{
    return result.out + result.err;
}

// The tutorial's lines indented as output or code that start with the word.
std::vector<std::string> shownLines(const std::string& text, const std::string& word)
{
    std::vector<std::string> found;
    for (const std::string& line : qvm::testing::lines(text)) {
        if (line.rfind("    " + word, 0) == 0) {
            found.push_back(line.substr(4));
        }
    }
    return found;
}

TEST(Tutorial, PassesAndFailsAsTold)
{
    const fs::path source = fs::path(QVM_SOURCE_DIR);
    TempDir project;
    TempDir build;
    fs::copy(source / "examples" / "tutorial", project.path(), fs::copy_options::recursive);
    const auto configure = runProgram("cmake", {"-G", "Ninja", "-S", project.path().string(), "-B",
                                                build.path().string(), "-DQvmPrepro_DIR=" + std::string(QVM_BINARY_DIR)});
    ASSERT_EQ(configure.status, 0) << shown(configure);
    const auto compile = runProgram("cmake", {"--build", build.path().string(), "-j2"});
    ASSERT_EQ(compile.status, 0) << shown(compile);
    const auto passing = runProgram("ctest", {"--output-on-failure"}, {}, build.path());
    EXPECT_EQ(passing.status, 0) << shown(passing);
    EXPECT_THAT(passing.out, HasSubstr("100% tests passed, 0 tests failed out of 1"));

    const fs::path script = project / "ring_test.pts";
    std::string text = readFile(script);
    const std::string right = "REF(got @ 11)";
    ASSERT_NE(text.find(right), std::string::npos);
    text.replace(text.find(right), right.size(), "REF(got @ 12)");
    writeFile(script, text);
    ASSERT_EQ(runProgram("cmake", {"--build", build.path().string(), "-j2"}).status, 0);
    const auto failing = runProgram("ctest", {"--output-on-failure"}, {}, build.path());
    EXPECT_NE(failing.status, 0);

    const std::string tutorial = readFile(source / "doc" / "tutorial.md");
    const std::string trace = readFile(build / "ring_test" / "ring_test.rio");
    for (const std::string& summary : shownLines(tutorial, "qvm run")) {
        EXPECT_THAT(failing.out, HasSubstr(summary));
    }
    for (const char* word : {"CALL ", "CHECK", "FAIL ", "SCENARIO"}) {
        for (const std::string& line : shownLines(tutorial, word)) {
            if (line.find(" ring_test.pts:") != std::string::npos) {
                EXPECT_THAT(trace, HasSubstr(line));
            }
        }
    }
}

}  // namespace
