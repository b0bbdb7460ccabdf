// qvmprepro's command line: its parameters, options and their rules.
#include "driver/cmdppro.h"

#include "base/cstsyst.h"
#include "diag/i18nerrgest.h"
#include "diag/i18nutil.h"
#include "driver/gcmdec.h"
#include "driver/prepro.h"

#include <charconv>
#include <initializer_list>
#include <string_view>

namespace qvm::cmdline {

namespace {

Names same(std::string_view name)
{
    return {name, name, name};
}

ParameterSpec text(Names names, bool list, long maximum)
{
    return ParameterSpec{names, ValueType::Text, list, 1, maximum, false};
}

OptionSpec switchOption(std::string_view name)
{
    OptionSpec record;
    record.names = same(name);
    return record;
}

OptionSpec negatableOption(std::string_view name)
{
    OptionSpec record = switchOption(name);
    record.negatable = true;
    record.defaultOn = true;
    return record;
}

OptionSpec valuedOption(std::string_view name, ParameterSpec argument, bool mandatory = true)
{
    OptionSpec record = switchOption(name);
    record.argument = argument;
    record.argumentMandatory = mandatory;
    return record;
}

OptionSpec keywordOption(std::string_view name, ParameterSpec argument, std::vector<std::string_view> keywords,
                         bool mandatory = true)
{
    OptionSpec record = valuedOption(name, argument, mandatory);
    for (std::string_view keyword : keywords) {
        record.allowed.push_back({same(keyword)});
    }
    record.defaultValue = 1;
    return record;
}

constexpr const char* kUsageFrench =
    "\nUsage QVMPREPRO:\n\t<scn>\n\t<fichier_interface>[,fichier_interface]\n\t<racine>\n"
    "\t[-INCL=<liste_repertoires>[,liste_repertoires]]\n\t[-SET=<lettres>]\n"
    "\t[-DEFINE=<option_compilation>[,option_compilation]]\n\t[-STD_DEFINE=<fichier>]\n"
    "\t[-STUDIO_LOG=<fichier>]\n\t[-SCN=<nom_scenario>[,nom_scenario]]\n"
    "\t[-EXSCN=<nom_exscenario>[,nom_exscenario]]\n\t[-FAMILY=<nom_famille>[,nom_famille]]\n"
    "\t[-EXFAMILY=<nom_exfamille>[,nom_exfamille]]\n\t[-INSTANCE=<nom_instance>]\n"
    "\t[-RESTRICTION=<ANSI|KR>]\n\t[-FAST|-NOFAST]\n\t[-PROBE=<CUSTOM|DEFAULT>]\n\t[-LOG|-NOLOG]\n"
    "\t[-ALLOCATION[=<DYNAMIC|STACK>]]\n\t[-THREAD[=<nom_routine>]]\n\t[-NOTSHARED]\n\t[-NOPATH]\n"
    "\t[-NOCOMMENT]\n\t[-SCRIPTLINES]\n\t[-SPVGEN]\n\t[-TRACE=<ERROR|TIME|SCN|CIRCULAR>]\n\t[-BUFSIZE=<taille_buffer>]\n";

constexpr const char* kUsageFrenchAccents =
    "\nUsage QVMPREPRO:\n\t<scn>\n\t<fichier_interface>[,fichier_interface]\n\t<racine>\n"
    "\t[-INCL=<liste_répertoires>[,liste_répertoires]]\n\t[-SET=<lettres>]\n"
    "\t[-DEFINE=<option_compilation>[,option_compilation]]\n\t[-STD_DEFINE=<fichier>]\n"
    "\t[-STUDIO_LOG=<fichier>]\n\t[-SCN=<nom_scénario>[,nom_scénario]]\n"
    "\t[-EXSCN=<nom_exscénario>[,nom_exscénario]]\n\t[-FAMILY=<nom_famille>[,nom_famille]]\n"
    "\t[-EXFAMILY=<nom_exfamille>[,nom_exfamille]]\n\t[-INSTANCE=<nom_instance>]\n"
    "\t[-RESTRICTION=<ANSI|KR>]\n\t[-FAST|-NOFAST]\n\t[-PROBE=<CUSTOM|DEFAULT>]\n\t[-LOG|-NOLOG]\n"
    "\t[-ALLOCATION[=<DYNAMIC|STACK>]]\n\t[-THREAD[=<nom_routine>]]\n\t[-NOTSHARED]\n\t[-NOPATH]\n"
    "\t[-NOCOMMENT]\n\t[-SCRIPTLINES]\n\t[-SPVGEN]\n\t[-TRACE=<ERROR|TIME|SCN|CIRCULAR>]\n\t[-BUFSIZE=<taille_buffer>]\n";

constexpr const char* kUsageEnglish =
    "\nUsage QVMPREPRO:\n\t<scn>\n\t<interface_file>[,interface_file]\n\t<root>\n"
    "\t[-INCL=<directory_list>[,directory_list]]\n\t[-SET=<letters>]\n"
    "\t[-DEFINE=<compiler_option>[,compiler_option]]\n\t[-STD_DEFINE=<file>]\n"
    "\t[-STUDIO_LOG=<file>]\n\t[-SCN=<scenario_name>[,scenario_name]]\n"
    "\t[-EXSCN=<exscenario_name>[,exscenario_name]]\n\t[-FAMILY=<family_name>[,family_name]]\n"
    "\t[-EXFAMILY=<exfamily_name>[,exfamily_name]]\n\t[-INSTANCE=<instance_name>]\n"
    "\t[-RESTRICTION=<ANSI|KR>]\n\t[-FAST|-NOFAST]\n\t[-PROBE=<CUSTOM|DEFAULT>]\n\t[-LOG|-NOLOG]\n"
    "\t[-ALLOCATION[=<DYNAMIC|STACK>]]\n\t[-THREAD[=<routine_name>]]\n\t[-NOTSHARED]\n\t[-NOPATH]\n"
    "\t[-NOCOMMENT]\n\t[-SCRIPTLINES]\n\t[-SPVGEN]\n\t[-TRACE=<ERROR|TIME|SCN|CIRCULAR>]\n\t[-BUFSIZE=<buffer_size>]\n";

// The command line of qvmprepro: three positional parameters, the options
// in the order of the usage text, and the forbidden combinations.
CommandTable buildProgramTable()
{
    CommandTable table;
    table.productTitle = driver::kProductTitle;
    table.usage = {kUsageFrench, kUsageFrenchAccents, kUsageEnglish};
    table.connective = {"et", "et", "and"};
    table.parameters = {
        text(same("scn"), false, 255),
        text({"fichier_interface", "fichier_interface", "interface_file"}, true, 255),
        text({"racine", "racine", "root"}, false, 255),
    };
    const Names file{"fichier", "fichier", "file"};
    table.options = {
        valuedOption("INCL", text({"liste_repertoires", "liste_répertoires", "directory_list"}, true, 255)),
        valuedOption("SET", text({"lettres", "lettres", "letters"}, false, 255)),
        valuedOption("DEFINE", text({"option_compilation", "option_compilation", "compiler_option"}, true, 255)),
        // "-STD_DEFINE=" with no file turns the default host profile off.
        valuedOption("STD_DEFINE", text(file, false, 255), false),
        valuedOption("STUDIO_LOG", text(file, false, 255)),
        valuedOption("SCN", text({"nom_scenario", "nom_scénario", "scenario_name"}, true, 255)),
        valuedOption("EXSCN", text({"nom_exscenario", "nom_exscénario", "exscenario_name"}, true, 255)),
        valuedOption("FAMILY", text({"nom_famille", "nom_famille", "family_name"}, true, 255)),
        valuedOption("EXFAMILY", text({"nom_exfamille", "nom_exfamille", "exfamily_name"}, true, 255)),
        valuedOption("INSTANCE", text({"nom_instance", "nom_instance", "instance_name"}, false, 255)),
        keywordOption("RESTRICTION", text(same("restriction"), false, 5), {"KR", "ANSI"}),
        negatableOption("FAST"),
        keywordOption("PROBE", text({"sonde", "sonde", "probe"}, false, 8), {"DEFAULT", "CUSTOM"}),
        negatableOption("LOG"),
        keywordOption("ALLOCATION", text(same("allocation"), false, 9), {"STACK", "DYNAMIC"}, false),
        valuedOption("THREAD", text({"nom_routine", "nom_routine", "routine_name"}, false, 255), false),
        switchOption("NOTSHARED"),
        switchOption("NOPATH"),
        switchOption("NOCOMMENT"),
        switchOption("SCRIPTLINES"),
        switchOption("SPVGEN"),
        keywordOption("TRACE", text({"option_trace", "option_trace", "trace_option"}, false, 8),
                      {"CIRCULAR", "SCN", "TIME", "ERROR"}),
        valuedOption("BUFSIZE", text({"taille_buffer", "taille_buffer", "buffer_size"}, false, 255)),
    };
    table.rules = {
        {{ConditionKind::OptionGiven, "NOTSHARED"}, {ConditionKind::OptionNotGiven, "ALLOCATION"}},
        {{ConditionKind::OptionGiven, "FAMILY"}, {ConditionKind::OptionGiven, "EXFAMILY"}},
        {{ConditionKind::OptionGiven, "SCN"}, {ConditionKind::OptionGiven, "EXSCN"}},
    };
    return table;
}

const CommandTable& programTable()
{
    static const CommandTable table = buildProgramTable();
    return table;
}

// The decoder of the run's command line; the getters read it.
struct Session {
    CommandDecoder decoder{programTable()};
    bool decoded = false;  // the last decode succeeded and was not released
};

Session& session()
{
    static Session instance;
    return instance;
}

}  // namespace

std::string usageText()
{
    return diag::toLocal8(session().decoder.usageText());
}

namespace {

// The decoder, once a decode has succeeded.
const CommandDecoder& decoded()
{
    if (!session().decoded) {
        diag::internal("INITPBRLM");
    }
    return session().decoder;
}

bool given(std::string_view option)
{
    return decoded().optionGiven(option);
}

bool negated(std::string_view option)
{
    return decoded().optionState(option) == GivenNegated;
}

// The option's values when it was given, else none.
std::vector<std::string> valuesOf(std::string_view option)
{
    return given(option) ? decoded().optionValues(option) : std::vector<std::string>{};
}

std::string valueOf(std::string_view option)
{
    const std::vector<std::string>& values = decoded().optionValues(option);
    return values.empty() ? std::string() : values.front();
}

// The position of the option's value among its allowed values, from 1; 0
// when the option was not given.
int keywordNumber(std::string_view option, std::initializer_list<std::string_view> keywords)
{
    if (!given(option)) {
        return 0;
    }
    const std::string value = valueOf(option);
    int number = 1;
    for (std::string_view keyword : keywords) {
        if (value == keyword) {
            return number;
        }
        ++number;
    }
    return 0;
}

// A positional value, reduced to its file name part under -NOPATH.
std::string positional(std::string_view value)
{
    return given("NOPATH") ? base::fileNamePart(value) : std::string(value);
}

std::string singlePositional(std::size_t index)
{
    const std::vector<std::string>& values = decoded().parameterValues(index);
    return values.empty() ? std::string() : positional(values.front());
}

std::string joined(const std::vector<std::string>& values)
{
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        text += values[i];
    }
    return text;
}

void appendSwitch(std::string& echo, std::string_view name)
{
    echo += " -";
    echo += name;
}

void appendValued(std::string& echo, std::string_view name, std::string_view value)
{
    appendSwitch(echo, name);
    echo += '=';
    echo += value;
}

void appendIfGiven(std::string& echo, std::string_view name, const std::string& value)
{
    if (given(name)) {
        appendValued(echo, name, value);
    }
}

// The command line as the run understood it: the program path, the
// positional values, then each option given in a fixed order, FAST and LOG
// always (positive or negated).
std::string buildEcho(const char* programPath)
{
    std::string echo = programPath != nullptr ? programPath : "";
    echo += ' ' + scriptName();
    echo += ' ' + joined(interfaceFiles());
    echo += ' ' + rootName();
    appendIfGiven(echo, "INCL", joined(includeDirectories()));
    appendIfGiven(echo, "SET", valueOf("SET"));
    appendIfGiven(echo, "DEFINE", joined(defines()));
    appendIfGiven(echo, "STD_DEFINE", valueOf("STD_DEFINE"));
    appendIfGiven(echo, "STUDIO_LOG", valueOf("STUDIO_LOG"));
    appendIfGiven(echo, "FAMILY", joined(families()));
    appendIfGiven(echo, "EXFAMILY", joined(excludedFamilies()));
    appendIfGiven(echo, "SCN", joined(scenarios()));
    appendIfGiven(echo, "INSTANCE", valueOf("INSTANCE"));
    appendIfGiven(echo, "EXSCN", joined(excludedScenarios()));
    if (given("SPVGEN")) {
        appendSwitch(echo, "SPVGEN");
    }
    appendIfGiven(echo, "RESTRICTION", valueOf("RESTRICTION"));
    appendSwitch(echo, fastMode() != 0 ? "FAST" : "NOFAST");
    appendIfGiven(echo, "PROBE", valueOf("PROBE"));
    appendIfGiven(echo, "TRACE", valueOf("TRACE"));
    if (given("BUFSIZE")) {
        appendValued(echo, "BUFSIZE", std::to_string(bufferSize()));
    }
    appendSwitch(echo, consoleLog() != 0 ? "LOG" : "NOLOG");
    appendIfGiven(echo, "ALLOCATION", valueOf("ALLOCATION"));
    if (given("THREAD")) {
        appendValued(echo, "THREAD", threadRoutine());
    }
    if (given("NOTSHARED")) {
        appendSwitch(echo, "NOTSHARED");
    }
    if (given("NOCOMMENT")) {
        appendSwitch(echo, "NOCOMMENT");
    }
    if (given("SCRIPTLINES")) {
        appendSwitch(echo, "SCRIPTLINES");
    }
    return echo;
}

}  // namespace

