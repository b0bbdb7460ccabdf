// The bundled examples: every script under examples/ that has an interface
// file of the same name beside it goes through qvmprepro cleanly, with every
// instance it declares, with every scenario or family chosen or left out, and
// with every trace instruction kept.
#include "codegen/test_tdc_support.h"
#include "support/messages.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using qvm::testing::runPrepro;
using qvm::testing::TempDir;

using Example = qvm::testing::tdc::Script;
using qvm::testing::tdc::bundledExamples;

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

// A run of qvmprepro, or of a qvminspect subcommand, on the example in a copy
// of its directory, so that list files and outputs stay out of the source
// tree. The host profile is given because an example's interface may include
// C library headers.
qvm::testing::RunResult runExample(const Example& example, const std::vector<std::string>& options,
                                   const std::string& inspectorCommand = {})
{
    TempDir dir;
    qvm::testing::tdc::prepareCopy(example, dir.path());
    std::vector<std::string> arguments = qvm::testing::tdc::scriptArguments(example);
    if (!inspectorCommand.empty()) {
        arguments.erase(arguments.begin() + 2);  // an inspector writes nothing
        arguments.insert(arguments.begin(), inspectorCommand);
    }
    arguments.insert(arguments.end(), options.begin(), options.end());
    const qvm::testing::EnvChanges env{{"USER", "tester"}};
    return inspectorCommand.empty() ? runPrepro(arguments, env, dir.path())
                                    : qvm::testing::runInspect(arguments, env, dir.path());
}

Example exampleNamed(const std::string& name)
{
    for (const Example& example : bundledExamples()) {
        if (example.name == name) {
            return example;
        }
    }
    throw std::runtime_error("no example " + name);
}

// How many entries of the model's global scope have that entry code.
std::size_t globalEntries(const std::vector<std::string>& model, const std::string& code)
{
    return static_cast<std::size_t>(std::count_if(model.begin(), model.end(), [&](const std::string& line) {
        return line.rfind(code + "\t", 0) == 0;
    }));
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
    EXPECT_THAT(names, ::testing::IsSupersetOf({"demo", "door_controller", "platform_doors"}));
}

TEST(Examples, AllCleanEveryTraceKept)
{
    for (const Example& example : bundledExamples()) {
        const auto result = runExample(example, {"-TRACE=CIRCULAR"});
        EXPECT_EQ(result.status, 0) << example.name << ":\n" << problemsOf(result) << result.err;
    }
}

// The COMMENT lines of the scripts in an example's directory.
std::ptrdiff_t commentLines(const Example& example)
{
    static const std::regex comment(R"(^\s*(%\S+\s+)?COMMENT\b.*)");
    std::ptrdiff_t count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(example.directory)) {
        if (entry.path().extension() == ".pts") {
            for (const std::string& line : qvm::testing::lines(qvm::testing::readFile(entry.path()))) {
                count += std::regex_match(line, comment) ? 1 : 0;
            }
        }
    }
    return count;
}

// With comments off, every COMMENT line is dropped wherever it stands, even
// as the only instruction of a branch; the comments the analysis writes
// itself (a TRIGGER callback's) stay.
TEST(Examples, AllCleanWithCommentsOff)
{
    const auto comments = [](const qvm::testing::RunResult& model) {
        const std::vector<std::string> entries = qvm::testing::lines(model.out);
        return std::count_if(entries.begin(), entries.end(),
                             [](const std::string& line) { return line.find("ENT_COMMENT") != std::string::npos; });
    };
    std::ptrdiff_t dropped = 0;
    for (const Example& example : bundledExamples()) {
        const auto result = runExample(example, {"-NOCOMMENT"});
        EXPECT_EQ(result.status, 0) << example.name << ":\n" << problemsOf(result) << result.err;
        const std::ptrdiff_t kept = comments(runExample(example, {}, "model"));
        const std::ptrdiff_t left = comments(runExample(example, {"-NOCOMMENT"}, "model"));
        EXPECT_EQ(kept - left, commentLines(example)) << example.name;
        dropped += kept - left;
    }
    EXPECT_GT(dropped, 0) << "no example has a COMMENT line";
}

TEST(Examples, EveryInstanceRunsCleanly)
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

// What the model listing says about an example's scenario tree.
struct ScenarioTree {
    std::vector<std::string> scenarios;  // qualified names below the root
    std::set<std::string> families;
};

std::string quotedField(const std::string& row, const std::string& key)
{
    const std::size_t at = row.find(key + "=\"");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + key.size() + 2;
    return row.substr(start, row.find('"', start) - start);
}

bool isRow(const std::string& line, const std::string& code)
{
    const std::size_t start = line.find_first_not_of(' ');
    return start != std::string::npos && line.compare(start, code.size() + 1, code + "\t") == 0;
}

ScenarioTree scenarioTreeOf(const Example& example)
{
    ScenarioTree tree;
    for (const std::string& line : qvm::testing::lines(runExample(example, {"-NOFAST"}, "model").out)) {
        if (isRow(line, "ENT_SCENARIO") && !quotedField(line, "qualified").empty()) {
            tree.scenarios.push_back(quotedField(line, "qualified"));
        } else if (isRow(line, "ENT_FAMILY")) {
            const std::size_t start = line.find('\t') + 1;
            tree.families.insert(line.substr(start, line.find('\t', start) - start));
        }
    }
    return tree;
}

