// The program writer's state and its parts, shared by the files that write
// the program's sections.
#pragma once

#include "codegen/cprggen.h"
#include "codegen/geccode.h"
#include "codegen/spggen.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qvm::canalysis {
struct Symbol;
struct Tag;
struct CType;
}  // namespace qvm::canalysis

namespace qvm::script::sem {
struct ValueRange;
}  // namespace qvm::script::sem

namespace qvm::codegen::program {

using script::sem::Entry;
using script::sem::Scope;

// A number as the generated text writes it.
inline std::string text(int value)
{
    return std::to_string(value);
}

// The run-context argument of every runtime call; a character array, which
// a line copies as one block of its known size.
inline constexpr char kRun[] = "&(trv_ctx->trv_ctxrun)";

// Runtime type name, cast and default value of an expression class; a class
// without runtime type gives "TO_BE_COMPLETED" and no cast.
std::string_view runtimeTypeName(int cls);
std::string_view runtimeCast(int cls);
std::string_view defaultValue(int cls);

// A text of the script written after a cast or inside a larger expression:
// in parentheses unless it is one operand already (a name, a constant, a
// literal, one in parentheses, with postfix and prefix operators), which
// the cast takes whole.
struct Operand {
    std::string_view text;
};
bool isOneOperand(std::string_view text);
inline std::tuple<std::string_view, std::string_view, std::string_view> pieceParts(const Operand& operand)
{
    const bool whole = operand.text.empty() || isOneOperand(operand.text);
    return {whole ? "" : "(", operand.text, whole ? "" : ")"};
}
// The kinds of check calls: of a parameter or a result, of an expected
// value (EV=), of a received message against its reference, of a dump.
enum class CheckCall { Plain, Expect, Compare, Dump };
// The start of a check call, "trv_<kind><family>_c (<run context>,": one
// text, made once, where a line would otherwise copy five pieces. The check
// family of a class is "int", "char", "string", ...; a character's is
// "char" when compared, else by its format code.
std::string_view checkCallHead(CheckCall kind, int cls, int formatCode, bool compare);
// A check family that shows a value better than its class's: "uint" and
// "ulong" for unsigned integers, "enum" with the enumerators' names, "byte"
// and "int" for characters used as numbers (unsigned and signed char).
struct ValueDisplay {
    std::string_view family;
    std::string_view cast;  // of the values checked
    std::string names;      // the names table argument of an enumeration, else ""
    std::string_view base;  // the base when the format gives none, "" for the format's
    // "trv_<kind><family>_c (<run context>,".
    std::string head(CheckCall kind) const;
    std::string_view baseFor(int formatCode) const;
};
// None when the class's own family shows the value well.
std::optional<ValueDisplay> valueDisplayOf(int cls, int formatCode, const canalysis::CType* type);

// The family of a range check ("int", "byte", "long", "float", "double"),
// "" for a class that has none.
std::string_view rangeFamily(int cls);

// What a walk over a variable description writes.
enum class WalkMode {
    Init,           // assignments (INIT=, DEF_MESSAGE)
    Expect,         // "var_" checks (EV=)
    Compare,        // "cmp_" checks of a received message against its reference
    DumpReference,  // "dmp_" lines of a message's reference value
    Dump,           // "dmp_" lines of a variable or a received message
};

// One item of a variable description, built from a VAR's value entry or
// from a node of a message's value tree as the walk reaches it; its members
// are built from the same source when the walk goes down to them.
struct VarItem {
    enum class Kind { Elementary, Bounded, Array, IndexRange, Structure, Union };
    Kind kind = Kind::Elementary;
    ItemNumbers numbers;
    // Texts of the model the item is built from, which outlives the walk.
    std::string_view fieldName;  // "" for array elements
    std::string_view value;      // elementary: the expected value; whole value: the aggregate's value
    std::string_view lower;      // bounded: "" when absent
    std::string_view upper;
    long long lowerIndex = 0;  // arrays, index ranges, and elements of an array of scalars
    long long upperIndex = 0;
    bool wholeValue = false;
    int cls = -1;
    int formatCode = -1;     // -1: none registered
    int selected = -1;       // union: the chosen alternative, from 0
    // Where the members come from: the value entry, or else the node.
    const Entry* entry = nullptr;
    const script::ValueNode* node = nullptr;
    KeptTreeNumbers tree;  // the numbers of the node's tree
};

// The access path and the value path of a walk: each step down appends to
// them and cuts them back on the way up, so that a walk builds no strings.
struct WalkPaths {
    std::string name;
    std::string value;
};

// The level blocks in force while a composite scenario's children are written.
struct LevelBlocks {
    const Entry* initialization = nullptr;
    const Entry* termination = nullptr;
    const Entry* exception = nullptr;
};

// The runtime calls around one kind of level block, and its tracer code.
struct BlockCalls {
    std::string_view before;  // "binit"
    std::string_view after;   // "ainit"
    int tracerKind;           // 1 INITIALIZATION, 2 TERMINATION, 3 EXCEPTION
};

class ProgramWriter {
public:
    ProgramWriter(GeneratedFiles& files, const Numbering& numbering, const ScriptIndex& index,
                  const script::sem::Model& model,
                  const std::vector<script::SourceFileRecord>& sourceFiles, const ProgramOptions& options);

