// The bundled examples under the selection options: every script under
// examples/ with its interface file of the same name goes through qvmprepro
// with status 0 whichever scenario, family or instance is chosen, and the
// model marks just the chosen scenario with its ancestors and descendants.
#include "support/messages.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using qvm::testing::lines;
using qvm::testing::RunResult;
using qvm::testing::TempDir;

// NAME.pts beside NAME.h, in its directory.
std::vector<fs::path> exampleScripts()
{
    std::vector<fs::path> scripts;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(QVM_SOURCE_DIR) / "examples")) {
        if (entry.path().extension() == ".pts" && fs::exists(fs::path(entry.path()).replace_extension(".h"))) {
            scripts.push_back(entry.path());
        }
    }
    std::sort(scripts.begin(), scripts.end());
    return scripts;
}

// What the model listing says about the script's tree.
struct Tree {
    std::vector<std::string> scenarios;  // qualified names below the root
    std::set<std::string> families;
    std::vector<std::string> instances;
};

std::string field(const std::string& row, const std::string& key)
{
    const std::size_t at = row.find(key + "=\"");
    return at == std::string::npos ? std::string() : row.substr(at + key.size() + 2, row.find('"', at + key.size() + 2) - at - key.size() - 2);
}

// The second column of a listing row.
std::string nameOf(const std::string& row)
{
    const std::size_t start = row.find('\t') + 1;
    return row.substr(start, row.find('\t', start) - start);
}

class ExampleSelections : public ::testing::TestWithParam<fs::path> {
protected:
    void SetUp() override
    {
        fs::copy(GetParam().parent_path(), work.path(), fs::copy_options::recursive);
        name = GetParam().stem().string();
    }

    RunResult run(const std::vector<std::string>& options, bool model)
    {
        std::vector<std::string> arguments{name + ".pts", name + ".h"};
        if (model) {
            arguments.insert(arguments.begin(), "model");
        } else {
            arguments.push_back("out_" + name);
        }
        arguments.push_back("-STD_DEFINE=" + std::string(QVM_SHARE_DIR) + "/lib/x86_64-linux-gnu.def");
        arguments.insert(arguments.end(), options.begin(), options.end());
        return model ? qvm::testing::runInspect(arguments, {}, work.path())
                     : qvm::testing::runPrepro(arguments, {}, work.path());
    }

    Tree tree()
    {
        Tree found;
        for (const std::string& line : lines(run({"-NOFAST"}, true).out)) {
            const std::string row = line.substr(std::min(line.size(), line.find_first_not_of(' ')));
            if (row.rfind("ENT_SCENARIO\t", 0) == 0 && !field(row, "qualified").empty()) {
                found.scenarios.push_back(field(row, "qualified"));
            } else if (row.rfind("ENT_FAMILY\t", 0) == 0) {
                found.families.insert(nameOf(row));
            } else if (row.rfind("ENT_INSTANCE_DECL\t", 0) == 0) {
                found.instances.push_back(nameOf(row));
            }
        }
        return found;
    }

    std::vector<std::string> generated(const std::vector<std::string>& options)
    {
        std::vector<std::string> names;
        for (const std::string& line : lines(run(options, true).out)) {
            if (line.find("ENT_SCENARIO\t") != std::string::npos && line.find("generate=yes") != std::string::npos &&
                !field(line, "qualified").empty()) {
                names.push_back(field(line, "qualified"));
            }
        }
        return names;
    }

    TempDir work;
    std::string name;
};

// q and s on one path of the tree: one is the other or lies below it.
bool related(const std::string& q, const std::string& s)
{
    const auto below = [](const std::string& inner, const std::string& outer) {
        return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '.';
    };
    return q == s || below(q, s) || below(s, q);
}

TEST_P(ExampleSelections, EverySelectionIsAnalysedCleanly)
{
    const Tree found = tree();
    ASSERT_FALSE(found.scenarios.empty());
    std::vector<std::vector<std::string>> selections{{}, {"-NOFAST"}, {"-INSTANCE=nobody"}};
    for (const std::string& scenario : found.scenarios) {
        selections.push_back({"-SCN=" + scenario});
    }
    for (const std::string& family : found.families) {
        selections.push_back({"-FAMILY=" + family});
        selections.push_back({"-EXFAMILY=" + family, "-NOFAST"});
    }
    for (const std::string& instance : found.instances) {
        selections.push_back({"-INSTANCE=" + instance});
    }
    for (const auto& options : selections) {
        const RunResult prepro = run(options, false);
        EXPECT_EQ(prepro.status, 0) << (options.empty() ? "" : options.front()) << "\n" << prepro.err;
    }
}

TEST_P(ExampleSelections, ScnMarksOnePathOfTheTree)
{
    for (const std::string& scenario : tree().scenarios) {
        const std::vector<std::string> marked = generated({"-SCN=" + scenario});
        EXPECT_THAT(marked, ::testing::Contains(scenario));
        for (const std::string& other : marked) {
            EXPECT_TRUE(related(other, scenario)) << other << " generated with -SCN=" << scenario;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleSelections, ::testing::ValuesIn(exampleScripts()),
                         [](const ::testing::TestParamInfo<fs::path>& info) { return info.param.stem().string(); });

}  // namespace
