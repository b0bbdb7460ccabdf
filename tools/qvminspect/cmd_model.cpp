// qvminspect model SCRIPT INTERFACE[,INTERFACE]: the semantic model that the
// analysis builds from a script and its interface files.
#include "inspect.h"

#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/sempti.h"
#include "script/stxpti.h"

#include <iostream>
#include <sstream>

namespace {

std::vector<std::string> interfaceFiles(const std::string& list)
{
    std::vector<std::string> files;
    std::istringstream in(list);
    for (std::string file; std::getline(in, file, ',');) {
        if (!file.empty()) {
            files.push_back(file);
        }
    }
    return files;
}

qvm::script::AnalysisOptions analysisOptions(const qvm::inspect::Options& options, int scriptFlags)
{
    qvm::script::AnalysisOptions analysis;
    analysis.families = options.families;
    analysis.excludedFamilies = options.excludedFamilies;
    analysis.scenarios = options.scenarios;
    analysis.excludedScenarios = options.excludedScenarios;
    analysis.fast = options.fast;
    analysis.traceLevel = options.traceLevel;
    analysis.scriptFlags = scriptFlags;
    analysis.instance = options.instance;
    return analysis;
}

int printModel(const qvm::inspect::Options& options)
{
    qvm::inspect::startCAnalysis(options);
    for (const std::string& file : interfaceFiles(options.positional[1])) {
        qvm::script::declareIncludedFile(file);
    }
    qvm::script::ParseOptions parse;
    parse.includeDirectories = options.includeDirectories;
    parse.comments = !options.noComment;
    const qvm::script::ParsedScript parsed = qvm::script::parseScript(options.positional[0], parse);
    if (qvm::diag::errorCount() == 0) {
        const qvm::script::AnalysisResult analysed =
            qvm::script::analyseScript(parsed.root, parsed.sourceFiles, analysisOptions(options, parsed.scriptFlags));
        std::cout << qvm::script::sem::dumpModel(*analysed.model, analysed.instanceMode, analysed.instanceNumber,
                                                 analysed.timerCount);
        std::cout.flush();
    }
    qvm::script::endCAnalysis();
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand(
    {"model",
     "model SCRIPT INTERFACE[,INTERFACE] [-INCL=...] [-SCN=...] [-EXSCN=...] [-FAMILY=...] [-EXFAMILY=...] "
     "[-INSTANCE=...] [-FAST|-NOFAST] [-TRACE=...]",
     2, printModel});

}  // namespace