    void write();

private:
    // ---- file order and context (cprggen.cpp) ----
    void banner();
    void interfaceIncludes();
    void contextDeclaration();
    void accessMacros();
    void contextType();
    // NOTSHARED: the variables that the script's top-level '#' lines define
    // and no SHARE names, each as (name, member declaration); every tester
    // context gets its own copy, which trv_initctx starts from the value of
    // the global one.
    // With withShared, all the variables the top-level '#' lines define.
    std::vector<std::pair<std::string, std::string>> notSharedVariables(bool withShared = false) const;
    void notSharedGlobals();
    void notSharedInitialValues();
    void contextInitialisation();
    void staticContext();
    void scriptFunctions();
    void probeProgram();

    // ---- scenarios, procedures, level blocks (cprggen_scenario.cpp) ----
    void procedure(const Entry& procedure);
    void levelBlock(const Entry& block);
    void scenario(const Entry& scenario);
    void compositeScenario(const Entry& scenario);
    void subScenario(const Entry& child, const LevelBlocks& blocks);
    void initializationStep(const Entry& block);
    void exceptionStep(const Entry& block);
    void terminationStep(const Entry& block);
    void runBlock(const Entry& block, const BlockCalls& calls);
    // Writes the line of a level block's runtime call.
    void blockMark(std::string_view call, std::string_view state, const Entry& block);
    std::string blockFunction(const Entry& block) const;
    void blockCall(const Entry& block);
    void specialBlockTrace(const Entry& block, int kind, bool begin);
    void failureReturn();
    void failureFlush();
    void levelFlush();
    void openFunction(const std::string& header);
    void debugDeclaration();
    void closingSequence();

    // ---- statement lists and plain statements (cprggen_statements.cpp) ----
    void statements(const Scope* scope);
    void statement(const Entry& entry);
    void dispatch(const Entry& entry);
    void procedureCall(const Entry& call);
    void conditional(const Entry& entry);
    void caseStatement(const Entry& entry);
    void whenClause(const Entry& when);
    void instanceBodyBegin(const Entry& begin);
    void timerDeclaration(const Entry& timer);

