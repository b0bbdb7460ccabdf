// Entry point of qvminspect: decodes the subcommand and its options and runs it.
#include "inspect.h"

#include "base/extgest.h"
#include "base/mfmemo.h"
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "diag/i18nutil.h"
#include "script/ancgest.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <map>
#include <new>
#include <string_view>

namespace qvm::inspect {

namespace {

std::map<std::string, Subcommand>& subcommands()
{
    static std::map<std::string, Subcommand> table;
    return table;
}

std::vector<std::string> splitList(std::string_view value)
{
    std::vector<std::string> pieces;
    std::string piece;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ',') {
            piece += ',';
            ++i;
        } else if (value[i] == ',') {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += value[i];
        }
    }
    pieces.push_back(piece);
    return pieces;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; });
}

// An argument shaped like an option: '-' and a letter. Other arguments that
// start with '-' ("-1 > 0u") are expressions or names; "--" ends the options
// for those that start with a letter ("-FLAG").
bool looksLikeOption(std::string_view argument)
{
    return argument.size() > 1 && argument.front() == '-' && std::isalpha(static_cast<unsigned char>(argument[1])) != 0;
}

// The trace level of a -TRACE keyword; -1 for an unknown keyword.
int traceLevelOf(std::string value)
{
    std::transform(value.begin(), value.end(), value.begin(), ::toupper);
    static const std::map<std::string, int> levels{{"ERROR", 5}, {"SCN", 10}, {"TIME", 20}, {"CIRCULAR", 50}};
    const auto found = levels.find(value);
    return found == levels.end() ? -1 : found->second;
}

// Reads one of the options that select what the semantic analysis keeps;
// false when the argument is not one.
bool readSelectionOption(std::string_view argument, Options& options)
{
    const std::pair<std::string_view, std::vector<std::string>*> lists[] = {
        {"-SCN=", &options.scenarios},
        {"-EXSCN=", &options.excludedScenarios},
        {"-FAMILY=", &options.families},
        {"-EXFAMILY=", &options.excludedFamilies},
    };
    for (const auto& [name, list] : lists) {
        if (startsWithNoCase(argument, name)) {
            auto values = splitList(argument.substr(name.size()));
            list->insert(list->end(), values.begin(), values.end());
            return true;
        }
    }
    if (startsWithNoCase(argument, "-INSTANCE=")) {
        options.instance = argument.substr(10);
    } else if (startsWithNoCase(argument, "-FAST") && argument.size() == 5) {
        options.fast = true;
    } else if (startsWithNoCase(argument, "-NOFAST") && argument.size() == 7) {
        options.fast = false;
    } else if (startsWithNoCase(argument, "-TRACE=")) {
        options.traceLevel = traceLevelOf(std::string(argument.substr(7)));
        return options.traceLevel >= 0;
    } else {
        return false;
    }
    return true;
}

// Reads one of the C-analysis options; false when the argument is not one.
bool readOption(std::string_view argument, Options& options)
{
    auto valueAfter = [&](std::string_view name) { return argument.substr(name.size()); };
    if (startsWithNoCase(argument, "-INCL=")) {
        auto dirs = splitList(valueAfter("-INCL="));
        options.includeDirectories.insert(options.includeDirectories.end(), dirs.begin(), dirs.end());
    } else if (startsWithNoCase(argument, "-DEFINE=")) {
        auto defs = splitList(valueAfter("-DEFINE="));
        options.defines.insert(options.defines.end(), defs.begin(), defs.end());
    } else if (startsWithNoCase(argument, "-RESTRICTION=")) {
        std::string value(valueAfter("-RESTRICTION="));
        std::transform(value.begin(), value.end(), value.begin(), ::toupper);
        if (value == "KR") {
            options.dialect = script::CModeTraditional;
        } else if (value == "ANSI") {
            options.dialect = script::CModePedantic;
        } else {
            return false;
        }
    } else if (startsWithNoCase(argument, "-STD_DEFINE=")) {
        options.stdDefine = valueAfter("-STD_DEFINE=");
    } else if (startsWithNoCase(argument, "-NOCOMMENT") && argument.size() == 10) {
        options.noComment = true;
    } else {
        return readSelectionOption(argument, options);
    }
    return true;
}

