// The state of one semantic analysis and the rules its passes share.
// Internal to the semantic analysis.
#pragma once

#include "diag/i18nerrgest.h"
#include "script/semmodel.h"
#include "script/sempti.h"
#include "script/syntaxtree.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::script::sem {

// C text gathered from consecutive '#' lines, declared as one piece.
struct PendingText {
    std::string text;
    std::string fileName;
    int line = 0;      // line of the first '#' line
    int lastLine = 0;  // line of the last one
    bool started = false;
    bool empty() const { return !started; }
    // Adds the text of one '#' line (the text after its '#').
    void add(std::string_view lineText, const Origin& origin);
};

// What a name that the script declares becomes in the generated program.
enum class NameUse {
    FileScope,  // a declaration at file scope
    Block,      // a declaration inside a generated function, or a name that stays in the script
    Macro,      // a macro, defined after the runtime header
};

// The block whose instructions are being analysed.
struct Block {
    Scope* scope = nullptr;
    std::string cScope;              // C scope name of the declarations made in it
    bool instructionSeen = false;    // instance blocks of '#' lines must come first
};

// A trace instruction that the trace level inhibits.
struct IgnoredTrace {
    int count = 0;
    Origin first;  // where the first one stands
};

// Counters and flags that live for one analysis.
struct RunState {
    int instanceMode = 0;                        // 0 to 3, see AnalysisResult
    int instanceNumber = 0;                      // the selected one among the declared, from 1
    std::vector<std::string> declaredInstances;  // as the instance pass counted them
    int instanceNesting = 0;                     // instance blocks entered and not left
    int nextInstanceNumber = 2;                  // numbers of ENT_INSTANCE_DECL entries
    int timerCount = 0;
    int returnVarCount = 0;
    int waittilCount = 0;
    std::vector<Entry*> waittils;                // in the order of their numbers
    int defMessageCount = 0;
    bool receivedMessageDeclared = false;        // "int trv_msgrcv;" handed to the C analysis
    bool receivedMessageFormatted = false;       // its hidden format registered
    bool insideProcedure = false;                // a procedure body is being analysed
    bool insideCommBlock = false;                // a callback or procsend body is being analysed
    Entry* currentProcedure = nullptr;
    std::optional<Origin> firstWaittil;          // the first WAITTIL on messages
    IgnoredTrace ignoredTraceOn;
    IgnoredTrace ignoredTraceOff;
    IgnoredTrace ignoredFlushTrace;
    std::vector<Entry*> procedures;              // in declaration order
    std::vector<const Entry*> messageVariables;  // in declaration order
    std::vector<bool*> usedMarks;                // the used flags set, in order
};

class Analysis {
public:
    Analysis(Model& model, const AnalysisOptions& options);

    void run(const SyntaxNode* root);

    int instanceMode() const { return state.instanceMode; }
    int instanceNumber() const { return state.instanceNumber; }
    int timerCount() const { return state.timerCount; }
    const std::vector<Entry*>& waittils() const { return state.waittils; }

    // ---- node checks and positions (sempti.cpp) ----
    // The node, which must be of that kind (internal reports otherwise).
    static const SyntaxNode& expect(const SyntaxNode* node, SyntaxKind kind, const SyntaxNode& parent);
    static const SyntaxNode& present(const SyntaxNode* node, const SyntaxNode& parent);
    [[noreturn]] static void unexpected(const SyntaxNode& node);
    // Line of the construct: the earliest line along its first children.
    static int lineOf(const SyntaxNode& node);
    static Origin originOf(const SyntaxNode& node);
    static Origin originAt(const SyntaxNode& node, int line);
    static void report(diag::Severity severity, diag::MessageCode code, std::string_view argument,
                       const Origin& origin);
    // Text of a native expression: its pieces joined as written.
    static std::string expressionText(const SyntaxNode* expression);
    // The same without the blanks around it.
    static std::string trimmedExpressionText(const SyntaxNode* expression);
    // An identifier's text without the blanks the lexer may keep around it.
    static std::string identText(const SyntaxNode* node, const SyntaxNode& parent);
    static std::string trimmed(std::string_view text);

    // ---- C declarations ----
    void declare(std::string_view text, std::string_view cScope, const Origin& origin);
    void reportHiddenMessages(const Block& block, long declaredFrom, const Origin& origin);
    void reportMessagesOutsideBlocks(std::string_view text, const Origin& origin);
    void flushPending(PendingText& pending, std::string_view cScope);

    // ---- names the script declares (sempti_names.cpp) ----
    // False, with an error, when the name is reserved for that use.
    bool acceptDeclaredName(std::string_view name, NameUse use, const Origin& origin);
    // Declares the C text of '#' lines in a C scope (the global one when
    // empty), with errors for the reserved names it declares and, at file
    // scope, for declarations that conflict with an earlier one.
    void declareScriptText(const PendingText& pending, std::string_view cScope);

    // ---- declaration pass (sempti_decl.cpp) ----
    void analyseDeclarations(const SyntaxNode* list);
    void analyseDeclaration(const SyntaxNode& node, PendingText& pending);

