// qvminspect cpp FILE: the preprocessed text of the line #include "FILE".
#include "inspect.h"

#include "canalysis/preprocessor/cprepr.h"
#include "script/ancgest.h"

#include <cstdio>
#include <string>

namespace {

int runCpp(const qvm::inspect::Options& options)
{
    qvm::inspect::startCAnalysis(options);
    std::string result;
    qvm::canalysis::C_CPP_prepro_buffer("#include \"" + options.positional.front() + "\"\n", 1, {}, 1, result,
                                        qvm::script::cMacros(), qvm::script::cDiagnostics());
    std::fwrite(result.data(), 1, result.size(), stdout);
    std::fflush(stdout);
    qvm::script::endCAnalysis();
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"cpp", "cpp FILE [options]", 1, runCpp});

}  // namespace