constexpr std::string_view kOptionsUsage =
    "options: -INCL=dir[,dir] -DEFINE=NAME[=VALUE][,...] -RESTRICTION=ANSI|KR -STD_DEFINE=file\n"
    "         model: -SCN=a[,b] -EXSCN=a[,b] -FAMILY=f[,g] -EXFAMILY=f[,g] -INSTANCE=name -FAST|-NOFAST\n"
    "                -TRACE=ERROR|SCN|TIME|CIRCULAR\n"
    "         (after --, arguments that start with '-' are no options)\n";

std::string usageText()
{
    std::string text = "usage: qvminspect SUBCOMMAND ARGUMENTS [options]\nsubcommands:\n";
    for (const auto& [name, subcommand] : subcommands()) {
        text += "  qvminspect ";
        text += subcommand.usage;
        text += '\n';
    }
    text += kOptionsUsage;
    return text;
}

std::string usageText(const Subcommand& subcommand)
{
    return "usage: qvminspect " + std::string(subcommand.usage) + "\n" + std::string(kOptionsUsage);
}

int usageError(std::string_view problem, const std::string& usage)
{
    diag::writeConsole("qvminspect: " + std::string(problem) + "\n" + usage);
    return kUsage;
}

int usageError(std::string_view problem)
{
    return usageError(problem, usageText());
}

// Output that did not all reach standard output is as bad as a list file
// that lost lines.
void checkStandardOutput()
{
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || !std::cout) {
        diag::fatal("FICNOTOPN", "standard output");
    }
}

// Finds the subcommand, reads its arguments and options and runs it; a usage
// problem is told on the console and gives kUsage. The subcommand's status
// stands unless its standard output was lost.
int dispatch(int argc, char** argv)
{
    if (argc < 2) {
        return usageError("missing subcommand");
    }
    if (looksLikeOption(argv[1])) {
        return usageError(std::string("options follow the subcommand, '") + argv[1] + "' comes before it");
    }
    const auto found = subcommands().find(argv[1]);
    if (found == subcommands().end()) {
        return usageError(std::string("unknown subcommand '") + argv[1] + "'");
    }
    const Subcommand& subcommand = found->second;
    Options options;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (optionsEnded || !looksLikeOption(argument)) {
            options.positional.emplace_back(argument);
        } else if (!readOption(argument, options)) {
            return usageError("unknown option '" + std::string(argument) + "'", usageText(subcommand));
        }
    }
    if (options.positional.size() != subcommand.positionalCount) {
        return usageError(std::string("wrong number of arguments for '") + argv[1] + "'", usageText(subcommand));
    }
    const int status = subcommand.handler(options);
    checkStandardOutput();
    return status;
}

}  // namespace

bool registerSubcommand(const Subcommand& subcommand)
{
    subcommands().emplace(subcommand.name, subcommand);
    return true;
}

int statusOfReports()
{
    return diag::statusOfCounts();
}

void startCAnalysis(const Options& options)
{
    // A large header makes the heap grow by megabytes: large pages spare
    // most of the faults that would come with it.
    base::adviseHeapLargePages();
    script::startCAnalysis(options.dialect, options.includeDirectories, options.defines, {});
    const std::string definitions = options.stdDefine.value_or(diag::defaultHostProfile());
    if (!definitions.empty()) {
        script::declareIncludedFile(base::withOwnOrDefaultExtension(definitions, "QVM_DEF", "def"));
    }
}

}  // namespace qvm::inspect

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    try {
        try {
            qvm::diag::loadTranslatorsIfAvailable(app, qvm::diag::catalogPrefixes());
            qvm::diag::registerBuiltinCatalogs();
            return qvm::inspect::dispatch(argc, argv);
        } catch (const std::bad_alloc&) {
            qvm::base::memoryExhausted();
        }
    } catch (const qvm::RunAbort& abort) {
        return abort.status;
    }
}
