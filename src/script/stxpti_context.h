// What the grammar's actions work with: the lexer, the tree being built and
// the syntax error reporting. Internal to the parser.
#pragma once

#include "script/stxpti_lexer.h"
#include "script/syntaxtree.h"

#include "diag/i18nerrgest.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

union STXSTYPE;

namespace qvm::script {

// A chain of list links being built: its first and its last link.
struct NodeChain {
    SyntaxNode* head;
    SyntaxNode* tail;
};

// The child of a list link that holds the rest of the list.
constexpr std::size_t restChild(SyntaxKind kind)
{
    switch (kind) {
    case STX_DECL_LIST:
    case STX_INSTANCE_DECL_LIST:
    case STX_INSTR_GROUP:
    case STX_NATIVE_GROUP:
    case STX_NESTED_GROUP:
        return 2;
    default:
        return 1;
    }
}

// The children a node of the kind has room for from the start: a list link
// gets the rest of its list only when the list goes on. The kinds are those
// the grammar chains (STX_EMPTY is a list of names until relabelled).
constexpr std::array<std::uint8_t, STX_KIND_COUNT> kListRoom = [] {
    std::array<std::uint8_t, STX_KIND_COUNT> room{};
    for (const SyntaxKind link :
         {STX_DECL_LIST, STX_INSTANCE_DECL_LIST, STX_TRIGGER_FIELD_LIST, STX_PARAM_LIST, STX_PROPERTY_LIST, STX_EMPTY,
          STX_SCENARIO_ITEM_LIST, STX_FAMILY_NAMES, STX_NATIVE_GROUP, STX_INSTR_GROUP, STX_HASH_LINE_LIST,
          STX_INSTANCE_NAME_LIST, STX_INSTANCE_BODY, STX_NESTED_GROUP, STX_WHEN_CLAUSE_LIST, STX_WHEN_LIST,
          STX_TRIGGER_VALUE_LIST, STX_ARG_LIST, STX_EXPR}) {
        room[link] = static_cast<std::uint8_t>(restChild(link) + 1);
    }
    return room;
}();

// What finishing a list stamps with the position where the list ends.
enum class ChainStamp {
    Links,             // the links only
    LinksAndElements,  // the links and the elements their rule made with them
};

struct ParserContext {
    ParserContext(ScriptLexer& lexer, SyntaxTree& tree, bool comments)
        : lexer(lexer), tree(tree), comments(comments)
    {
    }

    ScriptLexer& lexer;                // the tokens, with their position
    SyntaxTree& tree;                  // receives the nodes the actions make
    bool comments;                     // COMMENT instructions make nodes
    int lookahead = 0;                 // the token last handed to the parser
    std::optional<RunAbort> abort;     // a run-ending report met during the parse

    int nextToken(STXSTYPE& value);
    void reportSyntaxError();
    // The name made of a keyword met where a name belongs, reported as a
    // reserved word at the keyword's line.
    SyntaxNode* reservedName(int keyword);
    std::string unexpectedTokenText() const;
    // The parser's state stack is full: the nesting of the script is deeper
    // than it holds.
    void reportDepthLimit(long stackLimit);
    bool openInclude(const KeptText* quotedName);

    // Every rule makes its nodes here: kept inline with the position stamp.
    template <typename... Children>
    [[gnu::always_inline]] SyntaxNode* node(SyntaxKind kind, Children... children)
    {
        stampPosition();
        return tree.makeWithRoom(kind, kListRoom[kind], children...);
    }
    // Texts of leaves are token texts, which the tree keeps.
    SyntaxNode* leaf(SyntaxKind kind, const KeptText* text);
    SyntaxNode* nativePiece(const KeptText* text);
    SyntaxNode* comment(const KeptText* text);
    SyntaxNode* formatKey(const KeptText* text);
    SyntaxNode* typeWords(const SyntaxNode* type, SyntaxNode* word);
    // An STX_DECL_LIST link: declarations in child 0, the instance part in child 1.
    SyntaxNode* declarationLink(SyntaxNode* entry);

    // Lists: the first link starts a chain, each further link goes into the
    // rest child of the chain's tail. A link is complete only once the rest
    // of its list is, so finishing a list stamps its links with the position
    // where the list ends.
    NodeChain chain(SyntaxNode* link) { return {link, link}; }
    NodeChain append(NodeChain list, SyntaxNode* link);
    SyntaxNode* finish(NodeChain list, ChainStamp stamp = ChainStamp::Links);
    // Gives a chain made with STX_EMPTY placeholders its real kind.
    SyntaxNode* relabel(SyntaxNode* chain, SyntaxKind kind);
    void setRoot(SyntaxNode* root) { tree.setRoot(root); }

private:
    void stampPosition()
    {
        if (seenSwitches_ != lexer.fileSwitches()) {
            followFileSwitch();
        }
        tree.setLine(lexer.line());
    }
    void followFileSwitch();
    unsigned seenSwitches_ = ~0U;  // the lexer's file switch count when fileName_ was kept
    std::string_view fileName_;    // the tree's copy of the lexer's current file name
};

}  // namespace qvm::script
