// qvminspect: a thin front over the library for seeing what qvmprepro sees.
// Each subcommand lives in its own file and registers itself here.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qvm::inspect {

struct Options {
    std::vector<std::string> positional;  // arguments after the subcommand that are not options
    std::vector<std::string> includeDirectories;
    std::vector<std::string> defines;
    int dialect = 2;                      // 0 KR, 1 ANSI, 2 none
    std::optional<std::string> stdDefine;  // unset: the host profile of the share directory
    bool noComment = false;
    // Selection options of the semantic analysis, spelt as qvmprepro's.
    std::vector<std::string> scenarios;          // -SCN
    std::vector<std::string> excludedScenarios;  // -EXSCN
    std::vector<std::string> families;           // -FAMILY
    std::vector<std::string> excludedFamilies;   // -EXFAMILY
    std::string instance;                        // -INSTANCE
    bool fast = true;                            // -FAST / -NOFAST
    int traceLevel = 0;                          // -TRACE
};

// Returns the exit status; a usage problem of the subcommand returns kUsage.
using Handler = int (*)(const Options& options);

struct Subcommand {
    const char* name;
    const char* usage;  // e.g. "tokens SCRIPT [-INCL=...]"
    std::size_t positionalCount;
    Handler handler;
};

constexpr int kUsage = 2;

// Called from a static initialiser in each subcommand's file.
bool registerSubcommand(const Subcommand& subcommand);

// Exit status of the diagnostics counted so far: 0, 3 warnings, 5 errors.
int statusOfReports();

// Starts the C analysis as qvmprepro starts it before its interface files:
// the dialect, include directories and -DEFINE texts, then the -STD_DEFINE
// file preprocessed and declared, so that its macros and its size and sign
// pragmas hold for what follows.
void startCAnalysis(const Options& options);

}  // namespace qvm::inspect
