// The bundled examples: every script under examples/ that has an interface
// file of the same name beside it goes through qvmprepro cleanly, with every
// instance it declares and with every trace instruction kept.
#include "support/messages.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using qvm::testing::runPrepro;
using qvm::testing::TempDir;

struct Example {
    fs::path directory;  // copied whole: the script may include other files beside it
    std::string name;    // NAME.pts with its interface file NAME.h
};

std::vector<Example> bundledExamples()
{
    std::vector<Example> examples;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(fs::path(QVM_SOURCE_DIR) / "examples")) {
        const fs::path& script = entry.path();
        if (script.extension() == ".pts" && fs::exists(fs::path(script).replace_extension(".h"))) {
            examples.push_back({script.parent_path(), script.stem().string()});
        }
    }
    std::sort(examples.begin(), examples.end(), [](const Example& a, const Example& b) { return a.name < b.name; });
    return examples;
}

// The names of the script's DECLARE_INSTANCE lines.
std::vector<std::string> declaredInstances(const fs::path& script)
{
    static const std::regex declaration(R"(^\s*DECLARE_INSTANCE\s+(.*)$)");
    static const std::regex name(R"([A-Za-z_][A-Za-z0-9_]*)");
    std::vector<std::string> names;
    for (const std::string& line : qvm::testing::lines(qvm::testing::readFile(script))) {
        std::smatch m;
        if (std::regex_match(line, m, declaration)) {
            const std::string list = m[1];
            for (std::sregex_iterator it(list.begin(), list.end(), name), end; it != end; ++it) {
                names.push_back(it->str());
            }
        }
    }
    return names;
}

// A run of the example in a copy of its directory, so that its list file and
// outputs stay out of the source tree. The host profile is given because an
// example's interface may include C library headers.
qvm::testing::RunResult runExample(const Example& example, std::vector<std::string> options)
{
    TempDir dir;
    fs::copy(example.directory, dir.path(), fs::copy_options::recursive);
    fs::create_directories(dir / "out");
    std::vector<std::string> arguments{example.name + ".pts", example.name + ".h", "out/" + example.name,
                                       "-STD_DEFINE=" + std::string(QVM_SHARE_DIR) + "/lib/x86_64-linux-gnu.def"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return runPrepro(arguments, {{"USER", "tester"}}, dir.path());
}

// The reports of a run that are not information, for the failure message.
std::string problemsOf(const qvm::testing::RunResult& result)
{
    std::string problems;
    for (const qvm::testing::PlainMessage& message : qvm::testing::allMessagesOf(result.err)) {
        if (message.severity != "I") {
            problems += message.severity + "-" + message.code + " " + message.text + "\n";
        }
    }
    return problems;
}

TEST(Examples, TheBundledExamplesAreFound)
{
    std::vector<std::string> names;
    for (const Example& example : bundledExamples()) {
        names.push_back(example.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"demo", "door_controller", "platform_doors"}));
}

TEST(Examples, EveryExampleRunsCleanly)
{
    for (const Example& example : bundledExamples()) {
        const auto result = runExample(example, {});
        EXPECT_EQ(result.status, 0) << example.name << ":\n" << problemsOf(result) << result.err;
    }
}

TEST(Examples, EveryExampleRunsCleanlyWithEveryTraceInstructionKept)
{
    for (const Example& example : bundledExamples()) {
        const auto result = runExample(example, {"-TRACE=CIRCULAR"});
        EXPECT_EQ(result.status, 0) << example.name << ":\n" << problemsOf(result) << result.err;
    }
}

TEST(Examples, EveryDeclaredInstanceOfAnExampleRunsCleanly)
{
    std::size_t instances = 0;
    for (const Example& example : bundledExamples()) {
        for (const std::string& instance : declaredInstances(example.directory / (example.name + ".pts"))) {
            const auto result = runExample(example, {"-INSTANCE=" + instance});
            EXPECT_EQ(result.status, 0) << example.name << " " << instance << ":\n" << problemsOf(result) << result.err;
            ++instances;
        }
    }
    EXPECT_GE(instances, 2u);
}

}  // namespace
