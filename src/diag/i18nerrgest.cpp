// The diagnostics service: reports, their counts, the console and the list file.
#include "diag/i18nerrgest.h"

#include "base/stagedfile.h"
#include "diag/catalog.h"
#include "diag/heldreports.h"
#include "diag/i18nutil.h"
#include "diag/progress.h"

#include <QString>

#include <cstdio>
#include <memory>

namespace qvm::diag {

namespace {

constexpr std::size_t kMaxCurrentFile = 1003;

struct RunState {
    unsigned errors = 0;                               // errors reported
    unsigned warnings = 0;                             // warnings reported
    bool consoleEcho = true;                           // lines also go to the console
    std::string listName;                              // the list file's name, once opened
    std::unique_ptr<base::StagedFile> listFile;        // written aside from openListFile to closeListFile
    std::string currentFile;                           // current position of the located reports
    int currentLine = 0;
    std::function<void(std::string_view)> sink;        // console replacement set by tests
};

RunState& state()
{
    static RunState instance;
    return instance;
}

// The reports of this thread are held there while a pass beside the main
// thread runs on it.
thread_local HeldReports* heldHere = nullptr;

char severityLetter(Severity severity)
{
    switch (severity) {
    case Internal: return 'S';
    case Fatal: return 'F';
    case Error: return 'E';
    case Warning: return 'W';
    case Information: return 'I';
    }
    return '?';
}

// Replaces every occurrence of the lowest-numbered placeholder %1..%9 still
// present in text; text without a placeholder is left as it is.
QString fillLowestPlaceholder(const QString& text, const QString& value)
{
    QChar lowest = QLatin1Char(':');
    for (int i = 0; i + 1 < text.size(); ++i) {
        const QChar next = text.at(i + 1);
        if (text.at(i) == QLatin1Char('%') && next >= QLatin1Char('1') && next <= QLatin1Char('9') && next < lowest) {
            lowest = next;
        }
    }
    if (lowest == QLatin1Char(':')) {
        return text;
    }
    QString placeholder = QStringLiteral("%");
    placeholder += lowest;
    QString result = text;
    result.replace(placeholder, value);
    return result;
}

QString fillArguments(const QString& text, std::string_view arg1, std::string_view arg2)
{
    if (!arg1.empty() && !arg2.empty()) {
        return fillLowestPlaceholder(fillLowestPlaceholder(text, fromLocal8(arg1)), fromLocal8(arg2));
    }
    if (!arg1.empty()) {
        return fillLowestPlaceholder(text, fromLocal8(arg1));
    }
    if (!arg2.empty()) {
        return fillLowestPlaceholder(text, fromLocal8(arg2));
    }
    return text;
}

[[noreturn]] void endRun(ExitStatus status);

// The list file could not take all its lines: said on the console whatever
// the echo setting, since the list file cannot say it.
void reportListFileLoss(int error)
{
    writeConsole(formatLine(Fatal, "FICNOTOPN", state().listName, {}, error));
}

std::FILE* listStream()
{
    return state().listFile ? state().listFile->stream() : nullptr;
}

// A line that ends the run reaches the console when no list file can take
// it, whatever the echo setting.
void writeLine(const std::string& line, Severity severity, bool toConsole = true)
{
    std::FILE* list = listStream();
    if (toConsole && (state().consoleEcho || (list == nullptr && severity <= Fatal))) {
        writeConsole(line);
    }
    if (list != nullptr && std::fwrite(line.data(), 1, line.size(), list) != line.size()) {
        state().listFile->lose();
        const int error = state().listFile->error();
        state().listFile.reset();
        reportListFileLoss(error);
        endRun(StatusFatal);
    }
}

// The text of a commit that could not be made.
std::string commitProblemLine(const base::CommitProblem& problem)
{
    switch (problem.kind) {
    case base::CommitProblem::OutputIsInput: return formatLine(Fatal, "OUTOVRINP", problem.file, problem.other);
    case base::CommitProblem::OutputsCollide: return formatLine(Fatal, "OUTOVROUT", problem.file, problem.other);
    case base::CommitProblem::Failed: break;
    }
    return formatLine(Fatal, "FICERROPN", problem.file, {}, problem.error);
}

// Writes what the list file still buffers and puts it in place, with the
// outputs of a successful run when there are any; false (after saying why
// on the console) when that could not be done, every target then being left
// as it was.
bool installListFile(const std::vector<base::StagedFile*>& outputs)
{
    std::unique_ptr<base::StagedFile> list = std::move(state().listFile);
    std::vector<base::StagedFile*> files = outputs;
    if (list) {
        if (!list->finish()) {
            reportListFileLoss(list->error());
            return false;
        }
        files.push_back(list.get());
    }
    if (const std::optional<base::CommitProblem> problem = base::installTogether(files)) {
        writeConsole(commitProblemLine(*problem));
        return false;
    }
    return true;
}

void count(Severity severity)
{
    if (severity == Error) {
        ++state().errors;
    } else if (severity == Warning) {
        ++state().warnings;
    }
}

[[noreturn]] void endRun(ExitStatus status)
{
    if (heldHere != nullptr) {
        throw RunAbort{status};  // the main thread ends the run when it replays the pass
    }
    stopProgress();
    if (!closeListFile() && status != StatusInternal) {
        status = StatusFatal;
    }
    std::fflush(stderr);
    std::fflush(stdout);
    throw RunAbort{status};
}

std::string_view orBlank(const char* text)
{
    return text == nullptr ? std::string_view(" ") : std::string_view(text);
}

}  // namespace

struct HeldAccess {
    // A held line that ends the run ends the pass at once.
    static void hold(Severity severity, MessageCode code, std::string_view arg1, std::string_view arg2,
                     bool fileFatal = false, int error = 0)
    {
        heldHere->lines_.push_back(
            {severity, std::string(code.text()), std::string(arg1), std::string(arg2), fileFatal, error});
        if (severity <= Fatal) {
            throw RunAbort{severity == Fatal ? StatusFatal : StatusInternal};
        }
    }
    static std::string& file() { return heldHere->file_; }
    static int& line() { return heldHere->line_; }
    static void notePosition() { heldHere->positionSet_ = true; }
};

HeldReports::Scope::Scope(HeldReports& into) : outer_(heldHere)
{
    heldHere = &into;
}

HeldReports::Scope::~Scope()
{
    heldHere = outer_;
}

void HeldReports::replay()
{
    if (positionSet_) {
        setCurrentFile(file_);
        setCurrentLine(line_);
    }
    for (const Line& line : lines_) {
        const MessageCode code = MessageCode::fromText(line.code);
        if (line.fileFatal) {
            fatalFile(code, line.arg1, line.error);
        }
        report(line.severity, code, line.arg1, line.arg2);
    }
    lines_.clear();
}

std::string formatLine(Severity severity, MessageCode code, std::string_view arg1, std::string_view arg2, int error)
{
    QString line = QStringLiteral("Fenwir-%1-%2,  ")
                       .arg(QLatin1Char(severityLetter(severity)))
                       .arg(QString::fromLatin1(code.text().data(), static_cast<int>(code.text().size())));
    if (const QString* text = catalogText(code.text())) {
        line += fillArguments(*text, arg1, arg2);
    }
    if (error != 0) {
        line += QStringLiteral(": ") + fromLocal8(base::systemReason(error));
    }
    line += QLatin1Char('\n');
    line.remove(QStringLiteral("%1"));
    line.remove(QStringLiteral("%2"));
    line.remove(QStringLiteral("%3"));
    return toLocal8(line);
}

void report(Severity severity, MessageCode code, std::string_view arg1, std::string_view arg2)
{
    if (heldHere != nullptr) {
        HeldAccess::hold(severity, code, arg1, arg2);
        return;
    }
    count(severity);
    writeLine(formatLine(severity, code, arg1, arg2), severity);
    if (severity == Fatal) {
        endRun(StatusFatal);
    }
    if (severity == Internal) {
        endRun(StatusInternal);
    }
}

void information(MessageCode code, std::string_view arg1, std::string_view arg2)
{
    report(Information, code, arg1, arg2);
}

void warning(MessageCode code, std::string_view arg1, std::string_view arg2)
{
    report(Warning, code, arg1, arg2);
}

void error(MessageCode code, std::string_view arg1, std::string_view arg2)
{
    report(Error, code, arg1, arg2);
}

void fatal(MessageCode code, std::string_view arg1, std::string_view arg2)
{
    report(Fatal, code, arg1, arg2);
    endRun(StatusFatal);
}

void fatalFile(MessageCode code, std::string_view file, int error)
{
    if (heldHere != nullptr) {
        HeldAccess::hold(Fatal, code, file, {}, true, error);
    }
    writeLine(formatLine(Fatal, code, file, {}, error), Fatal);
    endRun(StatusFatal);
}

void fatalCommitProblem(const base::CommitProblem& problem)
{
    writeLine(commitProblemLine(problem), Fatal);
    endRun(StatusFatal);
}

void internal(MessageCode code, std::string_view arg1, std::string_view arg2)
{
    report(Internal, code, arg1, arg2);
    endRun(StatusInternal);
}

void fatalC(MessageCode code, const char* arg1, const char* arg2)
{
    fatal(code, orBlank(arg1), orBlank(arg2));
}

void internalC(MessageCode code, const char* arg1, const char* arg2)
{
    internal(code, orBlank(arg1), orBlank(arg2));
}

std::string positionPrefix(std::string_view file, int line)
{
    if (!file.empty()) {
        return "[" + std::string(file) + ":" + std::to_string(line) + "] ";
    }
    if (line != 0) {
        return "[" + std::to_string(line) + "] ";
    }
    return " ";
}

void reportLocated(Severity severity, MessageCode code, std::string_view arg2, std::string_view file, int line)
{
    report(severity, code, positionPrefix(file, line), arg2);
}

void reportLocatedC(Severity severity, MessageCode code, const char* arg2, const char* file, int line)
{
    reportLocated(severity, code, orBlank(arg2), file == nullptr ? std::string_view() : file, line);
}

void setCurrentFile(std::string_view file)
{
    if (heldHere != nullptr) {
        HeldAccess::notePosition();
        HeldAccess::file().assign(file.substr(0, kMaxCurrentFile));
        return;
    }
    state().currentFile.assign(file.substr(0, kMaxCurrentFile));
}

const std::string& currentFile()
{
    return heldHere != nullptr ? HeldAccess::file() : state().currentFile;
}

void setCurrentLine(int line)
{
    if (heldHere != nullptr) {
        HeldAccess::notePosition();
        HeldAccess::line() = line;
        return;
    }
    state().currentLine = line;
}

int currentLine()
{
    return heldHere != nullptr ? HeldAccess::line() : state().currentLine;
}

void reportAt(Severity severity, MessageCode code, std::string_view arg2)
{
    reportLocated(severity, code, arg2, currentFile(), currentLine());
}

void fatalAt(MessageCode code, std::string_view arg2)
{
    reportAt(Fatal, code, arg2);
    endRun(StatusFatal);
}

void internalAt(MessageCode code, std::string_view arg2)
{
    reportAt(Internal, code, arg2);
    endRun(StatusInternal);
}

unsigned errorCount()
{
    return state().errors;
}

unsigned warningCount()
{
    return state().warnings;
}

void openListFile(const std::string& name, bool consoleEcho)
{
    state().listName = name;
    state().consoleEcho = consoleEcho;
    state().listFile = std::make_unique<base::StagedFile>(name);
    if (state().listFile->stream() == nullptr) {
        const int error = state().listFile->error();
        state().listFile.reset();
        fatalFile("FICERROPN", name, error);
    }
}

bool closeListFile()
{
    return installListFile({});
}

void setConsoleEcho(bool on)
{
    state().consoleEcho = on;
}

bool consoleEchoOn()
{
    return state().consoleEcho;
}

ExitStatus statusOfCounts()
{
    if (state().errors != 0) {
        return StatusErrors;
    }
    return state().warnings != 0 ? StatusWarnings : StatusClean;
}

void endOfRun(const std::vector<base::StagedFile*>& outputs)
{
    const unsigned errors = state().errors;
    const unsigned warnings = state().warnings;
    MessageCode code = "ENDNOENWR";
    if (errors != 0) {
        code = warnings != 0 ? MessageCode("ENDERRWAR") : MessageCode("ENDERRNWR");
    } else if (warnings != 0) {
        code = "ENDNOEWAR";
    }
    const ExitStatus status = statusOfCounts();
    // The summary is the last line: the progress line does not come back below it.
    stopProgress();
    const std::string summary = formatLine(Information, code, errors != 0 ? std::to_string(errors) : std::string(),
                                           warnings != 0 ? std::to_string(warnings) : std::string());
    // The list file takes the summary before it is put in place with the
    // outputs; the console shows it only once all are in place.
    const bool listed = listStream() != nullptr;
    if (listed) {
        writeLine(summary, Information, false);
    }
    if (!installListFile(outputs)) {
        endRun(StatusFatal);
    }
    if (state().consoleEcho) {
        writeConsole(summary);
    }
    endRun(status);
}

void systemFailure(std::string_view callName)
{
    const QString text = tr("Fatal Error (cstsyst)", "FATAL ERROR on '%1',\n Please contact your administrative.",
                            "'%1' is a function name")
                             .arg(fromLocal8(callName));
    writeConsole(toLocal8(text) + "\n");
    endRun(StatusFatal);
}

void writeConsole(std::string_view text)
{
    if (state().sink) {
        state().sink(text);
        return;
    }
    const ProgressPause offTheLine;
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void writeOutput(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool consoleCaptured()
{
    return static_cast<bool>(state().sink);
}

void setConsoleSink(std::function<void(std::string_view)> sink)
{
    state().sink = std::move(sink);
}

void resetRun()
{
    stopProgress();
    auto sink = std::move(state().sink);
    state() = RunState{};
    state().sink = std::move(sink);
}

}  // namespace qvm::diag