// The qualified names of the scenarios below the root marked for generation.
std::vector<std::string> generatedScenarios(const Example& example, const std::vector<std::string>& options)
{
    std::vector<std::string> names;
    for (const std::string& line : qvm::testing::lines(runExample(example, options, "model").out)) {
        if (isRow(line, "ENT_SCENARIO") && line.find("generate=yes") != std::string::npos &&
            !quotedField(line, "qualified").empty()) {
            names.push_back(quotedField(line, "qualified"));
        }
    }
    return names;
}

// Whichever scenario or family is chosen, or left out, and without FAST.
TEST(Examples, EverySelectionRunsCleanly)
{
    for (const Example& example : bundledExamples()) {
        const ScenarioTree tree = scenarioTreeOf(example);
        ASSERT_FALSE(tree.scenarios.empty()) << example.name;
        std::vector<std::vector<std::string>> selections{{"-NOFAST"}, {"-INSTANCE=nobody"}};
        for (const std::string& scenario : tree.scenarios) {
            selections.push_back({"-SCN=" + scenario});
        }
        for (const std::string& family : tree.families) {
            selections.push_back({"-FAMILY=" + family});
            selections.push_back({"-EXFAMILY=" + family, "-NOFAST"});
        }
        for (const auto& options : selections) {
            const auto result = runExample(example, options);
            EXPECT_EQ(result.status, 0) << example.name << " " << options.front() << ":\n" << problemsOf(result);
        }
    }
}

// -SCN keeps the scenario with its ancestors and its descendants only.
TEST(Examples, ScenarioMarksOnePath)
{
    const auto related = [](const std::string& a, const std::string& b) {
        const auto below = [](const std::string& inner, const std::string& outer) {
            return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
                   inner[outer.size()] == '.';
        };
        return a == b || below(a, b) || below(b, a);
    };
    for (const Example& example : bundledExamples()) {
        for (const std::string& scenario : scenarioTreeOf(example).scenarios) {
            const std::vector<std::string> marked = generatedScenarios(example, {"-SCN=" + scenario});
            EXPECT_THAT(marked, ::testing::Contains(scenario)) << example.name;
            for (const std::string& other : marked) {
                EXPECT_TRUE(related(other, scenario)) << example.name << ": " << other << " with -SCN=" << scenario;
            }
        }
    }
}

TEST(Examples, InspectorShowsEveryModel)
{
    for (const Example& example : bundledExamples()) {
        const auto result = runExample(example, {}, "model");
        EXPECT_EQ(result.status, 0) << example.name << ":\n" << problemsOf(result);
        const auto model = qvm::testing::lines(result.out);
        ASSERT_GE(model.size(), 2u) << example.name << ":\n" << result.err;
        EXPECT_EQ(model.front().rfind("ENT_SCRIPT\t", 0), 0u) << model.front();
        EXPECT_EQ(model.back().rfind("instance-mode=", 0), 0u) << model.back();
    }
}

// The door controller declares two communication types, five channels (two
// of them in instance blocks), four message structures with thirteen messages,
// three callbacks, one procsend, eight procedures (seven from its included
// script) and three timers; its header names the tester from $USER.
TEST(Examples, DoorModelDeclarations)
{
    const auto result = runExample(exampleNamed("door_controller"), {}, "model");
    const auto model = qvm::testing::lines(result.out);
    ASSERT_FALSE(model.empty()) << result.err;
    EXPECT_NE(model.front().find("tester"), std::string::npos) << model.front();
    EXPECT_EQ(globalEntries(model, "ENT_COMMTYPE"), 2u);
    EXPECT_EQ(globalEntries(model, "ENT_CHANNEL"), 5u);
    EXPECT_EQ(globalEntries(model, "ENT_EVENT_STRUCT"), 4u);
    EXPECT_EQ(globalEntries(model, "ENT_MESSAGE_VAR"), 13u);
    EXPECT_EQ(globalEntries(model, "ENT_CALLBACK"), 3u);
    EXPECT_EQ(globalEntries(model, "ENT_PROCSEND"), 1u);
    EXPECT_EQ(globalEntries(model, "ENT_PROC"), 8u);
    EXPECT_EQ(globalEntries(model, "ENT_INSTANCE_DECL"), 2u);
    EXPECT_EQ(model.back(), "instance-mode=2 instance=0 timers=3");
}

// With the second instance chosen, the first one's service channel is not
// declared and the instance is known by its number.
TEST(Examples, DoorModelOfOneInstance)
{
    const auto result = runExample(exampleNamed("door_controller"), {"-INSTANCE=car_b"}, "model");
    const auto model = qvm::testing::lines(result.out);
    ASSERT_FALSE(model.empty()) << result.err;
    EXPECT_EQ(globalEntries(model, "ENT_CHANNEL"), 4u);
    EXPECT_EQ(model.back(), "instance-mode=1 instance=2 timers=3");
}

}  // namespace
