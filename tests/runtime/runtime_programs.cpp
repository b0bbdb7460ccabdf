#include "runtime/runtime_programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <unistd.h>

namespace qvm::testing {

namespace fs = std::filesystem;

namespace {

const fs::path kRuntimeDir = fs::path(QVM_SOURCE_DIR) / "runtime";
const fs::path kProgramsDir = fs::path(QVM_SOURCE_DIR) / "tests" / "runtime" / "programs";

// Every source of the runtime but the replay of recorded probe files,
// which calls the trv_dump_inst of a program's CUSTOM probe code.
std::vector<std::string> runtimeSources()
{
    std::vector<std::string> sources;
    for (const fs::directory_entry& entry : fs::directory_iterator(kRuntimeDir)) {
        if (entry.path().extension() == ".c" && entry.path().filename() != "trv_probe_dump.c") {
            sources.push_back(entry.path().string());
        }
    }
    return sources;
}

// The compiler's path, looked up in PATH like a shell does.
std::string resolve(const std::string& program)
{
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        const std::size_t end = std::min(directories.find(':', start), directories.size());
        const fs::path candidate = fs::path(directories.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
        start = end + 1;
    }
    return {};
}

fs::path compile(const std::string& compiler, std::vector<std::string> arguments, const fs::path& output)
{
    for (const std::string& flag : sanitizerFlags()) {
        arguments.push_back(flag);
    }
    arguments.insert(arguments.end(), {"-o", output.string(), "-lpthread"});
    const RunResult build = runProgram(resolve(compiler), arguments);
    EXPECT_EQ(build.status, 0) << compiler << " failed:\n" << build.err;
    EXPECT_EQ(build.err, "") << compiler << " warned:\n" << build.err;
    return build.status == 0 && build.err.empty() ? output : fs::path();
}

}  // namespace

void RuntimeProgramTest::SetUp()
{
    if (!compilerFound(GetParam())) {
        GTEST_SKIP() << GetParam() << " is not installed";
    }
    fs::copy_file(kProgramsDir / "scenarios.tdc", dir / "scenarios.tdc");
}

bool compilerFound(const std::string& compiler)
{
    return !resolve(compiler).empty();
}

fs::path buildProgram(const std::string& compiler, const std::string& program, const fs::path& directory,
                      const std::vector<std::string>& defines)
{
    std::vector<std::string> arguments = {"-std=gnu99", "-Wall", "-Wextra", "-Werror", "-g",
                                          "-I" + kRuntimeDir.string()};
    for (const std::string& define : defines) {
        arguments.push_back("-D" + define);
    }
    arguments.push_back((kProgramsDir / (program + ".c")).string());
    for (const std::string& source : runtimeSources()) {
        arguments.push_back(source);
    }
    return compile(compiler, arguments, directory / program);
}

fs::path buildWithLibrary(const std::string& program, const fs::path& directory)
{
    return compile(QVM_RUNTIME_C_COMPILER,
                   {"-std=gnu99", "-Wall", "-Wextra", "-Werror", "-I" + kRuntimeDir.string(),
                    (kProgramsDir / (program + ".c")).string(), QVM_RUNTIME_LIBRARY},
                   directory / program);
}

RunResult runBuilt(const fs::path& executable, const std::vector<std::string>& arguments, const EnvChanges& env)
{
    EnvChanges changes = env;
    changes.emplace("QVM_RUN_QUIET", std::nullopt);
    changes.emplace("QVM_TRACER_SOCKET", std::nullopt);
    return runProgram(executable.string(), arguments, changes, executable.parent_path());
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : lines(text)) {
        if (line.rfind(prefix, 0) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

int lineIndex(const std::vector<std::string>& lines, const std::string& part)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(part) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace qvm::testing