bool decode(int argc, const char* const* argv, std::string& echo)
{
    Session& current = session();
    current.decoded = false;
    if (!current.decoder.decode(argc, argv)) {
        return false;
    }
    current.decoded = true;
    echo = buildEcho(argc > 0 ? argv[0] : nullptr);
    return true;
}

std::string scriptName()
{
    return singlePositional(0);
}

std::vector<std::string> interfaceFiles()
{
    std::vector<std::string> files;
    for (const std::string& file : decoded().parameterValues(1)) {
        files.push_back(positional(file));
    }
    return files;
}

std::string rootName()
{
    return singlePositional(2);
}

std::vector<std::string> includeDirectories()
{
    return valuesOf("INCL");
}

bool hasFilterLetters()
{
    return given("SET");
}

std::string filterLetters()
{
    std::string letters = valueOf("SET");
    for (char letter : letters) {
        if (letter < 'A' || letter > 'Z') {
            diag::fatal("BADFLTVAL");
        }
    }
    return letters;
}

std::vector<std::string> defines()
{
    return valuesOf("DEFINE");
}

bool hasStdDefine()
{
    return given("STD_DEFINE");
}

std::string stdDefine()
{
    return valueOf("STD_DEFINE");
}

bool hasStudioLog()
{
    return given("STUDIO_LOG");
}

