// What the grammar's actions work with: the lexer, the tree being built and
// the syntax error reporting. Internal to the parser.
#pragma once

#include "script/stxpti_lexer.h"
#include "script/syntaxtree.h"

#include "diag/i18nerrgest.h"

#include <deque>
#include <optional>
#include <string>

union STXSTYPE;

namespace qvm::script {

struct ParserContext {
    ParserContext(ScriptLexer& lexer, SyntaxTree& tree, bool comments)
        : lexer(lexer), tree(tree), comments(comments)
    {
    }

    ScriptLexer& lexer;
    SyntaxTree& tree;
    bool comments;
    int lookahead = 0;                 // the token last handed to the parser
    std::deque<std::string> texts;     // kept texts of the tokens
    std::optional<RunAbort> abort;     // a run-ending report met during the parse

    int nextToken(STXSTYPE& value);
    void reportSyntaxError();
    bool openInclude(const std::string& quotedName);

    SyntaxNode* node(SyntaxKind kind, SyntaxNode* c0 = nullptr, SyntaxNode* c1 = nullptr,
                     SyntaxNode* c2 = nullptr);
    SyntaxNode* leaf(SyntaxKind kind, const std::string& text);
    SyntaxNode* nativePiece(const std::string& text);
    SyntaxNode* comment(const std::string& text);
    SyntaxNode* formatKey(const std::string& text);
    SyntaxNode* declarationListNode(SyntaxNode* entry, SyntaxNode* rest);
    // Gives a chain made with STX_EMPTY placeholders its real kind.
    SyntaxNode* relabel(SyntaxNode* chain, SyntaxKind kind);
    void setRoot(SyntaxNode* root) { tree.setRoot(root); }

private:
    void stampPosition();
    unsigned seenSwitches_ = ~0U;
    std::string_view fileName_;
};

}  // namespace qvm::script
