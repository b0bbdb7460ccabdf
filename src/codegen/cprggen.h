// The generated program: the C source file that, compiled with the test
// runtime and the interface files, runs the analysed script's scenarios.
#pragma once

#include "codegen/genfiles.h"
#include "codegen/gennumbers.h"
#include "script/semmodel.h"
#include "script/sourcefiles.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen {

// Trace levels of the -TRACE option, as the generated program receives them.
inline constexpr int kTraceCircular = 50;

// Allocation modes of the -ALLOCATION option.
enum class Allocation { None = 0, Stack = 1, Dynamic = 2 };

// What the program writer reads besides the model: the run's names and the
// options, taken once when the writer starts.
struct ProgramOptions {
    std::string programPath;           // the generated C file
    std::string rioPath;               // the run's result file, written into the program
    // The TDC file written with the program, as named on the command line,
    // and the directory the names are relative to: the program looks for
    // the file there whatever its trace is called. None: beside the trace only.
    std::string tdcPath;
    std::string generationDirectory;
    std::string probeHeaderPath;       // the probe header the TDC writer began (probe mode)
    std::string filterLetters;         // -SET: the default filter letters
    std::string date;                  // the run's date text
    int processId = 0;                 // with the date, the generation stamp
    std::string instanceName;          // -INSTANCE, "" without (or when undeclared)
    int instanceMode = 0;              // of the analysis: 0 none, 1 fixed, 2 and 3 chosen at run time
    int instanceNumber = 0;            // of the analysis: initial value of the instance number
    int timerCount = 0;
    Allocation allocation = Allocation::None;
    std::string entryName = "<main>";  // or the thread routine's name
    bool notShared = false;
    int traceLevel = 0;                // 0, 5, 10, 20 or 50
    int bufferSizeKb = 10;
    int probeMode = 0;                 // 0 none, 1 DEFAULT, 2 CUSTOM
    bool scriptLines = false;          // -SCRIPTLINES: "#line" directives to the script's lines
    std::vector<std::string> interfaceFiles;  // in command-line order
};

// Writes the generated program of the analysed model into files. The
// numbers are those the TDC and tracer structure writers gave.
void writeProgram(GeneratedFiles& files, const Numbering& numbering, const script::sem::Model& model,
                  const std::vector<script::SourceFileRecord>& sourceFiles, const ProgramOptions& options);

// The condition a filter prefix stands for ("AB+~C" gives
// "if ( ( trv_filter[0] && trv_filter[1]) || (!trv_filter[2]) )"); a prefix
// that begins with '%' swaps the operators.
std::string filterCondition(std::string_view prefix);

}  // namespace qvm::codegen
