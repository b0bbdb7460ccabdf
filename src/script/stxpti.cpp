// The test script front end: parsing a script with its included files.
#include "script/stxpti.h"

#include "script/stxpti_context.h"
#include "stxpti.tab.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qvm::script {

namespace {

bool keepsText(int token)
{
    switch (token) {
    case TK_FORMAT:
    case TK_INIT:
    case TK_EV:
    case TK_NUMBER:
    case TK_STRING:
    case TK_ENV_VAR:
    case TK_SCOPED_IDENT:
    case TK_IDENT:
    case TK_CHAR_CONST:
    case TK_COMMENT:
    case TK_NATIVE_HASH_LINE:
    case TK_NATIVE_AT_LINE:
    case TK_FILTER_SINGLE:
    case TK_FILTER_DOUBLE:
    case TK_NATIVE_EXPR:
        return true;
    default:
        return false;
    }
}

// The text without the blanks and tabs around it; most pieces of C have a
// blank or two on either side, so they are stepped over without a search.
std::string_view blankTrimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The root scenario: the parsed scenario items wrapped in one unnamed
// scenario, so that every script has exactly one outermost scenario.
void wrapInRootScenario(ParserContext& ctx)
{
    SyntaxNode* root = ctx.tree.root();
    if (root == nullptr || root->c2() == nullptr) {
        return;
    }
    SyntaxNode* name = ctx.leaf(STX_IDENT, ctx.tree.keepText({}));
    SyntaxNode* body = ctx.node(STX_SCENARIO_BODY, nullptr, ctx.node(STX_EMPTY), root->c2());
    root->setChild(2, ctx.node(STX_SCENARIO_ITEM_LIST, ctx.node(STX_SCENARIO, name, body)));
}

}  // namespace

// ---- parser context ----

int ParserContext::nextToken(STXSTYPE& value)
{
    if (abort) {
        return 0;
    }
    try {
        lookahead = lexer.next();
    } catch (const RunAbort& stop) {
        abort = stop;
        lookahead = 0;
        return 0;
    }
    if (!keepsText(lookahead)) {
        value.token = lookahead;
    } else if (lookahead == TK_NATIVE_EXPR) {
        // A piece of C is only ever used without its surrounding blanks.
        value.text = tree.keepText(blankTrimmed(lexer.text()));
    } else {
        value.text = tree.keepText(lexer.text());
    }
    return lookahead;
}

// The message comes from the token the parser could not accept.
void ParserContext::reportSyntaxError()
{
    if (abort) {
        return;
    }
    try {
        lexer.publishPosition();
        if (lookahead == 0) {
            diag::errorAt("UNEXPTEOF");
            return;
        }
        const diag::MessageCode code = tokenMessage(lookahead);
        if (code.empty()) {
            diag::internalAt("STXNOMESS", std::to_string(lookahead));
        }
        if (!diag::isCatalogCode(code.text())) {
            // A code without a text of its own would leave the line bare.
            diag::errorAt("UNEXPTOKN", unexpectedTokenText());
            return;
        }
        diag::errorAt(code);
    } catch (const RunAbort& stop) {
        abort = stop;
    }
}

// What a syntax error names when its token's code has no text: keywords by
// their word, other tokens by their text.
std::string ParserContext::unexpectedTokenText() const
{
    const std::string_view name = tokenName(lookahead);
    switch (lookahead) {
    case TK_ELLIPSIS:
        return "'...'";
    case TK_SCOPED_IDENT:
    case TK_IDENT:
        return "identifier '" + std::string(lexer.text()) + "'";
    default:
        return "keyword " + std::string(name);
    }
}

// A keyword where a name belongs: the name is the keyword's own word, and
// the lexer scans on as after a name. No token has been read after it: the
// parser reduces the keyword without looking ahead.
SyntaxNode* ParserContext::reservedName(int keyword)
{
    const std::string_view word = tokenName(keyword);
    if (!abort) {
        try {
            lexer.publishPosition();
            diag::errorAt("RESERVWRD", word);
        } catch (const RunAbort& stop) {
            abort = stop;
        }
    }
    lexer.forgetKeywordEffects();
    return leaf(STX_IDENT, tree.keepText(word));
}

void ParserContext::reportDepthLimit(long stackLimit)
{
    if (abort) {
        return;
    }
    try {
        lexer.publishPosition();
        diag::errorAt("STXTOODEP", std::to_string(stackLimit));
    } catch (const RunAbort& stop) {
        abort = stop;
    }
}

bool ParserContext::openInclude(const KeptText* quotedName)
{
    try {
        lexer.openInclude(std::string(*NodeText(quotedName)));
        return true;
    } catch (const RunAbort& stop) {
        abort = stop;
        return false;
    }
}

void ParserContext::followFileSwitch()
{
    seenSwitches_ = lexer.fileSwitches();
    fileName_ = tree.keepFileName(lexer.fileName());
    tree.setFile(fileName_, lexer.fileId());
}

