// Lines of the generated program, checked case by case from data files:
// each tests/data/codegen/text/<group>/<case>.expected names the lines its
// script <case>.pts must give and those it must not (the folder's README
// describes the format and the options).
#include "codegen/test_program_support.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using qvm::testing::program::GenProg;

const fs::path kTextDir = fs::path(QVM_TESTDATA_DIR) / "codegen" / "text";

// One check of a case file: a block of lines the text holds (exactly
// `count` times when count is set), a fragment it must not hold, or one the
// diagnostics must hold.
struct Check {
    enum Kind { Present, Absent, Reported } kind = Present;
    std::string text;
    int line = 0;             // where the check begins in the case file
    bool afterPrevious = false;
    int count = -1;
};

// The checks of an .expected file, in file order.
std::vector<Check> readChecks(const fs::path& file)
{
    std::vector<Check> checks;
    std::optional<Check> block;
    bool after = false;
    bool lastLineEnd = false;
    const auto endBlock = [&] {
        if (block) {
            checks.push_back(*block);
            checks.back().text += lastLineEnd ? "\n" : "";
            block.reset();
        }
    };
    const std::vector<std::string> all = qvm::testing::lines(qvm::testing::readFile(file));
    for (std::size_t at = 0; at < all.size(); ++at) {
        // A line of a check that ends with '$' ends the program's line too.
        const bool lineEnd = all[at].size() > 1 && all[at].ends_with('$');
        const std::string line = lineEnd ? all[at].substr(0, all[at].size() - 1) : all[at];
        const int number = static_cast<int>(at) + 1;
        if (line.starts_with("//")) {
            continue;
        }
        if (line.empty() || line == "after:") {
            endBlock();
            after = after || line == "after:";
        } else if (line.starts_with("! ") || line.starts_with("> ")) {
            endBlock();
            checks.push_back({line[0] == '!' ? Check::Absent : Check::Reported, line.substr(2) + (lineEnd ? "\n" : ""), number});
        } else if (block) {
            block->text += "\n" + (line == "~" ? std::string() : line);
        } else {
            block = Check{Check::Present, line == "~" ? std::string() : line, number, after};
            after = false;
            if (line.size() > 2 && line[0] == '=' && line.find(' ') != std::string::npos) {
                block->count = std::stoi(line.substr(1));
                block->text = line.substr(line.find(' ') + 1);
            } else if (line.starts_with("\\")) {
                block->text = line.substr(1);
            }
        }
        lastLineEnd = lineEnd;
    }
    endBlock();
    return checks;
}

