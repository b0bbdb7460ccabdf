#include "diag/i18nerrgest.h"

#include "diag/catalog.h"
#include "diag/i18nutil.h"
#include "diag/progress.h"

#include <QString>

#include <cstdio>
#include <memory>

namespace qvm::diag {

namespace {

constexpr std::size_t kMaxCurrentFile = 1003;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct RunState {
    unsigned errors = 0;                               // errors reported
    unsigned warnings = 0;                             // warnings reported
    bool consoleEcho = true;                           // lines also go to the console
    std::string listName;                              // the list file's name, once opened
    std::unique_ptr<std::FILE, FileCloser> listFile;   // open from openListFile to closeListFile
    std::string currentFile;                           // current position of the located reports
    int currentLine = 0;
    std::function<void(std::string_view)> sink;        // console replacement set by tests
};

RunState& state()
{
    static RunState instance;
    return instance;
}

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
void reportListFileLoss()
{
    writeConsole(formatLine(Fatal, "FICNOTOPN", state().listName, {}));
}

void writeLine(const std::string& line)
{
    if (state().consoleEcho) {
        writeConsole(line);
    }
    if (state().listFile && std::fwrite(line.data(), 1, line.size(), state().listFile.get()) != line.size()) {
        state().listFile.reset();
        reportListFileLoss();
        endRun(StatusFatal);
    }
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

std::string formatLine(Severity severity, MessageCode code, std::string_view arg1, std::string_view arg2)
{
    QString line = QStringLiteral("Fenwir-%1-%2,  ")
                       .arg(QLatin1Char(severityLetter(severity)))
                       .arg(QString::fromLatin1(code.text().data(), static_cast<int>(code.text().size())));
    if (const QString* text = catalogText(code.text())) {
        line += fillArguments(*text, arg1, arg2);
    }
    line += QLatin1Char('\n');
    line.remove(QStringLiteral("%1"));
    line.remove(QStringLiteral("%2"));
    line.remove(QStringLiteral("%3"));
    return toLocal8(line);
}

void report(Severity severity, MessageCode code, std::string_view arg1, std::string_view arg2)
{
    count(severity);
    writeLine(formatLine(severity, code, arg1, arg2));
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
    state().currentFile.assign(file.substr(0, kMaxCurrentFile));
}

const std::string& currentFile()
{
    return state().currentFile;
}

void setCurrentLine(int line)
{
    state().currentLine = line;
}

int currentLine()
{
    return state().currentLine;
}

void reportAt(Severity severity, MessageCode code, std::string_view arg2)
{
    reportLocated(severity, code, arg2, state().currentFile, state().currentLine);
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
    state().listFile.reset(std::fopen(name.c_str(), "w"));
    if (!state().listFile) {
        fatal("FICERROPN", name, {});
    }
}

bool closeListFile()
{
    if (!state().listFile) {
        return true;
    }
    std::FILE* file = state().listFile.release();
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    if (std::fclose(file) == 0 && flushed) {
        return true;
    }
    reportListFileLoss();
    return false;
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

void endOfRun()
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
    information(code, errors != 0 ? std::to_string(errors) : std::string(),
                warnings != 0 ? std::to_string(warnings) : std::string());
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