SyntaxNode* ParserContext::leaf(SyntaxKind kind, const KeptText* text)
{
    stampPosition();
    return tree.makeLeaf(kind, text);
}

// The type of a PROC parameter as C writes it, one word or '*' at a time:
// words apart by one blank, stars after the words ("const char **").
SyntaxNode* ParserContext::typeWords(const SyntaxNode* type, SyntaxNode* word)
{
    if (type == nullptr) {
        return word;
    }
    std::string text(type->textOrEmpty());
    if (word != nullptr) {
        text += ' ';
        text += word->textOrEmpty();
    } else {
        text += text.back() == '*' ? "*" : " *";
    }
    return leaf(STX_IDENT, tree.keepText(text));
}

// The text comes trimmed from nextToken.
SyntaxNode* ParserContext::nativePiece(const KeptText* text)
{
    if ((*NodeText(text)).empty()) {
        return node(STX_EMPTY);
    }
    return leaf(STX_NATIVE_EXPR, text);
}

SyntaxNode* ParserContext::comment(const KeptText* text)
{
    return comments ? leaf(STX_COMMENT, text) : nullptr;
}

SyntaxNode* ParserContext::formatKey(const KeptText* text)
{
    return leaf(STX_FORMAT_KEY, text);
}

SyntaxNode* ParserContext::declarationLink(SyntaxNode* entry)
{
    const bool instancePart = entry != nullptr &&
                              (entry->kind == STX_DECLARE_INSTANCE || entry->kind == STX_INSTANCE_BLOCK);
    return instancePart ? node(STX_DECL_LIST, nullptr, entry) : node(STX_DECL_LIST, entry);
}

NodeChain ParserContext::append(NodeChain list, SyntaxNode* link)
{
    const std::size_t rest = restChild(list.tail->kind);
    if (rest >= list.tail->room()) {
        diag::internal("STXNODNWT", diag::positionPrefix(list.tail->fileName(), list.tail->line),
                       std::to_string(list.tail->kind));
    }
    list.tail->setChild(rest, link);
    list.tail = link;
    return list;
}

SyntaxNode* ParserContext::finish(NodeChain list, ChainStamp stamp)
{
    stampPosition();
    // The links of one list keep its rest in the same child.
    const std::size_t rest = restChild(list.head->kind);
    for (SyntaxNode* link = list.head; link != nullptr; link = link->child(rest)) {
        tree.stamp(*link);
        if (stamp == ChainStamp::LinksAndElements && link->c0() != nullptr) {
            tree.stamp(*link->c0());
        }
    }
    return list.head;
}

SyntaxNode* ParserContext::relabel(SyntaxNode* chain, SyntaxKind kind)
{
    for (SyntaxNode* link = chain; link != nullptr && link->kind == STX_EMPTY; link = link->c1()) {
        link->kind = kind;
    }
    return chain;
}

// ---- entry points ----

ParsedScript parseScript(const std::string& path, const ParseOptions& options)
{
    ParsedScript result;
    result.tree = std::make_unique<SyntaxTree>();
    ScriptLexer lexer(options.includeDirectories, options.reader);
    lexer.start(path);
    ParserContext ctx(lexer, *result.tree, options.comments);
    stxparse(ctx);
    if (ctx.abort) {
        throw *ctx.abort;
    }
    wrapInRootScenario(ctx);
    result.root = result.tree->root();
    result.sourceFiles = lexer.sourceFiles().recordsNewestFirst();
    result.scriptFlags = lexer.scriptFlags();
    return result;
}

void releaseSyntaxNodes(ParsedScript& parsed)
{
    if (parsed.tree) {
        parsed.tree->releaseNodes();
    }
    parsed.root = nullptr;
}

void scanTokens(const std::string& path, const ParseOptions& options,
                const std::function<void(const TokenRecord&)>& onToken)
{
    ScriptLexer lexer(options.includeDirectories, options.reader);
    lexer.start(path);
    // An INCLUDE line opens its file once its newline has been read, as the
    // parser does when it reduces the line.
    int beforeLast = TK_NEWLINE;
    int last = TK_NEWLINE;
    std::string includeName;
    int lineStartToken = TK_NEWLINE;
    for (int token = lexer.next(); token != 0; token = lexer.next()) {
        onToken({lexer.line(), tokenName(token), std::string(lexer.text())});
        if (token == TK_NEWLINE && last == TK_STRING && beforeLast == TK_INCLUDE && lineStartToken == TK_INCLUDE) {
            lexer.openInclude(includeName);
        }
        if (token == TK_STRING) {
            includeName = lexer.text();
        }
        if (last == TK_NEWLINE) {
            lineStartToken = token;
        }
        beforeLast = last;
        last = token;
    }
}

}  // namespace qvm::script
