// The pipeline driver: one run from the command line to the files written.
#include "driver/prepro.h"

#include "base/cstsyst.h"
#include "base/extgest.h"
#include "base/filesread.h"
#include "base/mfmemo.h"
#include "base/mstrid.h"
#include "base/stagedfile.h"
#include "codegen/cprggen.h"
#include "codegen/depgen.h"
#include "codegen/fctgen.h"
#include "codegen/geccode.h"
#include "codegen/genfiles.h"
#include "codegen/gennumbers.h"
#include "codegen/spggen.h"
#include "codegen/tdcgen.h"
#include "codegen/tsfgen.h"
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "diag/i18nutil.h"
#include "diag/progress.h"
#include "driver/cmdppro.h"
#include "driver/passbeside.h"
#include "script/ancgest.h"
#include "script/sempti.h"
#include "script/stxpti.h"
#include "script/stxpti_lexer.h"

#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <new>
#include <optional>
#include <vector>

namespace qvm::driver {

namespace {

constexpr std::size_t kEchoLimit = 1900;

// Everything the passes read from the command line, read once.
struct Settings {
    std::string scriptArgument;                  // the script as given
    std::vector<std::string> interfaceFiles;     // declared in this order
    std::string rootArgument;                    // root of the generated file names
    std::vector<std::string> includeDirectories; // -INCL, for the script and the C analysis
    std::vector<std::string> defines;            // -DEFINE texts
    std::string stdDefine;                       // -STD_DEFINE file or the host profile, "" for none
    std::string studioLog;                       // -STUDIO_LOG file, "" when not given
    std::vector<std::string> scenarios;          // -SCN
    std::vector<std::string> excludedScenarios;  // -EXSCN
    std::vector<std::string> families;           // -FAMILY
    std::vector<std::string> excludedFamilies;   // -EXFAMILY
    std::string instance;                        // -INSTANCE, "" when not given
    std::string filterLetters;                   // -SET, "" when not given
    cmdline::Dialect dialect = cmdline::DialectNone;
    bool fast = true;                            // off with -NOFAST
    cmdline::ProbeMode probe = cmdline::ProbeNone;
    cmdline::AllocationMode allocation = cmdline::AllocationNone;
    std::string thread;                          // "<main>", "<start>" or a routine name
    bool notShared = false;                      // -NOTSHARED
    bool comments = true;                        // off with -NOCOMMENT
    bool scriptLines = false;                    // -SCRIPTLINES
    bool spgOnly = false;                        // -SPVGEN: only the SPG project file
    cmdline::TraceLevel traceLevel = cmdline::TraceNone;
    int bufferSize = 10;                         // trace buffer, kilobytes
};

// The file read before the interface files: the one -STD_DEFINE names,
// none for an empty -STD_DEFINE=, the share directory's host profile when
// the option is not given.
std::string standardDefinitions()
{
    return cmdline::hasStdDefine() ? cmdline::stdDefine() : diag::defaultHostProfile();
}

// Reads every setting through the getters, after a successful decode; a bad
// -SET or -BUFSIZE value ends the run here.
Settings readSettings()
{
    Settings s;
    s.scriptArgument = cmdline::scriptName();
    s.interfaceFiles = cmdline::interfaceFiles();
    s.rootArgument = cmdline::rootName();
    s.includeDirectories = cmdline::includeDirectories();
    s.defines = cmdline::defines();
    s.stdDefine = standardDefinitions();
    if (cmdline::hasStudioLog()) {
        s.studioLog = cmdline::studioLog();
    }
    s.scenarios = cmdline::scenarios();
    s.excludedScenarios = cmdline::excludedScenarios();
    s.families = cmdline::families();
    s.excludedFamilies = cmdline::excludedFamilies();
    if (cmdline::hasInstance()) {
        s.instance = cmdline::instanceName();
    }
    if (cmdline::hasFilterLetters()) {
        s.filterLetters = cmdline::filterLetters();
    }
    s.dialect = cmdline::dialect();
    s.fast = cmdline::fastMode() != 0;
    s.probe = cmdline::probeMode();
    s.allocation = cmdline::allocationMode();
    s.thread = cmdline::threadRoutine();
    s.notShared = cmdline::notShared() != 0;
    s.comments = cmdline::comments() != 0;
    s.scriptLines = cmdline::scriptLines() != 0;
    s.spgOnly = cmdline::spgOnly() != 0;
    s.traceLevel = cmdline::traceLevel();
    s.bufferSize = cmdline::bufferSize();
    return s;
}

bool cIdentifier(std::string_view name)
{
    const auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    return !name.empty() && std::isdigit(static_cast<unsigned char>(name.front())) == 0 &&
           std::all_of(name.begin(), name.end(), word);
}

// The names the program is built from: each interface file stands in an
// "#include" line and the thread routine names a function.
void checkProgramNames(const Settings& settings, const std::string& thread)
{
    if (settings.spgOnly) {
        return;
    }
    for (const std::string& interfaceFile : settings.interfaceFiles) {
        if (!codegen::includableName(interfaceFile)) {
            diag::fatal("BADINCNAM", interfaceFile);
        }
    }
    if (thread != "<main>" && !cIdentifier(thread)) {
        diag::fatal("BADTHRNAM", thread);
    }
}

std::string withoutExtension(std::string_view name)
{
    return base::splitExtension(name).name;
}

void reportStartBanner()
{
    const std::string details = " " + diag::trLocal("ZOLVIdent", kToolTitle) + " " +
                                diag::trLocal("ZOLVIdent", kVersionText);
    diag::information("STARTEXEC", kProductTitle, details);
    diag::information("COPYRIGHT");
}

// The studio log lists the files a run writes, one "KIND path" line each;
// it is one of the outputs, put in place with them.
class StudioLog {
public:
    StudioLog(codegen::GeneratedFiles& files, std::string name) : files_(files), name_(std::move(name)) {}

