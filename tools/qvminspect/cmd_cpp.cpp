// qvminspect cpp FILE: the preprocessed text of the line #include "FILE".
#include "inspect.h"

#include "base/extgest.h"
#include "canalysis/cerror.h"
#include "canalysis/preprocessor/cprepr.h"

#include <cstdio>
#include <string>

namespace {

using namespace qvm::canalysis;

std::string includeLine(const std::string& name)
{
    return "#include \"" + name + "\"\n";
}

int runCpp(const qvm::inspect::Options& options)
{
    MacroTable table;
    const DiagnosticCallback callback = diagnosticsServiceCallback();
    installCallback(callback);
    C_CPP_init_prepro(options.dialect == 1, options.dialect == 0, options.defines, options.includeDirectories, {},
                      table, true);
    std::string result;
    if (!options.stdDefine.empty()) {
        const std::string stdDefine = qvm::base::withOwnOrDefaultExtension(options.stdDefine, "QVM_DEF", "def");
        C_CPP_prepro_buffer(includeLine(stdDefine), 1, {}, 1, result, table, callback);
    }
    C_CPP_prepro_buffer(includeLine(options.positional.front()), 1, {}, 1, result, table, callback);
    std::fwrite(result.data(), 1, result.size(), stdout);
    std::fflush(stdout);
    C_CPP_end_prepro(table, true);
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"cpp", "cpp FILE [options]", 1, runCpp});

}  // namespace