    // ---- scenario pass (sempti_scenario.cpp) ----
    void analyseScenarioItems(const SyntaxNode* list, Scope& scope, Entry* scenario);
    void analyseInstanceBlockInBody(const SyntaxNode& group, Block& block, bool hashLines);

    // ---- instruction bodies (sempti_body.cpp) ----
    // Analyses a body as a block of its own (a generated function) in scope,
    // its declarations going to the C scope named cScope.
    void analyseBody(const SyntaxNode* body, Scope& scope, std::string cScope);
    void analyseNestedBody(const SyntaxNode* body, Block& block);
    void analyseInstructionLine(const SyntaxNode& line, Block& block);
    void analyseHashLines(const SyntaxNode* list, Block& block);
    // Class of a native expression after macro expansion, typed in a C
    // scope; kClassNone when the expansion was refused.
    int classOf(std::string_view text, std::string_view cScope, const Origin& origin);
    // The two steps of classOf: the text after macro expansion (a view of
    // the text or of storage; nothing when the expansion was refused), and
    // the class of an expanded text.
    static std::optional<std::string_view> expandedForTyping(std::string_view text, std::string_view cScope,
                                                             const Origin& origin, std::string& storage);
    static int classOfExpanded(std::string_view expanded, std::string_view cScope, const Origin& origin);
    // TIMER as a declaration and as an instruction.
    void declareTimer(const SyntaxNode& node, Block& block);
    // FORMAT= as a declaration and as an instruction.
    void format(const SyntaxNode& node, const Block& block);
    void share(const SyntaxNode& node);

    // ---- procedures and calls (sempti_call.cpp) ----
    void analyseProcedure(const SyntaxNode& node);
    void analyseCall(const SyntaxNode& node, Block& block, const Origin& origin);
    // The arguments of a procedure called by a CALL or by the call form of a
    // level block, checked against its parameters, as ENT_ARG entries in a
    // scope of the call's descriptor.
    void analyseProcedureArguments(const SyntaxNode* arguments, Descriptor& call, Entry& procedure, Scope& parent,
                                   const std::string& cScope);
    // Marks the procedure used, and through its body every procedure it
    // calls or names for cleanup (and with them the DEF_MESSAGEs of their
    // bodies).
    void markProcedureUsed(Entry& procedure);
    // Sets a used flag (of a procedure, message, channel, communication
    // type, callback or procsend), so that it can be taken back.
    void markUsed(bool& flag);
    // Takes back the marks made since usedMarks held that many.
    void takeBackUsedMarks(std::size_t kept);
    // The procedures that the bodies of the used callbacks and procsends
    // call: known once every statement that uses a block is analysed.
    void markCommunicationBlockProcedures();

    // ---- VAR checks (sempti_var.cpp) ----
    void analyseVar(const SyntaxNode& node, Block& block, const Origin& origin);

    // ---- communication (sempti_comm.cpp) ----
    // COMMTYPE, CHANNEL, MESSAGE, TRIGGER, CALLBACK and PROCSEND.
    void analyseCommunicationDeclaration(const SyntaxNode& node);
    // SEND, WAITTIL, DEF_MESSAGE, DEF_TRIGGER, MESSAGE_DATE, NO_MESSAGE,
    // ADD_ID, FD_ADD, CLEAR_ID, INTERSEND, INTERRECV and RENDEZVOUS.
    void analyseCommunicationInstruction(const SyntaxNode& node, Block& block, const Origin& origin);
    // A native expression with its MATCHING-family pieces rewritten, once
    // for generated code and once for messages; every piece's message,
    // channel and callbacks checked and marked used. Nothing after an error.
    struct MatchPiece {
        std::string display;
        std::string code;
        std::string typed;  // a call of the built-in declaration, for typing
        Entry* message = nullptr;
        Entry* channel = nullptr;
    };
    struct MatchingExpression {
        std::string display;
        std::string code;
        std::string typed;  // what the C analysis can type: the pieces as built-in calls
        std::vector<MatchPiece> pieces;
    };
    std::optional<MatchingExpression> matchingExpression(const SyntaxNode* expression, const Origin& origin);

    // ---- instance blocks (sempti_scenario.cpp) ----
    void enterInstance(const Origin& origin);
    void leaveInstance(const Origin& origin);
    // One ENT_INSTANCE_USE per name; false after an undeclared one.
    bool instanceUses(const SyntaxNode* names, Block& block, const Origin& origin);
    bool namesSelectedInstance(const SyntaxNode* names) const;

    // ---- execution filters (sempti_scenario.cpp) ----
    // A filter prefix as the line node keeps it (a double one with its '%').
    static void checkFilter(std::string_view prefix, bool doubled, const Origin& origin);
    // The letters of SET("...") and UNSET("...").
    static void checkFilterLetters(std::string_view quoted, const Origin& origin);

    Model& model;
    const AnalysisOptions& options;
    RunState state;

private:
    void declareBuiltins();
    void makeScriptEntry(const SyntaxNode& header);
    void declareTriggerCommtype();
    void countInstances(const SyntaxNode* declarations);
    void closingChecks();
};

}  // namespace qvm::script::sem
