// qvminspect type FILE 'EXPR': the type of a C expression after declaring FILE,
// with its expression type class.
#include "inspect.h"

#include "canalysis/declarations/cexpr.h"
#include "script/ancgest.h"

#include <cstdio>
#include <string>

namespace {

using namespace qvm::canalysis;

int runType(const qvm::inspect::Options& options)
{
    qvm::inspect::startCAnalysis(options);
    qvm::script::declareIncludedFile(options.positional[0]);
    const auto [typeText, typeClass] = qvm::script::expressionType(options.positional[1], {}, "", 1);
    const std::string line = typeText + "\t" + std::to_string(typeClass) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    qvm::script::endCAnalysis();
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"type", "type FILE 'EXPR' [options]", 2, runType});

}  // namespace
