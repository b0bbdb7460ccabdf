// Generated programs compiled with the test runtime and run.
#pragma once

#include "codegen/test_program_support.h"
#include "support/process.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace qvm::testing::program {

using qvm::testing::RunResult;
using qvm::testing::runProgram;
using ::testing::IsEmpty;

// Generated programs compile at -Wall -Wextra without any warning: the
// compile helpers add -Werror, so that a warning fails the compile.
const std::vector<std::string> kWarningFlags = {"-std=gnu99", "-Wall", "-Wextra", "-Werror"};

struct Compiled {
    RunResult compile;
    std::string executable;
};

class ProgRun : public GenProg {
protected:
    Compiled compile(const std::string& compiler, const std::vector<std::string>& extra = {},
                     const std::filesystem::path& source = {})
    {
        std::vector<std::string> arguments = kWarningFlags;
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const std::string executable = (dir / ("prog_" + compiler)).string();
        for (const std::string& argument : {std::string("-I") + QVM_RUNTIME_INCLUDE_DIR, "-I" + dir.path().string(),
                                            (source.empty() ? dir / "prog.c" : source).string(), std::string("-o"),
                                            executable}) {
            arguments.push_back(argument);
        }
        // Linked unless only an object is asked for.
        if (std::find(extra.begin(), extra.end(), "-c") == extra.end()) {
            const std::vector<std::string> link = qvm::testing::runtimeLinkArguments();
            arguments.insert(arguments.end(), link.begin(), link.end());
        }
        const std::string program = compilerPath(compiler);
        if (program.empty()) {
            ADD_FAILURE() << compiler << " is not installed";
            return {};
        }
        return {runProgram(program, arguments), executable};
    }

    // Compiles with gcc (no warning allowed) and runs with the arguments;
    // the trace file is read into trace.
    RunResult compileAndRun(const std::vector<std::string>& arguments = {}, const std::string& compiler = "gcc")
    {
        const Compiled compiled = compile(compiler);
        EXPECT_EQ(compiled.compile.status, 0) << compiled.compile.err;
        EXPECT_THAT(compiled.compile.err, IsEmpty());
        std::filesystem::remove(dir / "prog.rio");
        RunResult run = runProgram(compiled.executable, arguments, {{"QVM_RUN_QUIET", "1"}}, dir.path());
        trace = std::filesystem::exists(dir / "prog.rio") ? qvm::testing::readFile(dir / "prog.rio") : std::string();
        return run;
    }

    // The trace lines of one kind ("SCENARIO", "FAIL", ...), without their
    // construct numbers.
    std::vector<std::string> traceLines(const std::string& kind) const
    {
        static const std::regex number(" #-?[0-9]+");
        std::vector<std::string> found;
        for (const std::string& line : qvm::testing::lines(trace)) {
            if (line.compare(0, kind.size() + 1, kind + " ") == 0) {
                found.push_back(std::regex_replace(line, number, ""));
            }
        }
        return found;
    }

    std::string trace;
};

}  // namespace qvm::testing::program
