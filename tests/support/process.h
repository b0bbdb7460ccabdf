// Test helpers: run the real binaries as subprocesses, temporary directories
// and small file utilities.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qvm::testing {

struct RunResult {
    int status = -1;     // exit status as the shell sees it (0..255), or 128+signal
    std::string out;     // standard output
    std::string err;     // standard error
};

// Environment changes for a run: a value sets the variable, nullopt unsets it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// A program named without a directory is looked up in PATH.
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const EnvChanges& env = {}, const std::filesystem::path& workingDirectory = {});

// qvmprepro with FENWIRDIR set to the bundled share/ tree unless env says otherwise.
RunResult runPrepro(const std::vector<std::string>& arguments, const EnvChanges& env = {},
                    const std::filesystem::path& workingDirectory = {});
RunResult runInspect(const std::vector<std::string>& arguments, const EnvChanges& env = {},
                     const std::filesystem::path& workingDirectory = {});

// Sets (or unsets, for nullptr) an environment variable of this process for
// one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A fresh directory removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& contents);

// Writes demo.pts (a small valid script) and demo.h (its interface file)
// into a directory, for runs that must get through to the summary.
void writeSampleRun(const std::filesystem::path& directory);

// The compiler flags of a C program linked with this build's runtime
// library: the sanitizers' when the build has them (the library is then
// instrumented, and they check the program's run too), else none.
std::vector<std::string> sanitizerFlags();
// What ends the command line of a C program linked with the runtime
// library: the sanitizer flags, the library and the thread library.
std::vector<std::string> runtimeLinkArguments();

// An out-of-tree CMake project that finds this system's package in
// packageDir: configured (with Ninja unless generator is emptied), built and
// its tests run, in its build directory.
struct CMakeProject {
    std::filesystem::path source{};
    std::filesystem::path build{};
    std::filesystem::path packageDir{};
    std::vector<std::string> generator = {"-G", "Ninja"};
    std::vector<std::string> jobs{};   // of the build and of ctest, e.g. {"-j2"}
    EnvChanges environment{};          // of the build and of ctest
    std::string cmake = "cmake";
    std::string ctest = "ctest";
};

// What each step printed and returned; a step after a failed one is not run
// (its status stays -1).
struct CMakeProjectRun {
    RunResult configure;
    RunResult build;
    RunResult test;
    // Everything the steps printed, to show with a failure.
    std::string shown() const;
};

CMakeProjectRun configureBuildTest(const CMakeProject& project);

// Lines of a text, without their newlines.
std::vector<std::string> lines(const std::string& text);

// How many times part occurs in text (overlapping occurrences included).
std::size_t occurrences(const std::string& text, const std::string& part);

}  // namespace qvm::testing
