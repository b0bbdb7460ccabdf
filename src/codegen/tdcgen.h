// The TDC writer: the numbered list of every traced construct of an analysed
// script, which the runtime's report tools read to turn the numbers recorded
// at run time back into script constructs, and in probe mode the beginning
// of the probe header that names those numbers.
#pragma once

#include "codegen/genfiles.h"
#include "codegen/gennumbers.h"
#include "codegen/pieces.h"
#include "script/semmodel.h"
#include "script/sourcefiles.h"

#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen {

// What the TDC writer reads from one run.
struct TdcRun {
    std::string scriptPath;       // the test script as read
    std::string tdcPath;          // the TDC file to write
    std::string probeHeaderPath;  // written in probe mode only
    const std::vector<script::SourceFileRecord>* sourceFiles = nullptr;  // as the parser returns them
    std::string commandLine;      // the command-line echo, already cut
    std::string dateText;         // the run's date text
    std::string instance;         // the fixed instance name, "" when none
    int instanceMode = 0;         // 0 to 3 as the analysis gives it
    int traceLevel = 0;
    int probeMode = 0;            // 0 none, 1 DEFAULT, 2 CUSTOM
    const script::sem::Model* model = nullptr;
};

// Writes the TDC file, numbers every traced construct into the records of
// numbering (see gennumbers.h for the keys) and leaves the script's index
// there. In probe mode the probe header is begun and
// left open in files: the program writer finds it there, adds its part and
// closes its guard.
void writeTdc(GeneratedFiles& files, Numbering& numbering, const TdcRun& run);

// "%s %d": the date text and the process identifier, matching the files of
// one run.
std::string generationStamp(std::string_view dateText);

// A text field: in double quotes, each double quote inside written twice.
std::string tdcQuoted(std::string_view text);

// A text field as a piece of a line (see pieces.h).
struct QuotedPiece {
    std::string_view text;
};
void appendPiece(std::string& out, QuotedPiece field);

}  // namespace qvm::codegen
