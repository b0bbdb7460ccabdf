// Running qvminspect and qvmprepro on the script test data, and reading the
// messages they report.
#pragma once

#include "support/messages.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qvm::testing::script {

inline const std::string kDataDir = QVM_TESTDATA_DIR "/script";

using qvm::testing::IsMessage;
using qvm::testing::Message;
using qvm::testing::messagesOf;

inline RunResult inspect(const std::vector<std::string>& arguments)
{
    return runInspect(arguments, {}, kDataDir);
}

// "line<TAB>name<TAB>text" lines of the token listing.
inline std::vector<std::string> tokensOf(const std::string& script, const std::vector<std::string>& extra = {})
{
    std::vector<std::string> arguments{"tokens", script};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return lines(inspect(arguments).out);
}

// The rows of a qvminspect model listing whose entry code is code, with
// their indent.
inline std::vector<std::string> modelRows(const RunResult& run, const std::string& code)
{
    std::vector<std::string> found;
    for (const std::string& line : lines(run.out)) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos && line.compare(start, code.size() + 1, code + "\t") == 0) {
            found.push_back(line);
        }
    }
    return found;
}

// A script and its interface file api.h written into a fresh directory and
// run through qvminspect model or qvmprepro there.
class ScriptRunTest : public ::testing::Test {
protected:
    ScriptRunTest(std::string interface, std::string scriptName = "main.pts")
        : interface_(std::move(interface)), scriptName_(std::move(scriptName))
    {
    }
    void SetUp() override { writeFile(work / "api.h", interface_); }

    RunResult model(const std::string& script, const std::vector<std::string>& options = {}, const EnvChanges& env = {})
    {
        writeFile(work / scriptName_, script);
        std::vector<std::string> arguments{"model", scriptName_, "api.h"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runInspect(arguments, env, work.path());
    }

    // qvmprepro on the script named without its extension, outputs named out.
    RunResult prepro(const std::string& script, const std::vector<std::string>& options = {})
    {
        writeFile(work / scriptName_, script);
        std::vector<std::string> arguments{scriptName_.substr(0, scriptName_.rfind('.')), "api.h", "out"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return runPrepro(arguments, {}, work.path());
    }

    // The listing's rows of one entry code, indent kept.
    static std::vector<std::string> rowsOf(const RunResult& run, const std::string& code) { return modelRows(run, code); }

    TempDir work;

private:
    std::string interface_;
    std::string scriptName_;
};

// One line of a qvminspect model listing, as the tests expect it: the
// entry at depth, its name, "file:line" and its descriptor part.
inline std::string modelRow(int depth, const std::string& code, const std::string& name, const std::string& where,
                            const std::string& descriptor)
{
    return std::string(2 * static_cast<std::size_t>(depth), ' ') + code + "\t" + name + "\t" + where + "\t" +
           descriptor + "\n";
}

}  // namespace qvm::testing::script
