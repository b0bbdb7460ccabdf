// The declaration pass: every declaration of the script, in order, in the
// global scope; '#' lines gathered and declared before the next declaration.
#include "script/ancgest.h"
#include "script/prtanac.h"
#include "script/sempti_analysis.h"
#include "script/stxpti_lexer.h"

#include <unordered_set>

namespace qvm::script::sem {

namespace {

// '#' and '@' lines of the declaration part are reduced after their newline.
int leafDeclarationLine(const SyntaxNode& node)
{
    return node.line > 1 ? node.line - 1 : node.line;
}

}  // namespace

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
