// The test script front end: lexes and parses a script with its included
// files into a syntax tree.
#pragma once

#include "script/sourcefiles.h"
#include "script/stxpti_lexer.h"
#include "script/syntaxtree.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qvm::script {

struct ParsedScript {
    std::unique_ptr<SyntaxTree> tree;             // owns every node
    SyntaxNode* root = nullptr;                   // STX_SCRIPT, or null when no tree was made
    std::vector<SourceFileRecord> sourceFiles;    // distinct files read, newest first
    int scriptFlags = 0;                          // ScriptFlags bits
};

struct ParseOptions {
    std::vector<std::string> includeDirectories;  // searched for INCLUDE files
    bool comments = true;                         // off: COMMENT instructions make no node
    SourceReader reader = readSourceFile;         // how files are read
};

// Parses the script. Syntax errors are reported and counted (the tree is then
// incomplete); fatal and internal reports end the run (RunAbort).
ParsedScript parseScript(const std::string& path, const ParseOptions& options);

// Frees the nodes of a parsed script once the semantic analysis is done with
// them: the model keeps viewing the texts and file names of the tree.
void releaseSyntaxNodes(ParsedScript& parsed);

// The token stream of the lexer, following included files where an
// INCLUDE line would open one.
struct TokenRecord {
    int line = 0;           // lexer line when the token was read
    std::string_view name;  // the token's listing name
    std::string text;       // its kept text, empty for most tokens
};
void scanTokens(const std::string& path, const ParseOptions& options,
                const std::function<void(const TokenRecord&)>& onToken);

}  // namespace qvm::script
