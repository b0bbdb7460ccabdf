// The pipeline driver: one run translates one test script.
#pragma once

#include <string>
#include <string_view>

namespace qvm::driver {

// Texts of the start banner.
inline constexpr const char* kProductTitle = "Fenwir";
inline constexpr const char* kToolTitle = "QVM test script preprocessor";
inline constexpr const char* kVersionText = "version " QVM_VERSION;

// File names of a run, derived from the script argument and the output root.
struct RunNames {
    std::string script;          // the test script to read
    std::string list;            // the list file
    std::string spg;             // the SPG project file
    std::string tdc;             // the TDC file
    std::string probeHeader;     // the probe header
    std::string tracer;          // the tracer structure file
    std::string rio;             // the RIO file name handed to the generator
    std::string program;         // the generated C program
    std::string lock;            // taken by the run for the whole of its output root
};

RunNames deriveNames(std::string_view scriptArgument, std::string_view rootArgument);

// The standard-definitions file: its own extension kept, else QVM_DEF or "def".
std::string stdDefinePath(std::string_view stdDefineArgument);

// The thread routine name: "<start>" gives the root's file name without its
// extension followed by "_start"; any other value is kept.
std::string threadRoutineName(std::string_view threadSetting, std::string_view rootArgument);

// An echo longer than 1900 characters is cut there and " (...)" appended.
std::string cutEcho(std::string echo);

// Runs the whole pipeline and gives the process exit status.
int run(int argc, char** argv);

}  // namespace qvm::driver