    // ---- variable checks and native calls (cprggen_vars*.cpp) ----
    void varStatement(const Entry& var);
    // Walks the item below the access path (and the value path, for a
    // whole value) of walkPaths_ at index depth depth.
    void walkRoot(const VarItem& root, WalkMode mode);
    void walkItem(const VarItem& item, int depth, WalkMode mode);
    void walkMembers(const VarItem& item, int depth, WalkMode mode);
    void walkArray(const VarItem& item, int depth, WalkMode mode);
    void walkIndexRange(const VarItem& item, int depth, WalkMode mode);
    void walkStructure(const VarItem& item, int depth, WalkMode mode);
    void walkUnion(const VarItem& item, int depth, WalkMode mode);
    void walkElementary(const VarItem& item, int depth, WalkMode mode);
    void displayedCheckLine(const VarItem& item, const ValueDisplay& display, std::string_view name,
                            std::string_view value, int depth, long long bound, WalkMode mode);
    void checkLine(const VarItem& item, std::string_view name, std::string_view value, int depth, long long bound,
                   WalkMode mode);
    void boundedLine(const VarItem& item, std::string_view name, int depth, long long bound, WalkMode mode);
    void sizedLine(const VarItem& item, std::string_view family, std::string_view name, std::string_view value,
                   int depth, long long bound, WalkMode mode);
    void indexLoop(int depth, long long lower, long long upper);
    // The item's format code, or the FORMAT registered for its field path
    // (not below an index); -1 without.
    std::string rangedName(const VarItem& item) const;
    // The C type of an access path of the walk: below the received message
    // in the message functions, else from a variable of the walk's scope.
    const canalysis::CType* typeOfWalked(std::string_view name) const;
    const canalysis::CType* resultType(const Entry& call) const;
    int formatCodeAt(const VarItem& item, std::string_view path) const;
    int fieldFormatCode(std::string_view path) const;
    // The selector of the union at the access path of a received message.
    std::string unionSelector(std::string_view name) const;
    VarItem itemOfValueEntry(const Entry& entry) const;
    // The item of a tree's top node, and of a node of the same tree as another item.
    VarItem itemOfRoot(const script::ValueNode& root) const;
    static VarItem itemOfNode(const script::ValueNode& node, const KeptTreeNumbers& tree);
    // Calls visit with each member of the item, in order.
    template <typename Visit>
    void forEachMember(const VarItem& item, const Visit& visit) const;
    void nativeCall(const Entry& call);
    void parameterInitialisation(const script::sem::ArgData& data);
    void parameterCheck(const Entry& call, const Entry& argument, std::size_t index);
    void resultCheck(const Entry& call);
    // The check of an array of characters or bytes, each value with its size.
    void sizedCheck(std::string_view family, std::string_view expectedFlag,
                    std::initializer_list<std::string_view> values, std::string_view scope, int checkNumber);
    void rangeCheck(int cls, const canalysis::CType* type, const script::sem::ValueRange& range,
                    std::string_view actual, int checkNumber);

    // ---- communication (cprggen_comm*.cpp) ----
    void messageTypeDefinitions();
    void messageTypeDefinition(const Entry& structure);
    void channelTypeDefinition(const Entry& commtype);
    void communicationMacros();
    void communicationMembers();
    void initStates();
    void initContext();
    void triggerChannelIdentifier(const Entry& structure, const Entry& channel);
    void messageFunctions();
    void dumpFunction(const Entry& structure);
    void referenceFunction(const Entry& structure);
    void compareFunction(const Entry& structure);
    void definitionCases(const Entry& structure, WalkMode mode);
    void commBlockHead(const Entry& block, std::string_view kind, bool oneIdentifier);
    void commBlockDeclarations(const Entry& block);
    void copyIdentifier(const script::sem::CommBlockData& data);
    void procsendFunction(const Entry& procsend);
    void procsendBody(const Entry& procsend);
    void callbackFunction(const Entry& callback);
    void callbackBody(const Entry& callback);
    // A define of a script name (a message variable, a channel, a NOTSHARED
    // variable), kept so that the functions whose own variables hide the
    // name can lift it.
    void defineScriptName(std::string_view name, const std::string& expansion);
    void withOwnVariables(const script::sem::CommBlockData& data, const std::function<void()>& write);
    void blockDeclarations(const Scope* body);
    void blockStatements(const Scope* body);
    void waitFunction(int number);
    void send(const Entry& send);
    // The match pieces and polling pairs of a WAITTIL, gathered in one pass.
    struct WaittilEntries {
        std::vector<const Entry*> pieces;
        std::vector<const Entry*> pairs;
    };
    static WaittilEntries waittilEntries(const Entry& waittil);
    void waittil(const Entry& waittil);
    void waittilChecks(const Entry& waittil, const WaittilEntries& entries);
    void waittilPolling(const Entry& waittil, const WaittilEntries& entries);
    void receiveStep(const Entry& waittil, const Entry& structure, const Entry& channel,
                     const WaittilEntries& entries);
    void remainingTime(std::string_view limit);
    void waitTest(const Entry& waittil);
    void waittilResult(const Entry& waittil, const std::vector<const Entry*>& messages);
    void waittilEnd(const Entry& waittil, int result, std::string_view typeName);
    void defMessage(const Entry& definition);
    void addId(const Entry& entry);
    void rendezvous(const Entry& entry);
    // The static list of names, ended by a null pointer, that a runtime
    // call is given in a block of its own.
    void nameTable(const std::vector<std::string>& names, std::string_view call);
    void interSend(const Entry& entry);
    void interReceive(const Entry& entry);
    bool hasMessageFunctions(const Entry& structure) const;
    bool hasDumpFunction(const Entry& structure) const;

