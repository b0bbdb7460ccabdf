// The program's command line: its tables of positional parameters, options,
// allowed values and forbidden combinations, and the getters of the settings.
#pragma once

#include <string>
#include <vector>

namespace qvm::cmdline {

enum Dialect { DialectKR = 0, DialectANSI = 1, DialectNone = 2 };
enum ProbeMode { ProbeNone = 0, ProbeDefault = 1, ProbeCustom = 2 };
enum AllocationMode { AllocationNone = 0, AllocationStack = 1, AllocationDynamic = 2 };
enum TraceLevel { TraceNone = 0, TraceError = 5, TraceScenario = 10, TraceTime = 20, TraceCircular = 50 };

// Decodes the arguments (argv[0] is the program path). On success the getters
// become usable and echo receives the normalised command line; on failure the
// decoder has printed its message and the usage text and false is returned.
bool decode(int argc, const char* const* argv, std::string& echo);

// The usage text, translated, as a failed decode prints it.
std::string usageText();

// Getters; called before a successful decode they report "INITPBRLM".
std::string scriptName();
std::vector<std::string> interfaceFiles();
std::string rootName();
std::vector<std::string> includeDirectories();
bool hasFilterLetters();
std::string filterLetters();  // checks A-Z on each call ("BADFLTVAL")
std::vector<std::string> defines();
bool hasStdDefine();
std::string stdDefine();
bool hasStudioLog();
std::string studioLog();
std::vector<std::string> scenarios();
std::vector<std::string> excludedScenarios();
std::vector<std::string> families();
std::vector<std::string> excludedFamilies();
bool hasInstance();
std::string instanceName();
Dialect dialect();
int fastMode();
ProbeMode probeMode();
int consoleLog();
AllocationMode allocationMode();
std::string threadRoutine();  // "<main>" when absent, "<start>" without value
int notShared();
int comments();               // 0 with -NOCOMMENT, else 1
int scriptLines();            // 1 with -SCRIPTLINES: the program's code is located at the script's lines
int spgOnly();
TraceLevel traceLevel();
int bufferSize();             // kilobytes; 0 is taken as 10

// Frees everything the decoder allocated; the getters are unusable afterwards.
void release();

}  // namespace qvm::cmdline
