// qvminspect if 'EXPR': the value of a preprocessor condition, in decimal,
// after the same macro expansion and `defined` handling as an #if line.
#include "inspect.h"

#include "base/extgest.h"
#include "base/mstrid.h"
#include "canalysis/cerror.h"
#include "canalysis/preprocessor/cprepr.h"

#include <iostream>
#include <string>

namespace {

int evaluateCondition(const qvm::inspect::Options& options)
{
    namespace ca = qvm::canalysis;
    qvm::base::initIdentTable();
    const ca::DiagnosticCallback callback = ca::diagnosticsServiceCallback();
    ca::installCallback(callback);
    ca::MacroTable table;
    ca::C_CPP_init_prepro(options.dialect == 1, options.dialect == 0, options.defines, options.includeDirectories,
                          {}, table, true);
    if (!options.stdDefine.empty()) {
        const std::string stdDefine = qvm::base::withOwnOrDefaultExtension(options.stdDefine, "QVM_DEF", "def");
        std::string discarded;
        ca::C_CPP_prepro_buffer("#include \"" + stdDefine + "\"\n", 1, {}, 1, discarded, table, callback);
    }
    const int value = ca::C_CPP_eval_if_line(options.positional[0]);
    std::cout << value << '\n';
    ca::C_CPP_end_prepro(table, true);
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"if", "if 'EXPR' [options]", 1, evaluateCondition});

}  // namespace