    // ---- entry function (cprggen_entry.cpp) ----
    void entryFunction();
    void entryHeader();
    void entryDeclarations();
    void entryContext();
    void traceBufferSetup();
    void threadArguments();
    void mainArguments();
    void argumentParser(int position, std::string_view option);
    void instanceIndexBlock();
    void declaredInstanceTable();
    void testerNaming();
    void initrioCall(bool thread);
    void tracerLink(const Entry& root);
    void supervisionNotices();
    void rootRun(const Entry& root);
    // The table of the scenarios the program holds, which the runtime
    // selects from at run time (-SCN=, -EXSCN=) and reports (-LIST, -JUNIT=).
    void scenarioTable(const Entry& root);
    // The rows of scenario and of the generated scenarios below it; index
    // is that of the next row.
    void scenarioRows(const Entry& scenario, int parent, int& index);
    void scenarioOptions();
    void entryEnd();

    // ---- script lines (-SCRIPTLINES) ----
    // The code written from here on is the code of the entry's script line,
    // until generatedLines() returns to the program's own lines.
    void scriptLine(const Entry& entry);
    void generatedLines();

    // ---- shared helpers ----
    template <typename... Pieces>
    void line(const Pieces&... pieces)
    {
        out_.line(pieces...);
    }
    void emptyLine() { out_.emptyLine(); }
    void open() { out_.openBlock(); }
    void close() { out_.closeBlock(); }
    // "#ifdef TRV_OSTREL_DEBUG", the debug lines, "#else", the release lines, "#endif".
    void debugFrame(std::initializer_list<std::string_view> debugLines,
                    std::initializer_list<std::string_view> releaseLines);
    void debugResult(std::string_view value);
    // The prototype of a function whose header is given, with the pending parameters.
    void prototype(const std::string& header);

    int number(const Entry& entry) const { return numbering_.records.find(entry).begin; }
    int endNumber(const Entry& entry) const { return numbering_.records.find(entry).end; }
    int element(const Entry& entry) const { return numbering_.elements.find(entry).begin; }
    bool tracing() const { return options_.traceLevel >= 1 && bufferBytes() >= 1; }
    bool levelFlushes() const { return tracing() && options_.traceLevel != kTraceCircular; }
    int bufferBytes() const { return options_.bufferSizeKb * 1024; }
    bool runTimeInstances() const { return options_.instanceMode == 2 || options_.instanceMode == 3; }
    std::string stamp() const;
    const Entry* rootScenario() const;
    std::vector<const Entry*> declaredInstances() const;
    int instanceNumberOf(std::string_view name) const;
    // The timer declarations that a statement of the scope sees, those of
    // the nearest scope first.
    std::vector<const Entry*> timersSeenFrom(const Scope* scope);
    // The variables and tags of a block's C scope, which WAITTIL
    // conditions of the block may name.
    struct BlockNames {
        std::vector<const canalysis::Symbol*> symbols;
        std::vector<const canalysis::Tag*> tags;
    };
    const BlockNames& blockNames(const std::string& cScope);
    // The generated DEF_MESSAGE with a value of a message variable when it
    // has exactly one, else none.
    const Entry* onlyDefinitionOf(const Entry& message) const;

