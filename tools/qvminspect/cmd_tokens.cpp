// qvminspect tokens: the token stream of the script lexer.
#include "inspect.h"

#include "script/stxpti.h"

#include <iostream>

namespace {

int listTokens(const qvm::inspect::Options& options)
{
    qvm::script::ParseOptions parse;
    parse.includeDirectories = options.includeDirectories;
    qvm::script::scanTokens(options.positional[0], parse, [](const qvm::script::TokenRecord& token) {
        std::cout << token.line << '\t' << token.name << '\t' << token.text << '\n';
    });
    std::cout.flush();
    return qvm::inspect::statusOfReports();
}

const bool registered = qvm::inspect::registerSubcommand({"tokens", "tokens SCRIPT [-INCL=...]", 1, listTokens});

}  // namespace
