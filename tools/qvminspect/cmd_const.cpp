// qvminspect const 'TEXT': the constant the C expression lexer reads from TEXT.
#include "inspect.h"

#include "canalysis/declarations/cexpr.h"
#include "script/ancgest.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace qvm::canalysis;

const char* kindName(int kind)
{
    switch (kind) {
    case kConstInteger: return "integer";
    case kConstFloating: return "floating";
    case kConstString: return "string";
    default: return "identifier";
    }
}

const char* lengthName(int lengthClass)
{
    return lengthClass == 2 ? "long long" : lengthClass == 1 ? "long" : "int";
}

std::string valueText(const CConstant& constant)
{
    switch (constant.kind) {
    case kConstInteger: {
        std::string decimal;
        std::string hexadecimal;
        pint_image(constant.value, 1, 0, decimal);
        pint_image(constant.value, 8, std::abs(constant.size), hexadecimal);
        return decimal + " " + hexadecimal;
    }
    case kConstFloating:
        return dfloat_image(constant.floating, 0);
    case kConstString:
        return "\"" + qvm::base::identText(constant.name) + "\"";
    default:
        return qvm::base::identText(constant.name);
    }
}

int runConst(const qvm::inspect::Options& options)
{
    qvm::inspect::startCAnalysis(options);
    const auto constant =
        C_CPP_read_constant(options.positional.front(), {}, 1, diagnosticsServiceCallback());
    if (constant) {
        const std::string line = std::string(kindName(constant->kind)) + "\t" + valueText(*constant) + "\t" +
                                 std::to_string(constant->size) + "\t" + lengthName(constant->lengthClass) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    qvm::script::endCAnalysis();
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"const", "const 'TEXT' [options]", 1, runConst});

}  // namespace