std::string studioLog()
{
    return valueOf("STUDIO_LOG");
}

std::vector<std::string> scenarios()
{
    return valuesOf("SCN");
}

std::vector<std::string> excludedScenarios()
{
    return valuesOf("EXSCN");
}

std::vector<std::string> families()
{
    return valuesOf("FAMILY");
}

std::vector<std::string> excludedFamilies()
{
    return valuesOf("EXFAMILY");
}

bool hasInstance()
{
    return given("INSTANCE");
}

std::string instanceName()
{
    return valueOf("INSTANCE");
}

Dialect dialect()
{
    switch (keywordNumber("RESTRICTION", {"KR", "ANSI"})) {
    case 1: return DialectKR;
    case 2: return DialectANSI;
    default: return DialectNone;
    }
}

int fastMode()
{
    return negated("FAST") ? 0 : 1;
}

ProbeMode probeMode()
{
    switch (keywordNumber("PROBE", {"DEFAULT", "CUSTOM"})) {
    case 1: return ProbeDefault;
    case 2: return ProbeCustom;
    default: return ProbeNone;
    }
}

int consoleLog()
{
    return negated("LOG") ? 0 : 1;
}

AllocationMode allocationMode()
{
    switch (keywordNumber("ALLOCATION", {"STACK", "DYNAMIC"})) {
    case 1: return AllocationStack;
    case 2: return AllocationDynamic;
    default: return AllocationNone;
    }
}