// "key value" lines of an options file, none when it is missing.
std::map<std::string, std::string> readOptions(const fs::path& file)
{
    std::map<std::string, std::string> options;
    if (!fs::exists(file)) {
        return options;
    }
    for (const std::string& line : qvm::testing::lines(qvm::testing::readFile(file))) {
        const std::size_t space = line.find(' ');
        if (!line.empty() && !line.starts_with("//")) {
            options[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
        }
    }
    return options;
}

// Every case, as "group/case", in name order.
std::vector<std::string> textCases()
{
    std::vector<std::string> cases;
    for (const fs::directory_entry& group : fs::directory_iterator(kTextDir)) {
        if (!group.is_directory()) {
            continue;
        }
        for (const fs::directory_entry& file : fs::directory_iterator(group.path())) {
            if (file.path().extension() == ".expected") {
                cases.push_back(group.path().filename().string() + "/" + file.path().stem().string());
            }
        }
    }
    std::sort(cases.begin(), cases.end());
    return cases;
}

// "group_case", a test's name.
std::string caseName(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

class Text : public GenProg, public ::testing::WithParamInterface<std::string> {
protected:
    // The program of the case, generated with the options of its group
    // (group/options) overridden by its own (<case>.options).
    std::string programOf(const fs::path& group, const std::string& name)
    {
        std::map<std::string, std::string> settings = readOptions(group / (name + ".options"));
        settings.merge(readOptions(group / "options"));
        settings.merge(std::map<std::string, std::string>{{"script", name + ".pts"}, {"interface", "interface.h"}});
        qvm::codegen::ProgramOptions o = options();
        qvm::script::AnalysisOptions analysis;
        for (const auto& [key, value] : settings) {
            apply(key, value, o, analysis);
        }
        return generate(qvm::testing::readFile(group / settings["script"]), o, analysis,
                        qvm::testing::readFile(group / settings["interface"]));
    }

    void apply(const std::string& key, const std::string& value, qvm::codegen::ProgramOptions& o,
               qvm::script::AnalysisOptions& analysis)
    {
        static const std::map<std::string, qvm::codegen::Allocation> allocations{
            {"stack", qvm::codegen::Allocation::Stack}, {"dynamic", qvm::codegen::Allocation::Dynamic}};
        if (key == "numbering") {
            writersNumber = value == "writers";
        } else if (key == "trace") {
            o.traceLevel = std::stoi(value);
        } else if (key == "analysis-trace") {
            analysis.traceLevel = std::stoi(value);
        } else if (key == "buffer-kb") {
            o.bufferSizeKb = std::stoi(value);
        } else if (key == "allocation") {
            o.allocation = allocations.at(value);
        } else if (key == "entry") {
            o.entryName = value;
        } else if (key == "filters") {
            o.filterLetters = value;
        } else if (key == "rio") {
            o.rioPath = value;
        } else if (key == "instance") {
            analysis.instance = value;
        } else if (key == "exclude-scenario") {
            analysis.excludedScenarios.push_back(value);
        } else if (key != "script" && key != "interface") {
            ADD_FAILURE() << "unknown option " << key;
        }
    }
};

// Where a check is met in text, from `from` on; npos when it is not.
std::size_t find(const Check& check, const std::string& text, std::size_t from)
{
    const std::size_t at = text.find(check.text, from);
    if (check.count >= 0) {
        return qvm::testing::occurrences(text, check.text) == static_cast<std::size_t>(check.count) ? at
                                                                                                  : std::string::npos;
    }
    return at;
}

TEST_P(Text, Has)
{
    const fs::path group = kTextDir / GetParam().substr(0, GetParam().find('/'));
    const std::string name = GetParam().substr(GetParam().find('/') + 1);
    const std::string where = "tests/data/codegen/text/" + GetParam() + ".expected:";
    const std::string text = programOf(group, name);
    ASSERT_FALSE(text.empty()) << where << " the script was not accepted";
    if (const char* dump = std::getenv("QVM_TEXT_DUMP")) {
        qvm::testing::writeFile(fs::path(dump) / (caseName(GetParam()) + ".c"), text);
    }
    std::size_t previous = 0;
    for (const Check& check : readChecks(group / (name + ".expected"))) {
        switch (check.kind) {
        case Check::Present: {
            const std::size_t at = find(check, text, check.afterPrevious ? previous + 1 : 0);
            EXPECT_NE(at, std::string::npos)
                << where << check.line << ": "
                << (check.count >= 0 ? "not found " + std::to_string(check.count) + " times"
                                     : std::string(check.afterPrevious ? "missing after the block before" : "missing"))
                << ":\n" << check.text << "\n";
            previous = at == std::string::npos ? previous : at;
            break;
        }
        case Check::Absent:
            EXPECT_EQ(text.find(check.text), std::string::npos) << where << check.line << ": present:\n" << check.text;
            break;
        case Check::Reported:
            EXPECT_NE(console.find(check.text), std::string::npos) << where << check.line << ": not reported:\n"
                                                                    << check.text << "\nreports:\n" << console;
            break;
        }
    }
}


INSTANTIATE_TEST_SUITE_P(Prog, Text, ::testing::ValuesIn(textCases()),
                         [](const auto& info) { return caseName(info.param); });

}  // namespace
