// qvminspect if 'EXPR': the value of a preprocessor condition, in decimal.
#include "inspect.h"

#include "base/mstrid.h"
#include "canalysis/cerror.h"
#include "canalysis/cevalif.h"

#include <algorithm>
#include <iostream>
#include <string>

namespace {

// The macro name of a -DEFINE text (NAME or NAME=VALUE).
std::string defineName(const std::string& define)
{
    return define.substr(0, define.find('='));
}

int evaluateCondition(const qvm::inspect::Options& options)
{
    namespace ca = qvm::canalysis;
    qvm::base::initIdentTable();
    ca::installCallback(ca::diagnosticsServiceCallback());
    std::vector<std::string> defined;
    std::transform(options.defines.begin(), options.defines.end(), std::back_inserter(defined), defineName);
    ca::setMacroDefinedQuery([defined](std::string_view name) {
        return std::find(defined.begin(), defined.end(), name) != defined.end();
    });
    const int value = ca::C_CPP_eval_if(options.positional[0].c_str());
    std::cout << value << '\n';
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"if", "if 'EXPR' [options]", 1, evaluateCondition});

}  // namespace
