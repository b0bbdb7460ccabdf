// qvminspect if 'EXPR': the value of a preprocessor condition, in decimal,
// after the same macro expansion and `defined` handling as an #if line.
#include "inspect.h"

#include "canalysis/preprocessor/cprepr.h"
#include "script/ancgest.h"

#include <iostream>

namespace {

int evaluateCondition(const qvm::inspect::Options& options)
{
    qvm::inspect::startCAnalysis(options);
    const int value = qvm::canalysis::C_CPP_eval_if_line(options.positional[0]);
    std::cout << value << '\n';
    std::cout.flush();
    qvm::script::endCAnalysis();
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"if", "if 'EXPR' [options]", 1, evaluateCondition});

}  // namespace
