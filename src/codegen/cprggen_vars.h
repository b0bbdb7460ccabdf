// The variable section of the generated program: VAR statements, the walk
// over a variable description that assigns, checks or dumps each of its
// fields (which the message functions and DEF_MESSAGE take too), and the
// CALLs of C functions with the checks of their parameters and result.
#pragma once

#include "codegen/cprggen_context.h"
#include "script/ctypefacts.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>


namespace qvm::script::sem {
struct ValueRange;
}  // namespace qvm::script::sem

namespace qvm::codegen::program {

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
// The names table argument of an enumeration's check,
// "(const TRV_T_ENUM_NAME[]){{A, \"A\"}, ..., {0, 0}}", as a piece of its
// line: the compiler gives each constant its value. It views the constants
// in the type facts it is made from, which must outlive it.
struct NamesTable {
    std::span<const std::string_view> enumerators;
};
void appendPiece(std::string& out, const NamesTable& table);

// A check family that shows a value better than its class's: "uint" and
// "ulong" for unsigned integers, "enum" with the enumerators' names, "byte"
// and "int" for characters used as numbers (unsigned and signed char).
struct ValueDisplay {
    std::string_view family;
    std::string_view cast;  // of the values checked
    std::optional<NamesTable> names;  // of an enumeration
    std::string_view base;  // the base when the format gives none, "" for the format's
    // "trv_<kind><family>_c (<run context>,", made once.
    std::string_view head(CheckCall kind) const;
    std::string_view baseFor(int formatCode) const;
};
// None when the class's own family shows the value well.
std::optional<ValueDisplay> valueDisplayOf(int cls, int formatCode, const script::CTypeFacts& type);

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

class VarsWriter : SectionWriter {
public:
    explicit VarsWriter(ProgramContext& context);

    void varStatement(const Entry& var);
    void nativeCall(const Entry& call);

    // The walks of a message type's functions: the paths below the received
    // message have the type's member types and union selectors.
    void forMessageType(const Entry& type, const std::function<void()>& write);
    // Reports of the walks that follow name where the entry stands in the
    // script, and their variables are those of its C scope.
    void locateWalk(const Entry& entry);
    // Walks the value tree whose top is named name.
    void walkTree(const script::ValueNode& root, std::string_view name, WalkMode mode);

private:
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
    // "trv_flagrt = <call>(<run context>,<end number> );", the runtime call
    // that ends the checks of a VAR or a CALL, and the failure it reports.
    void checksEnd(std::string_view call, int endNumber);
    std::string rangedName(const VarItem& item) const;
    // The C scope of a statement's variables (see cScopeOfBlock); that of
    // the last block asked about is kept, for the statements that follow it.
    const std::string& cScopeOf(const Entry& entry);
    // The C type of an access path of the walk: below the received message
    // in the message functions, else from a variable of the walk's scope.
    // It lasts until a path below another variable or type is asked about.
    const script::CTypeFacts& typeOfWalked(std::string_view name);
    // The item's format code, or the FORMAT registered for its field path
    // (not below an index); -1 without.
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

    // ---- native calls (cprggen_vars_call.cpp) ----
    script::CTypeFacts resultType(const Entry& call);
    void parameterInitialisation(const script::sem::ArgData& data);
    void parameterCheck(const Entry& call, const Entry& argument, std::size_t index,
                        const script::ParameterTypes& parameters);
    void resultCheck(const Entry& call);
    // The check of an array of characters or bytes, each value with its size.
    void sizedCheck(std::string_view family, std::string_view expectedFlag,
                    std::initializer_list<std::string_view> values, std::string_view scope, int checkNumber);
    void rangeCheck(int cls, const script::CTypeFacts& type, const script::sem::ValueRange& range,
                    std::string_view actual, int checkNumber);

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
    WalkPaths walkPaths_;
    // Where the description being walked comes from, for its reports.
    std::string walkFile_;
    std::string walkScope_;  // the C scope of the walk's variables, "" for the global one
    int walkLine_ = 0;
    const Entry* scopeBlock_ = nullptr;
    std::string scopeBlockScope_;  // the C scope of scopeBlock_
    // The message type whose functions are being written, "" elsewhere.
    std::string currentMessageType_;
    // The types of the access paths below the variable being walked: the
    // walks of a script go over the same variables again and again.
    script::KnownPathTypes walkedTypes_;
};

}  // namespace qvm::codegen::program
