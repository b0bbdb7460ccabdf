// Building and running the C test programs of tests/runtime/programs
// against the runtime, with gcc or clang, the way a user of the generated
// programs does.
#pragma once

#include "support/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qvm::testing {

// Whether the compiler can be run.
bool compilerFound(const std::string& compiler);

// Compiles programs/<program>.c with the runtime's sources into
// <directory>/<program>; defines are "NAME=value" or "NAME". Fails the
// test (and returns an empty path) when the compiler reports anything:
// the runtime and the programs must compile without a warning.
std::filesystem::path buildProgram(const std::string& compiler, const std::string& program,
                                   const std::filesystem::path& directory,
                                   const std::vector<std::string>& defines = {});

// Links programs/<program>.c with the installed form of the runtime: the
// qvmruntime library built by CMake.
std::filesystem::path buildWithLibrary(const std::string& program, const std::filesystem::path& directory);

// A run of a built program in its own directory, with QVM_RUN_QUIET unset.
RunResult runBuilt(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                   const EnvChanges& env = {});

// The lines of text that begin with prefix.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix);

// The index of the first line that contains part, or -1.
int lineIndex(const std::vector<std::string>& lines, const std::string& part);

// Tests run once per compiler (the parameter) in a fresh directory that
// holds the TDC file of scenarios.c.
class RuntimeProgramTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override;

    std::filesystem::path build(const std::string& program, const std::vector<std::string>& defines = {})
    {
        return buildProgram(GetParam(), program, dir.path(), defines);
    }
    std::string trace(const std::string& name = "scenarios.rio") { return readFile(dir / name); }

    TempDir dir;
};

// The compilers every runtime test runs with; a test's name ends with the
// compiler it was built by ("CC/RtRun.ExitAfterCleanups/clang").
inline const auto kCompilers = ::testing::Values(std::string("gcc"), std::string("clang"));
inline std::string compilerName(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

}  // namespace qvm::testing