    void open()
    {
        if (!name_.empty() && file_ == nullptr) {
            file_ = &files_.create(name_);
        }
    }

    void record(std::string_view kind, std::string_view path)
    {
        if (file_ != nullptr) {
            file_->writeLine(kind, " ", path);
        }
    }

private:
    codegen::GeneratedFiles& files_;
    std::string name_;                          // "" without -STUDIO_LOG: nothing is written
    codegen::GeneratedFile* file_ = nullptr;    // created at the first open
};

// The passes below belong to the C analysis, the script front end and the
// writers. Each is called at its place in the pipeline; those not yet part of
// the program do nothing, so a run goes from the list file to the summary.
void analyseInterfaceFiles(const Settings& settings)
{
    // Without -RESTRICTION the dialect is "none": neither pedantic nor traditional.
    const script::CMode mode = settings.dialect == cmdline::DialectANSI ? script::CModePedantic
                               : settings.dialect == cmdline::DialectKR ? script::CModeTraditional
                                                                        : script::CModeNeither;
    script::startCAnalysis(mode, settings.includeDirectories, settings.defines, {});
    if (!settings.stdDefine.empty()) {
        script::declareIncludedFile(stdDefinePath(settings.stdDefine));
    }
    for (const std::string& interfaceFile : settings.interfaceFiles) {
        script::declareIncludedFile(interfaceFile);
    }
}

script::ParsedScript parseScript(const RunNames& names, const Settings& settings)
{
    script::ParseOptions options;
    options.includeDirectories = settings.includeDirectories;
    options.comments = settings.comments;
    return script::parseScript(names.script, options);
}

script::AnalysisResult analyseScript(const script::ParsedScript& parsed, const Settings& settings)
{
    script::AnalysisOptions options;
    options.families = settings.families;
    options.excludedFamilies = settings.excludedFamilies;
    options.scenarios = settings.scenarios;
    options.excludedScenarios = settings.excludedScenarios;
    options.fast = settings.fast;
    options.traceLevel = static_cast<int>(settings.traceLevel);
    options.scriptFlags = parsed.scriptFlags;
    options.instance = settings.instance;
    options.programFacts = !settings.spgOnly;
    options.contextVariables = settings.notShared || settings.probe != cmdline::ProbeNone;
    return script::analyseScript(parsed.root, parsed.sourceFiles, options);
}

void endCAnalysis()
{
    script::endCAnalysis();
}

// The program includes the interface files and copies the script's native
// lines: C that a compiler refuses there leaves no program to write, though
// the analysis, which read on, only warned.
void refuseUncompilableDeclarations(const Settings& settings)
{
    const canalysis::RefusedSyntax& refused = script::refusedCSyntax();
    if (refused.count == 0 || settings.spgOnly || diag::errorCount() != 0) {
        return;
    }
    diag::reportLocated(diag::Error, "CDECLSYNT", std::to_string(refused.count), refused.file, refused.line);
}
// What the writers of one run share: the files they write, put in place
// together when the run succeeds, and the numbers they give to constructs.
struct Generation {
    codegen::GeneratedFiles files;
    codegen::Numbering numbering;
};

void writeSpgFile(Generation& generation, const RunNames& names, const script::ParsedScript& parsed,
                  const script::AnalysisResult& analysed)
{
    codegen::writeSpgFile(generation.files, names.spg, parsed.sourceFiles, analysed.model->global());
}

void writeTdcFile(Generation& generation, const RunNames& names, const Settings& settings,
                  const script::ParsedScript& parsed, const script::AnalysisResult& analysed, const std::string& echo,
                  const std::string& date)
{
    codegen::TdcRun run;
    run.scriptPath = names.script;
    run.tdcPath = names.tdc;
    run.probeHeaderPath = names.probeHeader;
    run.sourceFiles = &parsed.sourceFiles;
    run.commandLine = echo;
    run.dateText = date;
    run.instance = settings.instance;
    run.instanceMode = analysed.instanceMode;
    run.traceLevel = static_cast<int>(settings.traceLevel);
    run.probeMode = static_cast<int>(settings.probe);
    run.model = analysed.model.get();
    codegen::writeTdc(generation.files, generation.numbering, run);
}

void writeTracerFile(Generation& generation, const RunNames& names, const Settings&,
                     const script::ParsedScript& parsed, const script::AnalysisResult& analysed,
                     const std::string& date)
{
    const codegen::TracerInput input{names.tracer, &parsed.sourceFiles, analysed.model.get(), date,
                                     base::processId()};
    codegen::writeTracerFile(generation.files, generation.numbering, input);
}

void writeProgram(Generation& generation, const RunNames& names, const Settings& settings,
                  const script::ParsedScript& parsed, const script::AnalysisResult& analysed, const std::string& thread,
                  const std::string& date)
{
    codegen::ProgramOptions options;
    options.programPath = names.program;
    options.rioPath = names.rio;
    options.tdcPath = names.tdc;
    std::error_code unknown;
    options.generationDirectory = std::filesystem::current_path(unknown).string();
    options.probeHeaderPath = names.probeHeader;
    options.filterLetters = settings.filterLetters;
    options.date = date;
    options.processId = base::processId();
    options.instanceName = settings.instance;
    options.instanceMode = analysed.instanceMode;
    options.instanceNumber = analysed.instanceNumber;
    options.timerCount = analysed.timerCount;
    options.allocation = static_cast<codegen::Allocation>(settings.allocation);
    options.entryName = thread;
    options.notShared = settings.notShared;
    options.traceLevel = static_cast<int>(settings.traceLevel);
    options.bufferSizeKb = settings.bufferSize;
    options.probeMode = static_cast<int>(settings.probe);
    options.scriptLines = settings.scriptLines;
    options.interfaceFiles = settings.interfaceFiles;
    codegen::writeProgram(generation.files, generation.numbering, *analysed.model, parsed.sourceFiles, options);
}

void writeFunctionTemplates(Generation& generation, const RunNames& names, const Settings& settings,
                            const script::ParsedScript&, const script::AnalysisResult& analysed)
{
    codegen::writeFunctionTemplates(generation.files, names.program, settings.interfaceFiles,
                                    analysed.model->global());
}

void generateOutputs(Generation& generation, const RunNames& names, const Settings& settings,
                     const script::ParsedScript& parsed, const script::AnalysisResult& analysed,
                     StudioLog& studioLog, const std::string& echo, const std::string& thread)
{
    diag::progressPass("TDC file");
    studioLog.open();
    studioLog.record("TDC", names.tdc);
    if (settings.probe != cmdline::ProbeNone) {
        studioLog.record("_H_", names.probeHeader);
    }
    const std::string date = base::currentDateText();
    writeTdcFile(generation, names, settings, parsed, analysed, echo, date);
    studioLog.record("TSF", names.tracer);
    diag::progressPass("tracer file");
    writeTracerFile(generation, names, settings, parsed, analysed, date);
    studioLog.record("SRC", names.program);
    diag::progressPass("C program");
    writeProgram(generation, names, settings, parsed, analysed, thread, date);
    if (parsed.scriptFlags == script::ScriptUsesTrigger) {
        diag::progressPass("function templates");
        writeFunctionTemplates(generation, names, settings, parsed, analysed);
    }
}

// With QVM_DEPFILE set, the files the run read become prerequisites of the
// files it writes, in a make rule of their own.
void writeDependencyFile(Generation& generation)
{
    const std::string name = base::envValue("QVM_DEPFILE");
    if (!name.empty()) {
        codegen::writeDependencyFile(generation.files, name, base::filesRead());
    }
}

// The inputs named on the command line; no output may replace them, nor
// the files the run reads on its way.
std::vector<std::string> commandLineInputs(const RunNames& names)
{
    std::vector<std::string> inputs{names.script};
    for (const std::string& interfaceFile : cmdline::interfaceFiles()) {
        inputs.push_back(interfaceFile);
    }
    if (const std::string definitions = standardDefinitions(); !definitions.empty()) {
        inputs.push_back(stdDefinePath(definitions));
    }
    return inputs;
}

// The outputs the run may write whose names are known from the start.
std::vector<std::string> plannedOutputs(const RunNames& names)
{
    std::vector<std::string> outputs{names.list};
    if (cmdline::spgOnly() != 0) {
        outputs.push_back(names.spg);
    } else {
        outputs.insert(outputs.end(), {names.tdc, names.tracer, names.program});
        if (cmdline::probeMode() != cmdline::ProbeNone) {
            outputs.push_back(names.probeHeader);
        }
    }
    if (cmdline::hasStudioLog()) {
        outputs.push_back(cmdline::studioLog());
    }
    if (const std::string depfile = base::envValue("QVM_DEPFILE"); !depfile.empty()) {
        outputs.push_back(depfile);
    }
    return outputs;
}

// Refuses, before anything is written, a run whose outputs would replace
// one of its inputs or one another. Files found only while reading
// (included scripts, nested headers) are checked again when the outputs
// are put in place.
void refuseCollidingOutputs(const RunNames& names)
{
    const std::vector<std::string> inputs = commandLineInputs(names);
    for (const std::string& input : inputs) {
        base::protectInput(input);
    }
    if (const std::optional<base::CommitProblem> problem = base::findCollision(plannedOutputs(names), inputs)) {
        diag::fatalCommitProblem(*problem);
    }
}

// The model and the syntax tree of a finished run are left to the operating
// system: freeing their many small pieces one by one only delays the exit.
// They stay reachable from here, so that leak checkers do not count them; a
// later run in the same process frees the previous run's. Tests that destroy
// a model or a tree themselves still free everything. The descriptor codes
// that release checks were already checked when each descriptor was attached.
void keepUntilExit(std::unique_ptr<script::sem::Model> model, std::unique_ptr<script::SyntaxTree> tree)
{
    struct Kept {
        std::unique_ptr<script::sem::Model> model;
        std::unique_ptr<script::SyntaxTree> tree;
    };
    static Kept* const kept = new Kept;
    kept->model = std::move(model);
    kept->tree = std::move(tree);
}

// One run, from the command line to the summary: the passes in order, each
// to completion. Ends by throwing RunAbort with the exit status.
[[noreturn]] void runPipeline(int argc, char** argv)
{
    // The decoder's values are freed however the run ends.
    struct CommandLineRelease {
        ~CommandLineRelease() { cmdline::release(); }
    } const releaseCommandLine;
    std::string echo;
    if (!cmdline::decode(argc, argv, echo)) {
        diag::fatal("COMMFATAL");
    }
    echo = cutEcho(std::move(echo));

    const RunNames names = deriveNames(cmdline::scriptName(), cmdline::rootName());
    base::resetFilesRead();
    base::resetProtectedInputs();
    refuseCollidingOutputs(names);
    // One run at a time writes the outputs of a root; a second one waits here.
    const base::FileLock rootLock = base::FileLock::acquire(names.lock);
    diag::openListFile(names.list, cmdline::consoleLog() != 0);
    reportStartBanner();
    diag::startProgress();

    Settings settings = readSettings();
    const std::string thread = threadRoutineName(settings.thread, settings.rootArgument);
    checkProgramNames(settings, thread);
    base::initIdentTable();

    base::adviseHeapLargePages();
    // The syntax tree, the source file records and the script-wide flags,
    // owned here until the end of the run. The script's parse needs nothing
    // of the C analysis, so it runs beside it; its messages still come after
    // those of the C analysis.
    script::ParsedScript parsed;
    PassBeside scriptParse([&parsed, &names, &settings] { parsed = parseScript(names, settings); });
    diag::progressPass("C analysis");
    analyseInterfaceFiles(settings);
    base::adviseHeapLargePages();
    diag::progressPass("script parse");
    scriptParse.join();
    // Outputs not put in place by the end of the run are removed with it.
    Generation generation;
    StudioLog studioLog(generation.files, settings.studioLog);
    if (diag::errorCount() == 0) {
        base::adviseHeapLargePages();
        diag::progressPass("semantic analysis");
        script::AnalysisResult analysed = analyseScript(parsed, settings);
        base::adviseHeapLargePages();
        script::releaseSyntaxNodes(parsed);
        if (settings.spgOnly) {
            diag::progressPass("SPG file");
            studioLog.open();
            studioLog.record("SPG", names.spg);
            writeSpgFile(generation, names, parsed, analysed);
        }
        // An instance that the script does not declare is no instance for the writers.
        if (analysed.instanceMode == 3) {
            settings.instance.clear();
        }
        refuseUncompilableDeclarations(settings);
        endCAnalysis();
        if (diag::errorCount() == 0 && !settings.spgOnly) {
            generateOutputs(generation, names, settings, parsed, analysed, studioLog, echo, thread);
        }
        if (diag::errorCount() == 0) {
            writeDependencyFile(generation);
        }
        keepUntilExit(std::move(analysed.model), std::move(parsed.tree));
    }
    // The outputs go in place together with the list file, or none does.
    diag::endOfRun(generation.files.staged());
}

}  // namespace

RunNames deriveNames(std::string_view scriptArgument, std::string_view rootArgument)
{
    RunNames names;
    names.script = base::withOwnOrDefaultExtension(scriptArgument, "QVM_PTS", "pts");
    const std::string scriptStem = withoutExtension(scriptArgument);
    names.list = base::withDefaultExtension(scriptStem, "QVM_LIS", "lis");
    names.spg = scriptStem + ".spg";
    const std::string rootStem = withoutExtension(rootArgument);
    names.tdc = base::withDefaultExtension(rootStem, "QVM_TDC", "tdc");
    names.probeHeader = base::withDefaultExtension(rootStem, "QVM_H", "h");
    names.tracer = base::withDefaultExtension(rootStem + "_dyn", "QVM_TSF", "tsf");
    names.rio = base::withDefaultExtension(rootStem, "QVM_RIO", "rio");
    names.program = base::withOwnOrDefaultExtension(rootArgument, "QVM_SRC", "c");
    names.lock = rootStem + ".lock";
    return names;
}

std::string stdDefinePath(std::string_view stdDefineArgument)
{
    return base::withOwnOrDefaultExtension(stdDefineArgument, "QVM_DEF", "def");
}

std::string threadRoutineName(std::string_view threadSetting, std::string_view rootArgument)
{
    if (threadSetting == "<start>") {
        return withoutExtension(base::fileNamePart(rootArgument)) + "_start";
    }
    return std::string(threadSetting);
}

std::string cutEcho(std::string echo)
{
    if (echo.size() > kEchoLimit) {
        echo.resize(kEchoLimit);
        echo += " (...)";
    }
    return echo;
}

// "-h", "--help" or "--version" alone: the usage text or the version on
// the standard output and status 0.
std::optional<int> answerInformationRequest(int argc, char** argv)
{
    if (argc != 2) {
        return std::nullopt;
    }
    const std::string_view request = argv[1];
    if (request == "-h" || request == "--help") {
        const std::string usage = cmdline::usageText();
        diag::writeOutput(usage.substr(usage.find_first_not_of('\n')) + "\n");
        return 0;
    }
    if (request == "--version") {
        diag::writeOutput(std::string("qvmprepro ") + kVersionText + "\n");
        return 0;
    }
    return std::nullopt;
}

int run(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    try {
        try {
            // The usage and the version need no catalog.
            const std::optional<int> answered = answerInformationRequest(argc, argv);
            if (answered) {
                return *answered;
            }
            if (argc == 1) {
                diag::loadTranslatorsIfAvailable(app, diag::catalogPrefixes());
            } else {
                diag::loadTranslators(app, diag::catalogPrefixes());
            }
            diag::registerBuiltinCatalogs();
            runPipeline(argc, argv);
        } catch (const std::bad_alloc&) {
            base::memoryExhausted();
        }
    } catch (const RunAbort& abort) {
        diag::closeListFile();
        return abort.status;
    }
}

}  // namespace qvm::driver
