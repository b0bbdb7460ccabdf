// The diagnostics service: every message of the program goes through here.
#pragma once

#include "diag/message_code.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::base {
class StagedFile;
struct CommitProblem;
}  // namespace qvm::base

namespace qvm {

// Exit statuses of the process: the worst severity met.
enum ExitStatus : int {
    StatusClean = 0,
    StatusWarnings = 3,
    StatusErrors = 5,
    StatusFatal = 7,
    StatusInternal = 9,
    StatusNoCatalog = -1,  // FENWIRDIR unset, or its catalog directory missing
};

// Thrown by every report that ends the run (fatal, internal, end-of-run
// summary, start-up failures); main turns it into the process exit status.
struct RunAbort {
    int status;  // an ExitStatus
};

}  // namespace qvm

namespace qvm::diag {

// The numbers are those the C analysis reports with.
enum Severity : int { Internal = 0, Fatal = 1, Error = 2, Warning = 3, Information = 4 };

// Reports with two argument texts (local 8-bit). Warnings and errors are
// counted; fatal ends the run with status 7, internal with status 9.
void information(MessageCode code, std::string_view arg1 = {}, std::string_view arg2 = {});
void warning(MessageCode code, std::string_view arg1 = {}, std::string_view arg2 = {});
void error(MessageCode code, std::string_view arg1 = {}, std::string_view arg2 = {});
[[noreturn]] void fatal(MessageCode code, std::string_view arg1 = {}, std::string_view arg2 = {});
[[noreturn]] void internal(MessageCode code, std::string_view arg1 = {}, std::string_view arg2 = {});
void report(Severity severity, MessageCode code, std::string_view arg1, std::string_view arg2);

// A file that could not be opened, written or put in place: the fatal code
// with the file name, followed by the system's reason for the error number
// (none for 0).
[[noreturn]] void fatalFile(MessageCode code, std::string_view file, int error);
// Outputs that could not be put in place: "OUTOVRINP" when one would replace
// an input, "OUTOVROUT" when two are the same file, else "FICERROPN" with
// the system's reason.
[[noreturn]] void fatalCommitProblem(const base::CommitProblem& problem);

// Plain C string variants: an argument that is not given becomes one blank.
[[noreturn]] void fatalC(MessageCode code, const char* arg1 = nullptr, const char* arg2 = nullptr);
[[noreturn]] void internalC(MessageCode code, const char* arg1 = nullptr, const char* arg2 = nullptr);

// Position prefix put into %1 of a located message: "[file:line] ", "[line] "
// or a single blank.
std::string positionPrefix(std::string_view file, int line);

// Located report: the first argument is the position prefix.
void reportLocated(Severity severity, MessageCode code, std::string_view arg2,
                   std::string_view file, int line);
void reportLocatedC(Severity severity, MessageCode code, const char* arg2, const char* file, int line);

// Current position, set by the passes as they read.
void setCurrentFile(std::string_view file);
const std::string& currentFile();
void setCurrentLine(int line);
int currentLine();

// Located report at the current position.
void reportAt(Severity severity, MessageCode code, std::string_view arg2 = {});
inline void informationAt(MessageCode code, std::string_view arg2 = {}) { reportAt(Information, code, arg2); }
inline void warningAt(MessageCode code, std::string_view arg2 = {}) { reportAt(Warning, code, arg2); }
inline void errorAt(MessageCode code, std::string_view arg2 = {}) { reportAt(Error, code, arg2); }
[[noreturn]] void fatalAt(MessageCode code, std::string_view arg2 = {});
[[noreturn]] void internalAt(MessageCode code, std::string_view arg2 = {});

unsigned errorCount();
unsigned warningCount();

// The list file receives every line from its opening on; the console echo
// takes the LOG setting at the same moment. It is written aside and put in
// place when the run ends (see endOfRun). A line that ends the run and that
// no list file can take is shown on the console whatever the echo setting.
// Lines that cannot all be written to it end the run: the fatal "FICNOTOPN"
// with its name and the system's reason, on the console.
void openListFile(const std::string& name, bool consoleEcho);
// Closes it once and puts it in place; false (after saying why on the
// console) when what it was given did not all reach it or it could not be
// put in place.
bool closeListFile();
void setConsoleEcho(bool on);
bool consoleEchoOn();

// The text of a message line without writing it (prefix, filled catalog
// text, newline, leftover placeholders removed), in local 8-bit encoding.
// A non-zero error number appends ": " and the system's reason.
std::string formatLine(Severity severity, MessageCode code, std::string_view arg1,
                       std::string_view arg2, int error = 0);

// Exit status of the counts so far: errors, warnings only, or clean.
ExitStatus statusOfCounts();

// Writes the counts to the list file, puts it in place together with the
// outputs of the run (all or none: a failure is fatal, said on the console,
// and leaves every target as it was), then shows the counts on the console
// and ends the run with its status.
[[noreturn]] void endOfRun(const std::vector<base::StagedFile*>& outputs = {});

// A failing system call: "FATAL ERROR on '%1'" on the standard error stream
// only (never the list file), then status 7.
[[noreturn]] void systemFailure(std::string_view callName);

// Writes text to the standard error stream as it is (for messages that do not
// go through the catalog: command-line decoder, start-up failures).
void writeConsole(std::string_view text);
// Writes an answer the user asked for (usage, version) on the standard output.
void writeOutput(std::string_view text);

// Where console text goes; by default the standard error stream. Tests may
// capture it. Passing nullptr restores the default.
void setConsoleSink(std::function<void(std::string_view)> sink);
// Whether a sink has taken the console's place.
bool consoleCaptured();

// Back to the state of a fresh process: counters, position, list file closed,
// echo on. The catalog is kept.
void resetRun();

}  // namespace qvm::diag