    const Numbering& numbering_;
    const script::sem::Model& model_;
    const std::vector<script::SourceFileRecord>& sourceFiles_;
    const ProgramOptions& options_;
    GeneratedFiles& files_;
    LineWriter out_;
    int depth_ = 0;  // scenario depth: numbers the repetition counters J<depth>
    int scenarioCount_ = 0;  // rows of the scenario table
    // The script's index: either the TDC writer's, in the numbering, or one
    // gathered for this writer; both outlive it.
    const ScriptIndex& index_;
    std::vector<std::pair<std::string, std::string>> notShared_;
    std::map<std::string, std::string, std::less<>> scriptNameDefines_;  // name, expansion
    // (type text, name) pairs of the prototype being written.
    std::vector<std::pair<std::string, std::string>> parameters_;
    WalkPaths walkPaths_;
    // The FORMATs of global variables, read once, by the first name of
    // their path: the fields of a walk can only have those of its
    // variable's name, and most variables have none.
    struct FieldFormat {
        std::string path;
        int code;
    };
    using FieldFormats = std::vector<FieldFormat>;
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
    };
    void readFieldFormats();
    // The formats a walk from that access path may meet; none for a walk
    // that writes no display base.
    const FieldFormats* walkFormats(std::string_view rootName, WalkMode mode) const;
    std::unordered_map<std::string, FieldFormats, NameHash, std::equal_to<>> formatsByName_;
    FieldFormats allFormats_;  // for a walk whose root has no name of its own
    const FieldFormats* walkFormats_ = nullptr;  // those of the walk under way
    // Where the description being walked comes from, for its reports.
    std::string walkFile_;
    std::string walkScope_;  // the C scope of the walk's variables, "" for the global one
    int walkLine_ = 0;
    void locateWalk(const Entry& entry);
    // While the callback generated for a TRIGGER structure is written: its
    // native lines are statements, never directives.
    bool statementLines_ = false;
    // The message type whose functions are being written, "" elsewhere.
    std::string currentMessageType_;
    // The COMMTYPEs of the global scope, in order: each WAITTIL polls their
    // channels, and the global scope holds an entry per WAITTIL.
    std::vector<const Entry*> commtypes_;
    // The number of generated DEF_MESSAGEs with a value of each message
    // variable, and the first of them; every WAITTIL asks.
    std::unordered_map<const Entry*, std::pair<int, const Entry*>> definitionsByMessage_;
    // The timer declarations of each scope a WAITTIL stands in, found once.
    std::unordered_map<const Scope*, std::vector<const Entry*>> scopeTimers_;
    // Listed once per C scope: listing one walks the whole symbol table.
    std::unordered_map<std::string, BlockNames> blockNames_;
    // What the call of each condition function passes after its fixed
    // arguments, kept when the function is written.
    std::unordered_map<int, std::string> waitArguments_;
    // The instances that meet at each rendezvous.
    RendezvousMembers rendezvousMembers_;
};

// The text of a native line as C: the script keeps a line without its '#',
// which a preprocessor directive gets back.
std::string nativeLineText(std::string_view text);
// The text of an '@' line as C: a statement of its own, which neither
// continues into the next line nor leaves a comment open over it.
std::string nativeStatementText(std::string_view text);

// The arguments of a procedure call, as written in C: "trv_ctx" then each
// argument after ", ", "&" before one passed by address.
std::string procedureArguments(const Scope* arguments);

}  // namespace qvm::codegen::program
