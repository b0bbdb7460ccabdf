// Inside the TDC writer: the record syntax and the walk over the model,
// shared by its source files.
#pragma once

#include "codegen/pieces.h"
#include "codegen/tdcgen.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::codegen::tdc {

// The longest record line; what goes beyond is cut off.
inline constexpr std::size_t kRecordLimit = 4095;
// The header items of a scenario record stay below this length together.
inline constexpr std::size_t kHeaderItemsLimit = 4000;

// Where a construct stands: its file's index in the source file list and its line.
struct Location {
    int file = 0;
    int line = 0;

    bool operator==(const Location&) const = default;
};

// Appends text as tdcQuoted gives it.
void appendQuoted(std::string& out, std::string_view text);
// The same after before, which is written as it is.
void appendQuoted(std::string& out, std::string_view before, std::string_view text);

Location locationOf(const script::sem::Entry& entry);

// The fields of one record, separated by ", ".
class Fields {
public:
    // The text as tdcQuoted gives it.
    Fields& text(std::string_view value);
    // The parts joined, as one quoted field.
    Fields& text(std::initializer_list<std::string_view> parts);
    Fields& absent() { return raw("?"); }
    Fields& number(long long value);
    Fields& raw(std::string_view value);
    Fields& absentTimes(int count);

    bool empty() const { return !any_; }
    std::string_view joined() const { return text_; }
    void clear()
    {
        text_.clear();
        any_ = false;
    }

private:
    // ", " before every field but the first.
    void separate();

    std::string text_;
    bool any_ = false;
};

// Appends a record: the pieces of its key, one blank, the fields, then the
// location text, if any (", " before it only when there are fields); all
// in one go.
template <typename... Key>
void appendRecord(std::string& line, const Fields& fields, std::string_view location, const Key&... key)
{
    const std::string_view separator = fields.empty() || location.empty() ? "" : ", ";
    appendPieces(line, key..., ' ', fields.joined(), separator, location);
}

// Writes one record line of at most kRecordLimit characters: the characters
// beyond are dropped with one "SIZBUFOVL" that counts them.
void writeRecord(GeneratedFile& file, std::string_view line);
// The start of a record's fields that fits in room characters; a quoted
// text cut short is closed, a separator left at the end dropped.
std::string cutFields(std::string_view fields, std::size_t room);

// The walk that numbers and writes the records.
class TdcWriter {
public:
    TdcWriter(GeneratedFiles& files, NumberTable& numbers, const ScriptIndex& index, ProbeCodes& probeCodes,
              const TdcRun& run);
    void write();

private:
    // ---- records and probe lines ----
    int record(std::string_view letters, const Fields& fields, const std::optional<Location>& where);
    // One "SIZBUFOVL" for a record cut short, at the construct's place.
    void reportCutRecord(const std::optional<Location>& where, std::size_t dropped);
    int nextNumber() const { return nextNumber_; }
    // The fields of the next record: one buffer that record after record
    // reuses, each built just before its record is written.
    Fields& newFields()
    {
        fields_.clear();
        return fields_;
    }
    void probeLine(std::string_view text);
    // "#define TRV_TDC_<name> <number>", the name made of pieces; a name
    // already defined keeps its first number. Says whether it was written.
    template <typename... NamePieces>
    bool probeDefine(int number, const NamePieces&... name)
    {
        if (probe_ == nullptr) {
            return false;
        }
        std::string joined;
        (joined.append(name), ...);
        if (!probeCodes_.names.insert(joined).second) {
            return false;
        }
        probe_->write("#define TRV_TDC_", joined, ' ', number, '\n');
        return true;
    }

    // ---- file header ----
    void banner();
    void header();
    Fields instanceFields();
    void sourceFileRecords();

    // ---- constructs ----
    void statements(const script::sem::Scope* scope);
    void statement(const script::sem::Entry& entry);
    void scriptHeader(const script::sem::Entry& entry);
    void scenario(const script::sem::Entry& entry);
    void levelBlock(const script::sem::Entry& entry);
    void procedure(const script::sem::Entry& entry);
    void call(const script::sem::Entry& entry);
    void argument(const script::sem::Entry& entry);
    void send(const script::sem::Entry& entry);
    void waittil(const script::sem::Entry& entry);
    void var(const script::sem::Entry& entry);
    void messageType(const script::sem::Entry& entry);
    void channel(const script::sem::Entry& entry);
    void word(const script::sem::Entry& entry, std::string_view word);
    void single(const script::sem::Entry& entry, std::string_view letters, const Fields& fields);

    // ---- variable descriptions (tdcgen_values.cpp) ----
    // In a message type's dump description access texts are written as they are.
    enum class Where { Var, MessageType };
    // The array whose elements are being described: a range of all its
    // indices writes no record of its own and takes the array's numbers.
    struct Array {
        const script::ValueNode& node;
        std::vector<ItemNumbers*> tied;  // given the array's numbers once its end record is written
    };
    void describeEntries(const script::sem::Scope* scope, Where where, Array* array);
    // A value entry of a VAR: one at the top stands for the variable itself.
    void describeEntry(const script::sem::Entry& entry, Where where, Array* array, bool top = false);
    // A message's tree, from its top node; its items are named from the
    // message (a definition) or from nothing (a type's dump description).
    void describeTree(const script::ValueNode& root, Location at, std::string_view name);
    ItemNumbers describeNode(const script::ValueNode& node, Location at, Where where);
    void describeRange(const script::ValueNode& range, Array& array, Location at, Where where);
    // The members (called with an Array*) are described with the array
    // being written, none for a structure or union.
    template <typename Members>
    ItemNumbers aggregateRecords(const script::ValueNode& node, Location at, Where where, const Members& members);
    template <typename Members>
    ItemNumbers rangeRecords(Location at, const Members& members);
    // The record of a scalar: its name is the item path.
    int elementaryRecord(const script::ValueNode& node, Location at);

    // ---- what the walk needs to know beforehand ----
    bool hasMessageRow(const script::sem::Entry& structure) const;

    GeneratedFile& tdc_;
    GeneratedFile* probe_ = nullptr;
    NumberTable& numbers_;
    const ScriptIndex::Definitions& definitions_;  // the generated DEF_MESSAGEs of each message type
    ProbeCodes& probeCodes_;  // the codes of the probe header, for the program writer
    const TdcRun& run_;
    int nextNumber_ = 0;  // of the next record
    TreeNumbers tree_;  // the numbers of the tree being described
    int lastSend_ = 0;
    int lastReceive_ = 0;
    std::string line_;  // the record being written
    Fields fields_;     // its fields
    std::string callText_;  // the text of the call being written
    // The item being described, as the script names it: the variable or
    // message, its fields, and "[]" for each array level, where the runtime
    // shows the index its check is at.
    std::string itemPath_;
};

}  // namespace qvm::codegen::tdc
