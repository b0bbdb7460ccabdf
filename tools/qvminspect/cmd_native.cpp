// qvminspect selection FILE TYPE, format FILE 'FORMAT TEXT' and function
// FILE NAME: what the native type bridge answers after declaring FILE.
#include "inspect.h"

#include "script/ancgest.h"
#include "script/panalc.h"
#include "script/prtanac.h"

#include <cstdio>
#include <string>

namespace {

using qvm::inspect::Options;

void print(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// Declares the standard definitions and FILE, runs the question, ends.
template <typename Question>
int withInterface(const Options& options, Question question)
{
    qvm::inspect::startCAnalysis(options);
    qvm::script::declareIncludedFile(options.positional[0]);
    question(options.positional[1]);
    std::fflush(stdout);
    qvm::script::endCAnalysis();
    return qvm::inspect::statusOfReports();
}

// The selection context's declaration, then its companion; nothing for a
// type without union.
int runSelection(const Options& options)
{
    return withInterface(options, [](const std::string& type) {
        if (const auto context = qvm::script::selectionContext(type, {}, 1)) {
            print(context->declaration + "\n" + context->companion);
        }
    });
}

// The registered format: variable, C type, check name, check class, width
// and format code, tab-separated. Messages are located at "FORMAT:1".
int runFormat(const Options& options)
{
    return withInterface(options, [](const std::string& text) {
        using qvm::script::FormatKind;
        const qvm::script::VariableFormat* registered =
            qvm::script::registerFormat(FormatKind::Instruction, {}, text, "FORMAT", 1);
        if (registered == nullptr) {
            return;
        }
        const qvm::script::VariableFormat& format = *registered;
        print(format.variable + "\t" + format.cType + "\t" + format.checkName + "\t" +
              std::to_string(format.checkClass) + "\t" + std::to_string(format.width) + "\t" +
              std::to_string(format.formatCode) + "\n");
    });
}

// The return class, then the parameter classes, tab-separated.
int runFunction(const Options& options)
{
    return withInterface(options, [](const std::string& name) {
        if (const auto function = qvm::script::lookupFunction(name)) {
            std::string line = std::to_string(function->returnClass);
            for (const int cls : function->parameterClasses) {
                line += "\t" + std::to_string(cls);
            }
            print(line + "\n");
        }
    });
}

const bool registered =
    qvm::inspect::registerSubcommand({"selection", "selection FILE TYPE [options]", 2, runSelection}) &&
    qvm::inspect::registerSubcommand({"format", "format FILE 'VARIABLE # TYPE' [options]", 2, runFormat}) &&
    qvm::inspect::registerSubcommand({"function", "function FILE NAME [options]", 2, runFunction});

}  // namespace