std::string threadRoutine()
{
    if (!given("THREAD")) {
        return "<main>";
    }
    const std::string routine = valueOf("THREAD");
    return routine.empty() ? "<start>" : routine;
}

int notShared()
{
    return given("NOTSHARED") ? 1 : 0;
}

int comments()
{
    return given("NOCOMMENT") ? 0 : 1;
}

int scriptLines()
{
    return given("SCRIPTLINES") ? 1 : 0;
}

int spgOnly()
{
    return given("SPVGEN") ? 1 : 0;
}

TraceLevel traceLevel()
{
    // Indexed by the number of the keyword given, 0 for none.
    static constexpr TraceLevel kLevels[] = {TraceNone, TraceCircular, TraceScenario, TraceTime, TraceError};
    return kLevels[keywordNumber("TRACE", {"CIRCULAR", "SCN", "TIME", "ERROR"})];
}

int bufferSize()
{
    constexpr int kDefaultSize = 10;
    if (!given("BUFSIZE")) {
        return kDefaultSize;
    }
    const std::string digits = valueOf("BUFSIZE");
    for (char digit : digits) {
        if (digit < '0' || digit > '9') {
            diag::fatal("BADBSZVAL");
        }
    }
    int size = 0;
    const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), size);
    if (error != std::errc{} || stop != digits.data() + digits.size()) {
        diag::fatal("BADBSZVAL");  // too large for a size
    }
    return size == 0 ? kDefaultSize : size;
}

void release()
{
    session().decoder.release();
    session().decoded = false;
}

}  // namespace qvm::cmdline
