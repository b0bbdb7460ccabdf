// The diagnostics service: every message of the program goes through here.
#pragma once

#include "diag/message_code.h"

#include <functional>
#include <string>
#include <string_view>

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
// takes the LOG setting at the same moment.
// Lines that cannot all be written to it end the run: the fatal "FICNOTOPN"
// with its name, on the console.
void openListFile(const std::string& name, bool consoleEcho);
// Closes it once; false (after reporting "FICNOTOPN") when what it was given
// did not all reach the file.
bool closeListFile();
void setConsoleEcho(bool on);
bool consoleEchoOn();

// The text of a message line without writing it (prefix, filled catalog
// text, newline, leftover placeholders removed), in local 8-bit encoding.
std::string formatLine(Severity severity, MessageCode code, std::string_view arg1,
                       std::string_view arg2);

// Exit status of the counts so far: errors, warnings only, or clean.
ExitStatus statusOfCounts();

// Prints the counts, closes the list file and ends the run with its status.
[[noreturn]] void endOfRun();

// A failing system call: "FATAL ERROR on '%1'" on the standard error stream
// only (never the list file), then status 7.
[[noreturn]] void systemFailure(std::string_view callName);

// Writes text to the standard error stream as it is (for messages that do not
// go through the catalog: command-line decoder, start-up failures).
void writeConsole(std::string_view text);

// Where console text goes; by default the standard error stream. Tests may
// capture it. Passing nullptr restores the default.
void setConsoleSink(std::function<void(std::string_view)> sink);
// Whether a sink has taken the console's place.
bool consoleCaptured();

// Back to the state of a fresh process: counters, position, list file closed,
// echo on. The catalog is kept.
void resetRun();

}  // namespace qvm::diag
