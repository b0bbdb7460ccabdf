// qvminspect decls FILE: the tags and symbols of the global scope after
// preprocessing and declaring FILE.
#include "inspect.h"

#include "canalysis/declarations/ctabsy.h"
#include "script/ancgest.h"

#include <cstdio>
#include <string>

namespace {

using namespace qvm::canalysis;

void printLine(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

std::string tagImage(const Tag& tag)
{
    CType type;
    type.kind = tag.kind;
    type.name = tag.name;
    type.aggregate = tag.aggregate.get();
    type.enumeration = tag.enumeration.get();
    return C_CPP_type_image(&type, {}, true);
}

int runDecls(const qvm::inspect::Options& options)
{
    qvm::inspect::startCAnalysis(options);
    qvm::script::declareIncludedFile(options.positional.front());
    SymbolTable& table = qvm::script::cSymbols();
    for (const Tag* tag : table.tagsOf(nullptr)) {
        printLine(tagImage(*tag));
    }
    for (const Symbol* symbol : table.symbolsOf(nullptr)) {
        const std::string image = C_CPP_decl_image(*symbol, true);
        printLine((symbol->storage & kTypedef) != 0 ? "typedef " + image : image);
    }
    std::fflush(stdout);
    qvm::script::endCAnalysis();
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"decls", "decls FILE [options]", 1, runDecls});

}  // namespace
