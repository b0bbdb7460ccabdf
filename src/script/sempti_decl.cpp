// The declaration pass: every declaration of the script, in order, in the
// global scope; '#' lines gathered and declared before the next declaration.
#include "script/ancgest.h"
#include "script/prtanac.h"
#include "script/sempti_analysis.h"
#include "script/stxpti_lexer.h"

#include <cctype>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace qvm::script::sem {

namespace {

// '#' and '@' lines of the declaration part are reduced after their newline.
int leafDeclarationLine(const SyntaxNode& node)
{
    return node.line > 1 ? node.line - 1 : node.line;
}

// The words of a directive line ("define X ...") that takes no message.
bool isDirectiveText(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view rest = text.substr(start);
    for (const std::string_view word : {"define", "undef", "include", "if", "ifdef", "ifndef", "elif", "else", "endif",
                                        "pragma", "error", "warning", "line"}) {
        if (rest.starts_with(word) &&
            (rest.size() == word.size() || !(std::isalnum(static_cast<unsigned char>(rest[word.size()])) != 0 ||
                                             rest[word.size()] == '_'))) {
            return true;
        }
    }
    return false;
}

bool isIdentifierChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$';
}

// The identifiers of a C line outside its literals and comments, but for
// member names (after '.' or '->').
std::vector<std::string_view> lineIdentifiers(std::string_view text)
{
    std::vector<std::string_view> names;
    char before = ' ';
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            for (++i; i < text.size() && text[i] != c; ++i) {
                i += text[i] == '\\' ? 1 : 0;
            }
            ++i;
            before = c;
        } else if (text.substr(i, 2) == "//") {
            break;
        } else if (text.substr(i, 2) == "/*") {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 2;
        } else if (isIdentifierChar(c) && std::isdigit(static_cast<unsigned char>(c)) == 0) {
            const std::size_t start = i;
            while (i < text.size() && isIdentifierChar(text[i])) {
                ++i;
            }
            if (before != '.' && before != '>') {
                names.push_back(text.substr(start, i - start));
            }
            before = 'a';
        } else {
            if (isIdentifierChar(c)) {
                while (i < text.size() && (isIdentifierChar(text[i]) || text[i] == '.')) {
                    ++i;
                }
                before = '0';
                continue;
            }
            if (c != ' ' && c != '\t') {
                before = c;
            }
            ++i;
        }
    }
    return names;
}

}  // namespace

// A declaration at the top of the script is at file scope in the program,
// where the context that holds the messages is not: it can name a message
// variable only in a macro, which is expanded where the message is reached.
void Analysis::reportMessagesOutsideBlocks(std::string_view text, const Origin& origin)
{
    if (isDirectiveText(text)) {
        return;
    }
    for (const std::string_view name : lineIdentifiers(text)) {
        if (model.findGlobal(ENT_MESSAGE_VAR, name) != nullptr) {
            report(diag::Error, "MSGOUTCTX", name, origin);
            return;
        }
    }
}

// The rules of the declarations of instances.
struct DeclarationRules {
    Analysis& a;
    Model& model;

    void declareInstances(const SyntaxNode& node)
    {
        for (const SyntaxNode* link = node.c0(); link != nullptr; link = link->c1()) {
            const SyntaxNode& ident = a.expect(link->c0(), STX_IDENT, *link);
            const Origin origin = a.originOf(ident);
            if (model.findGlobal(ENT_INSTANCE_DECL, ident.textOrEmpty()) != nullptr) {
                a.report(diag::Error, "ISTNALRDEC", ident.textOrEmpty(), origin);
                return;
            }
            Entry& entry = model.append(&model.global(), ENT_INSTANCE_DECL, std::string(ident.textOrEmpty()), origin);
            model.attach(entry, DSC_INSTANCE_DECL).as<NumberData>().number = a.state.nextInstanceNumber++;
        }
    }

    void instanceBlock(const SyntaxNode& node)
    {
        const Origin origin = a.originOf(node);
        a.enterInstance(origin);
        Block global{&model.global(), {}};
        // An instance chosen at run time (none given, or one the script does
        // not declare) keeps every block, as the blocks of bodies do.
        const bool markers = a.state.instanceMode != 1;
        if (markers) {
            model.append(&model.global(), ENT_INSTANCE_BEGIN, {}, origin);
            a.instanceUses(node.c0(), global, origin);
        }
        if (markers || a.namesSelectedInstance(node.c0())) {
            PendingText pending;
            for (const SyntaxNode* link = node.c1(); link != nullptr; link = link->c2()) {
                if (link->c0() != nullptr) {
                    a.analyseDeclaration(*link->c0(), pending);
                }
            }
            a.flushPending(pending, {});
        }
        if (markers) {
            model.append(&model.global(), ENT_INSTANCE_END, {}, Analysis::originAt(node, node.line - 1));
        }
        a.leaveInstance(origin);
    }
};

void Analysis::analyseDeclarations(const SyntaxNode* list)
{
    PendingText pending;
    DeclarationRules rules{*this, model};
    for (const SyntaxNode* link = list; link != nullptr; link = link->c2()) {
        if (link->kind != STX_DECL_LIST) {
            unexpected(*link);
        }
        if (link->c0() != nullptr) {
            analyseDeclaration(*link->c0(), pending);
        }
        if (const SyntaxNode* instancePart = link->c1()) {
            flushPending(pending, {});
            if (instancePart->kind == STX_DECLARE_INSTANCE) {
                rules.declareInstances(*instancePart);
            } else if (instancePart->kind == STX_INSTANCE_BLOCK) {
                rules.instanceBlock(*instancePart);
            } else {
                unexpected(*instancePart);
            }
        }
    }
    flushPending(pending, {});
}

void Analysis::analyseDeclaration(const SyntaxNode& node, PendingText& pending)
{
    if (node.kind == STX_HASH_LINE) {
        const Origin origin = originAt(node, leafDeclarationLine(node));
        model.append(&model.global(), ENT_HASH_LINE, std::string(node.textOrEmpty()), origin);
        pending.add(node.textOrEmpty(), origin);
        reportMessagesOutsideBlocks(node.textOrEmpty(), origin);
        return;
    }
    flushPending(pending, {});
    Block global{&model.global(), {}};
    switch (node.kind) {
    case STX_AT_LINE:
        model.append(&model.global(), ENT_AT_LINE, std::string(node.textOrEmpty()), originAt(node, leafDeclarationLine(node)));
        break;
    case STX_COMMTYPE:
    case STX_CHANNEL:
    case STX_MESSAGE:
    case STX_TRIGGER:
    case STX_CALLBACK:
    case STX_PROCSEND: analyseCommunicationDeclaration(node); break;
    case STX_PROC: analyseProcedure(node); break;
    case STX_TIMER: declareTimer(node, global); break;
    case STX_SHARE: share(node); break;
    case STX_FORMAT: format(node, global); break;
    case STX_INCLUDE: break;  // the included declarations follow in the list
    default: unexpected(node);  // CATCH and the VIRTUAL blocks have no rule
    }
}

}  // namespace qvm::script::sem
