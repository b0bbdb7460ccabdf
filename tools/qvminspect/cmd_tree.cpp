// qvminspect tree: the syntax tree of a script, with its root scenario.
#include "inspect.h"

#include "script/stxpti.h"

#include <iostream>

namespace {

int printTree(const qvm::inspect::Options& options)
{
    qvm::script::ParseOptions parse;
    parse.includeDirectories = options.includeDirectories;
    parse.comments = !options.noComment;
    const qvm::script::ParsedScript parsed = qvm::script::parseScript(options.positional[0], parse);
    std::cout << qvm::script::dumpTree(parsed.root);
    std::cout.flush();
    return qvm::inspect::statusOfReports();
}

const bool registered =
    qvm::inspect::registerSubcommand({"tree", "tree SCRIPT [-INCL=...] [-NOCOMMENT]", 1, printTree});

}  // namespace
